#pragma once

#include "linux/atspi_connection.h"
#include "linux/atspi_element.h"
#include "linux/atspi_reads.h"

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace hb::linux_platform::atspi {

// The children of elements, each list with what the reader asks of its
// members next, asked for together; reading a menu-bar item's children reads
// its whole menu ahead, level by level.
class Prefetcher {
public:
    Prefetcher(Connection& connection, Reads& reads) : connection_(connection), reads_(reads) {}

    // The children as the menu reader expects them (a submenu item holds its submenu).
    std::vector<platform::ElementRef> children(const Element& element);
    // The children as listed now, described.
    std::vector<std::shared_ptr<Element>> listChildren(const Element& element);

private:
    using Exchange = Connection::Exchange;
    struct Listing;

    bool holdsItems(const Element& element);
    bool opensSubmenu(const Element& item);
    std::shared_ptr<const Element> submenuOf(const Element& item);
    Listing listing(std::shared_ptr<const Element> container);
    void ask(Listing& listing, std::vector<Exchange>& exchanges);
    std::vector<AtspiAccessible*> childObjectsOneByOne(const Element& element);
    void describe(std::vector<std::shared_ptr<Element>>& elements);
    void askRolesOfEmptyItems(const std::vector<std::shared_ptr<Element>>& items);
    void prefetchMenus(std::vector<std::shared_ptr<const Element>> containers);

    Connection& connection_;
    Reads& reads_;
    std::map<pid_t, std::optional<bool>> listsChildren_; // whether GetChildren is known
    std::map<pid_t, std::optional<bool>> listsMenus_;    // whether the Collection interface is
};

} // namespace hb::linux_platform::atspi
