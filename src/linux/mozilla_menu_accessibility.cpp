#include "linux/mozilla_menu_accessibility.h"

namespace hb::linux_platform {

namespace ax = platform::ax;
using platform::ElementRef;
using sources::XulMenuItem;

// A list of items shaped as the menu reader walks it: the menu bar or the
// other keys' window (`items` at the top), an item, or the menu that holds a
// submenu's items.
class MozillaMenuAccessibility::Defined final : public platform::AccessibleElement {
public:
    enum class Kind { top, item, menu };
    Defined(Kind kind, pid_t pid, std::shared_ptr<const MozillaMenus> menus, const std::vector<XulMenuItem>* top,
            const XulMenuItem* item)
        : kind(kind), pid(pid), menus(std::move(menus)), top(top), item(item)
    {}
    const Kind kind;
    const pid_t pid;
    const std::shared_ptr<const MozillaMenus> menus; // keeps `top` and `item` alive
    const std::vector<XulMenuItem>* const top;
    const XulMenuItem* const item;
};

MozillaMenuAccessibility::MozillaMenuAccessibility(platform::Accessibility& inner, MozillaMenuSource& source,
                                                   ShortcutRunner& runner)
    : AddedElementsAccessibility(inner), source_(source), runner_(runner)
{}

std::optional<platform::AttributeValue> MozillaMenuAccessibility::copyAttribute(const ElementRef& element,
                                                                                std::string_view attribute)
{
    using Kind = Defined::Kind;
    if (const auto* application = dynamic_cast<const Application*>(element.get())) {
        if (attribute == ax::menuBar || attribute == ax::shortcutsWindow) {
            if (auto menus = source_.read(application->pid)) {
                const bool bar = attribute == ax::menuBar;
                const auto* top = bar ? &menus->menus.menus : &menus->otherKeysGroup.items;
                if (!top->empty()) {
                    // The other keys come as one group: a window whose one item holds them.
                    if (bar)
                        return ElementRef(std::make_shared<Defined>(Kind::top, application->pid, menus, top, nullptr));
                    auto window =
                        std::make_shared<Defined>(Kind::top, application->pid, menus, nullptr, &menus->otherKeysGroup);
                    return ElementRef(std::move(window));
                }
            }
        }
        return inner_.copyAttribute(application->inner, attribute);
    }
    const auto* defined = dynamic_cast<const Defined*>(element.get());
    if (!defined)
        return inner_.copyAttribute(element, attribute);

    auto itemsOf = [&](const std::vector<XulMenuItem>& items) {
        std::vector<ElementRef> children;
        for (const auto& item : items)
            children.push_back(std::make_shared<Defined>(Kind::item, defined->pid, defined->menus, nullptr, &item));
        return children;
    };
    if (attribute == ax::children) {
        switch (defined->kind) {
        case Kind::top:
            if (defined->top)
                return itemsOf(*defined->top);
            return std::vector<ElementRef>{
                std::make_shared<Defined>(Kind::item, defined->pid, defined->menus, nullptr, defined->item)};
        case Kind::item:
            if (!defined->item->isSubmenu)
                return std::vector<ElementRef>{};
            return std::vector<ElementRef>{
                std::make_shared<Defined>(Kind::menu, defined->pid, defined->menus, nullptr, defined->item)};
        case Kind::menu:
            return itemsOf(defined->item->items);
        }
    }
    if (defined->kind != Kind::item)
        return std::nullopt;
    if (attribute == ax::title)
        return defined->item->title;
    return acceleratorAttribute(defined->item->accelerator, attribute);
}

bool MozillaMenuAccessibility::performAction(const ElementRef& element, std::string_view action)
{
    const auto* defined = dynamic_cast<const Defined*>(element.get());
    if (!defined)
        return inner_.performAction(element, action);
    if (defined->kind != Defined::Kind::item || action != ax::press || defined->item->accelerator.empty())
        return false;
    const ListedShortcuts window{{}, defined->menus->archive, {}};
    return runner_.run(defined->pid, window, ListedShortcut{defined->item->title, defined->item->accelerator, {}});
}

} // namespace hb::linux_platform
