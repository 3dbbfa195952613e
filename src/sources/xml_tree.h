#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hb::xml {

// An element of a small XML document (a desktop's configuration file).
struct Element {
    std::string name;
    std::map<std::string, std::string, std::less<>> attributes;
    std::vector<Element> children;
    std::string text; // the character data directly inside, entities decoded

    std::optional<std::string_view> attribute(std::string_view key) const;
    // The first child of that name, or null.
    const Element* child(std::string_view childName) const;
};

// The document's root element. Absent for malformed input, nesting deeper
// than 64 levels, or more than 100,000 elements. Comments, processing
// instructions and the document type are skipped; CDATA is text.
std::optional<Element> parse(std::string_view document);

} // namespace hb::xml
