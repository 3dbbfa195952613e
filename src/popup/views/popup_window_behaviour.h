#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>

namespace hb::views {

// How the popup window meets the window system, chosen once per session.
enum class PopupWindowMode {
    // X11: a window the window manager leaves alone, so that the application
    // in front stays active; it holds the keyboard with a grab while shown.
    unmanaged,
    // Wayland: a frameless window that the compositor places and activates;
    // it gets the keys as the active window and reports when activation goes
    // to another application. No window can hold keys there without it.
    activated,
};

// What differs between the modes: the window's flags, how it gets the
// keyboard, whether it animates and how it stands towards dialogs and
// activation. Made for one window, at its construction.
class PopupWindowBehaviour {
public:
    // Sets the window's flags and attributes. `lostActivation` is called when
    // the shown window loses activation to another application (activated mode).
    static std::unique_ptr<PopupWindowBehaviour> make(PopupWindowMode mode, QWidget& window,
                                                      std::function<void()> lostActivation);

    virtual ~PopupWindowBehaviour() = default;

    // Sends the keys to `target`, a child of the shown window with focus.
    virtual void takeKeyboard(QWidget& target) = 0;
    virtual void giveBackKeyboard() = 0;
    // Whether takeKeyboard was the last of the two.
    virtual bool holdsKeyboard() const = 0;
    // Whether keys typed now reach the window.
    virtual bool hasKeyboard() const = 0;
    // Whether it fades and grows in from a placed, smaller frame.
    virtual bool animates() const = 0;
    // Whether it gives way (hides) while a dialog of this program is open.
    virtual bool hidesForDialogs() const = 0;
    // Told when a dialog of this program opens (true) and closes.
    virtual void setModal(bool modal) = 0;
};

} // namespace hb::views
