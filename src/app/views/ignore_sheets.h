#pragma once

#include <QDialog>

#include <optional>
#include <string>
#include <vector>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace hb::views {

// A sheet that asks for one new ignore rule: an application picker, a text
// field or both, a note, and "Cancel" / "Add". "Add" is enabled once every
// part asked for is given. Window-modal over its parent; opened with open(),
// so nothing blocks, and deleted when closed.
class IgnoreRuleSheet final : public QDialog {
    Q_OBJECT
public:
    struct App {
        std::string id; // the per-application key
        std::string name;
    };

    struct Options {
        QString title;
        // The picker, when `appLabel` is set: `placeholder` (choosing nothing)
        // first when set, else the first application is chosen; `noAppsText`
        // instead of the picker when there are no applications.
        QString appLabel;
        std::vector<App> apps;
        QString placeholder;
        QString noAppsText;
        // The field, when `fieldLabel` is set.
        QString fieldLabel;
        QString note;
    };

    explicit IgnoreRuleSheet(Options options, QWidget* parent = nullptr);

    std::optional<App> chosenApp() const;
    // The field's text, trimmed.
    QString text() const;

    QComboBox* appPicker() const { return picker_; }
    QLineEdit* field() const { return field_; }
    QPushButton* addButton() const { return add_; }

protected:
    // Return adds what was typed (when it can be added), whichever control
    // has the focus; Escape cancels.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void updateAddButton();

    Options options_;
    QComboBox* picker_ = nullptr;
    QLineEdit* field_ = nullptr;
    QPushButton* add_;
};

} // namespace hb::views
