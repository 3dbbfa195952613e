// Stored user key equivalents such as "@~s".
#include "sources/user_key_equivalents.h"

#include <unicode/utf8.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

bool isValidUtf8(std::string_view text)
{
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto length = static_cast<std::int32_t>(text.size());
    for (std::int32_t offset = 0; offset < length;) {
        UChar32 c = 0;
        U8_NEXT(bytes, offset, length, c);
        if (c < 0)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    auto notation = hb::parseKeyEquivalent(std::string_view(reinterpret_cast<const char*>(data), size));
    // A notation always names a key, in valid UTF-8, whatever the input was.
    if (notation && (notation->empty() || !isValidUtf8(*notation)))
        std::abort();
    return 0;
}
