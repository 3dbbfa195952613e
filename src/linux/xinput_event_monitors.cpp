#include "linux/xinput_event_monitors.h"

#include "linux/x11_key_codes.h"

#include <xcb/xcb.h>
#include <xcb/xinput.h>

#include "linux/xcb_reply.h"

#include <cstdlib>

namespace hb::linux_platform {
namespace {

using platform::LogCategory;

constexpr std::uint32_t keyEvents = XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_KEY_RELEASE;
constexpr std::uint32_t buttonEvents = XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS;

// Handlers may add or remove monitors while being told: each is called on a
// copy, and the walk resumes after its token.
template <typename Handler, typename... Args>
void tell(const std::map<platform::EventMonitors::Token, Handler>& handlers, const Args&... args)
{
    for (auto entry = handlers.begin(); entry != handlers.end();) {
        const auto token = entry->first;
        Handler handler = entry->second;
        handler(args...);
        entry = handlers.upper_bound(token);
    }
}

} // namespace

XInputEventMonitors::XInputEventMonitors(ReadableWatches& watches, platform::Log& log, const std::string& displayName)
    : watches_(watches), log_(log)
{
    connection_ = xcb_connect(displayName.empty() ? nullptr : displayName.c_str(), nullptr);
    if (xcb_connection_has_error(connection_)) {
        log_.error(LogCategory::hotkey, "No X display: global input monitors are not available");
        xcb_disconnect(connection_);
        connection_ = nullptr;
        return;
    }
    root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
    const xcb_query_extension_reply_t* input = xcb_get_extension_data(connection_, &xcb_input_id);
    auto version = input && input->present ? xcbReply(xcb_input_xi_query_version_reply(
                       connection_, xcb_input_xi_query_version(connection_, 2, 2), nullptr))
                                           : xcbReply<xcb_input_xi_query_version_reply_t>(nullptr);
    if (!version || version->major_version < 2) {
        log_.error(LogCategory::hotkey, "The X server lacks XInput 2: global input monitors are not available");
        disconnect();
        return;
    }
    inputOpcode_ = input->major_opcode;
    keymap_ = X11Keymap::fromServer(connection_);
    if (!keymap_) {
        log_.error(LogCategory::hotkey, "The X server offers no keyboard map: global input monitors are not available");
        disconnect();
        return;
    }
    keymapEvent_ = selectKeymapChanges(connection_);
    reader_ = std::make_unique<XcbEventReader>(
        watches_, connection_, [this](const xcb_generic_event_t& event) { handleEvent(event); },
        [this] {
            log_.error(LogCategory::hotkey, "The X connection of the input monitors was lost; they stop");
            keymap_.reset();
            held_.reset();
            flags_ = 0;
            selectedMask_ = 0;
        });
}

XInputEventMonitors::~XInputEventMonitors()
{
    reader_.reset();
    if (connection_)
        xcb_disconnect(connection_);
}

bool XInputEventMonitors::isAvailable() const
{
    return connection_ && keymap_ && !xcb_connection_has_error(connection_);
}

template <typename Handler>
std::optional<platform::EventMonitors::Token> XInputEventMonitors::add(std::map<Token, Handler>& handlers,
                                                                       Handler handler)
{
    if (!isAvailable())
        return std::nullopt;
    const Token token = nextToken_++;
    handlers.emplace(token, std::move(handler));
    updateSelection();
    return token;
}

std::optional<platform::EventMonitors::Token>
XInputEventMonitors::addFlagsChangedMonitor(std::function<void(std::uint64_t)> handler)
{
    return add(flagsMonitors_, std::move(handler));
}

std::optional<platform::EventMonitors::Token>
XInputEventMonitors::addKeyDownMonitor(std::function<void(const platform::KeyEvent&)> handler)
{
    return add(keyMonitors_, std::move(handler));
}

std::optional<platform::EventMonitors::Token>
XInputEventMonitors::addMouseDownMonitor(std::function<void(platform::MouseButton)> handler)
{
    return add(mouseMonitors_, std::move(handler));
}

void XInputEventMonitors::removeMonitor(Token token)
{
    flagsMonitors_.erase(token);
    keyMonitors_.erase(token);
    mouseMonitors_.erase(token);
    updateSelection();
}

std::uint64_t XInputEventMonitors::heldFlags() const
{
    std::uint64_t flags = 0;
    for (std::size_t keycode = 0; keycode < held_.size(); ++keycode) {
        if (held_[keycode])
            flags |= keymap_->modifierFlag(static_cast<std::uint8_t>(keycode));
    }
    return flags;
}

void XInputEventMonitors::queryHeldKeys()
{
    held_.reset();
    auto keys = xcbReply(xcb_query_keymap_reply(connection_, xcb_query_keymap(connection_), nullptr));
    if (!keys)
        return;
    for (std::size_t keycode = 0; keycode < held_.size(); ++keycode) {
        held_[keycode] = keys->keys[keycode / 8] & (1u << (keycode % 8));
    }
}

std::uint64_t XInputEventMonitors::currentModifierFlags()
{
    if (!isAvailable())
        return 0;
    // The server's answer: releases may still wait unread while the keys are
    // up. Events read meanwhile are older; they follow, and end in this state.
    queryHeldKeys();
    const std::uint64_t flags = heldFlags();
    if ((selectedMask_ & keyEvents) && flags != flags_) {
        flags_ = flags;
        tell(flagsMonitors_, flags);
    }
    reader_->collectQueued();
    return flags;
}

void XInputEventMonitors::updateSelection()
{
    if (!isAvailable())
        return;
    std::uint32_t mask = 0;
    if (!flagsMonitors_.empty() || !keyMonitors_.empty())
        mask |= keyEvents;
    if (!mouseMonitors_.empty())
        mask |= buttonEvents;
    if (mask == selectedMask_)
        return;
    const bool startsKeys = (mask & keyEvents) && !(selectedMask_ & keyEvents);
    struct {
        xcb_input_event_mask_t head;
        std::uint32_t bits;
    } selection{{XCB_INPUT_DEVICE_ALL_MASTER, 1}, mask};
    xcb_input_xi_select_events(connection_, root_, 1, &selection.head);
    // A flush may read what the server sent meanwhile: it is kept for the reader.
    xcb_flush(connection_);
    reader_->collectQueued();
    // Asked after selecting: the events that come in before the answer are
    // older than it but end in the same state.
    if (startsKeys) {
        queryHeldKeys();
        flags_ = heldFlags();
        reader_->collectQueued();
    }
    selectedMask_ = mask;
}

void XInputEventMonitors::handleEvent(const xcb_generic_event_t& event)
{
    if (isKeymapChange(&event, keymapEvent_)) {
        keymapChanged();
        return;
    }
    if ((event.response_type & 0x7f) != XCB_GE_GENERIC)
        return;
    const auto& generic = reinterpret_cast<const xcb_ge_generic_event_t&>(event);
    if (generic.extension != inputOpcode_)
        return;
    const auto& raw = reinterpret_cast<const xcb_input_raw_key_press_event_t&>(event);
    switch (generic.event_type) {
    case XCB_INPUT_RAW_KEY_PRESS:
        keyChanged(static_cast<std::uint8_t>(raw.detail), true);
        break;
    case XCB_INPUT_RAW_KEY_RELEASE:
        keyChanged(static_cast<std::uint8_t>(raw.detail), false);
        break;
    case XCB_INPUT_RAW_BUTTON_PRESS:
        buttonPressed(raw.detail);
        break;
    default:
        break;
    }
}

void XInputEventMonitors::keymapChanged()
{
    if (auto current = X11Keymap::fromServer(connection_))
        keymap_ = std::move(current);
    flags_ = heldFlags();
    reader_->collectQueued();
}

void XInputEventMonitors::keyChanged(std::uint8_t keycode, bool down)
{
    if (!(selectedMask_ & keyEvents))
        return;
    held_[keycode] = down;
    if (keymap_->modifierFlag(keycode)) {
        const std::uint64_t flags = heldFlags();
        if (flags != flags_) {
            flags_ = flags;
            tell(flagsMonitors_, flags);
        }
        return;
    }
    // Held keys repeat their key-down events, as on the other desktop.
    if (!down)
        return;
    const auto code = keymap_->virtualKeyCode(keycode);
    std::string characters = keymap_->characters(keycode);
    platform::KeyEvent key{code ? static_cast<std::int64_t>(*code) : -1, flags_,
                           characters.empty() ? std::nullopt : std::optional(std::move(characters))};
    tell(keyMonitors_, key);
}

void XInputEventMonitors::buttonPressed(std::uint32_t button)
{
    if (button >= 4 && button <= 7)
        return; // wheel steps
    const auto kind = button == 1   ? platform::MouseButton::left
                      : button == 3 ? platform::MouseButton::right
                                    : platform::MouseButton::other;
    tell(mouseMonitors_, kind);
}

void XInputEventMonitors::disconnect()
{
    xcb_disconnect(connection_);
    connection_ = nullptr;
}

} // namespace hb::linux_platform
