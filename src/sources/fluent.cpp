#include "sources/fluent.h"

#include "model/key_notation.h"

#include <cctype>
#include <charconv>
#include <cstdint>
#include <vector>

namespace hb::fluent {
namespace {

bool isIdentifierStart(char c)
{
    return std::isalpha(static_cast<unsigned char>(c)) != 0;
}
bool isIdentifierCharacter(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '_';
}
bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// The identifier at the start of `text` (empty when there is none).
std::string_view identifierAt(std::string_view text)
{
    if (text.empty() || !isIdentifierStart(text.front()))
        return {};
    std::size_t end = 1;
    while (end < text.size() && isIdentifierCharacter(text[end]))
        ++end;
    return text.substr(0, end);
}

// Past the string literal that starts at `at` (a '"'); npos when unclosed.
std::size_t pastString(std::string_view text, std::size_t at)
{
    for (std::size_t i = at + 1; i < text.size(); ++i) {
        if (text[i] == '\\')
            ++i;
        else if (text[i] == '"')
            return i + 1;
        else if (text[i] == '\n')
            return std::string_view::npos;
    }
    return std::string_view::npos;
}

// The index of the '}' that closes the placeable opened at `open`; npos when none.
std::size_t closingBrace(std::string_view text, std::size_t open)
{
    int depth = 0;
    for (std::size_t i = open; i < text.size();) {
        const char c = text[i];
        if (c == '"' && depth > 0) {
            i = pastString(text, i);
            if (i == std::string_view::npos)
                return i;
            continue;
        }
        if (c == '{')
            ++depth;
        else if (c == '}' && --depth == 0)
            return i;
        ++i;
    }
    return std::string_view::npos;
}

// The brace depth after `line`, starting at `depth` (string literals skipped).
int depthAfter(std::string_view line, int depth)
{
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"' && depth > 0) {
            const auto end = pastString(line, i);
            if (end == std::string_view::npos)
                return depth;
            i = end - 1;
        } else if (line[i] == '{') {
            ++depth;
        } else if (line[i] == '}' && depth > 0) {
            --depth;
        }
    }
    return depth;
}

std::optional<std::string> unescaped(std::string_view literal)
{
    std::string out;
    for (std::size_t i = 0; i < literal.size(); ++i) {
        if (literal[i] != '\\') {
            out += literal[i];
            continue;
        }
        if (++i >= literal.size())
            return std::nullopt;
        const char c = literal[i];
        if (c == '"' || c == '\\') {
            out += c;
        } else if (c == 'u' || c == 'U') {
            const std::size_t digits = c == 'u' ? 4 : 6;
            if (literal.size() - i - 1 < digits)
                return std::nullopt;
            std::uint32_t value = 0;
            const auto hex = literal.substr(i + 1, digits);
            auto [end, error] = std::from_chars(hex.data(), hex.data() + hex.size(), value, 16);
            if (error != std::errc() || end != hex.data() + hex.size() || value == 0 || value > 0x10FFFF
                || (value >= 0xD800 && value <= 0xDFFF))
                return std::nullopt;
            out += notation::utf8Encoded(value);
            i += digits;
        } else {
            return std::nullopt;
        }
    }
    return out;
}

} // namespace

void Bundle::add(std::string_view resource)
{
    // Split into lines once.
    std::vector<std::string_view> lines;
    while (!resource.empty()) {
        const auto end = resource.find('\n');
        auto line = resource.substr(0, end);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        resource.remove_prefix(end == std::string_view::npos ? resource.size() : end + 1);
    }

    for (std::size_t at = 0; at < lines.size();) {
        std::string_view line = lines[at++];
        const bool term = line.starts_with('-');
        const auto id = identifierAt(term ? line.substr(1) : line);
        if (id.empty())
            continue; // comments, junk and indented lines out of place
        auto rest = trimmed(line.substr(id.size() + (term ? 1 : 0)));
        if (!rest.starts_with('='))
            continue;
        rest.remove_prefix(1);

        // The entry's block: its first line and every following line that is
        // indented or blank.
        Entry entry;
        std::string* target = &entry.value;
        *target = std::string(rest);
        int depth = depthAfter(rest, 0);
        while (at < lines.size()
               && (lines[at].empty() || lines[at].front() == ' ' || lines[at].front() == '\t'
                   || trimmed(lines[at]).empty())) {
            const auto content = trimmed(lines[at]);
            if (depth == 0 && content.starts_with('.')) {
                const auto name = identifierAt(content.substr(1));
                auto afterName = trimmed(content.substr(1 + name.size()));
                if (!name.empty() && afterName.starts_with('=')) {
                    target = &entry.attributes[std::string(name)];
                    *target = std::string(afterName.substr(1));
                    depth = depthAfter(afterName, 0);
                    ++at;
                    continue;
                }
            }
            *target += '\n';
            *target += lines[at];
            depth = depthAfter(lines[at], depth);
            ++at;
        }
        const std::string key = (term ? "-" : "") + std::string(id);
        entries_.try_emplace(key, std::move(entry));
    }
}

class Bundle::Formatter {
public:
    Formatter(const Bundle& bundle, const Arguments& arguments) : bundle_(bundle), arguments_(arguments) {}

    std::optional<std::string> entry(std::string_view id, std::string_view attribute, int depth)
    {
        if (depth > maxDepth)
            return std::nullopt;
        auto found = bundle_.entries_.find(id);
        if (found == bundle_.entries_.end())
            return std::nullopt;
        const std::string* source = &found->second.value;
        if (!attribute.empty()) {
            auto named = found->second.attributes.find(attribute);
            if (named == found->second.attributes.end())
                return std::nullopt;
            source = &named->second;
        }
        if (trimmed(*source).empty())
            return std::nullopt;
        auto text = pattern(*source, depth + 1);
        if (!text)
            return std::nullopt;
        return std::string(trimmed(*text));
    }

private:
    std::optional<std::string> pattern(std::string_view source, int depth)
    {
        if (depth > maxDepth)
            return std::nullopt;
        std::string out;
        for (std::size_t i = 0; i < source.size();) {
            const char c = source[i];
            if (c == '{') {
                const auto close = closingBrace(source, i);
                if (close == std::string_view::npos)
                    return std::nullopt;
                auto value = placeable(source.substr(i + 1, close - i - 1), depth + 1);
                if (!value)
                    return std::nullopt;
                out += *value;
                i = close + 1;
            } else if (c == '}') {
                return std::nullopt;
            } else if (c == '\n') {
                // Continuation lines lose their indentation.
                out += '\n';
                ++i;
                while (i < source.size() && (source[i] == ' ' || source[i] == '\t'))
                    ++i;
            } else {
                out += c;
                ++i;
            }
            if (out.size() > maxFormattedBytes)
                return std::nullopt;
        }
        return out;
    }

    std::optional<std::string> placeable(std::string_view inner, int depth)
    {
        if (depth > maxDepth)
            return std::nullopt;
        // A select expression: "selector -> [key] variant *[other] variant".
        const auto arrow = selectArrow(inner);
        if (arrow == std::string_view::npos)
            return expression(trimmed(inner), depth);
        auto selector = expression(trimmed(inner.substr(0, arrow)), depth);
        if (!selector)
            return std::nullopt;
        return variant(inner.substr(arrow + 2), *selector, depth);
    }

    static std::size_t selectArrow(std::string_view inner)
    {
        int depth = 0;
        for (std::size_t i = 0; i + 1 < inner.size(); ++i) {
            if (inner[i] == '"') {
                const auto end = pastString(inner, i);
                if (end == std::string_view::npos)
                    return end;
                i = end - 1;
            } else if (inner[i] == '{') {
                ++depth;
            } else if (inner[i] == '}') {
                --depth;
            } else if (depth == 0 && inner[i] == '-' && inner[i + 1] == '>') {
                return i;
            }
        }
        return std::string_view::npos;
    }

    std::optional<std::string> variant(std::string_view variants, std::string_view selector, int depth)
    {
        // Each variant's key and the span of its pattern.
        struct Variant {
            std::string_view key;
            std::string_view value;
            bool isDefault = false;
        };
        std::vector<Variant> found;
        std::size_t i = 0;
        auto skipBlank = [&] {
            while (i < variants.size() && isBlank(variants[i]))
                ++i;
        };
        skipBlank();
        while (i < variants.size()) {
            Variant v;
            if (variants[i] == '*') {
                v.isDefault = true;
                ++i;
            }
            if (i >= variants.size() || variants[i] != '[')
                return std::nullopt;
            const auto close = variants.find(']', i);
            if (close == std::string_view::npos)
                return std::nullopt;
            v.key = trimmed(variants.substr(i + 1, close - i - 1));
            i = close + 1;
            // The value runs to the next line that starts a variant at depth 0.
            const auto start = i;
            int braces = 0;
            while (i < variants.size()) {
                if (variants[i] == '"' && braces > 0) {
                    const auto end = pastString(variants, i);
                    if (end == std::string_view::npos)
                        return std::nullopt;
                    i = end;
                    continue;
                }
                if (variants[i] == '{')
                    ++braces;
                else if (variants[i] == '}')
                    --braces;
                else if (variants[i] == '\n' && braces == 0) {
                    auto next = i + 1;
                    while (next < variants.size() && (variants[next] == ' ' || variants[next] == '\t'))
                        ++next;
                    if (next < variants.size() && (variants[next] == '[' || variants[next] == '*'))
                        break;
                }
                ++i;
            }
            v.value = variants.substr(start, i - start);
            found.push_back(v);
            skipBlank();
        }
        const Variant* chosen = nullptr;
        for (const auto& v : found)
            if (v.key == selector)
                chosen = &v;
        // Plural categories: English's "one" is the only one told apart here.
        if (!chosen && selector == "1")
            for (const auto& v : found)
                if (v.key == "one")
                    chosen = &v;
        if (!chosen)
            for (const auto& v : found)
                if (v.isDefault)
                    chosen = &v;
        if (!chosen)
            return std::nullopt;
        auto text = pattern(trimmed(chosen->value), depth + 1);
        if (!text)
            return std::nullopt;
        return std::string(trimmed(*text));
    }

    std::optional<std::string> expression(std::string_view expr, int depth)
    {
        if (expr.empty())
            return std::nullopt;
        if (expr.front() == '"') {
            if (pastString(expr, 0) != expr.size())
                return std::nullopt;
            return unescaped(expr.substr(1, expr.size() - 2));
        }
        if (expr.front() == '$') {
            const auto name = identifierAt(expr.substr(1));
            auto found = arguments_.find(name);
            return found != arguments_.end() ? found->second : "{$" + std::string(name) + "}";
        }
        if (std::isdigit(static_cast<unsigned char>(expr.front()))
            || (expr.front() == '-' && expr.size() > 1 && std::isdigit(static_cast<unsigned char>(expr[1]))))
            return std::string(expr);
        const bool term = expr.front() == '-';
        const auto id = identifierAt(term ? expr.substr(1) : expr);
        if (id.empty())
            return std::nullopt;
        auto rest = expr.substr(id.size() + (term ? 1 : 0));
        std::string_view attribute;
        if (rest.starts_with('.')) {
            attribute = identifierAt(rest.substr(1));
            rest.remove_prefix(1 + attribute.size());
        }
        rest = trimmed(rest);
        if (!term && rest.starts_with('(')) {
            // Functions: PLATFORM() names this platform; others give their first argument.
            if (id == "PLATFORM")
                return bundle_.platform_;
            const auto close = rest.rfind(')');
            if (close == std::string_view::npos)
                return std::nullopt;
            auto arguments = rest.substr(1, close - 1);
            const auto comma = arguments.find(',');
            return expression(trimmed(arguments.substr(0, comma)), depth + 1);
        }
        // Arguments of a parameterised term are not used.
        return entry(term ? "-" + std::string(id) : std::string(id), attribute, depth + 1);
    }

    const Bundle& bundle_;
    const Arguments& arguments_;
};

std::optional<std::string> Bundle::format(std::string_view id, std::string_view attribute,
                                          const Arguments& arguments) const
{
    Formatter formatter(*this, arguments);
    return formatter.entry(id, attribute, 0);
}

} // namespace hb::fluent
