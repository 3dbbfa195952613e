#include "app/views/ignore_sheets.h"

#include "app/views/settings_form.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace hb::views {

IgnoreRuleSheet::IgnoreRuleSheet(Options options, QWidget* parent)
    : QDialog(parent), options_(std::move(options)), add_(new QPushButton(tr("Add")))
{
    setWindowTitle(options_.title);
    setWindowModality(Qt::WindowModal);
    setAttribute(Qt::WA_DeleteOnClose);

    auto* form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    if (!options_.appLabel.isEmpty()) {
        if (options_.apps.empty()) {
            auto* none = makeCaption(options_.noAppsText);
            none->setObjectName(QStringLiteral("noApps"));
            form->addRow(none);
        } else {
            picker_ = new QComboBox;
            if (!options_.placeholder.isEmpty())
                picker_->addItem(options_.placeholder);
            for (std::size_t i = 0; i < options_.apps.size(); ++i)
                picker_->addItem(QString::fromStdString(options_.apps[i].name), qlonglong(i));
            connect(picker_, &QComboBox::currentIndexChanged, this, [this] { updateAddButton(); });
            form->addRow(options_.appLabel, picker_);
        }
    }
    if (!options_.fieldLabel.isEmpty()) {
        field_ = new QLineEdit;
        field_->setMinimumWidth(260);
        connect(field_, &QLineEdit::textChanged, this, [this] { updateAddButton(); });
        form->addRow(options_.fieldLabel, field_);
    }

    auto* heading = makeSectionTitle(options_.title);
    auto* note = makeCaption(options_.note);
    auto* buttons = new QDialogButtonBox;
    buttons->addButton(QDialogButtonBox::Cancel);
    buttons->addButton(add_, QDialogButtonBox::AcceptRole);
    add_->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 18, 20, 16);
    layout->setSpacing(12);
    layout->addWidget(heading);
    layout->addLayout(form);
    layout->addWidget(note);
    layout->addWidget(buttons);
    setMinimumWidth(380);
    updateAddButton();
}

std::optional<IgnoreRuleSheet::App> IgnoreRuleSheet::chosenApp() const
{
    if (!picker_)
        return std::nullopt;
    const QVariant index = picker_->currentData();
    if (!index.isValid())
        return std::nullopt;
    return options_.apps.at(std::size_t(index.toLongLong()));
}

void IgnoreRuleSheet::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (add_->isEnabled())
            accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

QString IgnoreRuleSheet::text() const
{
    return field_ ? field_->text().trimmed() : QString();
}

void IgnoreRuleSheet::updateAddButton()
{
    const bool appGiven = options_.appLabel.isEmpty() || chosenApp().has_value();
    const bool textGiven = options_.fieldLabel.isEmpty() || !text().isEmpty();
    add_->setEnabled(appGiven && textGiven);
}

} // namespace hb::views
