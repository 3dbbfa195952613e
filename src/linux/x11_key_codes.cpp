#include "linux/x11_key_codes.h"

#include "platform/event_monitors.h"

#include <xcb/xcb.h>
// xkb.h names a field "explicit".
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit
#include <xkbcommon/xkbcommon-keysyms.h>
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <array>
#include <cstdlib>
#include <utility>

namespace hb::linux_platform {
namespace {

namespace flags = platform::modifier_flags;

// Virtual key codes of the ANSI keyboard and the XKB names of the same keys.
// clang-format off
constexpr std::array<std::pair<std::uint32_t, std::string_view>, 117> keyNames{{
    {0, "AC01"},   {1, "AC02"},   {2, "AC03"},   {3, "AC04"},   {4, "AC06"},   {5, "AC05"},   {6, "AB01"},
    {7, "AB02"},   {8, "AB03"},   {9, "AB04"},   {10, "LSGT"},  {11, "AB05"},  {12, "AD01"},  {13, "AD02"},
    {14, "AD03"},  {15, "AD04"},  {16, "AD06"},  {17, "AD05"},  {18, "AE01"},  {19, "AE02"},  {20, "AE03"},
    {21, "AE04"},  {22, "AE06"},  {23, "AE05"},  {24, "AE12"},  {25, "AE09"},  {26, "AE07"},  {27, "AE11"},
    {28, "AE08"},  {29, "AE10"},  {30, "AD12"},  {31, "AD09"},  {32, "AD07"},  {33, "AD11"},  {34, "AD08"},
    {35, "AD10"},  {36, "RTRN"},  {37, "AC09"},  {38, "AC07"},  {39, "AC11"},  {40, "AC08"},  {41, "AC10"},
    {42, "BKSL"},  {43, "AB08"},  {44, "AB10"},  {45, "AB06"},  {46, "AB07"},  {47, "AB09"},  {48, "TAB"},
    {49, "SPCE"},  {50, "TLDE"},  {51, "BKSP"},  {53, "ESC"},   {54, "RWIN"},  {55, "LWIN"},  {56, "LFSH"},
    {57, "CAPS"},  {58, "LALT"},  {59, "LCTL"},  {60, "RTSH"},  {61, "RALT"},  {62, "RCTL"},  {64, "FK17"},
    {65, "KPDL"},  {67, "KPMU"},  {69, "KPAD"},  {71, "NMLK"},  {72, "VOL+"},  {73, "VOL-"},  {74, "MUTE"},
    {75, "KPDV"},  {76, "KPEN"},  {78, "KPSU"},  {79, "FK18"},  {80, "FK19"},  {81, "KPEQ"},  {82, "KP0"},
    {83, "KP1"},   {84, "KP2"},   {85, "KP3"},   {86, "KP4"},   {87, "KP5"},   {88, "KP6"},   {89, "KP7"},
    {90, "FK20"},  {91, "KP8"},   {92, "KP9"},   {93, "AE13"},  {94, "AB11"},  {95, "KPCO"},  {96, "FK05"},
    {97, "FK06"},  {98, "FK07"},  {99, "FK03"},  {100, "FK08"}, {101, "FK09"}, {103, "FK11"}, {105, "FK13"},
    {106, "FK16"}, {107, "FK14"}, {109, "FK10"}, {110, "COMP"}, {111, "FK12"}, {113, "FK15"}, {114, "INS"},
    {115, "HOME"}, {116, "PGUP"}, {117, "DELE"}, {118, "FK04"}, {119, "END"},  {120, "FK02"}, {121, "PGDN"},
    {122, "FK01"}, {123, "LEFT"}, {124, "RGHT"}, {125, "DOWN"}, {126, "UP"},
}};
// clang-format on

struct ContextDeleter {
    void operator()(xkb_context* context) const { xkb_context_unref(context); }
};
using Context = std::unique_ptr<xkb_context, ContextDeleter>;

} // namespace

std::optional<std::string_view> xkbKeyName(std::uint32_t code)
{
    for (const auto& [virtualCode, name] : keyNames) {
        if (virtualCode == code)
            return name;
    }
    return std::nullopt;
}

std::optional<std::uint32_t> virtualKeyCode(std::string_view name)
{
    for (const auto& [virtualCode, keyName] : keyNames) {
        if (keyName == name)
            return virtualCode;
    }
    return std::nullopt;
}

std::uint64_t modifierFlagOfKeysym(std::uint32_t keysym)
{
    switch (keysym) {
    case XKB_KEY_Shift_L:
    case XKB_KEY_Shift_R:
        return flags::shift;
    case XKB_KEY_Control_L:
    case XKB_KEY_Control_R:
        return flags::control;
    case XKB_KEY_Alt_L:
    case XKB_KEY_Alt_R:
    case XKB_KEY_Meta_L:
    case XKB_KEY_Meta_R:
    case XKB_KEY_ISO_Level3_Shift:
        return flags::option;
    case XKB_KEY_Super_L:
    case XKB_KEY_Super_R:
        return flags::command;
    default:
        return 0;
    }
}

std::uint8_t selectKeymapChanges(xcb_connection_t* connection)
{
    const xcb_query_extension_reply_t* xkb = xcb_get_extension_data(connection, &xcb_xkb_id);
    if (!xkb || !xkb->present)
        return 0;
    constexpr std::uint16_t events = XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY | XCB_XKB_EVENT_TYPE_MAP_NOTIFY;
    constexpr std::uint16_t mapParts = XCB_XKB_MAP_PART_KEY_TYPES | XCB_XKB_MAP_PART_KEY_SYMS
                                       | XCB_XKB_MAP_PART_MODIFIER_MAP | XCB_XKB_MAP_PART_VIRTUAL_MODS
                                       | XCB_XKB_MAP_PART_VIRTUAL_MOD_MAP;
    constexpr std::uint16_t newKeyboard = XCB_XKB_NKN_DETAIL_KEYCODES;
    xcb_xkb_select_events_details_t details = {};
    details.affectNewKeyboard = newKeyboard;
    details.newKeyboardDetails = newKeyboard;
    auto* error =
        xcb_request_check(connection, xcb_xkb_select_events_aux_checked(connection, XCB_XKB_ID_USE_CORE_KBD, events, 0,
                                                                        0, mapParts, mapParts, &details));
    if (error) {
        std::free(error);
        return 0;
    }
    return xkb->first_event;
}

bool isKeymapChange(const xcb_generic_event_t* event, std::uint8_t xkbEventCode)
{
    if (!xkbEventCode || (event->response_type & 0x7f) != xkbEventCode)
        return false;
    const std::uint8_t kind = reinterpret_cast<const xcb_xkb_map_notify_event_t*>(event)->xkbType;
    return kind == XCB_XKB_NEW_KEYBOARD_NOTIFY || kind == XCB_XKB_MAP_NOTIFY;
}

std::unique_ptr<X11Keymap> X11Keymap::fromServer(xcb_connection_t* connection)
{
    if (!xkb_x11_setup_xkb_extension(connection, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
                                     XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, nullptr, nullptr))
        return nullptr;
    const std::int32_t device = xkb_x11_get_core_keyboard_device_id(connection);
    Context context(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
    if (device < 0 || !context)
        return nullptr;
    xkb_keymap* keymap = xkb_x11_keymap_new_from_device(context.get(), connection, device, XKB_KEYMAP_COMPILE_NO_FLAGS);
    return keymap ? std::unique_ptr<X11Keymap>(new X11Keymap(keymap)) : nullptr;
}

std::unique_ptr<X11Keymap> X11Keymap::fromNames(const std::string& rules, const std::string& model,
                                                const std::string& layout)
{
    Context context(xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES));
    if (!context)
        return nullptr;
    const xkb_rule_names names{rules.c_str(), model.c_str(), layout.c_str(), "", ""};
    xkb_keymap* keymap = xkb_keymap_new_from_names(context.get(), &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
    return keymap ? std::unique_ptr<X11Keymap>(new X11Keymap(keymap)) : nullptr;
}

X11Keymap::X11Keymap(xkb_keymap* keymap) : keymap_(keymap)
{
    for (const auto& [virtualCode, name] : keyNames) {
        const xkb_keycode_t keycode = xkb_keymap_key_by_name(keymap_, std::string(name).c_str());
        if (keycode != XKB_KEYCODE_INVALID && keycode < 256 && !virtualCodes_[keycode])
            virtualCodes_[keycode] = virtualCode + 1;
    }
    const xkb_keycode_t last = std::min<xkb_keycode_t>(xkb_keymap_max_keycode(keymap_), 255);
    for (xkb_keycode_t keycode = xkb_keymap_min_keycode(keymap_); keycode <= last; ++keycode) {
        const xkb_keysym_t* symbols = nullptr;
        if (xkb_keymap_key_get_syms_by_level(keymap_, keycode, 0, 0, &symbols) > 0)
            modifierFlags_[keycode] = modifierFlagOfKeysym(symbols[0]);
    }
}

X11Keymap::~X11Keymap()
{
    xkb_keymap_unref(keymap_);
}

std::optional<std::uint8_t> X11Keymap::keycode(std::uint32_t code) const
{
    const auto name = xkbKeyName(code);
    if (!name)
        return std::nullopt;
    const xkb_keycode_t keycode = xkb_keymap_key_by_name(keymap_, std::string(*name).c_str());
    if (keycode == XKB_KEYCODE_INVALID || keycode > 255)
        return std::nullopt;
    return static_cast<std::uint8_t>(keycode);
}

std::optional<std::uint32_t> X11Keymap::virtualKeyCode(std::uint8_t keycode) const
{
    if (!virtualCodes_[keycode])
        return std::nullopt;
    return virtualCodes_[keycode] - 1;
}

std::string X11Keymap::characters(std::uint8_t keycode) const
{
    const xkb_keysym_t* symbols = nullptr;
    if (xkb_keymap_key_get_syms_by_level(keymap_, keycode, 0, 0, &symbols) < 1)
        return {};
    char text[16] = {};
    const int length = xkb_keysym_to_utf8(symbols[0], text, sizeof text);
    return length > 1 ? std::string(text) : std::string();
}

std::uint8_t X11Keymap::keycodeOfKeysym(std::uint32_t keysym) const
{
    const xkb_keycode_t last = std::min<xkb_keycode_t>(xkb_keymap_max_keycode(keymap_), 255);
    for (xkb_keycode_t keycode = xkb_keymap_min_keycode(keymap_); keycode <= last; ++keycode) {
        const xkb_keysym_t* symbols = nullptr;
        const int count = xkb_keymap_key_get_syms_by_level(keymap_, keycode, 0, 0, &symbols);
        for (int i = 0; i < count; ++i) {
            if (symbols[i] == keysym)
                return static_cast<std::uint8_t>(keycode);
        }
    }
    return 0;
}

} // namespace hb::linux_platform
