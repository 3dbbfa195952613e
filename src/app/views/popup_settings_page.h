#pragma once

#include "app/views/settings_window.h"

#include <QWidget>

namespace hb::views {

// The "Popup" tab: what the popup lists.
class PopupSettingsPage final : public QWidget {
    Q_OBJECT
public:
    explicit PopupSettingsPage(SettingsPageContext& context, QWidget* parent = nullptr);

    // Where registered app shortcuts are read, as the caption names it.
    static QString integrationsFileText();
};

} // namespace hb::views
