#pragma once

#include "app/views/settings_window.h"

#include <QWidget>

class QAbstractButton;
class QToolButton;

namespace hb::views {

class FormBox;
class IgnoreRuleSheet;
class SegmentedControl;

// The "Ignored" tab: ignored applications, ignored menus and ignored commands
// (for all applications or per application), edited through IgnoreListStore.
class IgnoredSettingsPage final : public QWidget {
    Q_OBJECT
public:
    enum class CommandScope { allApps, appSpecific };

    explicit IgnoredSettingsPage(SettingsPageContext& context, QWidget* parent = nullptr);

    // The sheets behind the add buttons; each is open when returned.
    IgnoreRuleSheet* openIgnoreAppSheet();
    IgnoreRuleSheet* openIgnoreMenuSheet();
    IgnoreRuleSheet* openGlobalRuleSheet();
    IgnoreRuleSheet* openAppRuleSheet();

    CommandScope commandScope() const { return scope_; }
    void setCommandScope(CommandScope scope);

private:
    QWidget* appsSection();
    QWidget* menusSection();
    QWidget* commandsSection();
    void rebuild();
    void rebuildCommands();
    // A row of `box`: the text and its remove button.
    void addItemRow(FormBox* box, const QString& text, std::function<void()> remove, bool indent = false);
    void addEmptyRow(FormBox* box, const QString& text);
    IgnoreRuleSheet* openSheet(IgnoreRuleSheet* sheet, std::function<void(IgnoreRuleSheet&)> add);

    SettingsPageContext& c_;
    IgnoreListStore& store_;
    CommandScope scope_ = CommandScope::allApps;
    FormBox* apps_ = nullptr;
    FormBox* menus_ = nullptr;
    FormBox* commands_ = nullptr;
    SegmentedControl* scopePicker_ = nullptr;
    QToolButton* addCommand_ = nullptr;
};

} // namespace hb::views
