#include "platform/linux/linux_symbolic_hotkeys.h"

namespace hb::linux_platform {

std::optional<std::map<std::int64_t, LinuxSymbolicHotKeys::Value>>
LinuxSymbolicHotKeys::values(std::span<const std::int64_t>) const
{
    return std::nullopt;
}

} // namespace hb::linux_platform
