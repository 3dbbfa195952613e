#include "panel_fixture.h"

namespace hb::test {
namespace {

const auto* environment = testing::AddGlobalTestEnvironment(new QtEnvironment);

Shortcut item(std::string title, std::string keys)
{
    Shortcut shortcut = row(std::move(title), std::move(keys));
    shortcut.axElement = std::make_shared<platform::AccessibleElement>();
    return shortcut;
}

// 256 graphemes: letters with combining marks, emoji with skin tones, Devanagari clusters.
std::string longTitle()
{
    std::string title;
    const char* graphemes[] = {"e\u0301", "\U0001F44D\U0001F3FD", "\u0915\u094D\u0937", "a", "\u05E9\u05C1"};
    for (int i = 0; i < 256; ++i)
        title += graphemes[i % 5];
    return title;
}

} // namespace

AppShortcuts editorApplication()
{
    AppShortcuts app;
    app.appName = "Mousepad";
    app.bundleIdentifier = "org.xfce.mousepad";
    app.iconName = "org.xfce.mousepad";
    const auto sep = [] { return Shortcut::separator(); };
    app.sections = {
        section("File",
                {group(std::nullopt, {item("New", "⌃N"), sep(), item("Open…", "⌃O"), sep(), item("Save", "⌃S"),
                                      item("Reload", "⌃R"), sep(), item("Close Tab", "⌃W"), item("Quit", "⌃Q")}),
                 group("New from Template", {item("Empty Document", "⌃⌥N")})}),
        section("Edit", {group(std::nullopt, {item("Undo", "⌃Z"), item("Copy", "⌃C"), item("Paste", "⌃V"), sep(),
                                              item("Delete", "⌦")}),
                         group("Move", {item("Line Up", "⌥↑"), item("Line Down", "⌥↓")})}),
        section("Search", {group(std::nullopt, {item("Find", "⌃F"), item("Find and Replace…", "⌃R")})}),
        section("View", {group(std::nullopt,
                               {item(longTitle(), "⌃⌥⇧L"), item("Fullscreen", "F11"), sep(), item("Zoom In", "⌃+")}),
                         group("Color Scheme", {item("Dark Variant", "⌃⌥⇧D")})}),
        section("Document",
                {group(std::nullopt, {item("تحويل المستند إلى ترميز آخر مع الحفاظ على جميع الإعدادات الحالية", "⌃⇧E"),
                                      item("Spell ✍️ check 🇫🇷 français — naïve café", "⌃⌥S"),
                                      item("Z̴̡a̷l̸g̶o̵ combining ñ̃ marks", "⌃⌥Z"), sep(), item("Next Tab", "⌃⇟")}),
                 group("Tab Size", {item("Tab Size 2", "⌃⌥2"), item("Tab Size 4", "⌃⌥4")})}),
        section("Help", {group(std::nullopt, {item("Contents", "F1"), item("Keyboard Shortcuts", "⌃?")})}),
    };
    return app;
}

PanelHarness::PanelHarness()
{
    settings.set(keys::showConflictIndicator, true);
    PopupPanelEvents events;
    events.keyDown = [this](const platform::KeyEvent& key) {
        keys.push_back(key);
        return keyDownConsumes;
    };
    events.flagsChanged = [](std::uint64_t) {};
    events.activate = [this](const Shortcut& shortcut) { activated.push_back(shortcut.title); };
    events.chooseOption = [this](std::size_t option) { options.push_back(option); };
    events.grant = [] {};
    window_ = std::make_unique<views::PopupWindow>(std::move(events), settings);
}

void PanelHarness::show(AppShortcuts app, platform::Rect visibleFrame)
{
    auto columns = layout::layoutColumns(app, visibleFrame, settings.boolean(keys::wrapLongSections));
    // As the controller does: measure with a first model, then show the one that knows whether it fits.
    auto measured = std::make_shared<PopupFilterModel>(app, columns.columns, true, settings, favourites, ignoreList);
    window_->showShortcuts(measured);
    const auto frame = layout::panelFrame(columns, window_->fittingHeight(columns.width));
    model_ = std::make_shared<PopupFilterModel>(std::move(app), std::move(columns.columns), frame.fitsWithoutScrolling,
                                                settings, favourites, ignoreList);
    window_->showShortcuts(model_);
    measured.reset();
    window_->setFrame(frame.frame);
    QApplication::processEvents();
}

} // namespace hb::test
