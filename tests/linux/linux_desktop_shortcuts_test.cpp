#include "linux/linux_desktop_shortcuts.h"

#include "fake/memory_log.h"
#include "support/temporary_folder.h"

#include <gio/gio.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>

namespace hb::linux_platform {
namespace {

using testing::Contains;
using testing::HasSubstr;

TEST(LinuxDesktop, ChosenByTheSessionElseByTheWindowManager)
{
    EXPECT_EQ(desktopNamed("ubuntu:GNOME", ""), Desktop::gnome);
    EXPECT_EQ(desktopNamed("X-Cinnamon", ""), Desktop::gnome);
    EXPECT_EQ(desktopNamed("KDE", "KWin"), Desktop::kde);
    EXPECT_EQ(desktopNamed("XFCE", ""), Desktop::xfce);
    EXPECT_EQ(desktopNamed("", "Openbox"), Desktop::openbox);
    EXPECT_EQ(desktopNamed("i3", "i3"), Desktop::unknown);
}

TEST(GnomeShortcuts, DconfValuesOverSchemaDefaultsAndDisabledBindingsOff)
{
    // A private keyfile backend stands for dconf, set before GSettings is first used: one per
    // process, as GSettings keeps its backend.
    static const test::TemporaryFolder config;
    setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    setenv("GSETTINGS_BACKEND", "keyfile", 1);
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    if (!source || !g_settings_schema_source_lookup(source, "org.gnome.desktop.wm.keybindings", TRUE))
        GTEST_SKIP() << "GNOME's window-manager schema is not installed";

    GSettings* wm = g_settings_new("org.gnome.desktop.wm.keybindings");
    const char* close[] = {"<Super>q", "<Alt>F4", nullptr};
    const char* none[] = {nullptr};
    const char* unknown[] = {"<Hyper9>x", nullptr};
    g_settings_set_strv(wm, "close", close);
    g_settings_set_strv(wm, "minimize", none);
    g_settings_set_strv(wm, "maximize", unknown);
    g_settings_sync();
    g_object_unref(wm);

    fake::MemoryLogSink sink;
    platform::Log log(sink, [] { return false; });
    std::vector<std::string> rows;
    for (const auto& group : GnomeShortcuts(log).groups())
        for (const auto& row : group.shortcuts)
            rows.push_back(*group.title + ": " + row.title + "=" + row.keys + (row.isDisabled ? " (off)" : ""));

    EXPECT_THAT(rows, Contains("Window Management: Close window=⌘Q"));
    EXPECT_THAT(rows, Contains("Window Management: Minimize window=⌘H (off)"));
    EXPECT_THAT(rows, Contains("Workspaces: Switch to workspace 1=⌘↖"));
    EXPECT_THAT(rows, Contains(HasSubstr("Maximize window=⌘↑ (off)")));
    EXPECT_THAT(rows, testing::Not(Contains(HasSubstr("DEPRECATED"))));
    EXPECT_THAT(sink.messages(platform::LogCategory::scraper), Contains(HasSubstr("<Hyper9>x")));
}

} // namespace
} // namespace hb::linux_platform
