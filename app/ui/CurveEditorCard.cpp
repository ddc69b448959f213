#include "app/ui/CurveEditorCard.h"

#include "app/ui/CurveEditorStyle.h"

#include <QPainter>

namespace aerivo {

CurveEditorCard::CurveEditorCard(QWidget* parent) : QWidget(parent) {}

void CurveEditorCard::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(
        QPen(CurveEditorStyle::withOpacity(CurveEditorStyle::secondary(palette()), 0.25), 1));
    painter.setBrush(CurveEditorStyle::material(palette()));
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius,
                            cornerRadius);
}

} // namespace aerivo
