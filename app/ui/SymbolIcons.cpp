#include "app/ui/SymbolIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QString>

#include <array>
#include <utility>

namespace aerivo {

namespace {

constexpr int canvas = 64;

void drawFan(QPainter& painter, const QColor& color, bool filled) {
    painter.translate(canvas / 2.0, canvas / 2.0);
    QPainterPath blade;
    blade.moveTo(0, -4);
    blade.cubicTo(-14, -10, -12, -28, 2, -28);
    blade.cubicTo(12, -28, 12, -16, 4, -5);
    blade.closeSubpath();
    painter.setPen(QPen(color, filled ? 2.0 : 4.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(filled ? QBrush(color) : Qt::NoBrush);
    for (int i = 0; i < 3; ++i) {
        painter.drawPath(blade);
        painter.rotate(120);
    }
    painter.setBrush(color);
    painter.drawEllipse(QPointF(0, 0), 5, 5);
}

void drawSliders(QPainter& painter, const QColor& color) {
    painter.setPen(QPen(color, 4, Qt::SolidLine, Qt::RoundCap));
    painter.setBrush(color);
    const std::array<std::pair<int, int>, 3> rows{{{16, 40}, {32, 22}, {48, 34}}};
    for (const auto& [y, knob] : rows) {
        painter.drawLine(8, y, 56, y);
        painter.drawEllipse(QPoint(knob, y), 6, 6);
    }
}

void drawCheckmarkShield(QPainter& painter, const QColor& color) {
    QPainterPath shield;
    shield.moveTo(32, 6);
    shield.lineTo(54, 14);
    shield.cubicTo(54, 38, 44, 52, 32, 58);
    shield.cubicTo(20, 52, 10, 38, 10, 14);
    shield.closeSubpath();
    painter.setPen(QPen(color, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(shield);
    painter.drawPolyline(QPolygonF({QPointF(22, 32), QPointF(30, 40), QPointF(43, 24)}));
}

void drawKey(QPainter& painter, const QColor& color) {
    painter.setPen(QPen(color, 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QPointF(20, 32), 11, 11);
    painter.drawLine(31, 32, 58, 32);
    painter.drawLine(50, 32, 50, 42);
    painter.drawLine(42, 32, 42, 40);
}

void drawQuit(QPainter& painter, const QColor& color) {
    painter.setPen(QPen(color, 5, Qt::SolidLine, Qt::RoundCap));
    painter.setBrush(Qt::NoBrush);
    // A power symbol: an open ring and a bar through its gap.
    painter.drawArc(QRectF(12, 14, 40, 40), 125 * 16, -250 * 16);
    painter.drawLine(32, 8, 32, 32);
}

} // namespace

std::optional<Symbol> symbolNamed(std::string_view name) {
    static constexpr std::array<std::pair<std::string_view, Symbol>, 5> names{{
        {"fan", Symbol::fan},
        {"fan.fill", Symbol::fanFill},
        {"slider.horizontal.3", Symbol::sliders},
        {"checkmark.shield", Symbol::checkmarkShield},
        {"key", Symbol::key},
    }};
    for (const auto& [symbolName, symbol] : names) {
        if (symbolName == name) {
            return symbol;
        }
    }
    return std::nullopt;
}

std::string_view freedesktopIconName(Symbol symbol) {
    switch (symbol) {
    case Symbol::sliders:
        return "preferences-system";
    case Symbol::checkmarkShield:
        return "security-high";
    case Symbol::key:
        return "dialog-password";
    case Symbol::quit:
        return "application-exit";
    case Symbol::fan:
    case Symbol::fanFill:
        break;
    }
    return {};
}

QIcon drawnSymbolIcon(Symbol symbol, const QColor& color) {
    QPixmap pixmap(canvas, canvas);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    switch (symbol) {
    case Symbol::fan:
        drawFan(painter, color, false);
        break;
    case Symbol::fanFill:
        drawFan(painter, color, true);
        break;
    case Symbol::sliders:
        drawSliders(painter, color);
        break;
    case Symbol::checkmarkShield:
        drawCheckmarkShield(painter, color);
        break;
    case Symbol::key:
        drawKey(painter, color);
        break;
    case Symbol::quit:
        drawQuit(painter, color);
        break;
    }
    painter.end();
    return QIcon(pixmap);
}

QIcon symbolIcon(Symbol symbol, const QColor& color) {
    const std::string_view name = freedesktopIconName(symbol);
    if (!name.empty()) {
        const QString themeName =
            QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
        if (QIcon::hasThemeIcon(themeName)) {
            return QIcon::fromTheme(themeName);
        }
    }
    return drawnSymbolIcon(symbol, color);
}

} // namespace aerivo
