#include "app/ui/CurveEditorSwitch.h"

#include "app/ui/CurveEditorStyle.h"

#include <QPainter>

namespace aerivo {

namespace {

constexpr QSizeF trackSize{32.0, 18.0};
constexpr int titleGap = 10;

} // namespace

CurveEditorSwitch::CurveEditorSwitch(QWidget* parent) : QAbstractButton(parent) {
    setCheckable(true);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

QSize CurveEditorSwitch::sizeHint() const {
    const QSize text = fontMetrics().size(Qt::TextSingleLine, this->text());
    return QSize(text.width() + titleGap + static_cast<int>(trackSize.width()) + 4,
                 std::max(text.height(), static_cast<int>(trackSize.height())) + 6);
}

QSize CurveEditorSwitch::minimumSizeHint() const {
    return sizeHint();
}

void CurveEditorSwitch::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled()) {
        painter.setOpacity(0.45);
    }
    const QRectF track(width() - trackSize.width() - 2, (height() - trackSize.height()) / 2,
                       trackSize.width(), trackSize.height());
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(QRectF(0, 0, track.left() - titleGap, height()),
                     Qt::AlignLeft | Qt::AlignVCenter, text());

    const double radius = track.height() / 2;
    painter.setPen(Qt::NoPen);
    painter.setBrush(
        isChecked() ? CurveEditorStyle::teal()
                    : CurveEditorStyle::withOpacity(CurveEditorStyle::secondary(palette()), 0.45));
    painter.drawRoundedRect(track, radius, radius);
    const double knob = track.height() - 4;
    const double knobX = isChecked() ? track.right() - 2 - knob : track.left() + 2;
    painter.setBrush(Qt::white);
    painter.drawEllipse(QRectF(knobX, track.top() + 2, knob, knob));
    if (hasFocus()) {
        painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(track.adjusted(-2, -2, 2, 2), radius + 2, radius + 2);
    }
}

} // namespace aerivo
