// Two real Hintboard instances, each in a D-Bus session of its own, keep
// their settings in step through two folders that a copier standing in for a
// file-synchronisation tool keeps alike, late and out of order. And the bus
// interface under a call far too large for it.
#include "desktop_session.h"

#include "fake/memory_log.h"
#include "linux/plist_file_settings_domain.h"
#include "settings/ignore_list_store.h"
#include "settings/settings_keys.h"
#include "settings/sync_state.h"
#include "support/temporary_folder.h"

#include <dbus/dbus.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <random>

namespace hb::e2e {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using platform::PlistDictionary;
using platform::PlistValue;
using testing::Contains;
using Clock = std::chrono::steady_clock;

// Copies each new or changed file of one folder to the other after a random
// delay of up to 0.8 s, in random order, through a temporary name and a
// rename as sync tools do. Copies for a folder that is gone wait for it.
class DelayingCopier {
public:
    DelayingCopier(fs::path a, fs::path b) : a_(std::move(a)), b_(std::move(b)) {}

    void step()
    {
        for (const auto& [from, to] : {std::pair{a_, b_}, std::pair{b_, a_}}) {
            std::error_code error;
            for (const auto& entry : fs::directory_iterator(from, error)) {
                const auto name = entry.path().filename().string();
                if (name.starts_with(".") || !entry.is_regular_file())
                    continue;
                auto content = test::readFile(entry.path());
                auto& seen = seen_[entry.path()];
                if (seen == content)
                    continue;
                seen = content;
                const auto delay = std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 800)(random_));
                pending_.push_back({to / name, std::move(content), Clock::now() + delay});
            }
        }
        std::shuffle(pending_.begin(), pending_.end(), random_);
        std::erase_if(pending_, [this](const Copy& copy) {
            if (Clock::now() < copy.due || !fs::is_directory(copy.target.parent_path()))
                return false;
            const auto temporary = copy.target.parent_path() / ("." + copy.target.filename().string() + ".part");
            test::writeFile(temporary, copy.content);
            fs::rename(temporary, copy.target);
            seen_[copy.target] = copy.content;
            return true;
        });
    }

private:
    struct Copy {
        fs::path target;
        std::string content;
        Clock::time_point due;
    };
    fs::path a_, b_;
    std::mt19937 random_{7};
    std::map<fs::path, std::string> seen_;
    std::vector<Copy> pending_;
};

std::string settingsPath(const fs::path& config) { return (config / "hintboard" / "org.mirelo.Hintboard.plist").string(); }

PlistDictionary storedSettings(const fs::path& config)
{
    auto parsed = platform::parsePropertyList(test::readFile(settingsPath(config)));
    const auto* values = parsed ? parsed->as<PlistDictionary>() : nullptr;
    return values ? *values : PlistDictionary{};
}

std::vector<std::string> globalRules(const fs::path& config)
{
    const auto values = storedSettings(config);
    auto found = values.find(keys::ignoreList);
    const auto* bytes = found == values.end() ? nullptr : found->second.as<platform::PlistData>();
    const auto data = bytes ? decodeIgnoreData(*bytes) : std::nullopt;
    return data ? data->globalTitles : std::vector<std::string>{};
}

bool holds(const fs::path& config, const std::string& rule)
{
    const auto rules = globalRules(config);
    return std::ranges::find(rules, rule) != rules.end();
}

double nowSeconds()
{
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

std::string machineFile(const SyncState& state, const std::string& machine)
{
    return *platform::serializePropertyList(encodeSyncState(state, machine), platform::PlistFormat::xml);
}

class SettingsSyncEndToEnd : public testing::Test {
protected:
    static void SetUpTestSuite() { session = &DesktopSession::shared(); }

    void TearDown() override
    {
        for (auto pid : instances_) {
            for (auto child : DesktopSession::descendantsOf(pid))
                ::kill(child, SIGTERM);
            session->stopApplication(pid);
        }
    }

    // A Hintboard that has seen its wizard, syncs through `folder` and holds one ignore rule of its own;
    // in a D-Bus session of its own unless `sharedBus`.
    pid_t startInstance(const fs::path& config, const fs::path& folder, const std::string& rule, bool sharedBus = false)
    {
        fs::create_directories(folder);
        {
            fake::MemoryLogSink sink;
            platform::Log log(sink, [] { return false; });
            auto opened = linux_platform::PlistFileSettingsDomain::open(settingsPath(config), log);
            EXPECT_TRUE(opened.domain) << opened.error;
            auto& settings = *opened.domain;
            settings.set(keys::didShowOnboardingWizard, true);
            settings.set(keys::iCloudSyncEnabled, true);
            settings.set(keys::syncFolderPath, folder.string());
            settings.set(keys::ignoreList, PlistValue(encodeIgnoreData(IgnoreData{.globalTitles = {rule}})));
        }
        std::vector<std::string> command{HINTBOARD_EXECUTABLE};
        if (!sharedBus)
            command.insert(command.begin(), {"dbus-run-session", "--"});
        const pid_t pid = session->launch(command, {{"XDG_CONFIG_HOME", config.string()}});
        instances_.push_back(pid);
        return pid;
    }

    bool waitWhileCopying(const std::function<bool()>& condition)
    {
        return DesktopSession::waitUntil([&] {
            copier.step();
            return condition();
        }, 20s);
    }

    static DesktopSession* session;
    test::TemporaryFolder root;
    fs::path folderA = root.path() / "a" / "Sync" / "Hintboard";
    fs::path folderB = root.path() / "b" / "Sync" / "Hintboard";
    DelayingCopier copier{folderA, folderB};
    std::vector<pid_t> instances_;
};

DesktopSession* SettingsSyncEndToEnd::session = nullptr;

TEST_F(SettingsSyncEndToEnd, TwoInstancesKeepEveryRuleSkipWrongRecordsAndFollowTheFoldersReturn)
{
    const fs::path configA = root.path() / "a" / "config";
    const fs::path configB = root.path() / "b" / "config";
    const pid_t a = startInstance(configA, folderA, "Rule A");
    startInstance(configB, folderB, "Rule B");

    // Both machines' rules end on both.
    const auto bothHold = [&](std::initializer_list<std::string> rules) {
        return std::ranges::all_of(rules, [&](const std::string& rule) { return holds(configA, rule) && holds(configB, rule); });
    };
    ASSERT_TRUE(waitWhileCopying([&] { return bothHold({"Rule A", "Rule B"}); }))
        << testing::PrintToString(globalRules(configA)) << testing::PrintToString(globalRules(configB));

    // A record whose ignore rules are a plain text is skipped; its right value applies.
    const PlistValue stamp{platform::PlistArray{PlistValue(nowSeconds()), PlistValue(0), PlistValue("intruder")}};
    test::writeFile(folderB / "hintboard-intruder.plist",
                    *platform::serializePropertyList(
                        PlistDictionary{{"format", "org.mirelo.Hintboard.sync"},
                                        {"version", 2},
                                        {"machine", "intruder"},
                                        {"values", PlistDictionary{{"ignoreList", PlistDictionary{{"s", stamp}, {"v", "Print*"}}},
                                                                   {"wrapLongSections", PlistDictionary{{"s", stamp}, {"v", true}}}}}},
                        platform::PlistFormat::xml));
    ASSERT_TRUE(waitWhileCopying([&] {
        return storedSettings(configA).contains("wrapLongSections") && storedSettings(configB).contains("wrapLongSections");
    }));
    EXPECT_TRUE(bothHold({"Rule A", "Rule B"}));
    EXPECT_THAT(DesktopSession::commandOutput("cat " + session->folder() + "/dbus-run-session-*.log"),
                testing::HasSubstr("skipped 'ignoreList: not stored ignore rules' from hintboard-intruder.plist"));

    // The folder disappears; a third machine adds a rule meanwhile; the folder returns.
    // As `rm -rf` does, again while the instance writes into it.
    ASSERT_TRUE(DesktopSession::waitUntil([&] {
        std::error_code error;
        fs::remove_all(folderA, error);
        return !fs::exists(folderA);
    }));
    SyncState third;
    third.recordEdit(keys::ignoreList, PlistValue(encodeIgnoreData(IgnoreData{.globalTitles = {"Rule C"}})),
                     SyncStamp{std::int64_t(nowSeconds() * 1000), 0, "third"});
    test::writeFile(folderB / "hintboard-third.plist", machineFile(third, "third"));
    ASSERT_TRUE(waitWhileCopying([&] { return holds(configB, "Rule C"); }));
    EXPECT_FALSE(holds(configA, "Rule C"));
    fs::create_directories(folderA);
    ASSERT_TRUE(waitWhileCopying([&] { return bothHold({"Rule A", "Rule B", "Rule C"}); }));
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
    DBusMessage* call = dbus_message_new_method_call("org.mirelo.Hintboard", "/org/mirelo/Hintboard",
                                                     "org.mirelo.Hintboard", "Toggle");
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
    const pid_t instance = startInstance(root.path() / "config", folderA, "Rule", true);
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
