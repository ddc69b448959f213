#include "app/ui/CurveEditorSymbols.h"

#include "app/ui/SymbolIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <functional>
#include <map>
#include <string>

namespace aerivo::CurveEditorSymbols {

namespace {

using Drawing = std::function<void(QPainter&)>;

void arrowHead(QPainter& painter, QPointF tip, double angleDegrees) {
    painter.save();
    painter.translate(tip);
    painter.rotate(angleDegrees);
    painter.drawLine(QPointF(0, 0), QPointF(-3.5, -3));
    painter.drawLine(QPointF(0, 0), QPointF(-3.5, 3));
    painter.restore();
}

QPainterPath shield() {
    QPainterPath path;
    path.moveTo(8, 1.5);
    path.lineTo(13.5, 3.5);
    path.cubicTo(13.5, 9.5, 11.5, 12.5, 8, 14.5);
    path.cubicTo(4.5, 12.5, 2.5, 9.5, 2.5, 3.5);
    path.closeSubpath();
    return path;
}

const std::map<std::string, Drawing, std::less<>>& drawings() {
    static const std::map<std::string, Drawing, std::less<>> table{
        {"plus",
         [](QPainter& p) {
             p.drawLine(QPointF(8, 3), QPointF(8, 13));
             p.drawLine(QPointF(3, 8), QPointF(13, 8));
         }},
        {"minus", [](QPainter& p) { p.drawLine(QPointF(3, 8), QPointF(13, 8)); }},
        {"arrow.clockwise",
         [](QPainter& p) {
             p.drawArc(QRectF(2.5, 2.5, 11, 11), 60 * 16, -300 * 16);
             arrowHead(p, QPointF(10.8, 3.2), -30);
         }},
        {"arrow.triangle.2.circlepath",
         [](QPainter& p) {
             p.drawArc(QRectF(2.5, 2.5, 11, 11), 20 * 16, 150 * 16);
             p.drawArc(QRectF(2.5, 2.5, 11, 11), 200 * 16, 150 * 16);
             arrowHead(p, QPointF(13.2, 6.2), 100);
             arrowHead(p, QPointF(2.8, 9.8), -80);
         }},
        {"safari",
         [](QPainter& p) {
             p.drawEllipse(QRectF(2, 2, 12, 12));
             const QPointF needle[] = {{10.8, 5.2}, {8.8, 8.8}, {5.2, 10.8}, {7.2, 7.2}};
             p.setBrush(p.pen().color());
             p.drawPolygon(needle, 4);
         }},
        {"gauge",
         [](QPainter& p) {
             p.drawArc(QRectF(2, 3, 12, 12), 0, 180 * 16);
             p.drawLine(QPointF(2, 9), QPointF(14, 9));
             p.drawLine(QPointF(8, 9), QPointF(11, 5.5));
         }},
        {"lock.open",
         [](QPainter& p) {
             p.drawRoundedRect(QRectF(2.5, 7.5, 8, 6.5), 1, 1);
             p.drawArc(QRectF(8, 2, 6, 7), 0, 180 * 16);
             p.drawLine(QPointF(14, 5.5), QPointF(14, 7));
         }},
        {"lock.shield",
         [](QPainter& p) {
             p.drawPath(shield());
             p.drawRect(QRectF(6, 7.5, 4, 3));
             p.drawArc(QRectF(6.5, 5, 3, 4), 0, 180 * 16);
         }},
    };
    return table;
}

QPixmap drawn(const Drawing& drawing, const QColor& color, double devicePixelRatio) {
    QPixmap pixmap(QSize(16, 16) * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(color, 1.5);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    painter.setPen(pen);
    drawing(painter);
    return pixmap;
}

} // namespace

QIcon icon(std::string_view name, const QColor& color) {
    // The symbols the menu-bar panel shares with the editor are drawn once, by SymbolIcons.
    if (const std::optional<Symbol> shared = symbolNamed(name)) {
        return drawnSymbolIcon(*shared, color);
    }
    const auto found = drawings().find(name);
    if (found == drawings().end()) {
        return QIcon();
    }
    QIcon result;
    result.addPixmap(drawn(found->second, color, 1.0));
    result.addPixmap(drawn(found->second, color, 2.0));
    return result;
}

} // namespace aerivo::CurveEditorSymbols
