#pragma once

#include <filesystem>

namespace hb::linux_platform {

// The installed command is `hintboard`, a small program without Qt that
// serves the subcommands and hands a start without arguments to the tray
// application, `hintboard-tray`, beside it in the build tree or in
// <libexec>/hintboard once installed.

// This process's executable (a replaced file keeps its old path); empty when
// /proc cannot tell.
std::filesystem::path runningExecutable();
// The tray application that belongs to the command `launcher`.
std::filesystem::path trayApplicationPath(const std::filesystem::path& launcher);
// The command that belongs to the tray application `tray`; `tray` itself
// when it is not in one of the two layouts.
std::filesystem::path launcherPath(const std::filesystem::path& tray);

} // namespace hb::linux_platform
