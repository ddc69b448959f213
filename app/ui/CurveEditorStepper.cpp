#include "app/ui/CurveEditorStepper.h"

#include "app/ui/CurveEditorSymbols.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>

#include <algorithm>

namespace aerivo {

CurveEditorStepper::CurveEditorStepper(QWidget* parent) : QWidget(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    // The title wraps in a narrow column rather than pushing the buttons out of it.
    title_ = new QLabel(this);
    title_->setWordWrap(true);
    layout->addWidget(title_, 1);
    valueText_ = new QLabel(this);
    valueText_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    layout->addWidget(valueText_);
    const QColor symbolColor = palette().color(QPalette::ButtonText);
    const auto makeButton = [&](const char* symbol, double direction) {
        auto* button = new QToolButton(this);
        button->setIcon(CurveEditorSymbols::icon(symbol, symbolColor));
        button->setAutoRepeat(true);
        button->setFocusPolicy(Qt::StrongFocus);
        connect(button, &QToolButton::clicked, this,
                [this, direction] { stepBy(direction * step_); });
        layout->addWidget(button);
        return button;
    };
    down_ = makeButton("minus", -1);
    up_ = makeButton("plus", 1);
}

void CurveEditorStepper::setTitle(const QString& title) {
    if (title_->text() != title) {
        title_->setText(title);
    }
}

void CurveEditorStepper::display(double value, const QString& valueText, double lower, double upper,
                                 double step) {
    value_ = value;
    lower_ = lower;
    upper_ = upper;
    step_ = step;
    if (valueText_->text() != valueText) {
        valueText_->setText(valueText);
    }
    down_->setEnabled(value_ > lower_);
    up_->setEnabled(value_ < upper_);
}

void CurveEditorStepper::stepBy(double delta) {
    const double next = std::clamp(value_ + delta, lower_, std::max(lower_, upper_));
    if (next != value_ && onChange_) {
        onChange_(next);
    }
}

} // namespace aerivo
