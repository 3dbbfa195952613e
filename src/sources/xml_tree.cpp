#include "sources/xml_tree.h"

#include "model/key_notation.h"

#include <cstdint>

namespace hb::xml {
namespace {

constexpr int maxDepth = 64;
constexpr std::size_t maxElements = 100'000;

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
bool isNameCharacter(char c)
{
    return !isSpace(c) && c != '>' && c != '/' && c != '=' && c != '<';
}

// Text with the five named entities and character references decoded.
std::optional<std::string> decoded(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            out += text[i];
            continue;
        }
        const auto end = text.find(';', i);
        if (end == std::string_view::npos)
            return std::nullopt;
        const auto entity = text.substr(i + 1, end - i - 1);
        if (entity == "lt")
            out += '<';
        else if (entity == "gt")
            out += '>';
        else if (entity == "amp")
            out += '&';
        else if (entity == "quot")
            out += '"';
        else if (entity == "apos")
            out += '\'';
        else if (entity.starts_with('#') && entity.size() > 1) {
            const bool hex = entity[1] == 'x';
            std::uint32_t value = 0;
            for (char c : entity.substr(hex ? 2 : 1)) {
                const int digit = c >= '0' && c <= '9'          ? c - '0'
                                  : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                                  : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                                : -1;
                if (digit < 0 || value > 0x10FFFF)
                    return std::nullopt;
                value = value * (hex ? 16 : 10) + static_cast<std::uint32_t>(digit);
            }
            if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
                return std::nullopt;
            out += notation::utf8Encoded(value);
        } else {
            return std::nullopt;
        }
        i = end;
    }
    return out;
}

class Parser {
public:
    explicit Parser(std::string_view document) : text_(document) {}

    std::optional<Element> document()
    {
        skipMisc();
        auto root = element(0);
        if (!root)
            return std::nullopt;
        skipMisc();
        return at_ == text_.size() ? root : std::nullopt;
    }

private:
    // Space, comments, processing instructions and the document type.
    void skipMisc()
    {
        for (;;) {
            while (at_ < text_.size() && isSpace(text_[at_]))
                ++at_;
            if (!skipMarkup())
                return;
        }
    }

    // Skips one comment, processing instruction or declaration at `at_`.
    bool skipMarkup()
    {
        auto skipPast = [&](std::string_view open, std::string_view close) {
            // Past the end: an earlier markup was not closed.
            if (at_ > text_.size() || !text_.substr(at_).starts_with(open))
                return false;
            const auto end = text_.find(close, at_ + open.size());
            at_ = end == std::string_view::npos ? text_.size() + 1 : end + close.size();
            return true;
        };
        return skipPast("<!--", "-->") || skipPast("<?", "?>") || skipPast("<!DOCTYPE", ">");
    }

    std::string_view name()
    {
        const auto start = at_;
        while (at_ < text_.size() && isNameCharacter(text_[at_]))
            ++at_;
        return text_.substr(start, at_ - start);
    }

    void skipSpace()
    {
        while (at_ < text_.size() && isSpace(text_[at_]))
            ++at_;
    }

    std::optional<Element> element(int depth)
    {
        if (depth >= maxDepth || ++elements_ > maxElements || at_ >= text_.size() || text_[at_] != '<')
            return std::nullopt;
        ++at_;
        Element result;
        result.name = name();
        if (result.name.empty())
            return std::nullopt;
        for (;;) {
            skipSpace();
            if (at_ >= text_.size())
                return std::nullopt;
            if (text_.substr(at_).starts_with("/>")) {
                at_ += 2;
                return result;
            }
            if (text_[at_] == '>') {
                ++at_;
                break;
            }
            const std::string key(name());
            skipSpace();
            if (key.empty() || at_ >= text_.size() || text_[at_] != '=')
                return std::nullopt;
            ++at_;
            skipSpace();
            if (at_ >= text_.size() || (text_[at_] != '"' && text_[at_] != '\''))
                return std::nullopt;
            const char quote = text_[at_++];
            const auto end = text_.find(quote, at_);
            if (end == std::string_view::npos)
                return std::nullopt;
            auto value = decoded(text_.substr(at_, end - at_));
            if (!value)
                return std::nullopt;
            result.attributes.insert_or_assign(key, std::move(*value));
            at_ = end + 1;
        }
        // Content up to the matching end tag.
        for (;;) {
            const auto next = text_.find('<', at_);
            if (next == std::string_view::npos)
                return std::nullopt;
            auto characters = decoded(text_.substr(at_, next - at_));
            if (!characters)
                return std::nullopt;
            result.text += *characters;
            at_ = next;
            if (text_.substr(at_).starts_with("<![CDATA[")) {
                const auto end = text_.find("]]>", at_);
                if (end == std::string_view::npos)
                    return std::nullopt;
                result.text += text_.substr(at_ + 9, end - at_ - 9);
                at_ = end + 3;
            } else if (text_.substr(at_).starts_with("</")) {
                at_ += 2;
                const bool matches = name() == result.name;
                skipSpace();
                if (!matches || at_ >= text_.size() || text_[at_] != '>')
                    return std::nullopt;
                ++at_;
                return result;
            } else if (skipMarkup()) {
                if (at_ > text_.size())
                    return std::nullopt;
            } else {
                auto child = element(depth + 1);
                if (!child)
                    return std::nullopt;
                result.children.push_back(std::move(*child));
            }
        }
    }

    std::string_view text_;
    std::size_t at_ = 0;
    std::size_t elements_ = 0;
};

} // namespace

std::optional<std::string_view> Element::attribute(std::string_view key) const
{
    auto found = attributes.find(key);
    if (found == attributes.end())
        return std::nullopt;
    return std::string_view(found->second);
}

const Element* Element::child(std::string_view childName) const
{
    for (const auto& element : children)
        if (element.name == childName)
            return &element;
    return nullptr;
}

std::optional<Element> parse(std::string_view document)
{
    return Parser(document).document();
}

} // namespace hb::xml
