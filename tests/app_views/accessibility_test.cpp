// Every control of the settings window and the wizard says what it does to
// assistive technologies.
#include "app/views/scroll_area_accessible.h"
#include "app/views/welcome_window.h"
#include "fake/fake_accessibility.h"
#include "settings/settings_keys.h"
#include "settings_window_fixture.h"
#include "support/accessible_walk.h"

#include <gmock/gmock.h>

#include <QAccessible>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>

namespace hb::views {
namespace {

using testing::IsEmpty;

class WindowAccessibility : public test::SettingsWindowFixture {};

TEST_F(WindowAccessibility, EverySettingsTabAndWizardStepNamesItsControls)
{
    SettingsWindow window(services());
    window.show();
    for (auto tab : {SettingsWindow::Tab::general, SettingsWindow::Tab::popup, SettingsWindow::Tab::ignored,
                     SettingsWindow::Tab::developer}) {
        window.selectTab(tab);
        EXPECT_THAT(test::unnamedControls(window), IsEmpty()) << "tab " << int(tab);
    }
    fake::FakeAccessibility accessibility;
    accessibility.setTrusted(false);
    for (int step = 0; step < 4; ++step) {
        settings.set(keys::onboardingResumeStep, std::int64_t(step));
        WelcomeWindow wizard(WelcomeWindowServices{modelServices(), accessibility, runtime, WizardHandlers{}, [] {}});
        wizard.present();
        EXPECT_THAT(test::unnamedControls(wizard), IsEmpty()) << "step " << step;
    }
}

// A screen reader asks for children by the count it read earlier: after the
// scroll bar hid, that index is past the end and must give no child.
TEST(ScrollAreaAccessible, ChildPastTheEndAfterTheScrollBarHidIsNone)
{
    QAccessible::installFactory(scrollAreaAccessible);
    QScrollArea area;
    auto* content = new QLabel("rows");
    content->setFixedSize(100, 2000);
    area.setWidget(content);
    area.resize(200, 200);
    area.show();
    QAccessibleInterface* element = QAccessible::queryAccessibleInterface(&area);
    ASSERT_EQ(element->childCount(), 2);
    EXPECT_EQ(element->child(1)->object(), area.verticalScrollBar());

    content->setFixedSize(100, 50);
    area.resize(200, 201);
    QCoreApplication::processEvents();
    EXPECT_EQ(element->childCount(), 1);
    EXPECT_EQ(element->child(1), nullptr);
    EXPECT_EQ(element->child(-1), nullptr);

    QAccessible::removeFactory(scrollAreaAccessible);
}

} // namespace
} // namespace hb::views
