#pragma once

#include "model/shortcut.h"
#include "platform/event_monitors.h"
#include "platform/runtime.h"
#include "platform/screens.h"
#include "popup/popup_filter_model.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace hb {

// What the user does inside the panel, handed to the controller. The panel
// calls these on the main thread.
struct PopupPanelEvents {
    // A key pressed in the panel; true when the popup consumed it, otherwise
    // it goes on to the search field.
    std::function<bool(const platform::KeyEvent&)> keyDown;
    // The complete modifier flags after a change while the panel has the keyboard.
    std::function<void(std::uint64_t flags)> flagsChanged;
    // A row clicked (only rows with a menu item that are not dimmed).
    std::function<void(const Shortcut&)> activate;
    // An option of the disambiguation overlay clicked.
    std::function<void(std::size_t option)> chooseOption;
    // "Open Settings…" in the permission view.
    std::function<void()> grant;
    // The settings button of the header.
    std::function<void()> openSettings;
    // The tip banner's dismiss button, the nudge's link and its dismiss button.
    std::function<void()> dismissTip;
    std::function<void()> followNudge;
    std::function<void()> dismissNudge;
    // Where the panel is an activated window: activation went to another
    // application while it was shown.
    std::function<void()> lostActivation;
};

// The floating window that shows the popup's content. The controller decides
// what it shows, where and when; the panel draws and forwards input. Created
// by the controller on first show and released after each hide. Main thread only.
class PopupPanel {
public:
    using Factory = std::function<std::unique_ptr<PopupPanel>(PopupPanelEvents events)>;

    virtual ~PopupPanel() = default;

    virtual void showPermissionRequest() = 0;
    virtual void showNoApp() = 0;
    virtual void showNoShortcuts(const std::string& appName) = 0;
    // The application let the read time out: it is busy or hung.
    virtual void showNotAnswering(const std::string& appName) = 0;
    // The shortcut list of the model, which tells the panel of its changes
    // through its observers. Shared, so that a view on its way out never
    // outlives what it draws.
    virtual void showShortcuts(std::shared_ptr<PopupFilterModel> model) = 0;
    // The height the shown shortcut list needs at this width, unbounded.
    virtual double fittingHeight(double width) = 0;
    // The column width that shows each row of `app` whole, title and keys as
    // drawn; zero when the panel cannot tell.
    virtual double columnWidthFor(const AppShortcuts& /*app*/) { return 0; }

    // Places the panel; desktop coordinates (origin bottom left, y upwards).
    virtual void setFrame(const platform::Rect& frame) = 0;
    virtual bool isVisible() const = 0;
    // Whether keys typed now reach the panel (it holds the keyboard); the
    // global key monitor then sees them a second time.
    virtual bool hasKeyboard() const = 0;
    // Brings the panel to the front with the keyboard, fading in from
    // transparent and slightly smaller over `duration`.
    virtual void fadeIn(platform::Seconds duration) = 0;
    // Fades to transparent over `duration`; the controller orders it out after.
    virtual void fadeOut(platform::Seconds duration) = 0;
    // Off the screen, opaque again, the keyboard given back.
    virtual void orderOut() = 0;
};

} // namespace hb
