#include "popup/views/popup_window_behaviour.h"

#include <QGuiApplication>
#include <QTimer>
#include <QWindow>

#include <chrono>

namespace hb::views {
namespace {

constexpr int maximumGrabAttempts = 25;
constexpr std::chrono::milliseconds grabRetryInterval{20};

// Above every window, never activated, the keyboard grabbed.
class UnmanagedBehaviour final : public PopupWindowBehaviour {
public:
    explicit UnmanagedBehaviour(QWidget& window) : window_(window)
    {
        window.setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint
                              | Qt::WindowStaysOnTopHint);
        window.setAttribute(Qt::WA_ShowWithoutActivating);
        window.setAttribute(Qt::WA_X11NetWmWindowTypeUtility);
    }
    ~UnmanagedBehaviour() override { giveBackKeyboard(); }

    void takeKeyboard(QWidget& target) override
    {
        target.grabKeyboard();
        grabber_ = &target;
        grabAttempts_ = 0;
        confirmGrab();
    }
    void giveBackKeyboard() override
    {
        if (grabber_)
            grabber_->releaseKeyboard();
        grabber_ = nullptr;
        keyboardGrabbed_ = false;
    }
    bool holdsKeyboard() const override { return grabber_ != nullptr; }
    bool hasKeyboard() const override { return window_.isVisible() && (keyboardGrabbed_ || window_.isActiveWindow()); }
    bool animates() const override { return true; }
    // An unmanaged window stays above every window the window manager
    // stacks, dialogs included.
    bool hidesForDialogs() const override { return true; }
    void setModal(bool) override {}

private:
    void confirmGrab()
    {
        // X refuses a grab for a window that is not mapped yet; the map of a
        // new window is on its way, so try again shortly.
        QWindow* window = window_.windowHandle();
        if (!grabber_ || !window || !window_.isVisible()
            || !QGuiApplication::platformName().startsWith(QLatin1String("xcb")))
            return;
        keyboardGrabbed_ = window->setKeyboardGrabEnabled(true);
        if (keyboardGrabbed_ || ++grabAttempts_ > maximumGrabAttempts)
            return;
        QTimer::singleShot(grabRetryInterval, &window_, [this] { confirmGrab(); });
    }

    QWidget& window_;
    QPointer<QWidget> grabber_;
    int grabAttempts_ = 0;
    bool keyboardGrabbed_ = false;
};

// A window like any other, which the compositor activates when it appears.
class ActivatedBehaviour final : public PopupWindowBehaviour {
public:
    ActivatedBehaviour(QWidget& window, std::function<void()> lostActivation)
        : window_(window), lostActivation_(std::move(lostActivation))
    {
        window.setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
        window.setAttribute(Qt::WA_ShowWithoutActivating, false);
        // A window of this program (a dialog, a menu) taking over is no loss;
        // none of them being active is.
        focusChanges_ =
            QObject::connect(qGuiApp, &QGuiApplication::focusWindowChanged, &window, [this](QWindow* focus) {
                if (focus && focus == window_.windowHandle()) {
                    wasActive_ = holding_;
                    return;
                }
                if (focus || !wasActive_ || modal_ || !window_.isVisible())
                    return;
                wasActive_ = false;
                if (lostActivation_)
                    lostActivation_();
            });
    }
    ~ActivatedBehaviour() override { QObject::disconnect(focusChanges_); }

    void takeKeyboard(QWidget&) override
    {
        holding_ = true;
        if (window_.isActiveWindow())
            wasActive_ = true;
        else
            window_.activateWindow();
    }
    void giveBackKeyboard() override
    {
        holding_ = false;
        wasActive_ = false;
    }
    bool holdsKeyboard() const override { return holding_; }
    bool hasKeyboard() const override { return window_.isVisible() && window_.isActiveWindow(); }
    // The compositor places the window, and Wayland has no window opacity.
    bool animates() const override { return false; }
    bool hidesForDialogs() const override { return false; }
    void setModal(bool modal) override { modal_ = modal; }

private:
    QWidget& window_;
    std::function<void()> lostActivation_;
    QMetaObject::Connection focusChanges_;
    bool holding_ = false;
    bool wasActive_ = false;
    bool modal_ = false;
};

} // namespace

std::unique_ptr<PopupWindowBehaviour> PopupWindowBehaviour::make(PopupWindowMode mode, QWidget& window,
                                                                 std::function<void()> lostActivation)
{
    if (mode == PopupWindowMode::activated)
        return std::make_unique<ActivatedBehaviour>(window, std::move(lostActivation));
    return std::make_unique<UnmanagedBehaviour>(window);
}

} // namespace hb::views
