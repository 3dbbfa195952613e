#include "popup/extra_sections.h"

#include "sources/system_shortcuts.h"
#include "sources/third_party_shortcut_registry.h"

namespace hb {

ExtraSections defaultExtraSections(DesktopShortcutSource* desktop, UserFolders folders, platform::Log& log)
{
    return [desktop, folders = std::move(folders), &log](bool systemShortcuts, bool registeredShortcuts) {
        std::vector<MenuSection> sections;
        if (systemShortcuts)
            if (auto system = systemShortcutSection(desktop, folders, &log))
                sections.push_back(std::move(*system));
        if (registeredShortcuts) {
            auto registered = ThirdPartyShortcutRegistry(folders, log).loadSections();
            sections.insert(sections.end(), std::make_move_iterator(registered.begin()),
                            std::make_move_iterator(registered.end()));
        }
        return sections;
    };
}

} // namespace hb
