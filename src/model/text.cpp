#include "model/text.h"

#include <unicode/brkiter.h>
#include <unicode/coll.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <memory>
#include <mutex>

namespace hb::text {
namespace {

constexpr int maxTitleCharacters = 256;

bool isDroppedScalar(UChar32 c)
{
    if (c < 0x20 || (c >= 0x80 && c <= 0x9F))
        return true;
    switch (c) {
    case 0x200E:
    case 0x200F:
    case 0x061C:
    case 0x202A:
    case 0x202B:
    case 0x202C:
    case 0x202D:
    case 0x202E:
    case 0x2066:
    case 0x2067:
    case 0x2068:
    case 0x2069:
        return true;
    default:
        return false;
    }
}

std::string toUtf8(const icu::UnicodeString& text)
{
    std::string out;
    text.toUTF8String(out);
    return out;
}

icu::UnicodeString normalized(const icu::UnicodeString& text, const icu::Normalizer2* normalizer)
{
    UErrorCode status = U_ZERO_ERROR;
    icu::UnicodeString result = normalizer->normalize(text, status);
    return U_SUCCESS(status) ? result : text;
}

icu::UnicodeString foldedUnicode(std::string_view input)
{
    UErrorCode status = U_ZERO_ERROR;
    const auto* nfd = icu::Normalizer2::getNFDInstance(status);
    icu::UnicodeString decomposed = normalized(icu::UnicodeString::fromUTF8(input), nfd);
    // Without the combining marks, appended in runs between them.
    icu::UnicodeString stripped;
    int32_t run = 0;
    for (int32_t i = 0; i < decomposed.length();) {
        UChar32 c = decomposed.char32At(i);
        const int32_t next = i + U16_LENGTH(c);
        if (u_charType(c) == U_NON_SPACING_MARK) {
            stripped.append(decomposed, run, i - run);
            run = next;
        }
        i = next;
    }
    if (run == 0) {
        decomposed.foldCase();
        return decomposed;
    }
    stripped.append(decomposed, run, decomposed.length() - run);
    stripped.foldCase();
    return stripped;
}

bool isAscii(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// The scalars of valid UTF-8 text.
std::u32string toScalars(std::string_view text)
{
    std::u32string scalars;
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const auto length = static_cast<int32_t>(text.size());
    for (int32_t i = 0; i < length;) {
        UChar32 c;
        U8_NEXT(bytes, i, length, c);
        scalars.push_back(static_cast<char32_t>(c));
    }
    return scalars;
}

// Whole-text wildcard match of valid UTF-8 text with "*" (any run) and "?"
// (one character), in linear space and at most length(text) *
// length(pattern) steps.
bool wildcardMatch(std::string_view text, const std::u32string& pattern)
{
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const auto length = static_cast<int32_t>(text.size());
    int32_t t = 0;
    std::size_t p = 0;
    std::size_t starPattern = std::u32string::npos;
    int32_t starText = 0;
    while (t < length) {
        int32_t next = t;
        UChar32 c;
        U8_NEXT(bytes, next, length, c);
        if (p < pattern.size() && (pattern[p] == U'?' || pattern[p] == static_cast<char32_t>(c))) {
            t = next;
            ++p;
        } else if (p < pattern.size() && pattern[p] == U'*') {
            starPattern = p++;
            starText = t;
        } else if (starPattern != std::u32string::npos) {
            // The star takes one more character.
            p = starPattern + 1;
            U8_NEXT(bytes, starText, length, c);
            t = starText;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == U'*')
        ++p;
    return p == pattern.size();
}

} // namespace

std::string sanitizedMenuTitle(std::string_view title)
{
    UErrorCode status = U_ZERO_ERROR;
    const auto* nfc = icu::Normalizer2::getNFCInstance(status);
    icu::UnicodeString composed = normalized(icu::UnicodeString::fromUTF8(title), nfc);

    icu::UnicodeString kept;
    for (int32_t i = 0; i < composed.length();) {
        UChar32 c = composed.char32At(i);
        if (!isDroppedScalar(c))
            kept.append(c);
        i += U16_LENGTH(c);
    }

    status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> characters(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status))
        return toUtf8(kept);
    characters->setText(kept);
    int count = 0;
    for (int32_t boundary = characters->next(); boundary != icu::BreakIterator::DONE; boundary = characters->next()) {
        if (++count == maxTitleCharacters) {
            kept.truncate(boundary);
            break;
        }
    }
    return toUtf8(kept);
}

std::string folded(std::string_view text)
{
    // ASCII has no marks to strip and folds to lower case.
    if (isAscii(text)) {
        std::string result(text);
        for (char& c : result)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        return result;
    }
    return toUtf8(foldedUnicode(text));
}

bool containsIgnoringCaseAndDiacritics(std::string_view text, std::string_view needle)
{
    return folded(text).find(folded(needle)) != std::string::npos;
}

bool titleMatchesPattern(std::string_view title, std::string_view pattern)
{
    return PatternSet({std::string(pattern)}).matches(title);
}

bool titleMatchesAnyPattern(std::string_view title, const std::vector<std::string>& patterns)
{
    return PatternSet(patterns).matches(title);
}

PatternSet::PatternSet(const std::vector<std::string>& patterns)
{
    patterns_.reserve(patterns.size());
    for (const auto& pattern : patterns) {
        Pattern compiled{folded(pattern), pattern.find_first_of("*?") != std::string::npos, {}};
        if (compiled.isWildcard) {
            compiled.scalars = toScalars(compiled.folded);
        }
        patterns_.push_back(std::move(compiled));
    }
}

bool PatternSet::matches(std::string_view title) const
{
    return !empty() && matchesFolded(folded(title));
}

bool PatternSet::matchesFolded(std::string_view foldedTitle) const
{
    for (const auto& pattern : patterns_) {
        if (pattern.isWildcard ? wildcardMatch(foldedTitle, pattern.scalars) : foldedTitle == pattern.folded)
            return true;
    }
    return false;
}

int localizedStandardCompare(std::string_view a, std::string_view b)
{
    static std::once_flag once;
    static std::unique_ptr<icu::Collator> prototype;
    std::call_once(once, [] {
        UErrorCode status = U_ZERO_ERROR;
        // The C locale maps to a code-point ordering; the root locale's is the standard one.
        icu::Locale locale = icu::Locale::getDefault();
        if (std::string_view(locale.getName()) == "en_US_POSIX")
            locale = icu::Locale::getRoot();
        prototype.reset(icu::Collator::createInstance(locale, status));
        if (U_FAILURE(status)) {
            prototype.reset();
            return;
        }
        prototype->setAttribute(UCOL_NUMERIC_COLLATION, UCOL_ON, status);
    });
    if (!prototype)
        return a.compare(b);
    // Collators are not safe to share between threads; each thread uses its own clone.
    thread_local std::unique_ptr<icu::Collator> collator(prototype->clone());
    UErrorCode status = U_ZERO_ERROR;
    auto result = collator->compareUTF8(icu::StringPiece(a.data(), static_cast<int32_t>(a.size())),
                                        icu::StringPiece(b.data(), static_cast<int32_t>(b.size())), status);
    return U_FAILURE(status) ? a.compare(b) : static_cast<int>(result);
}

} // namespace hb::text
