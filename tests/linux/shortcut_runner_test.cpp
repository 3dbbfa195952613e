#include "platform/linux/shortcut_runner.h"

#include "platform/fake/memory_log.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace hb;
using namespace hb::linux_platform;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;

namespace {

// Answers for the actions it exports, at "bus name path action"; remembers activations.
class ActionBus final : public MenuBus {
public:
    std::set<std::string> exported;
    std::vector<std::string> activated;

    void setTimeout(std::chrono::milliseconds) override {}
    std::optional<std::vector<ExportedMenu>> start(const std::string&, const std::string&,
                                                   const std::vector<std::uint32_t>&) override
    {
        return std::nullopt;
    }
    void end(const std::string&, const std::string&, const std::vector<std::uint32_t>&) override {}
    std::optional<std::map<std::string, bool>> describeAll(const std::string&, const std::string&) override
    {
        return std::nullopt;
    }
    std::optional<bool> describe(const std::string& busName, const std::string& path,
                                 const std::string& action) override
    {
        return exported.contains(busName + " " + path + " " + action) ? std::optional(true) : std::nullopt;
    }
    bool activate(const std::string& busName, const std::string& path, const std::string& action,
                  const std::string&) override
    {
        activated.push_back(busName + " " + path + " " + action);
        return true;
    }
    std::optional<MenuModel> dbusMenuLayout(const std::string&, const std::string&, std::size_t) override
    {
        return std::nullopt;
    }
    bool dbusMenuClick(const std::string&, const std::string&, std::int32_t) override { return false; }
    Failure lastFailure() const override { return Failure::none; }
};

class ShortcutRunnerTest : public testing::Test {
protected:
    ShortcutRunner runner(SessionKind session, std::optional<ExportedMenuAddress> address)
    {
        auto owned = std::make_unique<ActionBus>();
        bus = owned.get();
        bus->exported = {":1.8 /org/example/Notes new-note", ":1.8 /org/example/Notes/window/1 save",
                         "org.example.Notes /org/example/Notes new-note"};
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
    ActionBus* bus = nullptr;
    std::vector<std::string> pressed;
    std::vector<std::string> notices;
};

} // namespace

TEST_F(ShortcutRunnerTest, ExportedActionsAreActivatedOnTheirObjects)
{
    auto x11 = runner(SessionKind::x11, address);
    EXPECT_TRUE(x11.run(7, window, {"New note", "<Primary>n", "app.new-note"}));
    EXPECT_TRUE(x11.run(7, window, {"Save", "<Primary>s", "win.save"}));
    EXPECT_THAT(bus->activated, ElementsAre(":1.8 /org/example/Notes new-note", ":1.8 /org/example/Notes/window/1 save"));
    EXPECT_THAT(pressed, IsEmpty());

    // Without window properties: the application id that the resource path spells.
    auto wayland = runner(SessionKind::wayland, std::nullopt);
    EXPECT_TRUE(wayland.run(7, window, {"New note", "<Primary>n", "app.new-note"}));
    EXPECT_THAT(bus->activated, ElementsAre("org.example.Notes /org/example/Notes new-note"));
}

TEST_F(ShortcutRunnerTest, WithoutAnExportedActionKeysArePressedOnX11AndWaylandSaysWhyNot)
{
    auto x11 = runner(SessionKind::x11, address);
    EXPECT_TRUE(x11.run(7, window, {"Print", "<Primary>p", "win.print"}));
    EXPECT_THAT(pressed, ElementsAre("<Primary>p"));

    pressed.clear();
    auto wayland = runner(SessionKind::wayland, std::nullopt);
    EXPECT_FALSE(wayland.run(7, window, {"Print", "<Primary>p", ""}));
    EXPECT_THAT(pressed, IsEmpty());
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_THAT(notices[0], HasSubstr("Hintboard cannot run “Print”"));
    EXPECT_THAT(notices[0], HasSubstr("On Wayland"));
    EXPECT_TRUE(sink.contains(platform::LogCategory::accessibility, platform::LogLevel::error,
                              "Cannot run '<private>': " + notices[0].substr(notices[0].find("On Wayland"))));
}

TEST_F(ShortcutRunnerTest, WhatCanRunIsKnownBeforehandWithoutRunningIt)
{
    auto x11 = runner(SessionKind::x11, address);
    EXPECT_TRUE(x11.canRun(7, window, {"Print", "<Primary>p", ""}));
    auto wayland = runner(SessionKind::wayland, address);
    EXPECT_TRUE(wayland.canRun(7, window, {"Save", "<Primary>s", "win.save"}));
    EXPECT_FALSE(wayland.canRun(7, window, {"Print", "<Primary>p", "win.print"}));
    EXPECT_FALSE(wayland.canRun(7, window, {"Select All", "<Primary>a", ""}));
    EXPECT_THAT(bus->activated, IsEmpty());
    EXPECT_THAT(pressed, IsEmpty());
    EXPECT_THAT(notices, IsEmpty());
}
