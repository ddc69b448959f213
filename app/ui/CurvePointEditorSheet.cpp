#include "app/ui/CurvePointEditorSheet.h"

#include "app/l10n/Formatters.h"
#include "app/l10n/L10n.h"
#include "app/ui/CurveEditorCard.h"
#include "app/ui/CurveEditorStyle.h"

#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace aerivo {

namespace {

using CurveEditorStyle::TextStyle;

QString qtText(const std::string& text) {
    return QString::fromStdString(text);
}

QLabel* secondaryLabel(const QString& text, TextStyle style, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setFont(CurveEditorStyle::font(style));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, CurveEditorStyle::secondary(palette));
    label->setPalette(palette);
    return label;
}

} // namespace

CurvePointEditorSheet::CurvePointEditorSheet(std::function<const AerivoProfile&()> profile,
                                             Uuid pointID, AppLanguage language, Commit onCommit,
                                             QWidget* parent)
    : QDialog(parent), profile_(std::move(profile)), pointID_(pointID), language_(language),
      onCommit_(std::move(onCommit)) {
    const AerivoProfile& current = profile_();
    temperatureC_ = current.temperatureAxis.minimum;
    rpm_ = current.rpmAxis.minimum;
    for (const AerivoPoint& point : current.points) {
        if (point.id == pointID_) {
            temperatureC_ = point.temperatureC;
            rpm_ = point.rpm;
            break;
        }
    }

    const auto text = [this](L10nKey key) { return qtText(L10n::text(key, language_)); };
    setModal(true);
    setWindowTitle(text(L10nKey::pointEditorTitle));
    setFixedWidth(sheetWidth);

    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(18);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    auto* heading = new QVBoxLayout();
    heading->setSpacing(4);
    auto* title = new QLabel(text(L10nKey::pointEditorTitle), this);
    title->setFont(CurveEditorStyle::font(TextStyle::headline));
    heading->addWidget(title);
    auto* subtitle = secondaryLabel(text(L10nKey::pointEditorSubtitle), TextStyle::caption, this);
    subtitle->setWordWrap(true);
    subtitle->setFixedWidth(sheetWidth - 40);
    heading->addWidget(subtitle);
    layout->addLayout(heading);

    form_ = new CurveEditorCard(this);
    auto* formLayout = new QVBoxLayout(form_);
    formLayout->setContentsMargins(12, 10, 12, 10);
    formLayout->setSpacing(4);
    const auto addRow = [&](L10nKey title, double& value, const QString& unit, QLineEdit*& field,
                            QLabel*& range) {
        auto* row = new QHBoxLayout();
        row->addWidget(new QLabel(text(title), form_));
        row->addStretch(1);
        field = makeField(value);
        row->addWidget(field);
        row->addWidget(secondaryLabel(unit, TextStyle::body, form_));
        formLayout->addLayout(row);
        range = secondaryLabel(QString(), TextStyle::caption2, form_);
        formLayout->addWidget(range);
    };
    addRow(L10nKey::temperature, temperatureC_, QStringLiteral("C"), temperatureField_,
           temperatureRange_);
    formLayout->addSpacing(8);
    addRow(L10nKey::fanSpeed, rpm_, text(L10nKey::rpm), rpmField_, rpmRange_);
    layout->addWidget(form_);

    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    cancelButton_ = new QPushButton(text(L10nKey::cancel), this);
    cancelButton_->setAutoDefault(false);
    connect(cancelButton_, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addWidget(cancelButton_);
    saveButton_ = new QPushButton(text(L10nKey::save), this);
    saveButton_->setDefault(true);
    connect(saveButton_, &QPushButton::clicked, this, [this] {
        commit();
        accept();
    });
    buttons->addWidget(saveButton_);
    layout->addLayout(buttons);

    refresh();
}

QLineEdit* CurvePointEditorSheet::makeField(double& value) {
    auto* field = new QLineEdit(qtText(Formatters::wholeNumber(value)), form_);
    field->setFixedWidth(fieldWidth);
    field->setPlaceholderText(QString());
    // Whole numbers only, plain digits: the C locale has no group separators to accept.
    auto* validator = new QIntValidator(field);
    validator->setLocale(QLocale::c());
    field->setValidator(validator);
    // Return or leaving the field commits what it holds, and the field then shows the value it
    // stands for, as a formatted field does.
    connect(field, &QLineEdit::editingFinished, this, [field, &value] {
        takeTypedValue(*field, value);
        field->setText(qtText(Formatters::wholeNumber(value)));
    });
    return field;
}

void CurvePointEditorSheet::takeTypedValue(const QLineEdit& field, double& value) {
    // Only a complete whole number counts: keystrokes on the way ("3" while clearing "35", an
    // empty field, a lone "-") never replace the value the field stands for.
    QString typed = field.text();
    int position = 0;
    if (field.validator()->validate(typed, position) != QValidator::Acceptable) {
        return;
    }
    bool isNumber = false;
    const int number = typed.toInt(&isNumber);
    if (isNumber) {
        value = number;
    }
}

std::optional<AerivoPointEditingBounds> CurvePointEditorSheet::bounds() const {
    return profile_().editingBounds(pointID_);
}

void CurvePointEditorSheet::refresh() {
    const std::optional<AerivoPointEditingBounds> current = bounds();
    form_->setVisible(current.has_value());
    saveButton_->setEnabled(current.has_value());
    if (!current) {
        return;
    }
    temperatureRange_->setText(qtText(L10n::format(
        L10nKey::allowedRange, language_, Formatters::temperature(current->temperature.lower),
        Formatters::temperature(current->temperature.upper))));
    rpmRange_->setText(
        qtText(L10n::format(L10nKey::allowedRange, language_, Formatters::rpm(current->rpm.lower),
                            Formatters::rpm(current->rpm.upper))));
}

void CurvePointEditorSheet::commit() {
    // Save may be clicked while a field still has the focus (its editing not finished yet).
    takeTypedValue(*temperatureField_, temperatureC_);
    takeTypedValue(*rpmField_, rpm_);
    const std::optional<AerivoPointEditingBounds> current = bounds();
    if (!current || !onCommit_) {
        return;
    }
    onCommit_(pointID_, current->temperature.clamp(temperatureC_), current->rpm.clamp(rpm_));
}

} // namespace aerivo
