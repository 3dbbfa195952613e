#include "app/views/popup_settings_page.h"

#include "app/views/settings_form.h"
#include "popup/views/panel_style.h"
#include "settings/settings_keys.h"
#include "sources/user_folders.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace hb::views {

QString PopupSettingsPage::integrationsFileText()
{
    const auto folder = UserFolders::inside(UserFolders::fromEnvironment().data, "Hintboard/Integrations");
    const QString path = folder ? homeRelativePath(QString::fromStdString(folder->string()))
                                : QStringLiteral("~/.local/share/Hintboard/Integrations");
    return path + QStringLiteral("/<app id>.json");
}

PopupSettingsPage::PopupSettingsPage(SettingsPageContext& context, QWidget* parent) : QWidget(parent)
{
    auto& m = context.model;
    auto section = makeSection(tr("Popup Content"));
    auto* box = section.box;

    box->addRow(tr("Show all menu entries"), boundSwitch(
                                                 this, m, keys::showAllMenuItems, [&m] { return m.showAllMenuItems(); },
                                                 [&m](bool on) { m.setShowAllMenuItems(on); }));
    auto* onlySearching =
        box->addRow(tr("Only show when searching"),
                    boundSwitch(
                        this, m, keys::requireFilterForAllMenuItems, [&m] { return m.requireFilterForAllMenuItems(); },
                        [&m](bool on) { m.setRequireFilterForAllMenuItems(on); }),
                    {}, true);
    auto* hideLarge = box->addRow(tr("Hide large submenus without shortcuts"),
                                  boundSwitch(
                                      this, m, keys::hideLargeSubmenus, [&m] { return m.hideLargeSubmenus(); },
                                      [&m](bool on) { m.setHideLargeSubmenus(on); }),
                                  {}, true);

    auto* warning = new QWidget;
    auto* warningRow = new QHBoxLayout(warning);
    warningRow->setContentsMargins(0, 0, 0, 0);
    auto* icon = new QLabel;
    icon->setPixmap(glyphIcon(Glyph::warning, conflictColor, 16).pixmap(16, 16));
    icon->setAlignment(Qt::AlignTop);
    auto* text = makeCaption({});
    text->setTextFormat(Qt::RichText);
    text->setText(tr("In apps with many menu entries (e.g., browser history), the popup may take ")
                  + QStringLiteral("<b>") + tr("several seconds") + QStringLiteral("</b>") + tr(" to appear."));
    warningRow->addWidget(icon);
    warningRow->addWidget(text, 1);
    box->addWidget(warning);

    box->addRow(tr("Show system shortcuts"),
                boundSwitch(
                    this, m, keys::showSystemShortcuts, [&m] { return m.showSystemShortcuts(); },
                    [&m](bool on) { m.setShowSystemShortcuts(on); }));
    auto* deactivated = box->addRow(tr("Show deactivated system shortcuts"),
                                    boundSwitch(
                                        this, m, keys::showDeactivatedSystemShortcuts,
                                        [&m] { return m.showDeactivatedSystemShortcuts(); },
                                        [&m](bool on) { m.setShowDeactivatedSystemShortcuts(on); }),
                                    {}, true);

    box->addRow(tr("Show registered app shortcuts"),
                boundSwitch(
                    this, m, keys::showThirdPartyShortcuts, [&m] { return m.showThirdPartyShortcuts(); },
                    [&m](bool on) { m.setShowThirdPartyShortcuts(on); }),
                tr("Apps can register their global shortcuts at %1").arg(integrationsFileText()));
    box->addRow(tr("Always show favourites"),
                boundSwitch(
                    this, m, keys::alwaysShowFavourites, [&m] { return m.alwaysShowFavourites(); },
                    [&m](bool on) { m.setAlwaysShowFavourites(on); }),
                tr("Pinned shortcuts always appear, even when the search or modifier filter doesn't match them."));

    box->addRow(tr("Wrap long menus across columns"),
                boundSwitch(
                    this, m, keys::wrapLongSections, [&m] { return m.wrapLongSections(); },
                    [&m](bool on) { m.setWrapLongSections(on); }),
                tr("A long menu that doesn't fit in one column continues in the next, with the menu name repeated."),
                false, makeBadge(tr("experimental")));

    auto enable = [&m, onlySearching, hideLarge, deactivated] {
        onlySearching->setEnabled(m.showAllMenuItems());
        hideLarge->setEnabled(m.showAllMenuItems());
        deactivated->setEnabled(m.showSystemShortcuts());
    };
    enable();
    observe(this, m, enable);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 20);
    layout->addWidget(section.widget);
    layout->addStretch(1);
}

} // namespace hb::views
