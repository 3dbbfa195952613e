#include "popup/popup_controller.h"

#include "menus/menu_bar_reader.h"
#include "platform/fake/fake_accessibility.h"
#include "platform/fake/fake_event_monitors.h"
#include "platform/fake/fake_screens.h"
#include "platform/fake/fake_workspace.h"
#include "platform/fake/memory_log.h"
#include "platform/fake/memory_settings_domain.h"
#include "platform/fake/virtual_runtime.h"
#include "settings/settings_keys.h"
#include "support/model_builders.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

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
    PopupFilterModel* model = nullptr;
    platform::Rect frame;
    bool visible = false;
    int created = 0;
    int alive = 0;
    double fittingHeight = 300;
    std::function<void()> onFadeOut;
};

class RecordingPanel : public PopupPanel {
public:
    RecordingPanel(PanelRecord& record, PopupPanelEvents events) : record_(record)
    {
        record_.events = std::move(events);
        ++record_.created;
        ++record_.alive;
    }
    ~RecordingPanel() override { --record_.alive; }

    void showPermissionRequest() override { record_.calls.push_back("permission"); }
    void showNoApp() override { record_.calls.push_back("noApp"); }
    void showNoShortcuts(const std::string& appName) override { record_.calls.push_back("none " + appName); }
    void showShortcuts(PopupFilterModel& model) override
    {
        record_.calls.push_back("shortcuts " + model.app().appName);
        record_.model = &model;
    }
    double fittingHeight(double) override { return record_.fittingHeight; }
    void setFrame(const platform::Rect& frame) override { record_.frame = frame; }
    bool isVisible() const override { return record_.visible; }
    void fadeIn(Seconds) override
    {
        record_.visible = true;
        record_.calls.push_back("fadeIn");
    }
    void fadeOut(Seconds) override
    {
        record_.calls.push_back("fadeOut");
        if (record_.onFadeOut)
            record_.onFadeOut();
    }
    void orderOut() override
    {
        record_.visible = false;
        record_.calls.push_back("orderOut");
    }

private:
    PanelRecord& record_;
};

class PopupControllerTest : public testing::Test {
protected:
    PopupControllerTest()
    {
        screens.addScreen({{0, 0}, {1440, 900}}, 25);
        accessibility.addApplication(editor.pid, {menu("File", {item("New", "n"), item("Save", "s")}),
                                                  menu("Edit", {item("Copy", "c"), item("Paste", "v")})});
        accessibility.addApplication(viewer.pid, {menu("View", {item("Zoom In", "+")})});
        workspace.activate(editor);
        popup.onPermissionGranted = [this] { ++grants; };
    }

    std::size_t count(const std::string& call) const
    {
        return std::size_t(std::count(panel.calls.begin(), panel.calls.end(), call));
    }
    std::string queryShown() const { return popup.filterModel() ? popup.filterModel()->query() : "<none>"; }
    void showAndSettle()
    {
        popup.showPopup();
        runtime.runUntilIdle();
    }
    const Shortcut& visibleRow(const std::string& title) const
    {
        for (const auto* row : popup.filterModel()->visibleShortcuts())
            if (row->title == title)
                return *row;
        throw std::runtime_error("no row " + title);
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
                                runtime, runtime, runtime, accessibility, settings, ignoreList};
    std::vector<std::pair<bool, bool>> extraRequests;
    PanelRecord panel;
    int grants = 0;
    PopupController popup{PopupDependencies{
        .accessibility = accessibility, .workspace = workspace, .screens = screens, .eventMonitors = monitors,
        .clock = runtime, .mainQueue = runtime, .background = runtime, .settings = settings, .log = log,
        .frontmostMonitor = frontmost, .menuReader = menuReader, .favourites = favourites, .ignoreList = ignoreList,
        .extraSections =
            [this](bool system, bool registered) {
                extraRequests.emplace_back(system, registered);
                std::vector<MenuSection> sections;
                if (system)
                    sections.push_back(test::section("System", {test::group({}, {test::row("Spotlight", "⌘Space")})}));
                if (registered)
                    sections.push_back(test::section("Tool", {test::group({}, {test::row("Run", "⌃⌥R")})}));
                return sections;
            },
        .makePanel = [this](PopupPanelEvents events) { return std::make_unique<RecordingPanel>(panel, std::move(events)); },
        .openAddress = [](std::string_view) {},
        .quit = [] {},
    }};
};

TEST_F(PopupControllerTest, TwoTriggersDuringOneReadShowOnceAfterOneRead)
{
    popup.togglePopup();
    popup.togglePopup();  // nothing is shown yet: a second show that cancels the first
    EXPECT_EQ(panel.created, 0);
    runtime.runUntilIdle();

    EXPECT_EQ(reads.size(), 1u);
    EXPECT_THAT(panel.calls, ElementsAre("shortcuts Editor", "fadeIn"));
    EXPECT_EQ(settings.integer(keys::popupOpenCount), 1);
    EXPECT_TRUE(popup.isVisible());
    EXPECT_EQ(popup.currentAppName(), "Editor");
    // Centred on the visible frame below the 25-point bar.
    EXPECT_DOUBLE_EQ(panel.frame.midY(), 437.5);
    EXPECT_DOUBLE_EQ(panel.frame.size.height, 300);
}

TEST_F(PopupControllerTest, ExtraSectionsFollowTheMenusAndComeFromAUserInitiatedTask)
{
    settings.set(keys::showSystemShortcuts, true);
    settings.set(keys::showThirdPartyShortcuts, true);
    showAndSettle();
    EXPECT_EQ(runtime.lastBackgroundPriority(), platform::TaskPriority::userInitiated);
    EXPECT_THAT(extraRequests, ElementsAre(std::pair(true, true)));
    std::vector<std::string> titles;
    for (const auto& section : popup.filterModel()->app().sections)
        titles.push_back(section.title);
    EXPECT_THAT(titles, ElementsAre("File", "Edit", "System", "Tool"));
}

TEST_F(PopupControllerTest, WithoutAnApplicationTheSystemSectionOrTheMessageShows)
{
    workspace.setFrontmost(std::nullopt);
    FrontmostAppMonitor nobody{workspace, ownPID};
    PopupDependencies dependencies{accessibility, workspace, screens, monitors, runtime, runtime, runtime, settings,
                                   log, nobody, menuReader, favourites, ignoreList,
                                   [](bool system, bool) {
                                       return system ? std::vector{test::section("System", {test::group({}, {test::row("Lock", "⌃⌘Q")})})}
                                                     : std::vector<MenuSection>{};
                                   },
                                   [this](PopupPanelEvents events) { return std::make_unique<RecordingPanel>(panel, std::move(events)); }};
    PopupController alone{dependencies};

    alone.showPopup();
    runtime.runUntilIdle();
    EXPECT_EQ(panel.calls.front(), "noApp");
    EXPECT_EQ(panel.frame.size, (platform::Size{360, 200}));
    EXPECT_EQ(settings.integer(keys::popupOpenCount), 0);

    settings.set(keys::showSystemShortcuts, true);
    alone.showPopup();
    runtime.runUntilIdle();
    ASSERT_TRUE(alone.filterModel());
    EXPECT_EQ(alone.filterModel()->app().appName, "System");
    EXPECT_EQ(alone.filterModel()->app().bundleIdentifier, "__system__");
    EXPECT_FALSE(alone.filterModel()->app().pid);
    EXPECT_TRUE(reads.empty());
}

TEST_F(PopupControllerTest, ToggleHidesWithAFadeThenReleasesThePanel)
{
    showAndSettle();
    EXPECT_EQ(monitors.monitorCount(), 3u);
    popup.togglePopup();
    EXPECT_FALSE(popup.isVisible());
    EXPECT_EQ(monitors.monitorCount(), 0u);
    EXPECT_EQ(panel.calls.back(), "fadeOut");

    runtime.advance(Seconds(0.09));
    EXPECT_EQ(panel.alive, 1);
    runtime.advance(Seconds(0.01));
    EXPECT_EQ(panel.calls.back(), "orderOut");
    EXPECT_EQ(panel.alive, 0);
    EXPECT_TRUE(popup.filterModel()) << "the model outlives the panel for the next show";
}

TEST_F(PopupControllerTest, AShowDuringTheFadeKeepsThePanel)
{
    showAndSettle();
    popup.hide();
    runtime.advance(Seconds(0.05));
    popup.togglePopup();  // fading out counts as hidden
    runtime.runUntilIdle();
    runtime.advance(Seconds(1));
    EXPECT_EQ(count("orderOut"), 0u);
    EXPECT_EQ(panel.created, 1);
    EXPECT_TRUE(popup.isVisible());
    EXPECT_EQ(reads.size(), 1u) << "the second show reuses the cached read";
}

TEST_F(PopupControllerTest, SearchTextSurvivesReopeningOverTheSameApplicationOnly)
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

    // While ignored rows show under a search, every showing starts empty.
    popup.filterModel()->setQuery("zoom");
    ignoreList.setEnabled(true);
    ignoreList.setShowWhenFiltering(true);
    popup.hide();
    showAndSettle();
    EXPECT_EQ(queryShown(), "");
}

TEST_F(PopupControllerTest, AnIgnoredApplicationMakesTheTriggerDoNothing)
{
    ignoreList.addIgnoredApp(*editor.bundleIdentifier, editor.name);
    popup.togglePopup();
    runtime.runUntilIdle();
    EXPECT_EQ(panel.created, 0);
    EXPECT_TRUE(reads.empty());
    EXPECT_EQ(settings.integer(keys::popupOpenCount), 0);
}

TEST_F(PopupControllerTest, PermissionPollStopsWithinHalfASecondOfTheGrant)
{
    accessibility.setTrusted(false);
    popup.showPopup();
    EXPECT_EQ(panel.calls.front(), "permission");
    EXPECT_EQ(panel.frame.size, (platform::Size{420, 300}));
    runtime.advance(Seconds(1.7));
    EXPECT_EQ(grants, 0);

    accessibility.setTrusted(true);
    runtime.advance(Seconds(0.5));
    EXPECT_EQ(grants, 1);
    EXPECT_FALSE(popup.isPollingPermission());
    runtime.advance(Seconds(5));
    EXPECT_EQ(grants, 1);

    // Any other content, and hiding, stop the poll too.
    accessibility.setTrusted(false);
    popup.showPopup();
    EXPECT_TRUE(popup.isPollingPermission());
    popup.hide();
    EXPECT_FALSE(popup.isPollingPermission());
}

TEST_F(PopupControllerTest, ClickingARowClosesThePopupBeforePressing)
{
    showAndSettle();
    auto& save = *accessibility.find(editor.pid, {"File", "Save"});
    int pressesAtFade = -1;
    panel.onFadeOut = [&] { pressesAtFade = save.pressCount(); };
    panel.events.activate(visibleRow("Save"));
    EXPECT_EQ(pressesAtFade, 0);
    EXPECT_EQ(save.pressCount(), 1);
    EXPECT_FALSE(popup.isVisible());
}

TEST_F(PopupControllerTest, ARowOfAnApplicationThatHasQuitOnlyClosesThePopup)
{
    showAndSettle();
    accessibility.quit(editor.pid);
    // Return on the selected row: the keyboard closes, the controller presses.
    popup.filterModel()->setSelectedIndex(2);  // Copy
    EXPECT_TRUE(panel.events.keyDown({.keyCode = 36}));
    EXPECT_FALSE(popup.isVisible());
    EXPECT_TRUE(sink.contains(platform::LogCategory::accessibility, platform::LogLevel::error,
                              "AX press failed for '<private>'"));
}

TEST_F(PopupControllerTest, ReadsHideLargeSubmenusOnlyWithAllMenuItems)
{
    settings.set(keys::hideLargeSubmenus, true);
    showAndSettle();
    EXPECT_FALSE(reads.back().maxSubmenuSize);

    settings.set(keys::showAllMenuItems, true);
    popup.hide();
    showAndSettle();
    EXPECT_EQ(reads.back().maxSubmenuSize, 5);
    EXPECT_TRUE(reads.back().includeAll);
    EXPECT_TRUE(popup.filterModel()->app().includesItemsWithoutShortcuts);
}

TEST_F(PopupControllerTest, MonitorsFollowModifiersEscapeClicksAndActivations)
{
    monitors.changeFlags(platform::modifier_flags::command);
    showAndSettle();
    EXPECT_EQ(popup.filterModel()->heldModifiers(), (PopupFilterModel::ModifierSet{"⌘"}));
    monitors.changeFlags(platform::modifier_flags::shift | platform::modifier_flags::control);
    EXPECT_EQ(popup.filterModel()->heldModifiers(), (PopupFilterModel::ModifierSet{"⇧", "⌃"}));
    monitors.changeFlags(0);

    // Escape clears the search first, then closes.
    popup.filterModel()->setQuery("sa");
    monitors.pressKey({.keyCode = 53});
    EXPECT_EQ(queryShown(), "");
    EXPECT_TRUE(popup.isVisible());
    monitors.pressKey({.keyCode = 53});
    EXPECT_FALSE(popup.isVisible());

    showAndSettle();
    workspace.activate(fake::application(ownPID, "Hintboard"));
    EXPECT_TRUE(popup.isVisible()) << "this program's own activation";
    workspace.activate(viewer);
    EXPECT_FALSE(popup.isVisible());

    showAndSettle();
    screens.moveMouse({panel.frame.midX(), panel.frame.midY()});
    monitors.pressMouse(platform::MouseButton::left);
    EXPECT_TRUE(popup.isVisible()) << "a click into the panel";
    screens.moveMouse({1, 1});
    monitors.pressMouse(platform::MouseButton::right);
    EXPECT_FALSE(popup.isVisible());
}

TEST_F(PopupControllerTest, OwnActionsAreOfferedBesideTheApplicationsCommand)
{
    accessibility.addApplication(300, {menu("Window", {item("Close", "w")})});
    workspace.activate(fake::application(300, "Browser", "org.example.browser"));
    showAndSettle();
    EXPECT_TRUE(panel.events.keyDown({.keyCode = 13, .modifierFlags = platform::modifier_flags::command,
                                      .characters = "w"}));
    ASSERT_TRUE(popup.filterModel()->disambiguation());
    panel.events.chooseOption(1);  // "Close Hintboard Popup"
    EXPECT_FALSE(popup.isVisible());
    EXPECT_EQ(accessibility.find(300, {"Window", "Close"})->pressCount(), 0);
}

} // namespace
