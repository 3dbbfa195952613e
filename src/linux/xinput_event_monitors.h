#pragma once

#include "base/log.h"
#include "linux/readable_watches.h"
#include "linux/xcb_event_reader.h"
#include "platform/event_monitors.h"

#include <bitset>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace hb::linux_platform {

class X11Keymap;

// Global monitors from XInput 2 raw key and button events on the root
// window, read on an X connection of their own that the main loop watches.
// Events are selected only while a monitor of their kind exists. Modifier
// flags are the held modifier keys, left and right alike, by the keyboard
// map of the moment.
class XInputEventMonitors : public platform::EventMonitors {
public:
    // An empty display name means $DISPLAY. Without a display, XInput 2 or a
    // keyboard map every monitor is reported as none; see `isAvailable`.
    XInputEventMonitors(ReadableWatches& watches, platform::Log& log, const std::string& displayName = {});
    ~XInputEventMonitors() override;
    XInputEventMonitors(const XInputEventMonitors&) = delete;
    XInputEventMonitors& operator=(const XInputEventMonitors&) = delete;

    bool isAvailable() const;

    std::optional<Token> addFlagsChangedMonitor(std::function<void(std::uint64_t flags)> handler) override;
    std::optional<Token> addKeyDownMonitor(std::function<void(const platform::KeyEvent&)> handler) override;
    std::optional<Token> addMouseDownMonitor(std::function<void(platform::MouseButton)> handler) override;
    void removeMonitor(Token token) override;
    std::uint64_t currentModifierFlags() override;

private:
    template <typename Handler>
    std::optional<Token> add(std::map<Token, Handler>& handlers, Handler handler);
    void updateSelection();
    void handleEvent(const xcb_generic_event_t& event);
    void keymapChanged();
    void keyChanged(std::uint8_t keycode, bool down);
    void buttonPressed(std::uint32_t button);
    std::uint64_t heldFlags() const;
    void queryHeldKeys();
    void disconnect();

    ReadableWatches& watches_;
    platform::Log& log_;
    xcb_connection_t* connection_ = nullptr;
    std::uint32_t root_ = 0;
    std::uint8_t inputOpcode_ = 0;
    std::unique_ptr<X11Keymap> keymap_;
    std::uint8_t keymapEvent_ = 0;
    std::unique_ptr<XcbEventReader> reader_;
    std::uint32_t selectedMask_ = 0;
    std::bitset<256> held_; // keycodes down, while key events are selected
    std::uint64_t flags_ = 0;
    Token nextToken_ = 1;
    std::map<Token, std::function<void(std::uint64_t)>> flagsMonitors_;
    std::map<Token, std::function<void(const platform::KeyEvent&)>> keyMonitors_;
    std::map<Token, std::function<void(platform::MouseButton)>> mouseMonitors_;
};

} // namespace hb::linux_platform
