#include "platform/linux/application_identity.h"

#include "support/temporary_folder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

using namespace std::string_literals;

namespace hb::linux_platform {
namespace {

using ::testing::Optional;

TEST(ApplicationIdentityTest, DesktopFileOfTheLaunchedProcessOnly)
{
    const std::string launched = "HOME=/home/ana\0"
                                 "GIO_LAUNCHED_DESKTOP_FILE=/usr/share/applications/org.xfce.mousepad.desktop\0"
                                 "GIO_LAUNCHED_DESKTOP_FILE_PID=4242\0"
                                 "LANG=de_AT.UTF-8\0"s;
    EXPECT_THAT(launchedDesktopFileID(launched, 4242), Optional("org.xfce.mousepad"s));
    // A program started from the launched one (a shell in a terminal) inherits the variables.
    EXPECT_EQ(launchedDesktopFileID(launched, 4300), std::nullopt);
    EXPECT_THAT(launchedDesktopFileID("GIO_LAUNCHED_DESKTOP_FILE=/home/ana/.local/share/applications/my-tool.desktop\0"s, 7),
                Optional("my-tool"s));
    EXPECT_EQ(launchedDesktopFileID("GIO_LAUNCHED_DESKTOP_FILE=/tmp/tool\0"s, 7), std::nullopt);
    EXPECT_EQ(launchedDesktopFileID("PATH=/usr/bin\0DISPLAY=:0\0"s, 7), std::nullopt);
    EXPECT_EQ(launchedDesktopFileID("", 7), std::nullopt);
}

TEST(ApplicationIdentityTest, UnitNamesOfDesktopLaunchers)
{
    // GNOME Shell, KDE Plasma (service and scope forms), Flatpak, escaped dashes, the older GNOME form.
    EXPECT_THAT(applicationIDFromUnitName("app-gnome-org.gnome.TextEditor-1234.scope"), Optional("org.gnome.TextEditor"s));
    EXPECT_THAT(applicationIDFromUnitName("app-org.kde.kwrite@0c5f0fbb21e54b1f9b4a3df3c1a4b8e2.service"),
                Optional("org.kde.kwrite"s));
    EXPECT_THAT(applicationIDFromUnitName("app-kwrite-5f3c1b2a0d8e4f6b9a7c3e1d2b4f6a8c.scope"), Optional("kwrite"s));
    EXPECT_THAT(applicationIDFromUnitName("app-flatpak-org.gnome.TextEditor-98765.scope"), Optional("org.gnome.TextEditor"s));
    EXPECT_THAT(applicationIDFromUnitName("app-gnome-firefox\\x2desr-2231.scope"), Optional("firefox-esr"s));
    EXPECT_THAT(applicationIDFromUnitName("app-gnome-org.gnome.Nautilus.service"), Optional("org.gnome.Nautilus"s));
    EXPECT_THAT(applicationIDFromUnitName("gnome-launched-org.gnome.gedit.desktop-3120.scope"), Optional("org.gnome.gedit"s));

    // Not an application's unit, or a shape this does not know.
    for (const char* unit : {"session-2.scope", "user@1000.service", "vte-spawn-0f8f8c1e-5a1b-4c3d-9e2f-1a2b3c4d5e6f.scope",
                             "app-.scope", "app-gnome-.scope", "app-a-b-c-d.scope", "app-gnome-bad\\x2-12.scope",
                             "app-org.gnome.Foo.slice", "dbus-:1.2-org.gnome.Nautilus@0.service", "app-org.kde.kwrite"})
        EXPECT_EQ(applicationIDFromUnitName(unit), std::nullopt) << unit;
}

TEST(ApplicationIdentityTest, InnermostUnitOfTheSystemdHierarchy)
{
    // Unified hierarchy.
    EXPECT_THAT(unitApplicationID("0::/user.slice/user-1000.slice/user@1000.service/app.slice/"
                                  "app-gnome-org.gnome.TextEditor-1234.scope\n"),
                Optional("org.gnome.TextEditor"s));
    // Groups of the application's own below its unit.
    EXPECT_THAT(unitApplicationID("0::/user.slice/user-1000.slice/user@1000.service/app.slice/"
                                  "app-flatpak-org.gnome.TextEditor-98765.scope/main\n"),
                Optional("org.gnome.TextEditor"s));
    // The hybrid and legacy hierarchies name the units in the systemd line.
    EXPECT_THAT(unitApplicationID("12:pids:/user.slice/user-1000.slice/user@1000.service\n"
                                  "1:name=systemd:/user.slice/user-1000.slice/user@1000.service/app.slice/"
                                  "app-org.kde.kwrite@0c5f0fbb21e54b1f9b4a3df3c1a4b8e2.service\n"
                                  "0::/\n"),
                Optional("org.kde.kwrite"s));
    // A shell started in a terminal, a login session, a container: none.
    EXPECT_EQ(unitApplicationID("0::/user.slice/user-1000.slice/user@1000.service/app.slice/"
                                "app-org.gnome.Terminal.slice/vte-spawn-0f8f8c1e-5a1b-4c3d-9e2f-1a2b3c4d5e6f.scope\n"),
              std::nullopt);
    EXPECT_EQ(unitApplicationID("0::/user.slice/user-1000.slice/session-2.scope\n"), std::nullopt);
    EXPECT_EQ(unitApplicationID("4:memory:/process_api/c90f961a\n9:name=systemd:/\n0::/\n"), std::nullopt);
    EXPECT_EQ(unitApplicationID("garbage"), std::nullopt);
}

TEST(ApplicationIdentityTest, IdentifierFromDesktopFileThenUnitThenWindowClass)
{
    test::TemporaryFolder folder;
    test::writeFile(folder.path() / "org.xfce.mousepad.desktop",
                    "[Desktop Entry]\nType=Application\nName=Mousepad\nIcon=org.xfce.mousepad\n");
    test::writeFile(folder.path() / "org.gnome.TextEditor.desktop",
                    "[Desktop Entry]\nType=Application\nName=Text Editor\nIcon=org.gnome.TextEditor\n");
    DesktopEntries entries({folder.path()}, "C");

    auto app = identifiedApplication(10, {"gnome-text-editor", "org.gnome.TextEditor", "org.xfce.mousepad"}, "x", entries);
    EXPECT_EQ(app.bundleIdentifier, "org.gnome.TextEditor");
    EXPECT_EQ(app.name, "Text Editor");
    EXPECT_EQ(app.processName, "gnome-text-editor");

    app = identifiedApplication(11, {"mousepad", std::nullopt, "org.xfce.mousepad"}, "ignored", entries);
    EXPECT_EQ(app.bundleIdentifier, "org.xfce.mousepad");
    EXPECT_EQ(app.iconName, "org.xfce.mousepad");

    // The toolkit's name finds the entry whose id ends in it.
    app = identifiedApplication(12, {"mousepad", std::nullopt, std::nullopt}, "mousepad", entries);
    EXPECT_EQ(app.bundleIdentifier, "org.xfce.mousepad");
    EXPECT_EQ(app.name, "Mousepad");

    app = identifiedApplication(13, {"featherpad", std::nullopt, std::nullopt}, "FeatherPad", entries);
    EXPECT_EQ(app.bundleIdentifier, "FeatherPad");
    EXPECT_EQ(app.name, "FeatherPad");

    app = identifiedApplication(14, {"tool", std::nullopt, std::nullopt}, "", entries);
    EXPECT_EQ(app.bundleIdentifier, std::nullopt);
    EXPECT_EQ(app.name, "tool");
    EXPECT_EQ(app.appID(), "tool");
}

TEST(ApplicationIdentityTest, ReadsTheProcessItself)
{
    const auto identity = processIdentity(getpid());
    EXPECT_EQ(identity.processName, "tests_linux");
    EXPECT_EQ(processIdentity(-5).launchedDesktopFileID, std::nullopt);
}

} // namespace
} // namespace hb::linux_platform
