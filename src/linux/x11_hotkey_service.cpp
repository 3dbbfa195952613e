#include "linux/x11_hotkey_service.h"

#include "linux/x11_key_codes.h"
#include "linux/xcb_reply.h"

#include <xcb/xcb.h>
// xkb.h names a field "explicit".
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit
#include <xkbcommon/xkbcommon-keysyms.h>

#include <cstdlib>
#include <utility>

namespace hb::linux_platform {
namespace {

using platform::LogCategory;

constexpr std::uint16_t relevantModifiers = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_4;

// The modifier mask (Mod1…Mod5) that holds `keycode`; `fallback` when none does.
std::uint16_t modifierHolding(xcb_connection_t* connection, std::uint8_t keycode, std::uint16_t fallback)
{
    auto mapping = xcbReply(xcb_get_modifier_mapping_reply(connection, xcb_get_modifier_mapping(connection), nullptr));
    if (!mapping || keycode == 0)
        return fallback;
    const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(mapping.get());
    const int perModifier = mapping->keycodes_per_modifier;
    for (int modifier = 0; modifier < 8; ++modifier) {
        for (int i = 0; i < perModifier; ++i) {
            if (codes[modifier * perModifier + i] == keycode)
                return static_cast<std::uint16_t>(1u << modifier);
        }
    }
    return fallback;
}

} // namespace

std::uint16_t x11ModifierMask(std::uint32_t carbonModifiers)
{
    std::uint16_t mask = 0;
    if (carbonModifiers & 0x1000)
        mask |= XCB_MOD_MASK_CONTROL;
    if (carbonModifiers & 0x800)
        mask |= XCB_MOD_MASK_1;
    if (carbonModifiers & 0x200)
        mask |= XCB_MOD_MASK_SHIFT;
    if (carbonModifiers & 0x100)
        mask |= XCB_MOD_MASK_4;
    return mask;
}

X11HotkeyService::X11HotkeyService(ReadableWatches& watches, platform::Log& log, const std::string& displayName)
    : watches_(watches), log_(log)
{
    connection_ = xcb_connect(displayName.empty() ? nullptr : displayName.c_str(), nullptr);
    if (xcb_connection_has_error(connection_)) {
        log_.error(LogCategory::hotkey, "No X display: the global hot key is not available");
        xcb_disconnect(connection_);
        connection_ = nullptr;
        return;
    }
    root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
    keymap_ = X11Keymap::fromServer(connection_);
    if (!keymap_) {
        log_.error(LogCategory::hotkey, "The X server offers no keyboard map: the global hot key is not available");
        return;
    }
    // Held keys then repeat presses without releases in between.
    const std::uint32_t repeat = XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT;
    std::free(xcb_xkb_per_client_flags_reply(
        connection_, xcb_xkb_per_client_flags(connection_, XCB_XKB_ID_USE_CORE_KBD, repeat, repeat, 0, 0, 0), nullptr));
    keymapEvent_ = selectKeymapChanges(connection_);
    reader_ = std::make_unique<XcbEventReader>(
        watches_, connection_, [this](const xcb_generic_event_t& event) { handleEvent(event); },
        [this] {
            log_.error(LogCategory::hotkey, "The X connection of the global hot key was lost; the hot key stops");
            const bool grabbed = std::exchange(grab_, std::nullopt).has_value();
            if (grabbed && lossHandler_)
                lossHandler_();
        });
}

X11HotkeyService::~X11HotkeyService()
{
    unregisterHotkey();
    reader_.reset();
    if (connection_)
        xcb_disconnect(connection_);
}

bool X11HotkeyService::isConnected() const
{
    return connection_ && !xcb_connection_has_error(connection_);
}

std::vector<std::uint16_t> X11HotkeyService::lockVariants() const
{
    const std::uint16_t numLock =
        modifierHolding(connection_, keymap_->keycodeOfKeysym(XKB_KEY_Num_Lock), XCB_MOD_MASK_2);
    return {0, XCB_MOD_MASK_LOCK, numLock, static_cast<std::uint16_t>(XCB_MOD_MASK_LOCK | numLock)};
}

int X11HotkeyService::registerHotkey(std::uint32_t keyCode, std::uint32_t carbonModifiers, platform::HotkeyId id)
{
    unregisterHotkey();
    if (!isConnected() || !keymap_)
        return noDisplayStatus;
    // The map of this moment: the layout may have changed since the last registration.
    if (auto current = X11Keymap::fromServer(connection_))
        keymap_ = std::move(current);
    const auto keycode = keymap_->keycode(keyCode);
    if (!keycode) {
        reader_->collectQueued();
        log_.error(LogCategory::hotkey, "The keyboard map has no key for virtual key code {}", keyCode);
        return noKeyStatus;
    }
    const std::uint16_t modifiers = x11ModifierMask(carbonModifiers);
    const auto variants = lockVariants();
    std::vector<xcb_void_cookie_t> cookies;
    for (std::uint16_t variant : variants)
        cookies.push_back(xcb_grab_key_checked(connection_, 0, root_, modifiers | variant, *keycode,
                                               XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    int status = 0;
    for (auto cookie : cookies) {
        if (auto error = xcbReply(xcb_request_check(connection_, cookie)); error && status == 0)
            status = error->error_code;
    }
    if (status == 0 && !isConnected())
        status = noDisplayStatus;
    if (status != 0) {
        // Grabs are per client: this releases only the variants this connection got.
        ungrab(*keycode, modifiers, variants);
        reader_->collectQueued();
        return status;
    }
    grab_ = Grab{keyCode, carbonModifiers, *keycode, modifiers, variants, id};
    held_ = false;
    reader_->collectQueued();
    return 0;
}

void X11HotkeyService::ungrab(std::uint8_t keycode, std::uint16_t modifiers, const std::vector<std::uint16_t>& variants)
{
    if (!isConnected())
        return;
    for (std::uint16_t variant : variants)
        xcb_ungrab_key(connection_, keycode, root_, modifiers | variant);
    xcb_flush(connection_);
}

void X11HotkeyService::unregisterHotkey()
{
    if (!grab_)
        return;
    ungrab(grab_->keycode, grab_->modifiers, grab_->lockVariants);
    grab_.reset();
    held_ = false;
}

void X11HotkeyService::handleEvent(const xcb_generic_event_t& event)
{
    const std::uint8_t type = event.response_type & 0x7f;
    if (isKeymapChange(&event, keymapEvent_)) {
        keymapChanged();
    } else if (type == XCB_KEY_PRESS && grab_) {
        const auto& press = reinterpret_cast<const xcb_key_press_event_t&>(event);
        if (press.detail != grab_->keycode || (press.state & relevantModifiers) != grab_->modifiers)
            return;
        const bool repeat = held_ || press.time == releasedAt_;
        held_ = true;
        if (!repeat && handler_)
            handler_(grab_->id);
    } else if (type == XCB_KEY_RELEASE && grab_) {
        const auto& release = reinterpret_cast<const xcb_key_release_event_t&>(event);
        if (release.detail != grab_->keycode)
            return;
        held_ = false;
        releasedAt_ = release.time;
    }
}

void X11HotkeyService::keymapChanged()
{
    auto current = X11Keymap::fromServer(connection_);
    if (!current)
        return;
    keymap_ = std::move(current);
    if (!grab_ || keymap_->keycode(grab_->virtualKeyCode) == grab_->keycode)
        return;
    const Grab previous = *grab_;
    const int status = registerHotkey(previous.virtualKeyCode, previous.carbonModifiers, previous.id);
    if (status == 0)
        return;
    log_.error(LogCategory::hotkey, "The global hot key was lost with the new keyboard map, status={}", status);
    if (lossHandler_)
        lossHandler_();
}

} // namespace hb::linux_platform
