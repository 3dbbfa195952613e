#include "app/app_delegate.h"

#include "platform/fake/fake_accessibility.h"
#include "platform/fake/fake_app_presence.h"
#include "platform/fake/fake_workspace.h"
#include "platform/fake/memory_log.h"
#include "platform/fake/memory_settings_domain.h"
#include "platform/fake/virtual_runtime.h"
#include "settings/settings_keys.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

namespace hb {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using Kind = StatusMenuEntry::Kind;

class RecordingStatusItem : public StatusItem {
public:
    bool exists() const override { return present; }
    void setIconStyle(MenuBarIconStyle style) override { styles.push_back(style); }
    void showMenu(std::vector<StatusMenuEntry> entries) override { menu = std::move(entries); ++menusShown; }
    void showReadyHint(const std::string& title, const std::string& text) override { hint = title + " / " + text; }
    void closeReadyHint() override { hint.reset(); }
    void showAbout() override { ++aboutShown; }

    bool present = true;
    std::vector<MenuBarIconStyle> styles;
    std::vector<StatusMenuEntry> menu;
    int menusShown = 0;
    int aboutShown = 0;
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
    void wake()
    {
        for (auto& [id, observer] : observers)
            observer();
    }
    std::map<ObserverId, std::function<void()>> observers;
    ObserverId lastId = 0;
};

class AppDelegateTest : public ::testing::Test {
protected:
    AppDelegateTest()
    {
        accessibility.setTrusted(true);
        settings.set(keys::didShowOnboardingWizard, true);
    }

    AppServices services()
    {
        return AppServices{
            .mainQueue = runtime,
            .settings = settings,
            .notifications = notifications,
            .systemWake = wake,
            .appPresence = presence,
            .accessibility = accessibility,
            .log = log,
            .frontmostMonitor = monitor,
            .statusItem = statusItem,
            .connectPopup = [this](PopupCallbacks callbacks) {
                calls.push_back("connectPopup");
                popupCallbacks = std::move(callbacks);
            },
            .togglePopup = [this] { calls.push_back("toggle"); },
            .showPopup = [this] { calls.push_back("show"); },
            .hidePopup = [this] { calls.push_back("hide"); },
            .precacheMenus = [this](const platform::RunningApplication& app) { calls.push_back("precache " + app.name); },
            .setUpHotkey = [this](std::function<void()> onActivate) {
                calls.push_back("hotkey");
                hotkeyPressed = std::move(onActivate);
            },
            .storedHotkey = [this] { return hotkey; },
            .hotkeyWorks = [this] { return hotkeyWorks; },
            .applyDoubleTap = [this](std::function<void()> onActivate) {
                calls.push_back("doubleTap");
                doubleTapped = std::move(onActivate);
            },
            .quit = [this] { calls.push_back("quit"); },
            .notify = [this](const std::string& title, const std::string& text) {
                notified.push_back(title + " / " + text);
            },
        };
    }

    std::unique_ptr<AppDelegate> launched()
    {
        auto delegate = std::make_unique<AppDelegate>(services());
        delegate->onOpenWizard = [this](WizardHandlers handlers) {
            calls.push_back("wizard");
            wizard = std::move(handlers);
        };
        delegate->launch();
        runtime.runMainQueue();
        return delegate;
    }

    std::vector<std::string> menuTitles() const
    {
        std::vector<std::string> titles;
        for (const auto& entry : statusItem.menu)
            titles.push_back(entry.kind == Kind::separator ? "—" : entry.title);
        return titles;
    }
    const StatusMenuEntry* entry(const std::string& title) const
    {
        for (const auto& e : statusItem.menu)
            if (e.title == title)
                return &e;
        return nullptr;
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
    std::vector<std::string> notified;
    std::optional<GlobalHotkey> hotkey = defaultHotkey;
    bool hotkeyWorks = true;
    PopupCallbacks popupCallbacks;
    std::function<void()> hotkeyPressed;
    std::function<void()> doubleTapped;
    std::optional<WizardHandlers> wizard;
};

TEST_F(AppDelegateTest, LaunchWiresPopupThenHotkeyThenDoubleTapAndLogsTheSnapshot)
{
    settings.set(keys::appIconVariant, 2);
    settings.set(keys::menuBarIconStyle, 9);
    auto delegate = launched();

    EXPECT_THAT(calls, ElementsAre("connectPopup", "hotkey", "doubleTap"));
    EXPECT_FALSE(presence.isRegular());
    EXPECT_EQ(presence.icon(), "AppIconControl");
    // Out of range reads as keyboard, which the launch then stores as the double tap (off) asks.
    EXPECT_THAT(statusItem.styles, ElementsAre(MenuBarIconStyle::keyboard, MenuBarIconStyle::keyboard));
    EXPECT_EQ(settings.integer(keys::menuBarIconStyle), 0);
    EXPECT_THAT(sink.messages(platform::LogCategory::settings),
                ElementsAre(testing::StartsWith("Settings snapshot at launch: "),
                            testing::StartsWith("Settings at their defaults: ")));

    // Both triggers and a plain click toggle the popup; activations pre-read.
    calls.clear();
    hotkeyPressed();
    doubleTapped();
    statusItem.onClick(StatusClick{});
    workspace.activate(fake::application(7, "Editor", "org.example.editor"));
    runtime.runMainQueue();
    EXPECT_THAT(calls, ElementsAre("toggle", "toggle", "toggle", "precache Editor"));
}

TEST_F(AppDelegateTest, LaunchBringsBothIconsInLineWithTheStoredDoubleTap)
{
    // As an import leaves them: double tap on Control, icons still of the keyboard and Command.
    settings.set(keys::doubleTapEnabled, true);
    settings.set(keys::doubleTapModifier, std::string("control"));
    settings.set(keys::matchAppIconToTrigger, true);
    settings.set(keys::appIconVariant, 0);
    auto delegate = launched();
    EXPECT_THAT(statusItem.styles, ElementsAre(MenuBarIconStyle::keyboard, MenuBarIconStyle::control));
    EXPECT_EQ(settings.integer(keys::menuBarIconStyle), 3);
    EXPECT_EQ(presence.icon(), "AppIconControl");
}

TEST_F(AppDelegateTest, WizardOpensOnlyUntilOnboardingIsCompleted)
{
    auto completed = launched();
    EXPECT_FALSE(wizard);
    completed.reset();

    settings.remove(keys::didShowOnboardingWizard);
    settings.set(keys::onboardingResumeStep, 2);
    auto delegate = launched();
    ASSERT_TRUE(wizard);
    EXPECT_EQ(calls.back(), "wizard");  // after the launch steps, from a task of its own

    calls.clear();
    wizard->onComplete();
    EXPECT_TRUE(settings.boolean(keys::didShowOnboardingWizard));
    EXPECT_FALSE(settings.object(keys::onboardingResumeStep));
    runtime.advance(platform::Seconds(0.29));
    EXPECT_THAT(calls, IsEmpty());
    runtime.advance(platform::Seconds(0.01));
    EXPECT_THAT(calls, ElementsAre("doubleTap", "show"));
    EXPECT_EQ(statusItem.hint, "Hintboard is ready / Press Alt+Super+K to show shortcuts for the active app.");
    // The popup opened with it leaves the hint up; a later one closes it.
    popupCallbacks.onWillShow();
    EXPECT_TRUE(statusItem.hint);
    popupCallbacks.onWillShow();
    EXPECT_FALSE(statusItem.hint);

}

TEST_F(AppDelegateTest, WithoutATrayTheUserIsToldOnceHowToReachTheProgram)
{
    statusItem.present = false;
    auto delegate = launched();
    runtime.advance(AppDelegate::trayCheckDelay - platform::Seconds(0.01));
    EXPECT_THAT(notified, IsEmpty());  // a panel may still be starting
    runtime.advance(platform::Seconds(0.01));
    ASSERT_EQ(notified.size(), 1u);
    EXPECT_THAT(notified[0], HasSubstr("Hintboard runs without a tray icon / This desktop shows no tray icons. "
                                       "To see the active app's shortcuts, press Alt+Super+K or a key you bind to "
                                       "“hintboard toggle”."));
    EXPECT_THAT(notified[0], HasSubstr("“hintboard settings”"));
    delegate->showReadyHint();
    runtime.advance(platform::Seconds(10));
    EXPECT_EQ(notified.size(), 1u);
    delegate.reset();

    // During onboarding the wizard says it; the ready hint at its end becomes the notification.
    notified.clear();
    hotkeyWorks = false;
    settings.remove(keys::didShowOnboardingWizard);
    delegate = launched();
    runtime.advance(platform::Seconds(10));
    EXPECT_THAT(notified, IsEmpty());
    wizard->onComplete();
    runtime.advance(platform::Seconds(10));
    EXPECT_THAT(notified, ElementsAre(HasSubstr("bind a key to “hintboard toggle” in the desktop's keyboard settings")));
    EXPECT_FALSE(statusItem.hint);

    // With a tray nothing is said.
    notified.clear();
    statusItem.present = true;
    settings.set(keys::didShowOnboardingWizard, true);
    delegate = launched();
    runtime.advance(platform::Seconds(10));
    EXPECT_THAT(notified, IsEmpty());
}

TEST_F(AppDelegateTest, TriggersReachTheWizardBeforeThePopup)
{
    settings.remove(keys::didShowOnboardingWizard);
    auto delegate = launched();
    ASSERT_TRUE(wizard);
    wizard->listenForTriggers([this] { calls.push_back("wizard hears"); });

    calls.clear();
    hotkeyPressed();
    doubleTapped();
    delegate->triggerShow();  // `hintboard show` over the bus
    runtime.runMainQueue();
    EXPECT_THAT(calls, ElementsAre("wizard hears", "toggle", "wizard hears", "toggle", "wizard hears", "show"));

    // The status icon is no trigger to check; a stopped listener hears nothing.
    calls.clear();
    delegate->statusItemClicked({});
    wizard->listenForTriggers(nullptr);
    hotkeyPressed();
    EXPECT_THAT(calls, ElementsAre("toggle", "toggle"));
}

TEST_F(AppDelegateTest, ObserversAreRegisteredOnceAndReapplyAfterWakeAndStyleChange)
{
    auto delegate = launched();
    delegate->launch();  // a second launch changes nothing
    EXPECT_EQ(wake.observers.size(), 1u);

    calls.clear();
    wake.wake();
    EXPECT_THAT(calls, ElementsAre("doubleTap"));

    int channelChanges = 0;
    delegate->onUpdateChannelsChanged = [&] { ++channelChanges; };
    settings.set(keys::menuBarIconStyle, 2);
    notifications.post(notifications::menuBarIconStyleChanged);
    notifications.post(notifications::receiveBetaUpdatesChanged);
    notifications.post(notifications::receiveAlphaUpdatesChanged);
    runtime.runMainQueue();
    EXPECT_THAT(statusItem.styles, ElementsAre(MenuBarIconStyle::keyboard, MenuBarIconStyle::option));
    EXPECT_EQ(channelChanges, 2);

    // Gone with the delegate: nothing reaches a destroyed one.
    delegate.reset();
    EXPECT_TRUE(wake.observers.empty());
    notifications.post(notifications::menuBarIconStyleChanged);
    runtime.runMainQueue();
    EXPECT_EQ(statusItem.styles.size(), 2u);
}

TEST_F(AppDelegateTest, SecondaryOrControlClickOpensTheMenuAfterHidingPopupAndHint)
{
    auto delegate = launched();
    delegate->showReadyHint();
    calls.clear();

    statusItem.onClick(StatusClick{.secondaryButton = true});
    EXPECT_THAT(calls, ElementsAre("hide"));
    EXPECT_FALSE(statusItem.hint);
    statusItem.onClick(StatusClick{.modifierFlags = 0x40000});
    EXPECT_EQ(statusItem.menusShown, 2);
    EXPECT_THAT(calls, ElementsAre("hide", "hide"));
}

TEST_F(AppDelegateTest, MenuEntriesFollowTrustFrontAppAndStoredHotkey)
{
    auto delegate = launched();
    statusItem.onClick(StatusClick{.secondaryButton = true});
    // Trusted, but no application came to the front yet: no quiz.
    EXPECT_THAT(menuTitles(), ElementsAre("Show Shortcuts", "Check for Updates…", "Settings…",
                                          "About Hintboard", "—", "Quit Hintboard"));
    ASSERT_TRUE(entry("Show Shortcuts")->enabled);
    EXPECT_EQ(entry("Show Shortcuts")->keyText, "Alt+Super+K");
    EXPECT_EQ(entry("Show Shortcuts")->keys, "⌥⌘K");
    calls.clear();
    entry("Show Shortcuts")->action();
    EXPECT_THAT(calls, ElementsAre("show")) << "what a click on the icon does";
    settings.set(keys::keyLabels, "symbols");
    statusItem.onClick(StatusClick{.secondaryButton = true});
    EXPECT_EQ(entry("Show Shortcuts")->keyText, "⌥⌘K");
    EXPECT_FALSE(entry("Check for Updates…")->enabled);  // no updater yet
    EXPECT_EQ(entry("Settings…")->keyEquivalent, ",");
    EXPECT_EQ(entry("Settings…")->keyText, "⌃,") << "written like the hot key beside Show Shortcuts";
    EXPECT_EQ(entry("Quit Hintboard")->keyText, "⌃Q");
    // A host that draws the menu asks for the same entries.
    EXPECT_EQ(statusItem.onMenuOpening().size(), statusItem.menu.size());

    workspace.activate(fake::application(7, "Editor", "org.example.editor"));
    runtime.runMainQueue();
    std::optional<std::string> quizzed;
    delegate->onStartQuiz = [&](const platform::RunningApplication& app) { quizzed = app.name; };
    hotkey.reset();
    statusItem.onClick(StatusClick{.secondaryButton = true});
    EXPECT_THAT(menuTitles(), ElementsAre("Show Shortcuts  (unset)", "Check for Updates…", "Quiz Mode…", "Settings…",
                                          "About Hintboard", "—", "Quit Hintboard"));
    entry("Quiz Mode…")->action();
    EXPECT_EQ(quizzed, "Editor");
    entry("About Hintboard")->action();
    EXPECT_EQ(statusItem.aboutShown, 1);
    entry("Quit Hintboard")->action();
    EXPECT_EQ(calls.back(), "quit");

    // A stored key that the desktop took back is not offered as one.
    hotkey = defaultHotkey;
    hotkeyWorks = false;
    statusItem.onClick(StatusClick{.secondaryButton = true});
    EXPECT_EQ(menuTitles().front(), "Show Shortcuts  (hot key not working)");
    delegate->showReadyHint();
    EXPECT_EQ(statusItem.hint, "Hintboard is ready / Click this icon to show shortcuts for the active app.");
    hotkey.reset();

    accessibility.setTrusted(false);
    statusItem.onClick(StatusClick{.secondaryButton = true});
    EXPECT_THAT(menuTitles(), ElementsAre("Grant Accessibility Access…", "—", "Show Shortcuts  (unset)",
                                          "Check for Updates…", "Settings…", "About Hintboard", "—",
                                          "Quit Hintboard"));
}

TEST_F(AppDelegateTest, ReadyHintClosesAfterFiveSecondsOrWhenThePopupShows)
{
    auto delegate = launched();
    hotkey.reset();
    delegate->showReadyHint();
    EXPECT_EQ(statusItem.hint, "Hintboard is ready / Click this icon to show shortcuts for the active app.");
    runtime.advance(platform::Seconds(4.9));
    EXPECT_TRUE(statusItem.hint);
    runtime.advance(platform::Seconds(0.1));
    EXPECT_FALSE(statusItem.hint);
    EXPECT_FALSE(delegate->isReadyHintShown());

    delegate->showReadyHint();
    popupCallbacks.onWillShow();
    EXPECT_FALSE(statusItem.hint);

    statusItem.present = false;
    delegate->showReadyHint();
    EXPECT_FALSE(statusItem.hint);
}

} // namespace
} // namespace hb
