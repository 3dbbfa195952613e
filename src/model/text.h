#pragma once

#include <string>
#include <string_view>
#include <vector>

// Text rules shared by every source of titles and every matcher.
namespace hb::text {

// NFC, without C0/C1 controls and bidirectional formatting characters, at most
// 256 user-perceived characters.
std::string sanitizedMenuTitle(std::string_view title);

// The form in which case and diacritics no longer differ (no locale).
// Containment and equality of folded texts ignore case and diacritics.
std::string folded(std::string_view text);

// Whether `text` contains `needle`, ignoring case and diacritics.
bool containsIgnoringCaseAndDiacritics(std::string_view text, std::string_view needle);

// A pattern with "*" or "?" matches the whole title as a wildcard pattern; any
// other pattern matches an equal title. Both ignore case and diacritics.
bool titleMatchesPattern(std::string_view title, std::string_view pattern);
bool titleMatchesAnyPattern(std::string_view title, const std::vector<std::string>& patterns);

// Title patterns folded once, for matching many titles by the rule of
// titleMatchesPattern.
class PatternSet {
public:
    PatternSet() = default;
    explicit PatternSet(const std::vector<std::string>& patterns);

    bool empty() const { return patterns_.empty(); }
    bool matches(std::string_view title) const;
    // For a title already in folded form.
    bool matchesFolded(std::string_view foldedTitle) const;

private:
    struct Pattern {
        std::string folded;
        bool isWildcard;        // has "*" or "?"
        std::u32string scalars; // of the folded wildcard pattern
    };
    std::vector<Pattern> patterns_;
};

// The localized standard ordering: numbers by value, case not first.
// Negative, zero or positive like strcmp.
int localizedStandardCompare(std::string_view a, std::string_view b);

} // namespace hb::text
