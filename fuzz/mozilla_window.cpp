// A Mozilla main window's definition with its entities and Fluent messages,
// as an archive could hold them: "<Fluent file>\0<DTD>\0<document>".
#include "sources/dtd_entities.h"
#include "sources/fluent.h"
#include "sources/xul_menus.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view input(reinterpret_cast<const char*>(data), size);
    auto part = [&input] {
        const auto end = input.find('\0');
        const auto text = input.substr(0, end);
        input.remove_prefix(end == std::string_view::npos ? input.size() : end + 1);
        return text;
    };
    const auto messagesFile = part();
    const auto definitions = part();
    const auto document = input;

    hb::fluent::Bundle messages;
    messages.add(messagesFile);
    const auto split = hb::dtd::splitDocumentType(document);
    hb::dtd::Declarations declarations;
    hb::dtd::addDeclarations(split.internalSubset, declarations);
    hb::dtd::addDeclarations(definitions, declarations);
    const auto entities = hb::dtd::expanded(declarations).value_or(hb::dtd::Entities{});
    if (const auto expanded = hb::dtd::withEntities(split.document, entities, 1 << 20))
        if (const auto root = hb::xml::parse(*expanded)) {
            (void)hb::sources::localizationFiles(*root);
            (void)hb::sources::readXulMenus(*root, messages);
        }
    return 0;
}
