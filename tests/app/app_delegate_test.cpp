#include "tray/app_delegate.h"

#include "fake/fake_accessibility.h"
#include "fake/fake_app_presence.h"
#include "fake/fake_workspace.h"
#include "fake/memory_log.h"
#include "fake/memory_settings_domain.h"
#include "fake/virtual_runtime.h"
#include "settings/settings_keys.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <memory>

namespace hb {
namespace {

using namespace ::testing;
using platform::Seconds;

class RecordingStatusItem : public StatusItem {
public:
    bool exists() const override { return present; }
    void setIconStyle(MenuBarIconStyle style) override { styles.push_back(style); }
    void showMenu(std::vector<StatusMenuEntry> entries) override { menu = std::move(entries); }
    void showReadyHint(const std::string& title, const std::string& text) override { hint = title + " / " + text; }
    void closeReadyHint() override { hint.reset(); }
    void showAbout() override {}

    bool present = true;
    std::vector<MenuBarIconStyle> styles;
    std::vector<StatusMenuEntry> menu;
    std::optional<std::string> hint;
};

class ManualWake : public platform::SystemWake {
public:
    ObserverId addWakeObserver(std::function<void()> observer) override
    {
        observers[++lastId] = std::move(observer);
        return lastId;
    }
    void removeWakeObserver(ObserverId id) override { observers.erase(id); }
    std::map<ObserverId, std::function<void()>> observers;
    ObserverId lastId = 0;
};

class AppDelegateTest : public ::testing::Test {
protected:
    AppDelegateTest() { settings.set(keys::didShowOnboardingWizard, true); }

    std::unique_ptr<AppDelegate> launched()
    {
        const auto record = [this](std::string call) { return [this, call] { calls.push_back(call); }; };
        auto delegate = std::make_unique<AppDelegate>(
            AppServices{runtime,
                        settings,
                        notifications,
                        wake,
                        presence,
                        accessibility,
                        log,
                        monitor,
                        statusItem,
                        [this](PopupCallbacks callbacks) { popupCallbacks = std::move(callbacks); },
                        record("toggle"),
                        record("show"),
                        record("hide"),
                        [this](const platform::RunningApplication& app) { calls.push_back("precache " + app.name); },
                        [this](std::function<void()> onActivate) { hotkeyPressed = std::move(onActivate); },
                        [this] { return hotkey; },
                        [this] { return hotkeyWorks; },
                        [this](std::function<void()> onActivate) {
                            calls.push_back("doubleTap");
                            doubleTapped = std::move(onActivate);
                        },
                        record("quit"),
                        [](const std::string&, const std::string&) {}});
        delegate->onOpenWizard = [this](WizardHandlers handlers) { wizard = std::move(handlers); };
        delegate->launch();
        runtime.runMainQueue();
        return delegate;
    }

    // The titles of the menu a secondary click opens; "—" for a separator.
    std::vector<std::string> openMenu()
    {
        statusItem.onClick(StatusClick{.secondaryButton = true});
        std::vector<std::string> titles;
        for (const auto& entry : statusItem.menu)
            titles.push_back(entry.kind == StatusMenuEntry::Kind::separator ? "—" : entry.title);
        return titles;
    }
    const StatusMenuEntry& entry(std::string_view prefix) const
    {
        return *std::ranges::find_if(statusItem.menu, [&](const auto& e) { return e.title.starts_with(prefix); });
    }

    fake::VirtualRuntime runtime;
    fake::MemorySettingsDomain settings;
    platform::NotificationCenter notifications{runtime};
    ManualWake wake;
    fake::FakeAppPresence presence;
    fake::FakeAccessibility accessibility;
    fake::MemoryLogSink sink;
    platform::Log log{sink, [] { return false; }};
    fake::FakeWorkspace workspace;
    FrontmostAppMonitor monitor{workspace, 1};
    RecordingStatusItem statusItem;

    std::vector<std::string> calls;
    std::optional<GlobalHotkey> hotkey = defaultHotkey;
    bool hotkeyWorks = true;
    PopupCallbacks popupCallbacks;
    std::function<void()> hotkeyPressed;
    std::function<void()> doubleTapped;
    std::optional<WizardHandlers> wizard;
};

TEST_F(AppDelegateTest, LaunchAppliesTheIconsAndLogsTheSnapshotAndEveryTriggerTogglesThePopup)
{
    settings.set(keys::appIconVariant, 2);
    settings.set(keys::menuBarIconStyle, 9);
    auto delegate = launched();
    EXPECT_EQ(presence.icon(), "AppIconControl");
    // Out of range reads as keyboard, which the launch then stores as the double tap (off) asks.
    EXPECT_THAT(statusItem.styles, ElementsAre(MenuBarIconStyle::keyboard, MenuBarIconStyle::keyboard));
    EXPECT_EQ(settings.integer(keys::menuBarIconStyle), 0);

    calls.clear();
    hotkeyPressed();
    doubleTapped();
    statusItem.onClick(StatusClick{});
    workspace.activate(fake::application(7, "Editor", "org.example.editor"));
    runtime.runMainQueue();
    EXPECT_THAT(calls, ElementsAre("toggle", "toggle", "toggle", "precache Editor"));

    // Observers once, however often launched; wake re-applies the double tap, a notification the icon.
    delegate->launch();
    calls.clear();
    ASSERT_EQ(wake.observers.size(), 1u);
    wake.observers.begin()->second();
    EXPECT_THAT(calls, ElementsAre("doubleTap"));
    settings.set(keys::menuBarIconStyle, 2);
    notifications.post(notifications::menuBarIconStyleChanged);
    runtime.runMainQueue();
    EXPECT_EQ(statusItem.styles.back(), MenuBarIconStyle::option);
    // A channel switched on here or by synchronisation reaches the updater.
    int channelChanges = 0;
    delegate->onUpdateChannelsChanged = [&] { ++channelChanges; };
    notifications.post(notifications::receiveAlphaUpdatesChanged);
    runtime.runMainQueue();
    EXPECT_EQ(channelChanges, 1);
    // Nothing reaches a destroyed delegate.
    delegate.reset();
    EXPECT_TRUE(wake.observers.empty());
    notifications.post(notifications::menuBarIconStyleChanged);
    runtime.runMainQueue();
    EXPECT_EQ(statusItem.styles.size(), 3u);
}

TEST_F(AppDelegateTest, TheWizardOpensUntilCompletedHearsTriggersFirstAndEndsWithTheReadyHint)
{
    launched();
    EXPECT_FALSE(wizard);
    settings.remove(keys::didShowOnboardingWizard);
    settings.set(keys::onboardingResumeStep, 2);
    auto delegate = launched();
    ASSERT_TRUE(wizard);

    wizard->listenForTriggers([this] { calls.push_back("wizard hears"); });
    calls.clear();
    hotkeyPressed();
    doubleTapped();
    delegate->triggerShow();         // `hintboard show` over the bus
    delegate->statusItemClicked({}); // the icon is no trigger to check
    wizard->listenForTriggers(nullptr);
    hotkeyPressed();
    EXPECT_THAT(calls, ElementsAre("wizard hears", "toggle", "wizard hears", "toggle", "wizard hears", "show", "toggle",
                                   "toggle"));

    calls.clear();
    wizard->onComplete();
    EXPECT_TRUE(settings.boolean(keys::didShowOnboardingWizard));
    EXPECT_FALSE(settings.object(keys::onboardingResumeStep));
    runtime.advance(Seconds(0.29));
    EXPECT_THAT(calls, IsEmpty());
    runtime.advance(Seconds(0.01));
    EXPECT_THAT(calls, ElementsAre("doubleTap", "show"));
    EXPECT_THAT(*statusItem.hint, HasSubstr("Press Alt+Super+K"));
    // The popup opened with it leaves the hint up; a later one closes it.
    popupCallbacks.onWillShow();
    EXPECT_TRUE(statusItem.hint);
    popupCallbacks.onWillShow();
    EXPECT_FALSE(statusItem.hint);

    // Shown again, it closes after five seconds; without a hot key it names the icon; without a tray it is not shown.
    hotkey.reset();
    delegate->showReadyHint();
    EXPECT_THAT(*statusItem.hint, HasSubstr("Click this icon"));
    runtime.advance(Seconds(4.9));
    EXPECT_TRUE(statusItem.hint);
    runtime.advance(Seconds(0.1));
    EXPECT_FALSE(delegate->isReadyHintShown());
    statusItem.present = false;
    delegate->showReadyHint();
    EXPECT_FALSE(statusItem.hint);
}

TEST_F(AppDelegateTest, TheMenuFollowsTrustFrontAppAndHotkeyAndHidesPopupAndHintFirst)
{
    auto delegate = launched();
    delegate->showReadyHint();
    calls.clear();
    // Trusted, but no application came to the front yet: no quiz.
    EXPECT_THAT(openMenu(), Not(Contains("Quiz Mode…")));
    EXPECT_FALSE(statusItem.hint);
    statusItem.onClick(StatusClick{.modifierFlags = 0x40000}); // Control-click
    EXPECT_THAT(calls, ElementsAre("hide", "hide"));
    // A host that draws the menu asks for the same entries, and the popup goes first too.
    EXPECT_EQ(statusItem.onMenuOpening().size(), statusItem.menu.size());
    entry("Show Shortcuts").action();
    EXPECT_EQ(calls.back(), "show");
    EXPECT_FALSE(entry("Check for Updates…").enabled); // no updater yet

    workspace.activate(fake::application(7, "Editor", "org.example.editor"));
    runtime.runMainQueue();
    std::optional<std::string> quizzed;
    delegate->onStartQuiz = [&](const platform::RunningApplication& app) { quizzed = app.name; };
    hotkey.reset();
    EXPECT_THAT(openMenu(), Contains("Quiz Mode…"));
    EXPECT_EQ(statusItem.menu.front().title, "Show Shortcuts  (unset)");
    entry("Quiz Mode…").action();
    EXPECT_EQ(quizzed, "Editor");

    // A stored key that the desktop took back is not offered as one; without trust the grant comes first.
    hotkey = defaultHotkey;
    hotkeyWorks = false;
    accessibility.setTrusted(false);
    EXPECT_EQ(openMenu().front(), "Grant Accessibility Access…");
    EXPECT_EQ(statusItem.menu[2].title, "Show Shortcuts  (hot key not working)");
}

} // namespace
} // namespace hb
