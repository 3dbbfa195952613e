// Hintboard's windows as a screen reader meets them over AT-SPI: the filter
// read piece by piece, the settings window followed through its focus, and
// what changes on its own announced.
#include "accessible_tree.h"
#include "tray_application.h"

#include <atspi/atspi.h>
#include <gmock/gmock.h>

#include <algorithm>
#include <chrono>
#include <string>

namespace hb::e2e {
namespace {

using testing::AnyOf;
using testing::ElementsAre;
using testing::Eq;

class ScreenReader : public TrayApplication {
protected:
    void SetUp() override
    {
        TrayApplication::SetUp();
        run("xdotool search --onlyvisible --pid " + std::to_string(mousepad) + " windowactivate --sync");
    }
};

enum class Place { at, before, after };

// Reading by character, word, sentence or line asks for the text at, before
// and after the caret; Qt 6.4's own line edit looped for good on a word at the
// end of the text.
TEST_F(ScreenReader, FilterAnswersEveryPieceOfEveryText)
{
    ASSERT_TRUE(openWithHotKey());
    ASSERT_TRUE(DesktopSession::waitUntil([&] { return findAccessible(hintboard, "Filter").has_value(); }));
    const char* samples[] = {"", "   ", "save as", "👍🏽 ok 👨‍👩‍👧", "e\u0301te\u0301 cafe\u0301", "שלום עולם", "save."};
    int answers = 0;
    std::chrono::microseconds slowest{0};
    std::string seenAtEnd;
    ASSERT_TRUE(withAccessible(hintboard, "Filter", [&](AtspiAccessible* filter) {
        AtspiEditableText* editable = atspi_accessible_get_editable_text_iface(filter);
        AtspiText* text = atspi_accessible_get_text_iface(filter);
        ASSERT_TRUE(editable && text);
        for (const char* sample : samples) {
            GError* error = nullptr;
            atspi_editable_text_set_text_contents(editable, sample, &error);
            ASSERT_EQ(error, nullptr) << error->message;
            const int count = atspi_text_get_character_count(text, &error);
            ASSERT_EQ(error, nullptr) << error->message;
            gchar* contents = atspi_text_get_text(text, 0, count, nullptr);
            EXPECT_STREQ(contents, sample);
            g_free(contents);
            for (int type = ATSPI_TEXT_BOUNDARY_CHAR; type <= ATSPI_TEXT_BOUNDARY_LINE_END; ++type)
                for (int offset = 0; offset <= count; ++offset)
                    for (Place place : {Place::at, Place::before, Place::after}) {
                        const auto boundary = AtspiTextBoundaryType(type);
                        const auto started = std::chrono::steady_clock::now();
                        G_GNUC_BEGIN_IGNORE_DEPRECATIONS
                        AtspiTextRange* range =
                            place == Place::at       ? atspi_text_get_text_at_offset(text, offset, boundary, &error)
                            : place == Place::before ? atspi_text_get_text_before_offset(text, offset, boundary, &error)
                                                     : atspi_text_get_text_after_offset(text, offset, boundary, &error);
                        G_GNUC_END_IGNORE_DEPRECATIONS
                        slowest = std::max(slowest, std::chrono::duration_cast<std::chrono::microseconds>(
                                                        std::chrono::steady_clock::now() - started));
                        ASSERT_EQ(error, nullptr) << sample << " boundary " << type << " offset " << offset << ": "
                                                  << error->message;
                        ASSERT_NE(range, nullptr);
                        EXPECT_LE(range->start_offset, range->end_offset) << sample << " " << type << " " << offset;
                        if (std::string(sample) == "save as" && boundary == ATSPI_TEXT_BOUNDARY_WORD_START &&
                            place == Place::at && offset == count)
                            seenAtEnd = range->content;
                        g_boxed_free(ATSPI_TYPE_TEXT_RANGE, range);
                        ++answers;
                    }
        }
        g_object_unref(editable);
        g_object_unref(text);
    }));
    EXPECT_EQ(seenAtEnd, "as");
    RecordProperty("answers", answers);
    RecordProperty("slowest_us", int(slowest.count()));
    std::printf("%d answers, the slowest in %lld us\n", answers, static_cast<long long>(slowest.count()));
    EXPECT_TRUE(closeWithEscape());
}

// The settings window is a frame named by its title; Tab through its first
// page reaches controls whose window is that frame, active, with no other
// frame between them and it; the page selector is a list of page tabs.
TEST_F(ScreenReader, SettingsFocusChangesArriveInTheirActiveNamedWindow)
{
    ASSERT_TRUE(openWithHotKey());
    ASSERT_TRUE(DesktopSession::waitUntil([&] { return findAccessible(hintboard, "Settings").has_value(); }));
    for (const auto& window : accessibleWindows(hintboard))
        EXPECT_THAT(window.role, AnyOf(Eq("frame"), Eq("dialog"))) << window.name;

    EXPECT_TRUE(closeWithEscape());

    click(*trayIcon(), 3);
    ASSERT_TRUE(DesktopSession::waitUntil([] { return shownMenu().has_value(); })) << "no status menu";
    // "Show Shortcuts", "Check for Updates…", "Quiz Mode…", then "Settings…".
    run("xdotool key --delay 150 Down Down Down Down Return");
    ASSERT_TRUE(DesktopSession::waitUntil([] { return hintboardWindowNamed("Hintboard Settings").has_value(); }));
    run("xdotool windowactivate --sync " + hintboardWindowNamed("Hintboard Settings")->id);
    FocusEvents events(hintboard);
    std::vector<FocusedElement> focused;
    for (int tab = 0; tab < 12; ++tab) {
        run("xdotool key Tab");
        if (events.waitForFocusOn("")) {
            focused.insert(focused.end(), events.focusedElements().begin(), events.focusedElements().end());
        }
    }
    EXPECT_GE(focused.size(), 10u);
    for (const auto& element : focused) {
        ASSERT_FALSE(element.enclosingRoles.empty()) << element.name;
        EXPECT_EQ(element.enclosingRoles.back(), "frame") << element.name;
        EXPECT_EQ(element.windowName, "Hintboard Settings") << element.name;
        EXPECT_TRUE(element.windowActive) << element.name;
        EXPECT_EQ(std::count_if(element.enclosingRoles.begin(), element.enclosingRoles.end() - 1,
                                [](const std::string& role) { return role == "frame" || role == "dialog"; }),
                  0)
            << element.name << ": " << testing::PrintToString(element.enclosingRoles);
    }
    screenshot("settings-after-tabs.png");

    bool settingsWindow = false;
    for (const auto& window : accessibleWindows(hintboard)) {
        EXPECT_THAT(window.role, AnyOf(Eq("frame"), Eq("dialog"))) << window.name;
        settingsWindow = settingsWindow || window.name == "Hintboard Settings";
    }
    EXPECT_TRUE(settingsWindow);
    std::vector<std::string> tabs;
    for (const auto& element : accessibleDescendantsOf(hintboard, "page tab list"))
        if (element.role == "page tab")
            tabs.push_back(element.name + (element.selected ? " (selected)" : ""));
    EXPECT_THAT(tabs, ElementsAre("General (selected)", "Popup", "Ignored", "Developer"));
    run("xdotool key ctrl+w");
}

long long countSaid(const std::vector<std::string>& said, const std::string& text)
{
    return std::ranges::count_if(said, [&](const std::string& line) { return line.find(text) != std::string::npos; });
}

// What changes without a focus change is announced, once: the count after
// typing pauses, the overlay's question with its keys; the focus comes back
// to the filter when the overlay goes.
TEST_F(ScreenReader, FilterCountAndOverlayQuestionAreAnnouncedOnce)
{
    Announcements announcements(hintboard);
    ASSERT_TRUE(openWithHotKey());
    ASSERT_TRUE(DesktopSession::waitUntil([&] { return findAccessible(hintboard, "Filter").has_value(); }));
    run("xdotool type --delay 40 save");
    ASSERT_TRUE(announcements.waitFor(" of ")) << testing::PrintToString(announcements.said());
    run("xdotool key Escape");  // clears the filter
    run("xdotool key ctrl+q");
    ASSERT_TRUE(announcements.waitFor("What should happen? ")) << testing::PrintToString(announcements.said());
    FocusEvents events(hintboard);
    run("xdotool key Escape");  // takes the overlay away: the focus is back in the filter
    EXPECT_TRUE(events.waitForFocusOn("Filter")) << testing::PrintToString(events.focused());
    const auto& said = announcements.said();
    EXPECT_EQ(countSaid(said, " of "), 1) << testing::PrintToString(said);
    EXPECT_EQ(countSaid(said, "What should happen?"), 1) << testing::PrintToString(said);
    for (const auto& line : said) {
        if (line.find(" of ") != std::string::npos) {
            EXPECT_THAT(line, testing::MatchesRegex("[0-9]+ of [0-9]+"));
        }
    }
    EXPECT_TRUE(closeWithEscape());
}

class FirstLaunchScreenReader : public TrayApplication {
protected:
    void SetUp() override {}
};

TEST_F(FirstLaunchScreenReader, WizardPagesAreAnnouncedAsTheyCome)
{
    startHintboard({{"XDG_CONFIG_HOME", freshConfigFolder("screen-reader-wizard")}});
    ASSERT_TRUE(DesktopSession::waitUntil([] { return hintboardWindowNamed("Welcome to Hintboard").has_value(); }));
    Announcements announcements(hintboard);
    run("xdotool windowactivate --sync " + hintboardWindowNamed("Welcome to Hintboard")->id);
    run("xdotool key Return");  // "Get started"
    ASSERT_TRUE(announcements.waitFor("Step 2 of 4")) << testing::PrintToString(announcements.said());
    run("xdotool key Return");  // "Next": the session's accessibility is already on
    EXPECT_TRUE(announcements.waitFor("Step 3 of 4")) << testing::PrintToString(announcements.said());
    EXPECT_EQ(countSaid(announcements.said(), "Step 2 of 4"), 1) << testing::PrintToString(announcements.said());
    EXPECT_EQ(countSaid(announcements.said(), "Step 3 of 4"), 1) << testing::PrintToString(announcements.said());
}

} // namespace
} // namespace hb::e2e
