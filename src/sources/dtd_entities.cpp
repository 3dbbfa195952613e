#include "sources/dtd_entities.h"

#include <cctype>

namespace hb::dtd {
namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
bool isNameCharacter(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '.' || c == '-' || c == '_' || c == ':'
           || static_cast<unsigned char>(c) >= 0x80;
}

void skipBlank(std::string_view text, std::size_t& at)
{
    while (at < text.size() && isBlank(text[at]))
        ++at;
}

std::string_view nameAt(std::string_view text, std::size_t& at)
{
    const auto start = at;
    while (at < text.size() && isNameCharacter(text[at]))
        ++at;
    return text.substr(start, at - start);
}

std::optional<std::string_view> quotedAt(std::string_view text, std::size_t& at)
{
    if (at >= text.size() || (text[at] != '"' && text[at] != '\''))
        return std::nullopt;
    const auto end = text.find(text[at], at + 1);
    if (end == std::string_view::npos)
        return std::nullopt;
    auto value = text.substr(at + 1, end - at - 1);
    at = end + 1;
    return value;
}

bool isPredefined(std::string_view name)
{
    return name == "lt" || name == "gt" || name == "amp" || name == "quot" || name == "apos" || name.starts_with('#');
}

// Expands one entity with memoised results; false once a bound is crossed.
class Expander {
public:
    explicit Expander(const Declarations& declarations) : declarations_(declarations) {}

    bool expandAll()
    {
        for (const auto& [name, value] : declarations_.entities)
            if (!expand(name, 0))
                return false;
        return true;
    }

    Entities take() { return std::move(done_); }

private:
    bool expand(const std::string& name, int depth)
    {
        if (done_.contains(name))
            return true;
        if (depth > maxNesting || inProgress_.contains(name))
            return false;
        const auto& source = declarations_.entities.at(name);
        inProgress_.insert({name, true});
        std::string out;
        for (std::size_t i = 0; i < source.size(); ++i) {
            if (source[i] == '&') {
                const auto end = source.find(';', i + 1);
                if (end != std::string::npos) {
                    const std::string reference = source.substr(i + 1, end - i - 1);
                    if (!isPredefined(reference) && declarations_.entities.contains(reference)) {
                        if (!expand(reference, depth + 1))
                            return false;
                        const auto& text = done_.at(reference);
                        if ((spent_ += text.size()) > maxExpandedBytes)
                            return false;
                        out += text;
                        i = end;
                        continue;
                    }
                }
            }
            if (++spent_ > maxExpandedBytes)
                return false;
            out += source[i];
        }
        inProgress_.erase(name);
        done_.emplace(name, std::move(out));
        return true;
    }

    const Declarations& declarations_;
    Entities done_;
    std::map<std::string, bool, std::less<>> inProgress_;
    std::size_t spent_ = 0;
};

} // namespace

void addDeclarations(std::string_view dtd, Declarations& into)
{
    std::size_t at = 0;
    while ((at = dtd.find('<', at)) != std::string_view::npos) {
        if (dtd.substr(at).starts_with("<!--")) {
            const auto end = dtd.find("-->", at + 4);
            if (end == std::string_view::npos)
                return;
            at = end + 3;
            continue;
        }
        if (!dtd.substr(at).starts_with("<!ENTITY")) {
            ++at;
            continue;
        }
        at += 8;
        skipBlank(dtd, at);
        const bool parameter = at < dtd.size() && dtd[at] == '%';
        if (parameter) {
            ++at;
            skipBlank(dtd, at);
        }
        const auto name = nameAt(dtd, at);
        skipBlank(dtd, at);
        if (name.empty())
            continue;
        if (dtd.substr(at).starts_with("SYSTEM") || dtd.substr(at).starts_with("PUBLIC")) {
            const bool isPublic = dtd[at] == 'P';
            at += 6;
            skipBlank(dtd, at);
            if (isPublic) {
                if (!quotedAt(dtd, at))
                    continue;
                skipBlank(dtd, at);
            }
            auto address = quotedAt(dtd, at);
            if (address && parameter)
                into.externalFiles.emplace_back(*address);
            continue;
        }
        auto value = quotedAt(dtd, at);
        if (!value || parameter)
            continue;
        if (into.entities.size() >= maxEntities) {
            into.complete = false;
            return;
        }
        into.entities.try_emplace(std::string(name), std::string(*value));
    }
}

std::optional<Entities> expanded(const Declarations& declarations)
{
    Expander expander(declarations);
    if (!expander.expandAll())
        return std::nullopt;
    return expander.take();
}

DocumentType splitDocumentType(std::string_view document)
{
    DocumentType result;
    const auto start = document.find("<!DOCTYPE");
    // Only before the root element.
    const auto firstElement = [&] {
        for (std::size_t at = document.find('<'); at != std::string_view::npos; at = document.find('<', at + 1)) {
            const auto next = at + 1 < document.size() ? document[at + 1] : '\0';
            if (next != '?' && next != '!')
                return at;
        }
        return std::string_view::npos;
    }();
    if (start == std::string_view::npos || start > firstElement) {
        result.document = std::string(document);
        return result;
    }
    auto end = document.find('>', start);
    const auto open = document.find('[', start);
    if (open != std::string_view::npos && open < end) {
        const auto close = document.find("]", open);
        if (close == std::string_view::npos) {
            result.document = std::string(document);
            return result;
        }
        result.internalSubset = std::string(document.substr(open + 1, close - open - 1));
        end = document.find('>', close);
    }
    if (end == std::string_view::npos) {
        result.document = std::string(document);
        return result;
    }
    result.document = std::string(document.substr(0, start)) + std::string(document.substr(end + 1));
    return result;
}

std::optional<std::string> withEntities(std::string_view document, const Entities& entities, std::size_t maxBytes)
{
    std::string out;
    out.reserve(document.size());
    for (std::size_t i = 0; i < document.size(); ++i) {
        if (document[i] == '&') {
            const auto end = document.find(';', i + 1);
            if (end != std::string_view::npos && end - i < 256) {
                const auto found = entities.find(document.substr(i + 1, end - i - 1));
                if (found != entities.end()) {
                    for (char c : found->second) {
                        if (c == '"')
                            out += "&quot;";
                        else if (c == '\'')
                            out += "&apos;";
                        else if (c == '<')
                            out += "&lt;";
                        else
                            out += c;
                    }
                    i = end;
                    if (out.size() > maxBytes)
                        return std::nullopt;
                    continue;
                }
            }
        }
        out += document[i];
    }
    if (out.size() > maxBytes)
        return std::nullopt;
    return out;
}

} // namespace hb::dtd
