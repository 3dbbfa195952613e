#include "popup/popup_controller.h"

#include "fake/fake_accessibility.h"
#include "fake/fake_event_monitors.h"
#include "fake/fake_screens.h"
#include "fake/fake_workspace.h"
#include "fake/memory_log.h"
#include "fake/memory_settings_domain.h"
#include "fake/virtual_runtime.h"
#include "menus/menu_bar_reader.h"
#include "popup/popup_tips.h"
#include "settings/settings_keys.h"
#include "support/model_builders.h"
#include "triggers/double_tap_trigger.h"
#include "triggers/global_hotkey.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

using namespace hb;
using fake::item;
using fake::menu;
using platform::Seconds;
using testing::ElementsAre;

namespace {

constexpr pid_t ownPID = 1;
const auto editor = fake::application(100, "Editor", "org.example.editor");
const auto viewer = fake::application(200, "Viewer", "org.example.viewer");

// What the controller asked of its panels, in order.
struct PanelRecord {
    std::vector<std::string> calls;
    PopupPanelEvents events;
    platform::Rect frame;
    bool visible = false;
    bool keyboard = false;
    int created = 0;
    int alive = 0;
    std::function<void()> onFadeOut;
};

class RecordingPanel : public PopupPanel {
public:
    RecordingPanel(PanelRecord& record, PopupPanelEvents events) : r_(record)
    {
        r_.events = std::move(events);
        ++r_.created;
        ++r_.alive;
    }
    ~RecordingPanel() override { --r_.alive; }

    void showPermissionRequest() override { r_.calls.push_back("permission"); }
    void showNoApp() override { r_.calls.push_back("noApp"); }
    void showNoShortcuts(const std::string& appName) override { r_.calls.push_back("none " + appName); }
    void showNotAnswering(const std::string& appName) override { r_.calls.push_back("not answering " + appName); }
    void showShortcuts(std::shared_ptr<PopupFilterModel> model) override
    {
        r_.calls.push_back("shortcuts " + model->app().appName);
    }
    double fittingHeight(double) override { return 300; }
    void setFrame(const platform::Rect& frame) override { r_.frame = frame; }
    bool isVisible() const override { return r_.visible; }
    bool hasKeyboard() const override { return r_.keyboard; }
    void fadeIn(Seconds) override { r_.visible = true, r_.calls.push_back("fadeIn"); }
    void fadeOut(Seconds) override { r_.calls.push_back("fadeOut"), r_.onFadeOut ? r_.onFadeOut() : void(); }
    void orderOut() override { r_.visible = false, r_.calls.push_back("orderOut"); }

private:
    PanelRecord& r_;
};

class PopupControllerTest : public testing::Test {
protected:
    PopupControllerTest()
    {
        screens.addScreen({{0, 0}, {1440, 900}}, 25);
        accessibility.addApplication(editor.pid, {menu("File", {item("New", "n"), item("Save", "s")}),
                                                  menu("Edit", {item("Copy", "c"), item("Paste", "v")})});
        accessibility.addApplication(viewer.pid, {menu("Window", {item("Close", "w", 12)})}); // ⌃W
        popup.onPermissionGranted = [this] { ++grants; };
    }

    void showAndSettle()
    {
        popup.showPopup();
        runtime.runUntilIdle();
    }
    std::string queryShown() const { return popup.filterModel() ? popup.filterModel()->query() : "<none>"; }
    std::vector<std::string> sectionTitles() const
    {
        std::vector<std::string> titles;
        for (const auto& section : popup.filterModel()->app().sections)
            titles.push_back(section.title);
        return titles;
    }

    fake::VirtualRuntime runtime;
    fake::FakeAccessibility accessibility;
    fake::FakeWorkspace workspace;
    fake::FakeScreens screens;
    fake::FakeEventMonitors monitors;
    fake::MemorySettingsDomain settings;
    fake::MemoryLogSink sink;
    platform::Log log{sink, [] { return false; }};
    FrontmostAppMonitor frontmost{workspace, ownPID};
    IgnoreListStore ignoreList{settings};
    FavouritesStore favourites{settings};
    MenuBarReader reader{accessibility, log};
    std::vector<MenuReadOptions> reads;
    CachedMenuReader menuReader{[this](const MenuReadOptions& options) {
                                    reads.push_back(options);
                                    return CachedMenuReader::menuBarReads(reader)(options);
                                },
                                runtime,
                                runtime,
                                runtime,
                                accessibility,
                                settings,
                                ignoreList};
    PanelRecord panel;
    int grants = 0;
    PopupController popup{PopupDependencies{
        .accessibility = accessibility,
        .workspace = workspace,
        .screens = screens,
        .eventMonitors = monitors,
        .clock = runtime,
        .mainQueue = runtime,
        .background = runtime,
        .settings = settings,
        .log = log,
        .frontmostMonitor = frontmost,
        .menuReader = menuReader,
        .favourites = favourites,
        .ignoreList = ignoreList,
        .extraSections =
            [](bool system, bool registered) {
                std::vector<MenuSection> sections;
                if (system)
                    sections.push_back(test::section("System", {test::group({}, {test::row("Lock", "⌃⌘Q")})}));
                if (registered)
                    sections.push_back(test::section("Tool", {test::group({}, {test::row("Run", "⌃⌥R")})}));
                return sections;
            },
        .makePanel =
            [this](PopupPanelEvents events) { return std::make_unique<RecordingPanel>(panel, std::move(events)); },
    }};
};

TEST_F(PopupControllerTest, WithoutAnApplicationTheSystemSectionOrTheMessageShows)
{
    showAndSettle();
    EXPECT_THAT(panel.calls, ElementsAre("noApp", "fadeIn"));

    settings.set(keys::showSystemShortcuts, true);
    showAndSettle();
    EXPECT_THAT(sectionTitles(), ElementsAre("System"));
    EXPECT_EQ(settings.integer(keys::popupOpenCount), 1) << "only content of an application counts";
    EXPECT_TRUE(reads.empty());
}

class PopupControllerWithApp : public PopupControllerTest {
protected:
    PopupControllerWithApp() { workspace.activate(editor); }
};

TEST_F(PopupControllerWithApp, ReadOptionsAndExtraSectionsFollowTheSettings)
{
    settings.set(keys::showAllMenuItems, true);
    settings.set(keys::showSystemShortcuts, true);
    settings.set(keys::showThirdPartyShortcuts, true);
    showAndSettle();
    EXPECT_TRUE(popup.filterModel()->app().includesItemsWithoutShortcuts);
    EXPECT_THAT(sectionTitles(), ElementsAre("File", "Edit", "System", "Tool"));
    // Centred on the visible frame below the 25-point bar.
    EXPECT_EQ(panel.frame.midY(), 437.5);
    EXPECT_EQ(panel.frame.size.height, 300);
}

// A show during the fade keeps the panel: the trigger table's "trhwhr".
TEST_F(PopupControllerWithApp, HidingFadesOutThenReleasesThePanel)
{
    showAndSettle();
    popup.togglePopup();
    EXPECT_FALSE(popup.isVisible());
    EXPECT_EQ(monitors.monitorCount(), 0u);
    runtime.advance(Seconds(0.09));
    EXPECT_EQ(panel.alive, 1);
    runtime.advance(Seconds(0.01));
    EXPECT_EQ(panel.calls.back(), "orderOut");
    EXPECT_EQ(panel.alive, 0);
}

TEST_F(PopupControllerWithApp, SearchTextSurvivesReopeningOverTheSameApplicationOnly)
{
    showAndSettle();
    popup.filterModel()->setQuery("copy");
    popup.hide();
    showAndSettle();
    EXPECT_EQ(queryShown(), "copy");
    popup.hide();
    workspace.activate(viewer);
    showAndSettle();
    EXPECT_EQ(queryShown(), "");
}

TEST_F(PopupControllerWithApp, AnIgnoredApplicationMakesTheTriggerDoNothing)
{
    ignoreList.addIgnoredApp(*editor.bundleIdentifier, editor.name);
    popup.togglePopup();
    runtime.runUntilIdle();
    EXPECT_EQ(panel.created, 0);
    EXPECT_TRUE(reads.empty());
}

TEST_F(PopupControllerWithApp, PermissionPollStopsWithinHalfASecondOfTheGrant)
{
    accessibility.setTrusted(false);
    popup.showPopup();
    EXPECT_EQ(panel.calls.front(), "permission");
    runtime.advance(Seconds(1.7));
    accessibility.setTrusted(true);
    runtime.advance(Seconds(0.5));
    EXPECT_EQ(grants, 1);
    runtime.advance(Seconds(5));
    EXPECT_EQ(grants, 1);
}

TEST_F(PopupControllerWithApp, ChosenRowsArePressedAfterThePopupHasClosedUnlessTheyCannotRunNow)
{
    showAndSettle();
    auto& save = *accessibility.find(editor.pid, {"File", "Save"});
    // A row that cannot run here keeps the popup open and says why.
    Shortcut userPresses = *popup.filterModel()->visibleShortcuts()[1];
    userPresses.cannotRunHere = true;
    panel.events.activate(userPresses);
    EXPECT_TRUE(popup.isVisible());
    EXPECT_NE(popup.filterModel()->notice(), "");
    popup.filterModel()->setQuery("sa");
    EXPECT_EQ(popup.filterModel()->notice(), "") << "typing takes the notice away";
    // So does an item the application disabled since the read.
    popup.filterModel()->setQuery("");
    save.setEnabled(false);
    popup.filterModel()->setSelectedIndex(1);
    EXPECT_TRUE(panel.events.keyDown({.keyCode = 36}));
    EXPECT_TRUE(popup.isVisible());

    save.setEnabled(true);
    int pressesAtFade = -1;
    panel.onFadeOut = [&] { pressesAtFade = save.pressCount(); };
    panel.events.activate(*popup.filterModel()->visibleShortcuts()[1]);
    EXPECT_EQ(pressesAtFade, 0);
    EXPECT_EQ(save.pressCount(), 1);

    // Return on a row of an application that has quit: logged, closed, nothing else.
    showAndSettle();
    accessibility.quit(editor.pid);
    popup.filterModel()->setSelectedIndex(2);
    EXPECT_TRUE(panel.events.keyDown({.keyCode = 36}));
    EXPECT_FALSE(popup.isVisible());
    EXPECT_TRUE(sink.contains(platform::LogCategory::accessibility, platform::LogLevel::error,
                              "AX press failed for '<private>'"));
}

TEST_F(PopupControllerWithApp, MonitorsFollowModifiersEscapeClicksAndActivations)
{
    monitors.changeFlags(platform::modifier_flags::command);
    showAndSettle();
    EXPECT_EQ(popup.filterModel()->heldModifiers(), (PopupFilterModel::ModifierSet{"⌘"}));
    monitors.changeFlags(0);
    EXPECT_TRUE(popup.filterModel()->heldModifiers().empty()) << "a release leaves the filter at once";

    monitors.pressKey({.keyCode = 53});
    EXPECT_FALSE(popup.isVisible());

    // Keys typed into the panel reach the global monitor too: only the panel handles them.
    showAndSettle();
    panel.keyboard = true;
    popup.filterModel()->setQuery("sa");
    EXPECT_TRUE(panel.events.keyDown({.keyCode = 53}));
    monitors.pressKey({.keyCode = 53});
    EXPECT_TRUE(popup.isVisible());
    panel.keyboard = false;

    workspace.activate(fake::application(ownPID, "Hintboard"));
    monitors.pressKey({.keyCode = 53});
    EXPECT_TRUE(popup.isVisible()) << "this program's own activation, an Escape typed into its dialog";
    workspace.activate(viewer);
    EXPECT_FALSE(popup.isVisible());

    // The panel's late view of a release the monitor told already lights nothing.
    monitors.changeFlags(platform::modifier_flags::option);
    showAndSettle();
    monitors.changeFlags(0);
    panel.events.flagsChanged(platform::modifier_flags::option);
    EXPECT_TRUE(popup.filterModel()->heldModifiers().empty());
    // An activated panel (Wayland) closes when activation goes elsewhere.
    panel.events.lostActivation();
    EXPECT_FALSE(popup.isVisible());
}

TEST_F(PopupControllerWithApp, AStaleReadShowsAtOnceAndItsRowsChangeInPlaceWhenTheNewReadEnds)
{
    showAndSettle();
    popup.hide();
    runtime.advance(Seconds(21));
    panel.calls.clear();

    popup.showPopup();
    EXPECT_THAT(panel.calls, ElementsAre("shortcuts Editor", "fadeIn")) << "shown before the new read";
    auto* model = popup.filterModel();
    model->setQuery("sa");
    model->selectNext();
    ASSERT_EQ(model->selectedShortcut()->title, "Save");
    // The application renames the command while the popup is open.
    accessibility.find(editor.pid, {"File", "Save"})->set(platform::ax::title, std::string("Save All"));
    accessibility.find(editor.pid, {"Edit", "Copy"})->set(platform::ax::title, std::string("Duplicate"));

    runtime.runUntilIdle();
    EXPECT_EQ(reads.size(), 2u);
    EXPECT_EQ(popup.filterModel(), model) << "the same list, updated";
    EXPECT_EQ(panel.calls.size(), 2u);
    ASSERT_TRUE(model->selectedShortcut());
    EXPECT_EQ(model->selectedShortcut()->title, "Save All");
    EXPECT_EQ(model->app().sections.at(1).allShortcuts().front().title, "Duplicate");
}

// Triggers a user presses, one letter each: t a toggle (`hintboard toggle`), h the hot key typed into the panel,
// H its held repeat, d a double tap of Alt, r the read running to its end, w 30 ms.
TEST_F(PopupControllerWithApp, TriggersInAnyOrderEndInOneDefinedState)
{
    saveHotkey(defaultHotkey, settings);
    namespace flag = platform::modifier_flags;
    const platform::KeyEvent hotkeyPress{
        .keyCode = 40, .modifierFlags = flag::command | flag::option, .characters = "k"};
    auto heldRepeat = hotkeyPress;
    heldRepeat.isRepeat = true;
    DoubleTapTrigger trigger(monitors, runtime, settings, log);
    trigger.onActivate = [this] { popup.togglePopup(); };
    trigger.restart(DoubleTapModifier::option);
    const auto idleMonitors = monitors.monitorCount();
    int consumed = 0;
    const std::map<char, std::function<void()>> steps = {
        {'t', [&] { popup.togglePopup(); }},
        {'h', [&] { consumed += panel.events.keyDown(hotkeyPress); }},
        {'H', [&] { consumed += panel.events.keyDown(heldRepeat); }},
        {'d',
         [&] {
             for (const auto flags : {flag::option, std::uint64_t{0}}) {
                 monitors.changeFlags(flags);
                 runtime.advance(Seconds(0.02));
             }
             monitors.changeFlags(flag::option);
             monitors.changeFlags(0);
         }},
        {'r', [&] { runtime.runUntilIdle(); }},
        {'w', [&] { runtime.advance(Seconds(0.03)); }},
    };
    const std::vector<std::tuple<const char*, std::string, bool>> cases = {
        // First, while the editor has not been read: later triggers find its menus cached.
        {"a second trigger, a double tap, during the read shows once", "tdr", true},
        {"the hot key typed into the open panel closes it", "trh", false},
        {"a held hot key's repeats neither close nor type", "trH", true},
        {"two triggers within 50 ms: closed, then open again", "trhwhr", true},
        {"a double tap during the show animation closes", "drwd", false},
        {"hot key and double tap within 50 ms: closed, then open", "trhwdr", true},
    };
    for (const auto& [name, sequence, endsVisible] : cases) {
        SCOPED_TRACE(name);
        popup.hide();
        runtime.advance(Seconds(1));
        const auto shown = std::ranges::count(panel.calls, "shortcuts Editor");
        consumed = 0;
        for (char step : sequence)
            steps.at(step)();
        runtime.advance(Seconds(1));
        EXPECT_EQ(consumed, std::ranges::count_if(sequence, [](char s) { return s == 'h' || s == 'H'; }))
            << "the trigger's keys never reach the search field";
        EXPECT_EQ(popup.isVisible(), endsVisible);
        EXPECT_EQ(panel.alive, endsVisible ? 1 : 0);
        EXPECT_EQ(monitors.monitorCount(), idleMonitors + (endsVisible ? 3u : 0u));
        EXPECT_EQ(queryShown(), "");
        EXPECT_LE(std::ranges::count(panel.calls, "shortcuts Editor") - shown,
                  std::ranges::count_if(sequence, [](char s) { return s == 't' || s == 'h' || s == 'd'; }))
            << "never shown twice for one trigger";
    }
}

TEST(PopupTips, TipsComeOneAtATimeThenTheNudgeAfterTenOpenings)
{
    fake::MemorySettingsDomain settings;
    std::int64_t tipIndex = settings.integer(keys::popupTipIndex);
    EXPECT_EQ(popupBanner(tipIndex, settings), PopupBanner{PopupTip::modifierFilter});
    for (int i = 0; i < 3; ++i)
        tipIndex = dismissTip(tipIndex, settings);
    EXPECT_EQ(settings.integer(keys::popupTipIndex), 3);

    for (int i = 0; i < 9; ++i)
        countPopupOpening(settings);
    EXPECT_EQ(popupBanner(tipIndex, settings), PopupBanner{});
    countPopupOpening(settings);
    EXPECT_EQ(popupBanner(tipIndex, settings), PopupBanner{PopupNudge::githubStar});
    // Restored from elsewhere, an index past the tips shows no tip and allows the nudge.
    EXPECT_EQ(popupBanner(7, settings), PopupBanner{PopupNudge::githubStar});

    std::vector<std::string> opened;
    followNudge(settings, [&](std::string_view address) { opened.emplace_back(address); });
    EXPECT_EQ(opened, std::vector<std::string>{std::string(repositoryAddress)});
    EXPECT_EQ(popupBanner(tipIndex, settings), PopupBanner{});

    // Dismissed, the nudge stays away; a damaged index starts over.
    settings.set(keys::popupOpenCount, 12);
    settings.remove(keys::didPromptGitHubStar);
    EXPECT_EQ(popupBanner(3, settings), PopupBanner{PopupNudge::githubStar});
    dismissNudge(settings);
    EXPECT_EQ(popupBanner(3, settings), PopupBanner{});
    EXPECT_EQ(popupBanner(-4, settings), PopupBanner{PopupTip::modifierFilter});
    EXPECT_EQ(dismissTip(-4, settings), 1);
}

} // namespace
