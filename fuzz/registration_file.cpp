// Integration files: JSON decoding and the section built from it.
#include "sources/third_party_shortcut_registry.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    auto registration = hb::RegistrationFile::decode(std::string_view(reinterpret_cast<const char*>(data), size));
    if (registration)
        hb::ThirdPartyShortcutRegistry::makeSection(*registration);
    return 0;
}
