#include "sources/desktop_shortcuts.h"

#include "model/text.h"
#include "sources/desktop_keybindings.h"
#include "sources/xml_tree.h"

#include <cctype>
#include <map>
#include <optional>

namespace hb::desktop_config {
namespace {

using platform::LogCategory;

std::string_view trimmed(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// Groups in the order their titles first appear.
class GroupList {
public:
    void add(const std::string& title, Shortcut row)
    {
        auto [found, added] = index_.try_emplace(title, groups_.size());
        if (added)
            groups_.push_back(ShortcutGroup{Uuid::random(), title, {}});
        groups_[found->second].shortcuts.push_back(std::move(row));
    }
    std::vector<ShortcutGroup> take() { return std::move(groups_); }

private:
    std::vector<ShortcutGroup> groups_;
    std::map<std::string, std::size_t> index_;
};

// "add_workspace_key" → "Add workspace"; "GoToDesktop" → "Go to desktop".
std::string spelt(std::string_view identifier)
{
    if (identifier.ends_with("_key"))
        identifier.remove_suffix(4);
    std::string words;
    for (std::size_t i = 0; i < identifier.size(); ++i) {
        const auto c = static_cast<unsigned char>(identifier[i]);
        if (c == '_' || c == '-') {
            words += ' ';
        } else if (std::isupper(c) && i > 0 && std::islower(static_cast<unsigned char>(identifier[i - 1]))) {
            words += ' ';
            words += static_cast<char>(std::tolower(c));
        } else {
            words += static_cast<char>(i == 0 ? std::toupper(c) : c);
        }
    }
    return words;
}

// KDE separates several shortcuts of one action by a tab, written "\t".
std::vector<std::string> kdeNotations(std::string_view field, std::string_view action, platform::Log& log)
{
    std::vector<std::string> notations;
    std::size_t start = 0;
    while (start <= field.size()) {
        auto end = field.find("\\t", start);
        if (end == std::string_view::npos)
            end = field.size();
        const auto sequence = trimmed(field.substr(start, end - start));
        if (!sequence.empty() && sequence != "none") {
            if (auto notation = keybinding::qtKeySequence(sequence))
                notations.push_back(std::move(*notation));
            else
                log.info(LogCategory::scraper, "Skipping shortcut '{}' of '{}': keys not understood",
                         std::string(sequence), std::string(action));
        }
        start = end + 2;
    }
    return notations;
}

// "active,default,Friendly title": the key fields end at a comma that does
// not follow "+" (a key may be the comma itself) or a backslash (an escaped
// comma between the presses of a sequence).
std::vector<std::string_view> kdeFields(std::string_view value)
{
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (std::size_t i = 0; i < value.size() && fields.size() < 2; ++i) {
        if (value[i] == ',' && !(i > start && (value[i - 1] == '+' || value[i - 1] == '\\'))) {
            fields.push_back(value.substr(start, i - start));
            start = i + 1;
        }
    }
    fields.push_back(value.substr(start));
    return fields;
}

std::optional<std::string> xmlNotation(const xml::Element& property)
{
    auto accelerator = property.attribute("name");
    return accelerator ? keybinding::gtkAccelerator(*accelerator) : std::nullopt;
}

} // namespace

std::vector<ShortcutGroup> kdeGlobalShortcuts(std::string_view text, platform::Log& log)
{
    struct Action {
        std::string title;
        std::vector<std::string> active;
        std::vector<std::string> defaults;
    };
    struct Component {
        std::string name;
        std::vector<Action> actions;
    };
    std::vector<Component> components;

    std::size_t start = 0;
    while (start < text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        const auto line = trimmed(text.substr(start, end - start));
        start = end + 1;
        if (line.empty() || line.front() == '#')
            continue;
        if (line.front() == '[') {
            // "[kwin]", or "[services][org.kde.konsole.desktop]": the last part names it.
            const auto open = line.rfind('[');
            const auto close = line.find(']', open);
            if (close == std::string_view::npos)
                continue;
            components.push_back(Component{std::string(line.substr(open + 1, close - open - 1)), {}});
            continue;
        }
        const auto equals = line.find('=');
        if (equals == std::string_view::npos || components.empty())
            continue;
        const auto key = trimmed(line.substr(0, equals));
        const auto value = line.substr(equals + 1);
        if (key == "_k_friendly_name") {
            components.back().name = std::string(trimmed(value));
            continue;
        }
        const auto fields = kdeFields(value);
        Action action;
        action.title =
            text::sanitizedMenuTitle(fields.size() > 2 && !trimmed(fields[2]).empty() ? trimmed(fields[2]) : key);
        action.active = kdeNotations(fields[0], key, log);
        if (fields.size() > 1)
            action.defaults = kdeNotations(fields[1], key, log);
        components.back().actions.push_back(std::move(action));
    }

    GroupList groups;
    for (auto& component : components)
        for (auto& action : component.actions)
            if (auto row = keybinding::bindingRow(std::move(action.title), action.active, action.defaults))
                groups.add(component.name, std::move(*row));
    return groups.take();
}

std::vector<ShortcutGroup> xfceKeyboardShortcuts(std::string_view channel, platform::Log& log)
{
    auto root = xml::parse(channel);
    if (!root || root->name != "channel") {
        log.error(LogCategory::scraper, "The Xfce keyboard shortcuts are not a channel that can be read");
        return {};
    }
    auto property = [](const xml::Element& parent, std::string_view name) -> const xml::Element* {
        for (const auto& child : parent.children)
            if (child.name == "property" && child.attribute("name") == name)
                return &child;
        return nullptr;
    };

    GroupList groups;
    for (auto [component, title] : {std::pair{"xfwm4", "Window Manager"}, std::pair{"commands", "Commands"}}) {
        const auto* section = property(*root, component);
        if (!section)
            continue;
        const auto* defaults = property(*section, "default");
        const auto* custom = property(*section, "custom");
        // The custom set replaces the defaults; a default missing from it was removed.
        const auto* active = custom ? custom : defaults;
        std::map<std::string, std::vector<std::string>> activeKeys;
        std::vector<std::string> order;
        auto collect = [&](const xml::Element& set, auto&& take) {
            for (const auto& entry : set.children) {
                if (entry.name != "property" || entry.attribute("type") != "string")
                    continue;
                const auto action = std::string(entry.attribute("value").value_or(""));
                if (action.empty())
                    continue;
                auto notation = xmlNotation(entry);
                if (!notation) {
                    log.info(LogCategory::scraper, "Skipping Xfce shortcut '{}': keys not understood",
                             std::string(entry.attribute("name").value_or("")));
                    continue;
                }
                take(action, std::move(*notation));
            }
        };
        if (active)
            collect(*active, [&](const std::string& action, std::string notation) {
                if (!activeKeys.contains(action))
                    order.push_back(action);
                activeKeys[action].push_back(std::move(notation));
            });
        std::map<std::string, std::vector<std::string>> removed;
        if (custom && defaults)
            collect(*defaults, [&](const std::string& action, std::string notation) {
                if (!activeKeys.contains(action)) {
                    if (!removed.contains(action))
                        order.push_back(action);
                    removed[action].push_back(std::move(notation));
                }
            });
        for (const auto& action : order) {
            const std::string rowTitle = component == std::string_view("xfwm4") ? spelt(action) : action;
            if (auto row = keybinding::bindingRow(rowTitle, activeKeys[action], removed[action]))
                groups.add(title, std::move(*row));
        }
    }
    return groups.take();
}

std::vector<ShortcutGroup> openboxKeybindings(std::string_view rcXml, platform::Log& log)
{
    auto root = xml::parse(rcXml);
    const auto* keyboard = root ? root->child("keyboard") : nullptr;
    if (!keyboard) {
        log.error(LogCategory::scraper, "Openbox's configuration has no keyboard section that can be read");
        return {};
    }
    GroupList groups;
    for (const auto& keybind : keyboard->children) {
        if (keybind.name != "keybind")
            continue;
        const auto key = std::string(keybind.attribute("key").value_or(""));
        const auto* action = keybind.child("action");
        auto notation = keybinding::openboxKey(key);
        if (!notation || !action) {
            log.info(LogCategory::scraper, "Skipping Openbox key binding '{}': {}", key,
                     action ? "keys not understood or a chain" : "no action");
            continue;
        }
        const auto name = std::string(action->attribute("name").value_or(""));
        std::string title = spelt(name);
        std::string group = "Window Management";
        if (name == "Execute") {
            const auto* command = action->child("command");
            if (!command)
                command = action->child("execute");
            title = "Run " + std::string(trimmed(command ? command->text : ""));
            group = "Launchers";
        } else if (name.find("Desktop") != std::string::npos) {
            if (const auto* to = action->child("to"))
                title += " " + std::string(trimmed(to->text));
            group = "Workspaces";
        } else if (const auto* menu = action->child("menu")) {
            title += " " + std::string(trimmed(menu->text));
        }
        Shortcut row;
        row.title = text::sanitizedMenuTitle(title);
        row.keys = std::move(*notation);
        if (!row.title.empty())
            groups.add(group, std::move(row));
    }
    return groups.take();
}

} // namespace hb::desktop_config
