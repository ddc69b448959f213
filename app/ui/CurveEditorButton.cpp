#include "app/ui/CurveEditorButton.h"

#include "app/ui/CurveEditorStyle.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace aerivo {

namespace {

constexpr int horizontalPadding = 10;
constexpr int verticalPadding = 5;
constexpr int iconGap = 6;
constexpr int minimumTextWidth = 60;

} // namespace

CurveEditorButton::CurveEditorButton(QWidget* parent) : QAbstractButton(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setIconSize(QSize(16, 16));
    QSizePolicy policy(QSizePolicy::Maximum, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

int CurveEditorButton::textWidthFor(int width) const {
    const int iconWidth = icon().isNull() ? 0 : iconSize().width() + iconGap;
    return std::max(width - 2 * horizontalPadding - iconWidth, minimumTextWidth);
}

QSize CurveEditorButton::sizeHint() const {
    // Exact text metrics rounded up, so the painted text never needs a pixel more than it got.
    const QSizeF exact = QFontMetricsF(font()).size(Qt::TextSingleLine, this->text());
    const QSize text(static_cast<int>(std::ceil(exact.width())) + 1,
                     static_cast<int>(std::ceil(exact.height())));
    const int iconWidth = icon().isNull() ? 0 : iconSize().width() + iconGap;
    return QSize(text.width() + iconWidth + 2 * horizontalPadding + 1,
                 std::max(text.height(), iconSize().height()) + 2 * verticalPadding);
}

QSize CurveEditorButton::minimumSizeHint() const {
    const int iconWidth = icon().isNull() ? 0 : iconSize().width() + iconGap;
    return QSize(std::min(sizeHint().width(), minimumTextWidth + iconWidth + 2 * horizontalPadding),
                 sizeHint().height());
}

int CurveEditorButton::heightForWidth(int width) const {
    const QRectF wrapped = QFontMetricsF(font()).boundingRect(
        QRectF(0, 0, textWidthFor(width), 10000), Qt::TextWordWrap, text());
    return std::max(static_cast<int>(std::ceil(wrapped.height())), iconSize().height()) +
           2 * verticalPadding;
}

QRect CurveEditorButton::textRect(const QRect& bounds) const {
    const int iconWidth = icon().isNull() ? 0 : iconSize().width() + iconGap;
    return bounds.adjusted(horizontalPadding + iconWidth, verticalPadding, -horizontalPadding,
                           -verticalPadding);
}

void CurveEditorButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled()) {
        painter.setOpacity(0.45);
    }
    const QPalette& colours = palette();
    QColor face = colours.color(QPalette::Button);
    if (isDown()) {
        face = face.darker(112);
    }
    const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(
        QPen(hasFocus() ? colours.color(QPalette::Highlight)
                        : CurveEditorStyle::withOpacity(CurveEditorStyle::secondary(colours), 0.55),
             hasFocus() ? 2 : 1));
    painter.setBrush(face);
    painter.drawRoundedRect(frame, 5, 5);

    const QRect area = textRect(rect());
    if (!icon().isNull()) {
        const QRect iconArea(horizontalPadding, (height() - iconSize().height()) / 2,
                             iconSize().width(), iconSize().height());
        icon().paint(&painter, iconArea);
    }
    painter.setPen(colours.color(QPalette::ButtonText));
    painter.drawText(area, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextWordWrap, text());
}

} // namespace aerivo
