// Message catalogues (.mo) of other programs, in either byte order.
#include "sources/message_catalog.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (auto catalog = hb::sources::MessageCatalog::parse(bytes)) {
        catalog->translate("", "New Window");
        catalog->translate("shortcut window", "Quit");
        catalog->translate("", bytes.substr(0, 64));
    }
    return 0;
}
