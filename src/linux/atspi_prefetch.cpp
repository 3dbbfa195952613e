#include "linux/atspi_prefetch.h"

#include "linux/atspi_menu_bar.h"
#include "linux/atspi_messages.h"

#include <deque>

namespace hb::linux_platform::atspi {

namespace {

bool isMenuContainer(AtspiRole role)
{
    return role == ATSPI_ROLE_MENU_BAR || role == ATSPI_ROLE_MENU || role == ATSPI_ROLE_POPUP_MENU;
}

// A shared element for one that is not (an item whose submenu is read ahead).
std::shared_ptr<const Element> shared(const Element& element)
{
    return std::shared_ptr<const Element>(std::shared_ptr<const Element>(), &element);
}

Connection::ReplyHandler roleReader(const Element& element)
{
    return [&element](DBusMessage* reply) {
        dbus_uint32_t role = ATSPI_ROLE_INVALID;
        if (isReturn(reply) && dbus_message_get_args(reply, nullptr, DBUS_TYPE_UINT32, &role, DBUS_TYPE_INVALID)
            && role != ATSPI_ROLE_INVALID)
            element.role = static_cast<AtspiRole>(role);
    };
}

// Described items left out of their menu: those the toolkit hides, and those
// whose title never came (the application stopped answering), which are
// no separators.
bool leftOut(const std::shared_ptr<Element>& element)
{
    return element->presentation == Presentation::item && (element->hidden || !element->prefetchedTitle);
}

} // namespace

// One container's children as a listing asks for them, all at once: the
// list and, of an ATK menu, which of them are menus.
struct Prefetcher::Listing {
    std::shared_ptr<const Element> container;
    Presentation presentation = Presentation::object;
    std::optional<std::vector<std::shared_ptr<Element>>> children;
    std::optional<std::set<std::string, std::less<>>> menus;

    // The listed items that are menus, marked as such.
    void markMenus() const
    {
        if (children && menus)
            for (const auto& child : *children)
                child->listedAsMenu = menus->contains(child->accessible->parent.path);
    }
};

bool Prefetcher::holdsItems(const Element& element)
{
    if (element.presentation == Presentation::menuItems)
        return true;
    if (element.presentation != Presentation::object)
        return false;
    auto role = reads_.role(element);
    return role && isMenuContainer(*role);
}

bool Prefetcher::opensSubmenu(const Element& item)
{
    if (reads_.isQt(item)) {
        auto count = reads_.childCount(item);
        return count && *count > 0;
    }
    if (item.listedAsMenu)
        return *item.listedAsMenu;
    // Without the menus listed, an ATK item with children is the menu of
    // its items (the role is asked only where it may tell otherwise).
    if (item.role)
        return *item.role == ATSPI_ROLE_MENU;
    if (auto count = reads_.childCount(item))
        return *count > 0;
    auto role = reads_.role(item);
    return role && *role == ATSPI_ROLE_MENU;
}

// What holds an item's submenu: an ATK menu is its own item, so its
// submenu is the same object presented as holding items (given as the
// item's child, no request); a Qt item holds a popup menu among its children.
std::shared_ptr<const Element> Prefetcher::submenuOf(const Element& item)
{
    if (reads_.isQt(item))
        return shared(item);
    auto submenu =
        wrap(item.pid, static_cast<AtspiAccessible*>(g_object_ref(item.accessible)), Presentation::menuItems);
    item.prefetchedIn = connection_.readNumber();
    item.prefetchedChildren = std::vector{submenu};
    return submenu;
}

Prefetcher::Listing Prefetcher::listing(std::shared_ptr<const Element> container)
{
    const auto presentation = holdsItems(*container) ? Presentation::item : Presentation::object;
    return Listing{std::move(container), presentation};
}

void Prefetcher::ask(Listing& listing, std::vector<Exchange>& exchanges)
{
    const Element& container = *listing.container;
    const pid_t pid = container.pid;
    exchanges.push_back(
        {methodCall(container, "org.a11y.atspi.Accessible", "GetChildren"), [this, &listing, pid](DBusMessage* reply) {
             if (isUnknownMethod(reply))
                 listsChildren_[pid] = false;
             if (!isReturn(reply))
                 return;
             listing.children.emplace();
             for (auto* object : objectsOf(reply))
                 listing.children->push_back(wrap(pid, object, listing.presentation));
         }});
    if (listing.presentation != Presentation::item || reads_.isQt(container) || listsMenus_[pid] == false)
        return;
    exchanges.push_back({menusRequest(container), [this, &listing, pid](DBusMessage* reply) {
                             if (isUnknownMethod(reply))
                                 listsMenus_[pid] = false;
                             if (!isReturn(reply))
                                 return;
                             listing.menus.emplace();
                             for (const auto& reference : references(reply))
                                 listing.menus->emplace(reference.path);
                         }});
}

// The children one by one, for an application that does not list them at
// once; a child that cannot be read ends the list.
std::vector<AtspiAccessible*> Prefetcher::childObjectsOneByOne(const Element& element)
{
    std::vector<AtspiAccessible*> children;
    auto count = connection_.request(element.pid, [&] {
        GError* error = nullptr;
        const int n = atspi_accessible_get_child_count(element.accessible, &error);
        g_clear_error(&error);
        return n;
    });
    for (int i = 0; count && i < *count; ++i) {
        auto child = connection_.request(element.pid, [&] {
            GError* error = nullptr;
            auto* object = atspi_accessible_get_child_at_index(element.accessible, i, &error);
            g_clear_error(&error);
            return object;
        });
        if (!child || !*child)
            break;
        children.push_back(*child);
    }
    return children;
}

std::vector<std::shared_ptr<Element>> Prefetcher::listChildren(const Element& element)
{
    auto listed = listing(shared(element));
    if (listsChildren_[element.pid] != false) {
        std::vector<Exchange> exchanges;
        ask(listed, exchanges);
        connection_.exchange(element, exchanges);
    }
    if (!listed.children) {
        listed.children.emplace();
        for (auto* object : childObjectsOneByOne(element))
            listed.children->push_back(wrap(element.pid, object, listed.presentation));
    }
    listed.markMenus();
    describe(*listed.children);
    return std::move(*listed.children);
}

std::vector<platform::ElementRef> Prefetcher::children(const Element& element)
{
    if (auto prefetched = connection_.takePrefetched(element, element.prefetchedChildren))
        return {prefetched->begin(), prefetched->end()};
    if (element.presentation == Presentation::item) {
        if (!opensSubmenu(element))
            return {};
        prefetchMenus({submenuOf(element)});
        if (auto prefetched = connection_.takePrefetched(element, element.prefetchedChildren))
            return {prefetched->begin(), prefetched->end()};
    }
    auto children = listChildren(element);
    return {children.begin(), children.end()};
}

// Asks each element, together, for what the reader asks next: an item for
// its title, key binding and what tells whether it opens a submenu, any
// other object (of the first few hundred) for its role.
void Prefetcher::describe(std::vector<std::shared_ptr<Element>>& elements)
{
    if (elements.empty())
        return;
    const bool qt = reads_.isQt(*elements.front());
    std::vector<Exchange> exchanges;
    std::size_t objects = 0;
    for (const auto& element : elements) {
        element->prefetchedIn = connection_.readNumber();
        const Element* described = element.get();
        if (element->presentation != Presentation::item) {
            if (!element->role && ++objects <= menuBarSearchBudget)
                exchanges.push_back(
                    {methodCall(*element, "org.a11y.atspi.Accessible", "GetRole"), roleReader(*element)});
            continue;
        }
        auto toTitle = [described](DBusMessage* reply) {
            if (auto title = variant<std::string>(reply))
                described->prefetchedTitle = trimmed(title->c_str());
        };
        exchanges.push_back(
            {keyBindingRequest(*element), [described](DBusMessage* reply) {
                 const char* binding = nullptr;
                 // An error means no action at index 0: no binding, as with the single request.
                 if (reply && dbus_message_get_type(reply) == DBUS_MESSAGE_TYPE_ERROR)
                     described->prefetchedBinding = std::string();
                 else if (isReturn(reply)
                          && dbus_message_get_args(reply, nullptr, DBUS_TYPE_STRING, &binding, DBUS_TYPE_INVALID))
                     described->prefetchedBinding = std::string(binding);
             }});
        if (!qt && !element->listedAsMenu) {
            // Without the menus listed, the child count tells; ATK answers
            // all properties at once (Qt 5 crashes on it).
            exchanges.push_back(
                {methodCall(*element, "org.freedesktop.DBus.Properties", "GetAll", "org.a11y.atspi.Accessible"),
                 [described](DBusMessage* reply) {
                     auto properties = accessibleProperties(reply);
                     if (properties.name)
                         described->prefetchedTitle = trimmed(properties.name->c_str());
                     described->prefetchedChildCount = properties.childCount;
                 }});
            continue;
        }
        exchanges.push_back({propertyRead(*element, "Name"), toTitle});
        if (qt) {
            exchanges.push_back({propertyRead(*element, "ChildCount"), [described](DBusMessage* reply) {
                                     described->prefetchedChildCount = variant<int>(reply);
                                 }});
            // Qt lists the items it hides like the others, without a size.
            exchanges.push_back({extentsRequest(*element), [described](DBusMessage* reply) {
                                     if (auto size = sizeOf(reply))
                                         described->hidden = size->first <= 0 && size->second <= 0;
                                 }});
        }
    }
    connection_.exchange(*elements.front(), exchanges);
    std::erase_if(elements, leftOut);
    if (!qt)
        askRolesOfEmptyItems(elements);
}

// Without the menus listed, an ATK item without children opens nothing,
// unless it is an empty submenu, which the reader leaves out rather than
// listing it as a command: the role tells, asked only of items without a key.
void Prefetcher::askRolesOfEmptyItems(const std::vector<std::shared_ptr<Element>>& items)
{
    std::vector<Exchange> exchanges;
    for (const auto& item : items) {
        if (item->listedAsMenu || item->role || item->prefetchedChildCount != 0 || !item->prefetchedBinding
            || parseKeyBinding(*item->prefetchedBinding, reads_.keyBindingStyle(*item, *item->prefetchedBinding),
                               *item->prefetchedTitle, false))
            continue;
        exchanges.push_back({methodCall(*item, "org.a11y.atspi.Accessible", "GetRole"), roleReader(*item)});
    }
    if (!exchanges.empty())
        connection_.exchange(*items.front(), exchanges);
}

// Reads the menus below `containers` ahead, level by level: the children
// lists of a level are asked for together, then every child is described
// together, so that a submenu tree costs a few round trips per level
// rather than a few per item. Bounded in depth and size; an object met
// twice (a cycle) is not descended into again.
void Prefetcher::prefetchMenus(std::vector<std::shared_ptr<const Element>> containers)
{
    constexpr int maxDepth = 16;
    constexpr std::size_t maxObjects = 20'000;
    if (containers.empty() || listsChildren_[containers.front()->pid] == false)
        return;
    const pid_t pid = containers.front()->pid;
    std::set<std::string, std::less<>> seen;
    std::size_t objects = 0;
    for (int depth = 0; depth < maxDepth && !containers.empty() && connection_.answering(pid); ++depth) {
        std::deque<Listing> listings; // stable addresses for the reply handlers
        std::vector<Exchange> exchanges;
        for (auto& container : containers)
            ask(listings.emplace_back(listing(std::move(container))), exchanges);
        connection_.exchange(*listings.front().container, exchanges);
        std::vector<std::shared_ptr<Element>> listed;
        for (const auto& listing : listings) {
            listing.markMenus();
            if (listing.children)
                listed.insert(listed.end(), listing.children->begin(), listing.children->end());
        }
        describe(listed);
        for (auto& listing : listings) {
            if (!listing.children)
                continue;
            std::erase_if(*listing.children, leftOut);
            listing.container->prefetchedIn = connection_.readNumber();
            listing.container->prefetchedChildren = std::move(listing.children);
        }

        containers.clear();
        for (const auto& child : listed) {
            if (++objects > maxObjects)
                break;
            const char* path = child->accessible->parent.path;
            if (!path || !seen.insert(path).second)
                continue;
            if (child->presentation == Presentation::object) {
                if (child->role && isMenuContainer(*child->role))
                    containers.push_back(child);
            } else if (opensSubmenu(*child)) {
                containers.push_back(submenuOf(*child));
            }
        }
    }
}

} // namespace hb::linux_platform::atspi
