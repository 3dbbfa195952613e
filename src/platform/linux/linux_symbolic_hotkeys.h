#pragma once

#include "platform/symbolic_hotkeys.h"

namespace hb::linux_platform {

// Linux desktops keep no window-server registry of symbolic hot keys: the
// system shortcuts come from the preferences file alone.
class LinuxSymbolicHotKeys : public platform::SymbolicHotKeys {
public:
    std::optional<std::map<std::int64_t, Value>> values(std::span<const std::int64_t> ids) const override;
};

} // namespace hb::linux_platform
