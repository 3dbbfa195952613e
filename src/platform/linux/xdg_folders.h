#pragma once

#include <filesystem>

namespace hb::linux_platform {

// $XDG_CONFIG_HOME, or ~/.config when it is unset or not absolute.
std::filesystem::path xdgConfigHome();

} // namespace hb::linux_platform
