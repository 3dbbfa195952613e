#pragma once

#include "platform/login_item.h"

#include <filesystem>

namespace hb::linux_platform {

// Start at login through an XDG autostart entry,
// $XDG_CONFIG_HOME/autostart/hintboard.desktop. Enabled means the entry is
// there and not hidden; disabling removes it.
class XdgAutostartLoginItem : public platform::LoginItemService {
public:
    static std::filesystem::path defaultEntryPath();
    // The running program's executable.
    static std::filesystem::path currentExecutable();

    explicit XdgAutostartLoginItem(std::filesystem::path entry = defaultEntryPath(),
                                   std::filesystem::path executable = currentExecutable());

    bool isEnabled() const override;
    bool setEnabled(bool enabled, std::string& error) override;

    // The entry's text for an executable: its path quoted for the Exec key,
    // and as TryExec.
    static std::string entryText(const std::filesystem::path& executable);

private:
    std::filesystem::path entry_;
    std::filesystem::path executable_;
};

} // namespace hb::linux_platform
