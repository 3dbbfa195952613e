#pragma once

#include "platform/settings_domain.h"
#include "popup/popup_panel.h"
#include "popup/views/export_flow.h"
#include "settings/theme_settings.h"

#include <QColor>

#include <functional>

namespace hb::views {

// What the panel's views share: where user actions go, the settings the
// banners read, the key colour and the dialogs of an export.
struct PanelContext {
    PopupPanelEvents events;
    platform::SettingsDomain& settings;
    ThemeSettings* theme = nullptr; // none: the palette's accent colour
    ExportDialogs exportDialogs = ExportDialogs::standard();
    // Told before a modal dialog opens (true) and after it closed (false).
    std::function<void(bool modal)> modal;
    // Opens the project page of the nudge.
    std::function<void(const QString& address)> openAddress;
};

} // namespace hb::views
