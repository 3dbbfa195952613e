#pragma once

#include <QWidget>

namespace hb {
class SettingsModel;
class WelcomeWizard;
} // namespace hb

namespace hb::views {

// One step of the onboarding window. Pages read the wizard and the model;
// `refresh` brings them up to date after a change of either or of the palette.
class WelcomePage : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    virtual void refresh() = 0;
};

// The four steps, in order; both objects outlive the pages.
WelcomePage* makeIntroPage(WelcomeWizard& wizard);
WelcomePage* makePermissionPage(WelcomeWizard& wizard);
WelcomePage* makeTriggerPage(WelcomeWizard& wizard, SettingsModel& model);
// Without a tray icon the last step says so and how to reach the program.
WelcomePage* makeLoginItemPage(SettingsModel& model, bool trayIconShown);

} // namespace hb::views
