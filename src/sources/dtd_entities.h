#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The entities of document type definitions (".dtd" files and a document's
// internal subset), as Mozilla applications keep their labels and key
// letters: <!ENTITY closeCmd.key "W">. Read from untrusted files: an entity
// expands at most maxNesting references deep, and expansions stop at
// maxExpandedBytes in all (the "billion laughs" stop there).
namespace hb::dtd {

inline constexpr std::size_t maxEntities = 50'000;
inline constexpr int maxNesting = 8;
inline constexpr std::size_t maxExpandedBytes = 4 << 20;

struct Declarations {
    // General entities: name → replacement text, references left in.
    std::map<std::string, std::string, std::less<>> entities;
    // The addresses of external parameter entities (<!ENTITY % brandDTD
    // SYSTEM "chrome://branding/locale/brand.dtd">), in order.
    std::vector<std::string> externalFiles;
    bool complete = true; // false when more than maxEntities were declared
};

// The declarations of a DTD text; a declaration already in `into` keeps its
// first value, as XML has it.
void addDeclarations(std::string_view dtd, Declarations& into);

// Entities with their references to other entities expanded; absent when
// an expansion nests too deep, refers to itself, or grows beyond the bounds.
using Entities = std::map<std::string, std::string, std::less<>>;
std::optional<Entities> expanded(const Declarations& declarations);

// A document's type declaration: its internal subset and the document
// without it (the XML reader skips only declarations without a subset).
struct DocumentType {
    std::string internalSubset;
    std::string document;
};
DocumentType splitDocumentType(std::string_view document);

// The document with every reference to one of `entities` replaced by its
// text (quotes and "<" escaped, so that it stays inside the attribute or
// text where it stood); absent when the result would exceed `maxBytes`.
// Other references are left as they are.
std::optional<std::string> withEntities(std::string_view document, const Entities& entities, std::size_t maxBytes);

} // namespace hb::dtd
