#include "sources/xul_menus.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <map>
#include <set>

namespace hb::sources {
namespace {

using xml::Element;

std::string_view localName(std::string_view name)
{
    const auto colon = name.rfind(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

bool isHidden(const Element& element)
{
    return element.attribute("hidden") == std::string_view("true");
}

std::string attributeText(const Element& element, std::string_view name)
{
    return std::string(element.attribute(name).value_or(""));
}

fluent::Arguments argumentsOf(const Element& element)
{
    fluent::Arguments arguments;
    const auto text = element.attribute("data-l10n-args");
    if (!text)
        return arguments;
    const auto json = nlohmann::json::parse(*text, nullptr, false);
    if (!json.is_object())
        return arguments;
    for (const auto& [name, value] : json.items()) {
        if (value.is_number_integer())
            arguments[name] = std::to_string(value.get<long long>());
        else if (value.is_number())
            arguments[name] = std::to_string(value.get<double>());
        else if (value.is_string())
            arguments[name] = value.get<std::string>();
    }
    return arguments;
}

std::string l10nId(const Element& element)
{
    if (auto id = element.attribute("data-l10n-id"))
        return std::string(*id);
    return attributeText(element, "data-lazy-l10n-id");
}

// The text an element shows: its label attribute, or its Fluent message's label.
std::string labelOf(const Element& element, const fluent::Bundle& messages)
{
    if (auto label = element.attribute("label"); label && !label->empty())
        return std::string(*label);
    const auto id = l10nId(element);
    if (id.empty())
        return {};
    std::string label = messages.format(id, "label", argumentsOf(element)).value_or("");
    std::replace(label.begin(), label.end(), '\n', ' ');
    return label;
}

// The X keysym name of a key that types `character`.
std::string keysymOf(std::string_view character)
{
    if (character.size() != 1)
        return {};
    const unsigned char c = static_cast<unsigned char>(character.front());
    if (std::isalnum(c))
        return std::string(1, static_cast<char>(std::tolower(c)));
    // clang-format off
    static const std::map<char, std::string_view> names{
        {' ', "space"},      {'!', "exclam"},       {'"', "quotedbl"},   {'#', "numbersign"}, {'$', "dollar"},
        {'%', "percent"},    {'&', "ampersand"},    {'\'', "apostrophe"}, {'(', "parenleft"}, {')', "parenright"},
        {'*', "asterisk"},   {'+', "plus"},         {',', "comma"},      {'-', "minus"},      {'.', "period"},
        {'/', "slash"},      {':', "colon"},        {';', "semicolon"},  {'<', "less"},       {'=', "equal"},
        {'>', "greater"},    {'?', "question"},     {'@', "at"},         {'[', "bracketleft"}, {'\\', "backslash"},
        {']', "bracketright"}, {'^', "asciicircum"}, {'_', "underscore"}, {'`', "grave"},     {'{', "braceleft"},
        {'|', "bar"},        {'}', "braceright"},   {'~', "asciitilde"},
    };
    // clang-format on
    auto found = names.find(static_cast<char>(c));
    return found == names.end() ? std::string() : std::string(found->second);
}

std::string keysymOfKeycode(std::string_view keycode)
{
    if (!keycode.starts_with("VK_"))
        return {};
    keycode.remove_prefix(3);
    if (keycode.size() >= 2 && keycode.size() <= 3 && keycode.front() == 'F'
        && std::all_of(keycode.begin() + 1, keycode.end(),
                       [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })) {
        const int number = std::stoi(std::string(keycode.substr(1)));
        return number >= 1 && number <= 24 ? std::string(keycode) : std::string();
    }
    // clang-format off
    static const std::map<std::string_view, std::string_view> names{
        {"DELETE", "Delete"},   {"BACK", "BackSpace"},    {"LEFT", "Left"},         {"RIGHT", "Right"},
        {"UP", "Up"},           {"DOWN", "Down"},         {"HOME", "Home"},         {"END", "End"},
        {"PAGE_UP", "Page_Up"}, {"PAGE_DOWN", "Page_Down"}, {"ESCAPE", "Escape"},   {"TAB", "Tab"},
        {"RETURN", "Return"},   {"ENTER", "Return"},      {"INSERT", "Insert"},     {"SPACE", "space"},
        {"ADD", "KP_Add"},      {"SUBTRACT", "KP_Subtract"}, {"MULTIPLY", "KP_Multiply"}, {"DIVIDE", "KP_Divide"},
    };
    // clang-format on
    auto found = names.find(keycode);
    return found == names.end() ? std::string() : std::string(found->second);
}

// Everything the menus and keys refer to, found in one walk of the document.
struct DocumentIndex {
    const Element* menuBar = nullptr;
    bool isMainMenuBar = false;
    std::map<std::string, const Element*, std::less<>> keysById;
    std::vector<const Element*> keys;
    std::map<std::string, std::vector<const Element*>, std::less<>> byKey;     // key="id" of other elements
    std::map<std::string, std::vector<const Element*>, std::less<>> byCommand; // command="…" of other elements

    void add(const Element& element)
    {
        const auto name = localName(element.name);
        if (name == "menubar") {
            const auto id = element.attribute("id");
            const bool main = id == std::string_view("main-menubar") || id == std::string_view("mail-menubar");
            if (!menuBar || (main && !isMainMenuBar)) {
                menuBar = &element;
                isMainMenuBar = main;
            }
        }
        if (name == "key") {
            keys.push_back(&element);
            if (auto id = element.attribute("id"))
                keysById.try_emplace(std::string(*id), &element);
        } else {
            if (auto key = element.attribute("key"))
                byKey[std::string(*key)].push_back(&element);
            if (auto command = element.attribute("command"))
                byCommand[std::string(*command)].push_back(&element);
        }
        for (const auto& child : element.children)
            add(child);
    }
};

class MenuWalk {
public:
    MenuWalk(const DocumentIndex& index, const fluent::Bundle& messages) : index_(index), messages_(messages) {}

    std::vector<XulMenuItem> items(const Element& popup)
    {
        std::vector<XulMenuItem> result;
        for (const auto& child : popup.children) {
            if (isHidden(child))
                continue;
            const auto name = localName(child.name);
            if (name == "menuseparator") {
                result.push_back(XulMenuItem{});
            } else if (name == "menuitem") {
                auto title = labelOf(child, messages_);
                if (title.empty())
                    continue;
                std::string accelerator;
                if (auto keyId = child.attribute("key")) {
                    carried.insert(std::string(*keyId));
                    if (auto key = index_.keysById.find(*keyId); key != index_.keysById.end())
                        accelerator = keyAccelerator(*key->second, messages_);
                }
                result.push_back(XulMenuItem{std::move(title), std::move(accelerator), {}, false});
            } else if (name == "menu") {
                if (auto menu = submenu(child))
                    result.push_back(std::move(*menu));
            }
        }
        return result;
    }

    std::optional<XulMenuItem> submenu(const Element& menu)
    {
        auto title = labelOf(menu, messages_);
        if (title.empty())
            return std::nullopt;
        XulMenuItem item{std::move(title), {}, {}, true};
        for (const auto& child : menu.children)
            if (localName(child.name) == "menupopup") {
                item.items = items(child);
                break;
            }
        return item;
    }

    std::set<std::string, std::less<>> carried; // keys named by visible menu items

private:
    const DocumentIndex& index_;
    const fluent::Bundle& messages_;
};

// The label of the first element that runs the key's command or names the key.
std::string keyLabel(const Element& key, const DocumentIndex& index, const fluent::Bundle& messages)
{
    auto firstLabel = [&](const auto& map, std::optional<std::string_view> name) -> std::string {
        if (!name)
            return {};
        auto found = map.find(*name);
        if (found == map.end())
            return {};
        for (const Element* element : found->second)
            if (auto label = labelOf(*element, messages); !label.empty())
                return label;
        return {};
    };
    auto label = firstLabel(index.byKey, key.attribute("id"));
    return label.empty() ? firstLabel(index.byCommand, key.attribute("command")) : label;
}

void collectLinks(const Element& element, std::vector<std::string>& files)
{
    if (localName(element.name) == "link" && element.attribute("rel") == std::string_view("localization"))
        if (auto href = element.attribute("href");
            href && !href->empty() && std::ranges::find(files, *href) == files.end())
            files.emplace_back(*href);
    for (const auto& child : element.children)
        collectLinks(child, files);
}

} // namespace

std::vector<std::string> localizationFiles(const xml::Element& document)
{
    std::vector<std::string> files;
    collectLinks(document, files);
    return files;
}

std::string keyAccelerator(const xml::Element& key, const fluent::Bundle& messages)
{
    if (key.attribute("disabled") == std::string_view("true"))
        return {};
    std::string character = attributeText(key, "key");
    std::string keycode = attributeText(key, "keycode");
    if (character.empty() && keycode.empty()) {
        if (const auto id = l10nId(key); !id.empty()) {
            character = messages.format(id, "key").value_or("");
            keycode = messages.format(id, "keycode").value_or("");
        }
    }
    const std::string name = !character.empty() ? keysymOf(character) : keysymOfKeycode(keycode);
    if (name.empty())
        return {};
    bool control = false, shift = false, alt = false, super = false;
    std::string_view modifiers = key.attribute("modifiers").value_or("");
    while (!modifiers.empty()) {
        const auto end = modifiers.find_first_of(", ");
        const auto modifier = modifiers.substr(0, end);
        modifiers.remove_prefix(end == std::string_view::npos ? modifiers.size() : end + 1);
        if (modifier == "accel" || modifier == "control")
            control = true;
        else if (modifier == "shift")
            shift = true;
        else if (modifier == "alt")
            alt = true;
        else if (modifier == "meta" || modifier == "os")
            super = true;
    }
    return std::string(control ? "<Control>" : "") + (shift ? "<Shift>" : "") + (alt ? "<Alt>" : "")
           + (super ? "<Super>" : "") + name;
}

std::optional<XulMenus> readXulMenus(const xml::Element& document, const fluent::Bundle& messages)
{
    DocumentIndex index;
    index.add(document);
    if (!index.menuBar)
        return std::nullopt;

    XulMenus result;
    result.keyCount = index.keys.size();
    MenuWalk walk(index, messages);
    for (const auto& child : index.menuBar->children)
        if (localName(child.name) == "menu" && !isHidden(child))
            if (auto menu = walk.submenu(child))
                result.menus.push_back(std::move(*menu));

    std::set<std::string, std::less<>> shown;
    for (const Element* key : index.keys) {
        if (auto id = key->attribute("id"); id && walk.carried.contains(*id))
            continue;
        auto accelerator = keyAccelerator(*key, messages);
        if (accelerator.empty() || shown.contains(accelerator))
            continue;
        auto title = keyLabel(*key, index, messages);
        if (title.empty())
            continue;
        shown.insert(accelerator);
        result.otherKeys.push_back(XulMenuItem{std::move(title), std::move(accelerator), {}, false});
    }
    return result;
}

} // namespace hb::sources
