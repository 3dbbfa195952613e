#pragma once

#include "platform/settings_domain.h"
#include "popup/popup_panel.h"
#include "popup/views/panel_context.h"
#include "popup/views/popup_window_behaviour.h"
#include "settings/theme_settings.h"

#include <QWidget>

#include <memory>
#include <optional>

class QParallelAnimationGroup;
class QPropertyAnimation;
class QVBoxLayout;

namespace hb::views {

class FilterableShortcutsView;

// The popup's floating window. On X11 it bypasses the window manager, so the
// application in front stays active; it takes the keyboard with a grab while
// it is shown. On Wayland the compositor activates it and it closes when
// activation goes elsewhere (see PopupWindowMode). Keys go to the controller
// first and, when it passes them on, to the search field.
class PopupWindow : public QWidget, public PopupPanel {
    Q_OBJECT

public:
    PopupWindow(PopupPanelEvents events, platform::SettingsDomain& settings, ThemeSettings* theme = nullptr,
                PopupWindowMode mode = PopupWindowMode::unmanaged);
    ~PopupWindow() override;

    // Makes windows of this kind for the controller.
    static PopupPanel::Factory factory(platform::SettingsDomain& settings, ThemeSettings* theme = nullptr,
                                       PopupWindowMode mode = PopupWindowMode::unmanaged);

    void showPermissionRequest() override;
    void showNoApp() override;
    void showNoShortcuts(const std::string& appName) override;
    void showNotAnswering(const std::string& appName) override;
    void showShortcuts(std::shared_ptr<PopupFilterModel> model) override;
    double fittingHeight(double width) override;
    double columnWidthFor(const AppShortcuts& app) override;

    void setFrame(const platform::Rect& frame) override;
    bool isVisible() const override;
    bool hasKeyboard() const override;
    void fadeIn(platform::Seconds duration) override;
    void fadeOut(platform::Seconds duration) override;
    void orderOut() override;

    // The shown view, and the shortcut list when that is what it shows.
    QWidget* content() const { return content_; }
    FilterableShortcutsView* shortcutsView() const { return shortcuts_; }
    PanelContext& context() { return context_; }

    // Desktop coordinates (origin bottom left of the primary screen, y up) to Qt's.
    static QRect qtGeometry(const platform::Rect& frame, const QRect& primaryScreen);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    void setContent(QWidget* content, FilterableShortcutsView* shortcuts);
    // Told before a dialog of the panel opens (true) and after it closed.
    void setDialogOpen(bool modal);
    // Whether the controller took the key.
    bool dispatchKey(QKeyEvent* event);
    QWidget* keyboardTarget() const;
    void takeKeyboard();
    void giveBackKeyboard();
    void stopAnimation();

    PanelContext context_;
    QVBoxLayout* layout_ = nullptr;
    QWidget* content_ = nullptr;
    FilterableShortcutsView* shortcuts_ = nullptr;
    std::unique_ptr<PopupWindowBehaviour> behaviour_;
    QParallelAnimationGroup* animation_ = nullptr;
    QPropertyAnimation* scale_ = nullptr;
    QRect target_;
    bool modal_ = false;
    bool clipCorners_ = false;
    bool hiddenForDialog_ = false;
    std::optional<std::uint64_t> reportedFlags_;
};

} // namespace hb::views
