#include "linux/shortcuts_window_accessibility.h"

namespace hb::linux_platform {

namespace ax = platform::ax;
using platform::ElementRef;

// The window as a whole, one of its groups (as menu-bar item or as the menu
// that holds its rows), or one row.
class ShortcutsWindowAccessibility::Listed final : public platform::AccessibleElement {
public:
    enum class Kind { window, groupItem, groupMenu, row };
    Listed(Kind kind, pid_t pid, std::shared_ptr<const ListedShortcuts> shortcuts, std::size_t group = 0,
           std::size_t row = 0)
        : kind(kind), pid(pid), shortcuts(std::move(shortcuts)), group(group), row(row)
    {}
    const ListedGroup& listedGroup() const { return shortcuts->groups[group]; }
    const ListedShortcut& shortcut() const { return listedGroup().shortcuts[row]; }

    const Kind kind;
    const pid_t pid;
    const std::shared_ptr<const ListedShortcuts> shortcuts;
    const std::size_t group;
    const std::size_t row;
};

ShortcutsWindowAccessibility::ShortcutsWindowAccessibility(platform::Accessibility& inner,
                                                           ShortcutsWindowSource& source, ShortcutRunner& runner)
    : AddedElementsAccessibility(inner), source_(source), runner_(runner)
{}

std::optional<platform::AttributeValue> ShortcutsWindowAccessibility::copyAttribute(const ElementRef& element,
                                                                                    std::string_view attribute)
{
    if (const auto* application = dynamic_cast<const Application*>(element.get())) {
        if (attribute != ax::shortcutsWindow)
            return inner_.copyAttribute(application->inner, attribute);
        auto shortcuts = source_.read(application->pid);
        if (!shortcuts)
            return std::nullopt;
        return ElementRef(std::make_shared<Listed>(Listed::Kind::window, application->pid, std::move(shortcuts)));
    }
    const auto* listed = dynamic_cast<const Listed*>(element.get());
    if (!listed)
        return inner_.copyAttribute(element, attribute);

    using Kind = Listed::Kind;
    auto make = [&](Kind kind, std::size_t group, std::size_t row = 0) -> ElementRef {
        return std::make_shared<Listed>(kind, listed->pid, listed->shortcuts, group, row);
    };
    if (attribute == ax::children) {
        std::vector<ElementRef> children;
        if (listed->kind == Kind::window)
            for (std::size_t group = 0; group < listed->shortcuts->groups.size(); ++group)
                children.push_back(make(Kind::groupItem, group));
        else if (listed->kind == Kind::groupItem)
            children.push_back(make(Kind::groupMenu, listed->group));
        else if (listed->kind == Kind::groupMenu)
            for (std::size_t row = 0; row < listed->listedGroup().shortcuts.size(); ++row)
                children.push_back(make(Kind::row, listed->group, row));
        return children;
    }
    if (attribute == ax::title) {
        if (listed->kind == Kind::groupItem)
            return listed->listedGroup().title;
        if (listed->kind == Kind::row)
            return listed->shortcut().title;
        return std::nullopt;
    }
    if (listed->kind == Kind::row && attribute == ax::runsHere)
        return platform::AttributeNumber{runner_.canRun(listed->pid, *listed->shortcuts, listed->shortcut()) ? 1.0
                                                                                                             : 0.0};
    if (listed->kind == Kind::row)
        return acceleratorAttribute(listed->shortcut().accelerator, attribute);
    return std::nullopt;
}

bool ShortcutsWindowAccessibility::performAction(const ElementRef& element, std::string_view action)
{
    const auto* listed = dynamic_cast<const Listed*>(element.get());
    if (!listed)
        return inner_.performAction(element, action);
    return listed->kind == Listed::Kind::row && action == ax::press
           && runner_.run(listed->pid, *listed->shortcuts, listed->shortcut());
}

} // namespace hb::linux_platform
