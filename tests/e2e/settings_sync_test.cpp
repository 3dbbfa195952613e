// Two real Hintboard instances, each in a D-Bus session of its own, keep
// their settings in step through one folder. And the bus interface under a
// call far too large for it.
#include "tray_application.h"

#include "base/property_list.h"
#include "settings/ignore_list_store.h"
#include "settings/settings_keys.h"
#include "support/temporary_folder.h"

#include <dbus/dbus.h>
#include <gmock/gmock.h>

#include <algorithm>

namespace hb::e2e {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using platform::PlistDictionary;
using platform::PlistValue;

// The global ignore rules in the settings file of `config`.
std::vector<std::string> globalRules(const fs::path& config)
{
    const auto parsed = platform::parsePropertyList(test::readFile(settingsFile(config)));
    const auto* values = parsed ? parsed->as<PlistDictionary>() : nullptr;
    const auto found = values ? values->find(keys::ignoreList) : PlistDictionary::const_iterator{};
    const auto* bytes = values && found != values->end() ? found->second.as<platform::PlistData>() : nullptr;
    const auto data = bytes ? decodeIgnoreData(*bytes) : std::nullopt;
    return data ? data->globalTitles : std::vector<std::string>{};
}

bool holds(const fs::path& config, const std::string& rule)
{
    return std::ranges::count(globalRules(config), rule) > 0;
}

class SettingsSyncEndToEnd : public testing::Test {
protected:
    static void SetUpTestSuite() { session = &DesktopSession::shared(); }

    void TearDown() override
    {
        for (auto pid : instances_)
            session->stopApplication(pid);
    }

    // A Hintboard that has seen its wizard, syncs through `folder` and holds one ignore rule of its own;
    // in a D-Bus session of its own unless `sharedBus`.
    pid_t startInstance(const fs::path& config, const fs::path& folder, const std::string& rule, bool sharedBus = false)
    {
        fs::create_directories(folder);
        writeSettings(config, {{keys::didShowOnboardingWizard, true},
                               {keys::iCloudSyncEnabled, true},
                               {keys::syncFolderPath, folder.string()},
                               {keys::ignoreList, PlistValue(encodeIgnoreData(IgnoreData{.globalTitles = {rule}}))}});
        std::vector<std::string> command{HINTBOARD_EXECUTABLE};
        if (!sharedBus)
            command.insert(command.begin(), {"dbus-run-session", "--"});
        const pid_t pid = session->launch(command, {{"XDG_CONFIG_HOME", config.string()}});
        instances_.push_back(pid);
        return pid;
    }

    static inline DesktopSession* session = nullptr;
    test::TemporaryFolder root;
    fs::path folder = root.path() / "Sync" / "Hintboard";
    std::vector<pid_t> instances_;
};

// The records' checks, late and out-of-order copies, the folder's removal and
// return are the unit tests' (the sync simulation, the folder): here two real
// instances, each on a bus of its own, end with each other's rules.
TEST_F(SettingsSyncEndToEnd, TwoInstancesThroughOneFolderEndWithEachOthersRules)
{
    const fs::path configA = root.path() / "a" / "config";
    const fs::path configB = root.path() / "b" / "config";
    const pid_t a = startInstance(configA, folder, "Rule A");
    startInstance(configB, folder, "Rule B");
    EXPECT_TRUE(DesktopSession::waitUntil(
        [&] {
            return holds(configA, "Rule B") && holds(configB, "Rule A") && holds(configA, "Rule A")
                   && holds(configB, "Rule B");
        },
        20s))
        << testing::PrintToString(globalRules(configA)) << testing::PrintToString(globalRules(configB));
    EXPECT_TRUE(session->isRunning(a));
}

// Sends Toggle with a text argument of `bytes` bytes to the instance on this
// session's bus, without waiting for an answer.
void sendOversizedToggle(std::size_t bytes)
{
    DBusError error;
    dbus_error_init(&error);
    DBusConnection* bus = dbus_bus_get_private(DBUS_BUS_SESSION, &error);
    ASSERT_TRUE(bus) << error.message;
    dbus_connection_set_exit_on_disconnect(bus, false);
    DBusMessage* call =
        dbus_message_new_method_call("org.mirelo.Hintboard", "/org/mirelo/Hintboard", "org.mirelo.Hintboard", "Toggle");
    const std::string text(bytes, 'x');
    const char* argument = text.c_str();
    dbus_message_append_args(call, DBUS_TYPE_STRING, &argument, DBUS_TYPE_INVALID);
    dbus_message_set_no_reply(call, true);
    dbus_connection_send(bus, call, nullptr);
    dbus_connection_flush(bus);
    dbus_message_unref(call);
    dbus_connection_close(bus);
    dbus_connection_unref(bus);
}

TEST_F(SettingsSyncEndToEnd, HundredMegabyteBusCallsLeaveHintboardToggleWorking)
{
    const pid_t instance = startInstance(root.path() / "config", folder, "Rule", true);
    const auto toggleWorks = [] { return std::system(HINTBOARD_EXECUTABLE " toggle >/dev/null 2>&1") == 0; };
    ASSERT_TRUE(DesktopSession::waitUntil(toggleWorks, 10s));
    for (int call = 0; call < 4; ++call)
        sendOversizedToggle(100 << 20);
    EXPECT_TRUE(DesktopSession::waitUntil(toggleWorks, 10s));
    EXPECT_TRUE(session->isRunning(instance));
    // The name is still this instance's: a second one gives way.
    EXPECT_EQ(std::system(HINTBOARD_EXECUTABLE " >/dev/null 2>&1"), 0);
    EXPECT_TRUE(toggleWorks());
}

} // namespace
} // namespace hb::e2e
