#include "model/text.h"

#include <gtest/gtest.h>

using namespace hb::text;

TEST(SanitizedTitle, ComposesAndDropsControlsAndBidiMarks)
{
    EXPECT_EQ(sanitizedMenuTitle("Cafe\xCC\x81"), "Café");
    EXPECT_EQ(sanitizedMenuTitle("\x01\t\n\xC2\x85\xE2\x80\x8E\xE2\x80\xAE\xE2\x81\xA9\xD8\x9C"), "");
    EXPECT_EQ(sanitizedMenuTitle("Save\xE2\x80\x8F As\x7F"), "Save As\x7F") << "U+007F stays";
    EXPECT_EQ(sanitizedMenuTitle("  Open  "), "  Open  ") << "spaces are not trimmed";
    EXPECT_EQ(sanitizedMenuTitle("ＳＡＶＥ"), "ＳＡＶＥ") << "no compatibility folding";
}

TEST(SanitizedTitle, KeepsAtMost256UserPerceivedCharacters)
{
    EXPECT_EQ(sanitizedMenuTitle(std::string(300, 'a')), std::string(256, 'a'));
    EXPECT_EQ(sanitizedMenuTitle(std::string(256, 'b')), std::string(256, 'b'));
    std::string accented;
    for (int i = 0; i < 300; ++i)
        accented += "e\xCC\x81\xCC\xA3"; // one character, three scalars
    auto whole = sanitizedMenuTitle(accented.substr(0, 256 * 5));
    EXPECT_EQ(sanitizedMenuTitle(accented), whole);
    EXPECT_GT(whole.size(), sanitizedMenuTitle(accented.substr(0, 255 * 5)).size()) << "256 characters stay whole";
    std::string flags;
    for (int i = 0; i < 257; ++i)
        flags += "🇩🇪";
    EXPECT_EQ(sanitizedMenuTitle(flags).size(), 256u * std::string("🇩🇪").size());
}

TEST(PatternRule, WildcardsMatchTheWholeTitleAndOthersMatchEqualTitles)
{
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"Help", "help", true},
        {"Help", "He*", true},
        {"Help", "H?", false},
        {"Help", "H??p", true},
        {"Help Center", "Help", false}, // no containment without wildcards
        {"Résumé", "resume", true},
        {"Show Résumé", "*RESUME", true},
        {"New Window Tab", "*Window*", true},
        {"", "?", false},
        {"a*b", "a*b", true},
    };
    for (const auto& [title, pattern, matches] : cases)
        EXPECT_EQ(titleMatchesPattern(title, pattern), matches) << title << " " << pattern;
}

TEST(PatternRule, PathologicalPatternsFinish)
{
    std::string title(5000, 'a');
    std::string pattern;
    for (int i = 0; i < 200; ++i)
        pattern += "*a";
    pattern += "b";
    EXPECT_FALSE(titleMatchesPattern(title, pattern));
}

TEST(PatternRule, APatternSetFoldsOnceAndMatchesLikeTheRule)
{
    const PatternSet set({"Caf?", "*ÉTÉ*", "Minimize"});
    EXPECT_TRUE(set.matches("Café")) << "? takes one character of several bytes";
    EXPECT_FALSE(set.matches("Cafés"));
    EXPECT_TRUE(set.matches("Un été chaud"));
    EXPECT_TRUE(set.matches("MINIMIZE"));
    EXPECT_FALSE(set.matches("Minimize All"));
    EXPECT_TRUE(set.matchesFolded(folded("Summer ÉTÉ")));
    EXPECT_FALSE(PatternSet().matches("Anything"));
    // Backtracking over characters of several bytes.
    EXPECT_TRUE(PatternSet({"*é?é"}).matches("ééxééyé"));
    EXPECT_FALSE(PatternSet({"*é?é"}).matches("ééxééy"));
}

TEST(Matching, FoldingIgnoresCaseAndDiacritics)
{
    EXPECT_EQ(folded("Straße"), folded("STRASSE"));
    EXPECT_EQ(folded("Save As… ⌘S"), "save as… ⌘s");
    EXPECT_EQ(folded("Cafe\xCC\x81 CRE\xCC\x80ME"), "cafe creme") << "marks between runs of text";
}

TEST(Ordering, CaseIsNotFirst) // numbers by value: the user key equivalents' order
{
    EXPECT_LT(localizedStandardCompare("apple", "Banana"), 0);
    EXPECT_LT(localizedStandardCompare("Zebra", "zucchini"), 0);
}
