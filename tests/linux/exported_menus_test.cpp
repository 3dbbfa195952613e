#include "linux/atspi_accessibility.h"
#include "linux/exported_menu_accessibility.h"
#include "linux/exported_menus.h"

#include "fake/fake_accessibility.h"
#include "fake/memory_log.h"
#include "menus/menu_bar_reader.h"
#include "menus/menu_press.h"
#include "support/model_builders.h"
#include "support/scoped_environment.h"
#include "support/temporary_folder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <glib.h>

// Bounds, links and the ways back to AT-SPI; reading and pressing real applications' exported
// menus and dbusmenu trees, and running shortcuts windows' rows by their actions or keys, is checked
// end to end (tests/e2e/exported_menus_test.cpp, shortcuts_window_test.cpp, wayland_test.cpp).
namespace hb::linux_platform {
namespace {

using ::testing::ElementsAre;

// Answers from menus held per group and actions held per object path; records what was asked.
class FakeMenuBus final : public MenuBus {
public:
    std::map<std::uint32_t, std::vector<ExportedMenu>> groups;
    std::map<std::string, std::map<std::string, bool>> actions; // enabled, by object path
    std::vector<std::string> activations;                       // "bus path action [target]", "bus path clicked id"
    std::vector<std::uint32_t> ended;
    std::optional<MenuModel> layout;
    int starts = 0;
    int stallFrom = 1 << 30; // the first Start that times out, counted from 1

    void setTimeout(std::chrono::milliseconds) override {}
    std::optional<std::vector<ExportedMenu>> start(const std::string&, const std::string&,
                                                   const std::vector<std::uint32_t>& asked) override
    {
        failure = ++starts >= stallFrom ? Failure::timedOut : Failure::none;
        if (failure != Failure::none)
            return std::nullopt;
        std::vector<ExportedMenu> menus;
        for (auto group : asked)
            menus.insert(menus.end(), groups[group].begin(), groups[group].end());
        return menus;
    }
    void end(const std::string&, const std::string&, const std::vector<std::uint32_t>& asked) override
    {
        ended = asked;
    }
    std::optional<std::map<std::string, bool>> describeAll(const std::string&, const std::string& path) override
    {
        const auto found = actions.find(path);
        return found == actions.end() ? std::nullopt : std::optional(found->second);
    }
    std::optional<bool> describe(const std::string& bus, const std::string& path, const std::string& action) override
    {
        const auto all = describeAll(bus, path);
        return all && all->contains(action) ? std::optional(all->at(action)) : std::nullopt;
    }
    bool activate(const std::string& bus, const std::string& path, const std::string& action,
                  const std::string& target) override
    {
        activations.push_back(bus + " " + path + " " + action + (target.empty() ? "" : " " + target));
        return true;
    }
    std::optional<MenuModel> dbusMenuLayout(const std::string&, const std::string&, std::size_t) override
    {
        return layout;
    }
    bool dbusMenuClick(const std::string& bus, const std::string& path, std::int32_t id) override
    {
        activations.push_back(bus + " " + path + " clicked " + std::to_string(id));
        return true;
    }
    Failure lastFailure() const override { return failure; }

private:
    Failure failure = Failure::none;
};

// GVariant replies in text form from the data folder, after a comment line.
GVariant* variant(const char* type, const char* file)
{
    const auto text = test::readFile(HINTBOARD_SOURCE_DIR "/tests/linux/data/exported-menus/" + std::string(file));
    return g_variant_parse(G_VARIANT_TYPE(type), text.c_str() + text.find('\n'), nullptr, nullptr, nullptr);
}

ExportedMenuItem linkItem(std::string label, std::optional<MenuLink> submenu, std::optional<MenuLink> section = {})
{
    return ExportedMenuItem{.label = std::move(label), .section = section, .submenu = submenu};
}

TEST(ExportedMenus, ModelIsReadInOneRequestPerLevelWithinTheBounds)
{
    FakeMenuBus bus;
    bus.groups[0] = {{{0, 0}, {linkItem("File", MenuLink{1, 0})}}};
    bus.groups[1] = {{{1, 0},
                      {linkItem("Back to the bar", MenuLink{0, 0}), linkItem("Self", MenuLink{1, 0}),
                       linkItem("", std::nullopt, MenuLink{2, 0})}},
                     {{0, 0}, {linkItem("The bar again", std::nullopt)}}};
    bus.groups[2] = {{{2, 0}, {linkItem("Loop", MenuLink{1, 0})}}};
    int requests = 0;
    auto model = readMenuModel(bus, ":1.5", "/menus", {}, requests);
    ASSERT_TRUE(model);
    EXPECT_EQ(bus.starts, 3);
    EXPECT_EQ(requests, 4); // and End
    EXPECT_THAT(bus.ended, ElementsAre(0u, 1u, 2u));
    EXPECT_FALSE(model->truncated);
    EXPECT_EQ(model->itemCount, 5u);

    // Huge and deep models stop at the bounds.
    const MenuModelBounds bounds{.maxItems = 1000, .maxLevels = 16};
    ExportedMenu huge{{0, 0}, std::vector<ExportedMenuItem>(1500, linkItem("Item", std::nullopt))};
    huge.items.push_back(linkItem("Deep", MenuLink{1, 0}));
    bus.groups[0] = {huge};
    for (std::uint32_t group = 1; group < 100; ++group)
        bus.groups[group] = {{{group, 0}, {linkItem("Deeper", MenuLink{group + 1, 0})}}};
    bus.starts = 0;
    model = readMenuModel(bus, ":1.5", "/menus", bounds, requests);
    ASSERT_TRUE(model);
    EXPECT_TRUE(model->truncated);
    EXPECT_EQ(model->itemCount, bounds.maxItems);
    EXPECT_EQ(bus.starts, 1);
    bus.groups[0] = {{{0, 0}, {linkItem("Deep", MenuLink{1, 0})}}};
    model = readMenuModel(bus, ":1.5", "/menus", bounds, requests);
    EXPECT_TRUE(model->truncated);
    EXPECT_EQ(bus.starts, 1 + bounds.maxLevels);

    // A dbusmenu tree stops at the item bound alike.
    GVariant* layout = variant("(u(ia{sv}av))", "dbusmenu-layout.gvariant");
    EXPECT_TRUE(parseDbusMenuLayout(layout, 1).truncated);
    g_variant_unref(layout);
}

TEST(ExportedMenus, WithoutABusOrADisplayEveryRequestFailsAtOnce)
{
    test::ScopedEnvironment busAddress("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
    auto bus = makeSessionMenuBus();
    EXPECT_FALSE(bus->describe(":1.5", "/app", "new"));
    EXPECT_FALSE(bus->activate(":1.5", "/app", "open", "'file.txt'"));
    EXPECT_FALSE(bus->activate(":1.5", "/app", "open", "no ( variant"));
    EXPECT_FALSE(bus->dbusMenuLayout(":1.5", "/MenuBar", 10));
    EXPECT_FALSE(bus->dbusMenuClick(":1.5", "/MenuBar", 2));
    EXPECT_EQ(bus->lastFailure(), MenuBus::Failure::refused);

    test::ScopedEnvironment noDisplay("DISPLAY", nullptr);
    EXPECT_FALSE(exportedActionsAddress(getpid()));
    test::ScopedEnvironment display("DISPLAY", ":65000");
    EXPECT_FALSE(exportedMenuAddress(getpid()));
}

TEST(ExportedMenus, SectionsFlattenWithSeparatorsBetweenThemAndSelfInclusionEnds)
{
    MenuModel model;
    model.menus[{0, 0}] = {linkItem("Top", std::nullopt), linkItem("", std::nullopt, MenuLink{0, 1}),
                           linkItem("", std::nullopt, MenuLink{0, 2}), linkItem("", std::nullopt, MenuLink{0, 1}),
                           linkItem("Bottom", std::nullopt)};
    model.menus[{0, 1}] = {linkItem("A", std::nullopt), linkItem("", std::nullopt, MenuLink{0, 1})};
    model.menus[{0, 2}] = {}; // an empty section adds no separator
    std::vector<std::string> shown;
    for (const auto* item : shownItems(model, {0, 0}, 100))
        shown.push_back(item ? item->label : "-");
    EXPECT_THAT(shown, ElementsAre("Top", "-", "A", "-", "A", "-", "Bottom"));
    EXPECT_EQ(shownItems(model, {0, 0}, 2).size(), 2u);
}

// The reader over the exported menus, with a scripted AT-SPI behind them.
class ExportedMenusRead : public ::testing::Test {
protected:
    ExportedMenusRead()
    {
        GVariant* reply = variant("(a(uuaa{sv}))", "gtk-menu-bar.gvariant");
        fakeBus.groups = {{0, parseMenusReply(reply)}};
        g_variant_unref(reply);
        fakeBus.actions["/app"] = {{"new", true}};
        fakeBus.actions["/app/window/1"] = {{"save-as", false}, {"recent", true}};
    }
    std::vector<MenuSection> read(bool includeAll = false)
    {
        return reader.readMenuBar(MenuReadOptions{.pid = 42, .includeAll = includeAll});
    }

    fake::MemoryLogSink sink;
    platform::Log log{sink, [] { return false; }};
    std::unique_ptr<FakeMenuBus> bus = std::make_unique<FakeMenuBus>();
    FakeMenuBus& fakeBus = *bus;
    ExportedMenuAddress address{":1.5", "/app/menus/menubar", "", "/app", "/app/window/1"};
    ExportedMenuAccessibility exported{log, std::move(bus),
                                       [this](pid_t pid) { return pid == 42 ? std::optional(address) : std::nullopt; }};
    fake::FakeAccessibility atspi;
    MenuExportingAccessibility accessibility{exported, atspi, SessionKind::x11};
    MenuBarReader reader{accessibility, log};
};

TEST_F(ExportedMenusRead, MenusWithoutAcceleratorsGiveWayToAtspi)
{
    for (auto& menu : fakeBus.groups[0])
        for (auto& item : menu.items)
            item.accel.clear();
    atspi.addApplication(42, {fake::menu("File", {fake::item("Over AT-SPI", "x")})});
    EXPECT_EQ(read()[0].groups[0].shortcuts[0].title, "Over AT-SPI");
    read();
    EXPECT_EQ(fakeBus.starts, 2) << "the exported menus are not read again";

    fake::FakeAccessibility none;
    MenuExportingAccessibility alone{exported, none, SessionKind::x11};
    const auto onlyExported = MenuBarReader(alone, log).readMenuBar(MenuReadOptions{.pid = 42, .includeAll = true});
    ASSERT_FALSE(onlyExported.empty());
    EXPECT_EQ(onlyExported[0].groups[0].shortcuts[0].keys, "");

    // Preferred over the exported menus, AT-SPI without a menu bar gives none once, then the exported menus again.
    atspi.quit(42);
    EXPECT_TRUE(read().empty());
    EXPECT_FALSE(read(true).empty());
}

TEST_F(ExportedMenusRead, DbusMenuTreeIsReadInOneRequestAndPressedWithClicks)
{
    address = ExportedMenuAddress{.dbusMenuService = ":1.9", .dbusMenuPath = "/MenuBar"};
    EXPECT_TRUE(read().empty()) << "no layout";
    GVariant* reply = variant("(u(ia{sv}av))", "dbusmenu-layout.gvariant");
    fakeBus.layout = parseDbusMenuLayout(reply, 100);
    g_variant_unref(reply);
    EXPECT_TRUE(parseDbusMenuLayout(nullptr, 100).menus.empty());
    EXPECT_TRUE(parseMenusReply(nullptr).empty());

    const auto rows = read(true).at(0).groups.at(0).shortcuts;
    EXPECT_THAT(test::rowsOf(rows), ElementsAre(test::Row{"New", "⌃⇧N"}, test::Row{}, test::Row{"Save", "⌃S"}));
    EXPECT_EQ(fakeBus.starts, 0);
    EXPECT_TRUE(press(accessibility, log, rows[0]));
    EXPECT_FALSE(press(accessibility, log, rows[2])) << "disabled";
    EXPECT_THAT(fakeBus.activations, ElementsAre(":1.9 /MenuBar clicked 2"));
}

TEST_F(ExportedMenusRead, ElementsAnswerOnlyWhatTheirItemsHoldAndAStalledReadIsNotRepeated)
{
    auto& view = fakeBus.groups[0][4].items;
    view.push_back({.label = "Unparsed", .action = "dbusmenu.x"});
    view.push_back({.label = "No group", .action = "quit"});
    view.push_back({.label = "Undescribed", .action = "app.missing", .hiddenWhen = "not-a-condition"});
    view.push_back({.label = "Hidden while disabled", .action = "win.save-as", .hiddenWhen = "action-disabled"});
    address.appMenuPath = "/app/menus/appmenu";
    const auto application = exported.applicationElement(42);
    const auto bar = std::get<platform::ElementRef>(*exported.copyAttribute(application, platform::ax::menuBar));
    EXPECT_FALSE(exported.copyAttribute(application, platform::ax::title));
    EXPECT_FALSE(exported.copyAttribute(exported.applicationElement(43), platform::ax::menuBar));
    const auto titles = [&](const platform::ElementRef& menu) {
        std::vector<std::string> shown;
        for (const auto& child : platform::readChildren(exported, menu))
            shown.push_back(platform::readText(exported, child, platform::ax::title).value_or("?"));
        return shown;
    };
    EXPECT_THAT(titles(bar), ElementsAre("Application", "File", "View"));
    EXPECT_FALSE(exported.copyAttribute(bar, platform::ax::title));
    const auto viewItem = platform::readChildren(exported, bar).at(2);
    const auto viewMenu = platform::readChildren(exported, viewItem).at(0);
    EXPECT_THAT(titles(viewMenu), ElementsAre("second_file.txt", "Unparsed", "No group", "Undescribed"));
    EXPECT_EQ(platform::readInteger(exported, viewItem, platform::ax::enabled), 1) << "a submenu";
    const auto items = platform::readChildren(exported, viewMenu);
    EXPECT_EQ(platform::readInteger(exported, items[0], platform::ax::enabled), 1);
    for (std::size_t i = 1; i < 4; ++i) {
        EXPECT_FALSE(exported.copyAttribute(items[i], platform::ax::enabled)) << i;
        EXPECT_EQ(exported.performAction(items[i], platform::ax::press), i == 3) << i;
    }
    EXPECT_FALSE(exported.copyAttribute(items[0], "AXNoSuchAttribute"));
    EXPECT_FALSE(exported.copyAttribute(nullptr, platform::ax::title));
    EXPECT_FALSE(exported.performAction(items[0], "AXShowMenu"));
    EXPECT_TRUE(exported.performAction(items[0], platform::ax::press));
    EXPECT_THAT(fakeBus.activations, ElementsAre(":1.5 /app missing", ":1.5 /app/window/1 recent 'second'"));

    // A read that stops at the second level is logged; one that gets no answer is not repeated until the next timeout.
    fakeBus.stallFrom = fakeBus.starts + 2;
    EXPECT_EQ(exported.readMenuBar(42).state, ExportedMenuAccessibility::MenuBarState::read);
    EXPECT_TRUE(sink.contains(platform::LogCategory::scraper, platform::LogLevel::error,
                              "Exported menus of pid 42 have more than 250000 items or 16 submenu levels; read "
                              "stopped there"));
    fakeBus.stallFrom = fakeBus.starts + 1;
    EXPECT_EQ(exported.readMenuBar(42).state, ExportedMenuAccessibility::MenuBarState::notAnswering);
    const int starts = fakeBus.starts;
    EXPECT_EQ(exported.readMenuBar(42).state, ExportedMenuAccessibility::MenuBarState::notAnswering);
    EXPECT_EQ(fakeBus.starts, starts);
    exported.setMessagingTimeout(application, std::chrono::seconds(1));
    EXPECT_TRUE(exported.answers(42));
    // Only the application menu: its item alone on the bar, whatever the last request to another menu met.
    fakeBus.stallFrom = 1 << 30;
    address.menuBarPath.clear();
    EXPECT_THAT(titles(exported.readMenuBar(42).element), ElementsAre("Application"));
}

TEST_F(ExportedMenusRead, AtspiItemsArePressedThroughTheirExportedTwinsWhereTheyHaveOne)
{
    // Over AT-SPI, as GTK shows it: menu bar, menu, items, each knowing its parent.
    auto& application = atspi.addApplication(42, {});
    const auto placed = [&](fake::FakeElement* parent, std::string role, std::string title) -> fake::FakeElement& {
        auto& element = atspi.newElement(42);
        element.setTitle(std::move(title)).setEnabled(true).set(atspi_attribute::role, std::move(role));
        element.set(atspi_attribute::processIdentifier, platform::AttributeNumber{42});
        if (parent) {
            element.set(atspi_attribute::parent, platform::ElementRef(parent->shared_from_this()));
            parent->add(element);
        }
        return element;
    };
    auto& bar = placed(nullptr, "menu bar", "");
    application.set(platform::ax::menuBar, platform::ElementRef(bar.shared_from_this()));
    auto& menu = placed(&placed(&bar, "menu", "File"), "popup menu", "");
    auto& saveAs = placed(&menu, "menu item", "Save As…");
    // No exported twin, below an exported item without a submenu, without a role, a title or a process.
    const std::vector<fake::FakeElement*> atspiOnly{
        &placed(&menu, "menu item", "Only Here"), &placed(&placed(&saveAs, "popup menu", ""), "menu item", "Deeper"),
        &placed(&menu, "menu item", "No role").fail(atspi_attribute::role),
        &placed(&menu, "menu item", "No title").fail(platform::ax::title),
        &placed(&menu, "menu item", "No process").fail(atspi_attribute::processIdentifier)};
    const auto press = [&](fake::FakeElement& item) {
        return accessibility.performAction(item.shared_from_this(), platform::ax::press);
    };
    EXPECT_TRUE(press(saveAs));
    EXPECT_EQ(saveAs.pressCount(), 0);
    for (auto* item : atspiOnly) {
        EXPECT_TRUE(press(*item));
        EXPECT_EQ(item->pressCount(), 1);
    }
    EXPECT_THAT(fakeBus.activations, ElementsAre(":1.5 /app/window/1 save-as")) << "its action, not its accessible";

    // The application itself and trust are AT-SPI's.
    const auto applicationElement = accessibility.applicationElement(42);
    application.setTitle("Editor");
    EXPECT_EQ(platform::readText(accessibility, applicationElement, platform::ax::title), "Editor");
    EXPECT_TRUE(accessibility.performAction(applicationElement, platform::ax::press));
    EXPECT_EQ(application.pressCount(), 1);
    accessibility.setMessagingTimeout(saveAs.shared_from_this(), std::chrono::seconds(3));
    EXPECT_EQ(atspi.messagingTimeout(42), 3.0);
    atspi.setTrusted(false);
    EXPECT_FALSE(accessibility.requestTrust());
}

TEST_F(ExportedMenusRead, GtkItemsOfAnApplicationThatExportsNoMenusArePressedWithTheirKeysOnX11)
{
    atspi.addApplication(7, {fake::menu("File", {fake::item("Open…", "o")})});
    auto& open = *atspi.find(7, {"File", "Open…"});
    open.set(atspi_attribute::processIdentifier, platform::AttributeNumber{7});
    open.set(atspi_attribute::gtkAccelerator, std::string("<Primary>o"));
    std::vector<std::string> pressed;
    bool keysPressable = true;
    const auto pressKeys = [&](pid_t pid, const std::string& accelerator) {
        pressed.push_back(std::to_string(pid) + " " + accelerator);
        return keysPressable;
    };
    MenuExportingAccessibility x11{exported, atspi, SessionKind::x11, pressKeys};
    MenuExportingAccessibility wayland{exported, atspi, SessionKind::wayland, pressKeys};
    const auto press = [](platform::Accessibility& accessibility, fake::FakeElement& item) {
        return accessibility.performAction(item.shared_from_this(), platform::ax::press);
    };
    EXPECT_TRUE(press(x11, open));
    EXPECT_TRUE(press(wayland, open));
    keysPressable = false;
    EXPECT_TRUE(press(x11, open));
    EXPECT_THAT(pressed, ElementsAre("7 <Primary>o", "7 <Primary>o"));
    EXPECT_EQ(open.pressCount(), 2) << "on Wayland, and when its keys cannot be pressed";
}

TEST_F(ExportedMenusRead, LinksThatRepeatAreReadOnceOrBoundedByTheReader)
{
    // The menu bar linked twice shows its menus once.
    auto menus = fakeBus.groups[0];
    auto bar = menus[0];
    bar.id = {0, 7};
    menus[0].items = {linkItem("", std::nullopt, MenuLink{0, 7}), linkItem("", std::nullopt, MenuLink{0, 7})};
    menus.push_back(bar);
    fakeBus.groups = {{0, menus}};
    auto sections = read(true);
    ASSERT_EQ(sections.size(), 2u);
    EXPECT_EQ(sections[0].title + " " + sections[1].title, "File View");

    // A submenu that contains itself.
    auto key = linkItem("Key", std::nullopt);
    key.accel = "<Primary>k";
    fakeBus.groups = {{0, {{{0, 0}, {linkItem("Loop", MenuLink{1, 0})}}}},
                      {1, {{{1, 0}, {linkItem("Again", MenuLink{1, 0}), key}}}}};
    MenuExportingAccessibility fresh{exported, atspi, SessionKind::x11};
    sections = MenuBarReader(fresh, log).readMenuBar(MenuReadOptions{.pid = 42});
    ASSERT_EQ(sections.size(), 1u);
    EXPECT_EQ(sections[0].groups.size(), 2u);
    EXPECT_EQ(sections[0].groups[0].shortcuts.size() + sections[0].groups[1].shortcuts.size(), 11u)
        << "the menu's own Key and one per submenu level read";
}

} // namespace
} // namespace hb::linux_platform
