// Words against the labels GTK gives the same accelerators: each key goes
// from GTK's accelerator text through the reader into the notation, and its
// label must be the one gtk_accelerator_get_label() prints.
#include "model/key_label.h"
#include "sources/desktop_keybindings.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <map>
#include <memory>
#include <sstream>
#include <string>

namespace hb::notation {
namespace {

std::string gtkLabel(std::string_view keysym, GdkModifierType modifiers)
{
    const guint keyval = gdk_keyval_from_name(std::string(keysym).c_str());
    std::unique_ptr<gchar, decltype(&g_free)> label(gtk_accelerator_get_label(keyval, modifiers), g_free);
    return label.get();
}

std::string ourLabel(const std::string& accelerator)
{
    const auto keys = keybinding::gtkAccelerator(accelerator);
    return keys ? keyLabel(*keys, KeyLabels::words) : "(not read)";
}

TEST(KeyLabelsAgainstGtk, EveryKeyClassReadsAsGtkNamesIt)
{
    // Where Words departs from GTK on purpose: "Ctrl++" reads as a typo and
    // GTK's "BackSpace" is an X key name; the notation does not keep the
    // keypad's own digits and operators apart from the main keys; media keys
    // have the words of the desktops' keyboard settings.
    const std::map<std::string, std::string> departures{
        {"plus", "Ctrl+Plus"},          {"BackSpace", "Ctrl+Backspace"}, {"KP_1", "Ctrl+1"},
        {"KP_Add", "Ctrl+Plus"},        {"KP_Subtract", "Ctrl+-"},       {"KP_Multiply", "Ctrl+*"},
        {"KP_Divide", "Ctrl+/"},        {"XF86AudioPlay", "Ctrl+Play"},  {"XF86AudioRaiseVolume", "Ctrl+Volume Up"},
        {"XF86AudioMute", "Ctrl+Mute"},
    };
    // Letters and signs, function and editing keys, the keypad, media keys, named keys.
    std::istringstream keysyms("a 9 comma minus slash apostrophe grave question less plus F1 F13 Up Page_Down Home "
                               "Delete BackSpace Insert KP_Enter KP_1 KP_Add KP_Subtract KP_Multiply KP_Divide "
                               "XF86AudioPlay XF86AudioRaiseVolume XF86AudioMute space Tab Return Escape Print Pause "
                               "Menu");
    for (std::string keysym; keysyms >> keysym;) {
        const auto departure = departures.find(keysym);
        const std::string expected =
            departure != departures.end() ? departure->second : gtkLabel(keysym, GDK_CONTROL_MASK);
        EXPECT_EQ(ourLabel(std::string("<Primary>") + keysym), expected) << keysym;
    }

    // The modifiers have GTK's names in Qt's order.
    EXPECT_EQ(ourLabel("<Alt>F4"), gtkLabel("F4", GDK_MOD1_MASK));
    EXPECT_EQ(ourLabel("<Super>d"), gtkLabel("d", GDK_SUPER_MASK));
    // GTK 3 writes Shift first ("Shift+Ctrl+S"); Qt, GTK 4 and the desktops'
    // documentation write Ctrl, Alt, Shift, Super.
    EXPECT_EQ(ourLabel("<Shift><Primary>s"), "Ctrl+Shift+S");
    EXPECT_EQ(ourLabel("<Super><Shift><Alt><Primary>k"), "Ctrl+Alt+Shift+Super+K");
}

} // namespace
} // namespace hb::notation
