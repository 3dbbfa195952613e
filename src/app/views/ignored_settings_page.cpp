#include "app/views/ignored_settings_page.h"

#include "app/views/ignore_sheets.h"
#include "app/views/settings_form.h"
#include "popup/views/symbol_icons.h"
#include "settings/settings_keys.h"

#include <QCollator>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <set>

namespace hb::views {
namespace {

const QColor removeColor{0xE5, 0x48, 0x3E};

// The running applications by name, each once.
std::vector<IgnoreRuleSheet::App> runningApps(platform::Workspace& workspace, const std::set<std::string>& except)
{
    std::vector<IgnoreRuleSheet::App> apps;
    std::set<std::string> seen;
    for (const auto& app : workspace.runningApplications()) {
        auto id = app.appID();
        if (app.name.empty() || except.contains(id) || !seen.insert(id).second)
            continue;
        apps.push_back({std::move(id), app.name});
    }
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::sort(apps.begin(), apps.end(), [&collator](const auto& a, const auto& b) {
        return collator.compare(qtText(a.name), qtText(b.name)) < 0;
    });
    return apps;
}

QToolButton* addButton(const QString& text)
{
    auto* button = new QToolButton;
    button->setText(text);
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setAutoRaise(true);
    button->setIcon(views::shippedSymbolIcon("plus", button->palette().color(QPalette::ButtonText), 14));
    button->setIconSize(QSize(14, 14));
    return button;
}

// A group with an action beside its title.
struct ActionSection {
    QWidget* widget;
    QVBoxLayout* layout;
    FormBox* box;
};

ActionSection makeActionSection(const QString& title, QWidget* action, const QString& footer)
{
    auto* widget = new QWidget;
    auto* layout = new QVBoxLayout(widget);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    auto* header = new QHBoxLayout;
    header->addWidget(makeSectionTitle(title));
    header->addStretch(1);
    if (action)
        header->addWidget(action);
    layout->addLayout(header);
    auto* box = new FormBox;
    box->setAccessibleName(title);
    layout->addWidget(box);
    if (!footer.isEmpty()) {
        auto* caption = makeCaption(footer);
        caption->setContentsMargins(4, 0, 4, 0);
        layout->addWidget(caption);
    }
    return {widget, layout, box};
}

} // namespace

IgnoredSettingsPage::IgnoredSettingsPage(SettingsPageContext& context, QWidget* parent)
    : QWidget(parent), c_(context), store_(context.services.ignoreList)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 20);
    layout->setSpacing(16);
    layout->addWidget(appsSection());
    layout->addWidget(menusSection());
    layout->addWidget(commandsSection());
    layout->addStretch(1);
    rebuild();
    observe(this, store_, [this] { rebuild(); });
}

QWidget* IgnoredSettingsPage::appsSection()
{
    auto* add = addButton(tr("Ignore App…"));
    connect(add, &QToolButton::clicked, this, [this] { openIgnoreAppSheet(); });
    auto section =
        makeActionSection(tr("Ignored Apps"), add,
                          tr("Apps listed here are skipped entirely — the popup won't open while they're frontmost."));
    apps_ = section.box;
    return section.widget;
}

QWidget* IgnoredSettingsPage::menusSection()
{
    auto* add = addButton(tr("Ignore Menu…"));
    connect(add, &QToolButton::clicked, this, [this] { openIgnoreMenuSheet(); });
    auto section = makeActionSection(tr("Ignored Menus"), add, tr("Menus listed here are hidden from the popup."));
    menus_ = section.box;
    return section.widget;
}

QWidget* IgnoredSettingsPage::commandsSection()
{
    auto section = makeActionSection(tr("Ignored Commands"), nullptr,
                                     tr("Commands listed here are hidden from the popup. If a command opens a "
                                        "submenu, the entire submenu is hidden too."));
    auto* switches = section.box;
    switches->addRow(tr("Hide ignored commands"),
                     boundSwitch(
                         this, store_, keys::ignoreListEnabled, [this] { return store_.isEnabled(); },
                         [this](bool on) { store_.setEnabled(on); }));
    switches->addRow(tr("Show when filtering"),
                     boundSwitch(
                         this, store_, keys::ignoreListShowWhenFiltering, [this] { return store_.showWhenFiltering(); },
                         [this](bool on) { store_.setShowWhenFiltering(on); }));

    scopePicker_ = new SegmentedControl;
    scopePicker_->addSegment(tr("All Apps"));
    scopePicker_->addSegment(tr("App-Specific"));
    connect(scopePicker_, &SegmentedControl::selected, this,
            [this](int index) { setCommandScope(index == 0 ? CommandScope::allApps : CommandScope::appSpecific); });
    addCommand_ = addButton({});
    connect(addCommand_, &QToolButton::clicked, this, [this] {
        if (scope_ == CommandScope::allApps)
            openGlobalRuleSheet();
        else
            openAppRuleSheet();
    });
    auto* scopeRow = new QHBoxLayout;
    scopeRow->setContentsMargins(0, 8, 0, 0);
    scopeRow->addWidget(scopePicker_);
    scopeRow->addStretch(1);
    scopeRow->addWidget(addCommand_);
    section.layout->addLayout(scopeRow);
    commands_ = new FormBox;
    section.layout->addWidget(commands_);
    return section.widget;
}

void IgnoredSettingsPage::setCommandScope(CommandScope scope)
{
    scopePicker_->setCurrentIndex(scope == CommandScope::allApps ? 0 : 1);
    if (scope_ == scope)
        return;
    scope_ = scope;
    rebuildCommands();
}

// Lists.

void IgnoredSettingsPage::addItemRow(FormBox* box, const QString& text, std::function<void()> remove, bool indent)
{
    auto* button = new QToolButton;
    button->setIcon(views::shippedSymbolIcon("minus.circle.fill", removeColor, 16));
    button->setAutoRaise(true);
    button->setToolTip(tr("Remove"));
    button->setAccessibleName(tr("Remove “%1”").arg(text));
    button->setCursor(Qt::PointingHandCursor);
    connect(button, &QToolButton::clicked, this, std::move(remove));
    box->addRow(text, button, {}, indent);
}

void IgnoredSettingsPage::addEmptyRow(FormBox* box, const QString& text)
{
    auto* label = makeCaption(text);
    label->setAlignment(Qt::AlignCenter);
    box->addWidget(label);
}

void IgnoredSettingsPage::rebuild()
{
    apps_->clear();
    for (const auto& [id, name] : store_.ignoredApps())
        addItemRow(apps_, qtText(name), [this, id] { store_.removeIgnoredApp(id); });
    if (store_.ignoredApps().empty())
        addEmptyRow(apps_, tr("No ignored apps"));

    menus_->clear();
    const auto& menus = store_.ignoredMenuTitles();
    for (std::size_t i = 0; i < menus.size(); ++i)
        addItemRow(menus_, qtText(menus[i]), [this, i] { store_.removeIgnoredMenus({i}); });
    if (menus.empty())
        addEmptyRow(menus_, tr("No ignored menus"));

    rebuildCommands();
}

void IgnoredSettingsPage::rebuildCommands()
{
    commands_->clear();
    addCommand_->setText(scope_ == CommandScope::allApps ? tr("Add Global Rule…") : tr("Add App-Specific Rule…"));
    bool empty = true;
    if (scope_ == CommandScope::allApps) {
        const auto& titles = store_.globalTitles();
        for (std::size_t i = 0; i < titles.size(); ++i)
            addItemRow(commands_, qtText(titles[i]), [this, i] { store_.removeGlobalRules({i}); });
        empty = titles.empty();
    } else {
        // Applications by their shown name.
        std::vector<std::pair<QString, std::string>> apps;
        for (const auto& [id, rules] : store_.perApp()) {
            const auto name = store_.appDisplayNames().find(id);
            apps.emplace_back(name != store_.appDisplayNames().end() ? qtText(name->second) : qtText(id), id);
        }
        std::sort(apps.begin(), apps.end(), [](const auto& a, const auto& b) {
            return QString::compare(a.first, b.first, Qt::CaseInsensitive) < 0;
        });
        for (const auto& [name, id] : apps) {
            auto* removeAll = new QPushButton(tr("Remove all rules for this app"));
            removeAll->setFlat(true);
            removeAll->setCursor(Qt::PointingHandCursor);
            connect(removeAll, &QPushButton::clicked, this, [this, id] { store_.removeAllRules(id); });
            auto* header = commands_->addRow(name, removeAll);
            if (auto* title = header->findChild<QLabel*>()) {
                QFont bold = title->font();
                bold.setWeight(QFont::DemiBold);
                title->setFont(bold);
            }
            const auto& rules = store_.perApp().at(id);
            for (std::size_t i = 0; i < rules.size(); ++i)
                addItemRow(
                    commands_, qtText(rules[i]), [this, id, i] { store_.removeAppRules(id, {i}); }, true);
        }
        empty = apps.empty();
    }
    if (empty)
        addEmptyRow(commands_, tr("No ignored commands"));
}

// Sheets.

IgnoreRuleSheet* IgnoredSettingsPage::openSheet(IgnoreRuleSheet* sheet, std::function<void(IgnoreRuleSheet&)> add)
{
    connect(sheet, &QDialog::accepted, this, [sheet, add = std::move(add)] { add(*sheet); });
    sheet->open();
    return sheet;
}

IgnoreRuleSheet* IgnoredSettingsPage::openIgnoreAppSheet()
{
    std::set<std::string> ignored;
    for (const auto& [id, name] : store_.ignoredApps())
        ignored.insert(id);
    auto* sheet = new IgnoreRuleSheet({.title = tr("Ignore App"),
                                       .appLabel = tr("App"),
                                       .apps = runningApps(c_.services.workspace, ignored),
                                       .noAppsText = tr("No apps to add (all running apps are already ignored)."),
                                       .note = tr("The popup won't open while this app is frontmost.")},
                                      c_.window);
    return openSheet(sheet, [this](IgnoreRuleSheet& s) {
        if (auto app = s.chosenApp())
            store_.addIgnoredApp(app->id, app->name);
    });
}

IgnoreRuleSheet* IgnoredSettingsPage::openIgnoreMenuSheet()
{
    auto* sheet = new IgnoreRuleSheet({.title = tr("Ignore Menu"),
                                       .fieldLabel = tr("Menu name"),
                                       .note = tr("Enter the menu name exactly as it appears in the menu bar "
                                                  "(e.g. \"File\", \"View\", \"Help\").")},
                                      c_.window);
    return openSheet(sheet, [this](IgnoreRuleSheet& s) { store_.addIgnoredMenu(s.text().toStdString()); });
}

IgnoreRuleSheet* IgnoredSettingsPage::openGlobalRuleSheet()
{
    auto* sheet = new IgnoreRuleSheet(
        {.title = tr("Add Ignored Command"),
         .fieldLabel = tr("Command title"),
         .note = tr("Enter a command title to hide from the popup in all apps. Use * as a wildcard — e.g. *Window* "
                    "hides any command containing 'Window'.")},
        c_.window);
    return openSheet(sheet, [this](IgnoreRuleSheet& s) { store_.addGlobalRule(s.text().toStdString()); });
}

IgnoreRuleSheet* IgnoredSettingsPage::openAppRuleSheet()
{
    auto* sheet = new IgnoreRuleSheet(
        {.title = tr("Add App-Specific Rule"),
         .appLabel = tr("App"),
         .apps = runningApps(c_.services.workspace, {}),
         .placeholder = tr("Select an app…"),
         .noAppsText = tr("No apps are currently running."),
         .fieldLabel = tr("Command title"),
         .note = tr("Hide a command in one app only. Use * as a wildcard — e.g. *Window* hides any command "
                    "containing 'Window'.")},
        c_.window);
    return openSheet(sheet, [this](IgnoreRuleSheet& s) {
        if (auto app = s.chosenApp())
            store_.addAppRule(s.text().toStdString(), app->id, app->name);
    });
}

} // namespace hb::views
