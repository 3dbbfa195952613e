#include "platform/linux/xdg_autostart_login_item.h"

#include "platform/linux/desktop_entries.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/temporary_folder.h"

#include <unistd.h>

#include <fstream>

namespace hb::linux_platform {
namespace {

namespace fs = std::filesystem;

class XdgAutostartLoginItemTest : public testing::Test {
protected:
    test::TemporaryFolder folder;
    fs::path entry = folder.path() / "autostart" / "hintboard.desktop";
};

TEST_F(XdgAutostartLoginItemTest, EntryIsCreatedAndRemoved)
{
    XdgAutostartLoginItem loginItem(entry, "/opt/hint board/bin/hintboard");
    std::string error;
    EXPECT_FALSE(loginItem.isEnabled());

    ASSERT_TRUE(loginItem.setEnabled(true, error)) << error;
    EXPECT_TRUE(loginItem.isEnabled());
    std::ifstream file(entry);
    std::string content((std::istreambuf_iterator<char>(file)), {});
    EXPECT_THAT(content, testing::HasSubstr("\nExec=\"/opt/hint board/bin/hintboard\"\n"));
    EXPECT_THAT(content, testing::HasSubstr("\nTryExec=/opt/hint board/bin/hintboard\n"));
    EXPECT_EQ(fs::status(entry).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);

    ASSERT_TRUE(loginItem.setEnabled(false, error)) << error;
    EXPECT_FALSE(fs::exists(entry));
    EXPECT_FALSE(loginItem.isEnabled());
    EXPECT_TRUE(loginItem.setEnabled(false, error));  // already gone

    std::ofstream(entry) << XdgAutostartLoginItem::entryText("/usr/bin/hintboard") << "Hidden=true\n";
    EXPECT_FALSE(loginItem.isEnabled()) << "a hidden entry";
}

TEST(XdgAutostartEntry, WithoutAHomeFolderNothingIsWrittenHere)
{
    XdgAutostartLoginItem loginItem("autostart/hintboard.desktop", "/usr/bin/hintboard");
    std::string error;
    EXPECT_FALSE(loginItem.setEnabled(true, error));
    EXPECT_THAT(error, testing::HasSubstr("No home folder is known"));
    EXPECT_FALSE(loginItem.isEnabled());
    EXPECT_FALSE(fs::exists("autostart"));
}

TEST(XdgAutostartEntry, ExecQuotesReservedCharacters)
{
    auto text = XdgAutostartLoginItem::entryText("/home/a\"b/$x`y\\z");
    EXPECT_THAT(text, testing::HasSubstr("Exec=\"/home/a\\\\\"b/\\\\$x\\\\`y\\\\\\\\z\"\n"));
    EXPECT_THAT(text, testing::HasSubstr("TryExec=/home/a\"b/$x`y\\\\z\n"));
    // The desktop-entry reader takes the string value back to the quoted argument.
    EXPECT_TRUE(parseDesktopEntry(text, "hintboard", "").has_value());
}

} // namespace
} // namespace hb::linux_platform
