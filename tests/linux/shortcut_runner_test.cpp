#include "platform/linux/shortcut_runner.h"

#include "linux/fake_menu_bus.h"
#include "platform/fake/memory_log.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace hb;
using namespace hb::linux_platform;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;

namespace {

class ShortcutRunnerTest : public testing::Test {
protected:
    ShortcutRunner runner(SessionKind session, std::optional<ExportedMenuAddress> address)
    {
        auto owned = std::make_unique<FakeMenuBus>();
        bus = owned.get();
        bus->actions = {{"/org/example/Notes", {{"new-note", true}}}, {"/org/example/Notes/window/1", {{"save", true}}}};
        return ShortcutRunner(
            log, session, std::move(owned), [address](pid_t) { return address; },
            [this](pid_t, const std::string& accelerator) {
                pressed.push_back(accelerator);
                return true;
            },
            [this](const std::string& summary, const std::string& body) { notices.push_back(summary + " " + body); });
    }

    const ListedShortcuts window{"/org/example/Notes/gtk/help-overlay.ui", "/usr/bin/notes", {}};
    const ExportedMenuAddress address{.busName = ":1.8",
                                      .applicationPath = "/org/example/Notes",
                                      .windowPath = "/org/example/Notes/window/1"};
    fake::MemoryLogSink sink;
    platform::Log log{sink, [] { return false; }};
    FakeMenuBus* bus = nullptr;
    std::vector<std::string> pressed;
    std::vector<std::string> notices;
};

} // namespace

TEST_F(ShortcutRunnerTest, ExportedActionsAreActivatedElseKeysArePressedOnX11AndNeverOnWayland)
{
    auto x11 = runner(SessionKind::x11, address);
    EXPECT_TRUE(x11.run(7, window, {"New note", "<Primary>n", "app.new-note"}));
    EXPECT_TRUE(x11.run(7, window, {"Save", "<Primary>s", "win.save"}));
    EXPECT_TRUE(x11.run(7, window, {"Print", "<Primary>p", "win.print"}));
    EXPECT_THAT(bus->activations, ElementsAre(":1.8 /org/example/Notes new-note", ":1.8 /org/example/Notes/window/1 save"));
    EXPECT_THAT(pressed, ElementsAre("<Primary>p"));
    EXPECT_TRUE(x11.canRun(7, window, {"Print", "<Primary>p", ""}));

    // Without window properties: the application id that the resource path spells.
    auto wayland = runner(SessionKind::wayland, std::nullopt);
    EXPECT_TRUE(wayland.run(7, window, {"New note", "<Primary>n", "app.new-note"}));
    EXPECT_THAT(bus->activations, ElementsAre("org.example.Notes /org/example/Notes new-note"));
    EXPECT_FALSE(wayland.run(7, window, {"Print", "<Primary>p", ""}));
    EXPECT_THAT(notices, ElementsAre(HasSubstr("On Wayland")));

    auto withAddress = runner(SessionKind::wayland, address);
    EXPECT_TRUE(withAddress.canRun(7, window, {"Save", "<Primary>s", "win.save"}));
    EXPECT_FALSE(withAddress.canRun(7, window, {"Print", "<Primary>p", "win.print"}));
    EXPECT_FALSE(withAddress.canRun(7, window, {"Select All", "<Primary>a", ""}));
    EXPECT_THAT(bus->activations, IsEmpty()) << "asking runs nothing";
    EXPECT_THAT(pressed, ElementsAre("<Primary>p"));
    EXPECT_EQ(notices.size(), 1u);
}
