#include "app/ui/ToggleSwitch.h"

#include "app/ui/ModeTint.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace aerivo {

namespace {

constexpr int trackWidth = 38;
constexpr int trackHeight = 22;
constexpr int gap = 12;

} // namespace

ToggleSwitch::ToggleSwitch(QWidget* parent) : QAbstractButton(parent) {
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize ToggleSwitch::sizeHint() const {
    // The title's exact width rounded up: a rounded-down integer advance makes the paint elide
    // the last character of a title that should fit.
    const QFontMetricsF metrics(font());
    return {static_cast<int>(std::ceil(metrics.horizontalAdvance(text()))) + 1 + gap + trackWidth,
            std::max(trackHeight, static_cast<int>(std::ceil(metrics.height()))) + 2};
}

QSize ToggleSwitch::minimumSizeHint() const {
    return {trackWidth, sizeHint().height()};
}

void ToggleSwitch::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRect track(width() - trackWidth, (height() - trackHeight) / 2, trackWidth, trackHeight);
    const QRect label(0, 0, track.left() - gap, height());

    QColor textColor = palette().color(QPalette::WindowText);
    QColor trackColor = isChecked() ? tealColor() : secondaryTextColor(palette());
    if (!isEnabled()) {
        textColor = secondaryTextColor(palette());
        trackColor.setAlphaF(0.35f);
    }
    painter.setPen(textColor);
    painter.drawText(label, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     painter.fontMetrics().elidedText(text(), Qt::ElideRight, label.width()));

    painter.setPen(Qt::NoPen);
    painter.setBrush(trackColor);
    painter.drawRoundedRect(track, trackHeight / 2.0, trackHeight / 2.0);
    const int knob = trackHeight - 4;
    const int knobX = isChecked() ? track.right() - knob - 1 : track.left() + 2;
    painter.setBrush(QColor(Qt::white));
    painter.drawEllipse(QRect(knobX, track.top() + 2, knob, knob));
    // Reached with Tab in the editor: show where the keyboard is.
    if (hasFocus()) {
        painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
        painter.setBrush(Qt::NoBrush);
        const QRectF ring = QRectF(track).adjusted(-2, -2, 2, 2);
        painter.drawRoundedRect(ring, ring.height() / 2, ring.height() / 2);
    }
}

} // namespace aerivo
