#include "app/ui/CurveGraphPainter.h"

#include "app/l10n/Formatters.h"
#include "app/l10n/L10n.h"
#include "app/telemetry/ThermalDistribution.h"
#include "app/ui/CurveEditorStyle.h"

#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace aerivo {

namespace {

using CurveEditorStyle::TextStyle;
using CurveEditorStyle::withOpacity;

QString qtText(const std::string& text) {
    return QString::fromStdString(text);
}

// Moves a line's centre so that a line of `width` covers whole device pixels, when its device
// width is a whole number; other widths are left where they are.
double snapped(double centre, double width, double devicePixelRatio) {
    const double deviceWidth = width * devicePixelRatio;
    if (std::abs(deviceWidth - std::round(deviceWidth)) > 0.01) {
        return centre;
    }
    const double leftEdge = std::round(centre * devicePixelRatio - deviceWidth / 2.0);
    return (leftEdge + deviceWidth / 2.0) / devicePixelRatio;
}

QPen solidPen(const QColor& color, double width) {
    QPen pen(color, width);
    pen.setCapStyle(Qt::FlatCap);
    return pen;
}

QPen dashedPen(const QColor& color, double width, double on, double off) {
    QPen pen = solidPen(color, width);
    pen.setDashPattern({on / width, off / width});
    return pen;
}

struct ValueButton {
    QString text;
    QRectF area;
};

struct Painting {
    QPainter& painter;
    const CurveGraphScene& scene;
    QRectF plot;
    CurveGraphGeometry geometry;
    double dpr;
    QColor secondary;
    QColor background;
    QColor teal = CurveEditorStyle::teal();

    double snappedX(double x, double width) const { return snapped(x, width, dpr); }
    double snappedY(double y, double width) const { return snapped(y, width, dpr); }

    // Fills an unantialiased rectangle in pieces of fewer device rows than Qt's raster engine
    // hands to its thread pool (96 spans per call). Waking the pool for each tall translucent fill
    // costs more than the fill; in pieces the same pixels are blended on this thread, about five
    // times cheaper on a busy two-core machine. Piece edges lie on device rows, so no seam shows.
    void fillTall(const QRectF& area, const QColor& color) const {
        constexpr double pieceRows = 88;
        const double top = std::round(area.top() * dpr);
        const double bottom = std::round(area.bottom() * dpr);
        for (double row = top; row < bottom; row += pieceRows) {
            const double rows = std::min(pieceRows, bottom - row);
            painter.fillRect(QRectF(area.left(), row / dpr, area.width(), rows / dpr), color);
        }
    }

    // A rounded bar: its straight body filled unantialiased, only the corner caps rasterized with
    // antialiasing. Edges and cap heights lie on device pixels, so body and caps meet without a
    // seam, and the result matches a rounded rectangle at a fraction of the cost (a tall
    // antialiased path is the most expensive thing the graph would otherwise draw).
    void roundedBar(const QRectF& area, double radius, const QColor& color) const {
        const auto device = [this](double value) { return std::round(value * dpr) / dpr; };
        const double left = device(area.left());
        const double right = std::max(device(area.right()), left + 1 / dpr);
        const double top = device(area.top());
        const double bottom = std::max(device(area.bottom()), top + 1 / dpr);
        const double corner =
            std::floor(std::min({radius, (right - left) / 2, (bottom - top) / 2}) * dpr) / dpr;
        painter.setRenderHint(QPainter::Antialiasing, false);
        fillTall(QRectF(left, top + corner, right - left, bottom - top - 2 * corner), color);
        painter.setRenderHint(QPainter::Antialiasing, true);
        if (corner <= 0) {
            return;
        }
        const double d = 2 * corner;
        QPainterPath caps;
        caps.moveTo(left, top + corner);
        caps.arcTo(QRectF(left, top, d, d), 180, -90);
        caps.lineTo(right - corner, top);
        caps.arcTo(QRectF(right - d, top, d, d), 90, -90);
        caps.closeSubpath();
        caps.moveTo(left, bottom - corner);
        caps.arcTo(QRectF(left, bottom - d, d, d), 180, 90);
        caps.lineTo(right - corner, bottom);
        caps.arcTo(QRectF(right - d, bottom - d, d, d), 270, 90);
        caps.closeSubpath();
        painter.fillPath(caps, color);
    }

    // An axis-aligned line, solid or dashed (`on` > 0). A line of whole device pixels is filled
    // as pixel-aligned rectangles without antialiasing: sharp, and far cheaper to rasterize than
    // a stroked dash pattern. Other widths are stroked.
    void straightLine(QPointF from, QPointF to, const QColor& color, double width, double on = 0,
                      double off = 0) const {
        const bool vertical = from.x() == to.x();
        const double deviceWidth = width * dpr;
        if (std::abs(deviceWidth - std::round(deviceWidth)) > 0.01) {
            painter.setPen(on > 0 ? dashedPen(color, width, on, off) : solidPen(color, width));
            painter.drawLine(from, to);
            return;
        }
        const double across =
            (vertical ? snappedX(from.x(), width) : snappedY(from.y(), width)) - width / 2;
        const double start = vertical ? std::min(from.y(), to.y()) : std::min(from.x(), to.x());
        const double end = vertical ? std::max(from.y(), to.y()) : std::max(from.x(), to.x());
        const double period = on > 0 ? on + off : end - start;
        const double dash = on > 0 ? on : end - start;
        painter.setRenderHint(QPainter::Antialiasing, false);
        for (double along = start; along < end; along += period) {
            const double length = std::min(dash, end - along);
            const QRectF dashArea = vertical ? QRectF(across, along, width, length)
                                             : QRectF(along, across, length, width);
            fillTall(dashArea, color);
        }
        painter.setRenderHint(QPainter::Antialiasing, true);
    }

    void verticalLine(double x, const QColor& color, double width, double on, double off) const {
        straightLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()), color, width, on, off);
    }

    QSizeF textSize(const QString& text, const QFont& font) const {
        return QFontMetricsF(font).size(Qt::TextSingleLine, text);
    }

    // A text centred at `centre`, on an optional rounded plate (a negative radius is a capsule).
    void label(const QString& text, const QFont& font, QPointF centre, QSizeF padding,
               const QColor& textColor, const QColor& plate = {}, double radius = 0,
               const QPen& outline = Qt::NoPen) const {
        const QSizeF size = textSize(text, font) + 2 * padding;
        const QRectF area(centre.x() - size.width() / 2, centre.y() - size.height() / 2,
                          size.width(), size.height());
        if (plate.isValid()) {
            const double corner = radius < 0 ? area.height() / 2 : radius;
            painter.setPen(outline);
            painter.setBrush(plate);
            painter.drawRoundedRect(area, corner, corner);
        }
        painter.setPen(textColor);
        painter.setFont(font);
        painter.drawText(area, Qt::AlignCenter, text);
    }

    void fanOffRange() const {
        const AerivoProfile& profile = scene.profile;
        if (!profile.isFanOffThresholdEnabled) {
            return;
        }
        const double x = geometry.xPosition(profile.fanOffThresholdC, plot);
        const double bandWidth = std::max(x - plot.left(), 0.0);
        const QRectF band(plot.left(), plot.top(), bandWidth, plot.height());
        painter.setRenderHint(QPainter::Antialiasing, false);
        fillTall(band, withOpacity(secondary, 0.08));
        painter.setRenderHint(QPainter::Antialiasing, true);
        verticalLine(x, withOpacity(secondary, 0.42), 1.5, 4, 5);
        label(qtText(L10n::text(L10nKey::fanOffRange, scene.language)),
              CurveEditorStyle::font(TextStyle::caption2, QFont::Bold),
              CurveGraphGeometry::fanOffLabelCenter(x, plot), QSizeF(6, 3), secondary,
              withOpacity(background, 0.82), 4);
    }

    void grid() const {
        const QColor color = withOpacity(secondary, 0.18);
        for (int i = 0; i <= 5; ++i) {
            const double x = plot.left() + plot.width() * i / 5.0;
            const double y = plot.top() + plot.height() * i / 5.0;
            straightLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()), color, 1);
            straightLine(QPointF(plot.left(), y), QPointF(plot.right(), y), color, 1);
        }
    }

    void distribution(const ThermalDistribution& histogram) const {
        if (histogram.bins.empty()) {
            return;
        }
        const double barWidth =
            std::max(plot.width() / static_cast<double>(histogram.bins.size()) - 2.0, 1.0);
        const double corner = std::min(barWidth / 2.0, 4.0);
        painter.setPen(Qt::NoPen);
        for (const ThermalDistributionBin& bin : histogram.bins) {
            if (bin.count <= 0) {
                continue;
            }
            const double x = geometry.xPosition(bin.midpoint(), plot);
            const double n = bin.normalizedCount;
            // The full-height column has straight edges: filled unantialiased, it costs a third.
            const QRectF column(x - barWidth / 2, plot.top(), barWidth, plot.height());
            painter.setRenderHint(QPainter::Antialiasing, false);
            fillTall(column, withOpacity(teal, n * 0.045 + 0.018));
            painter.setRenderHint(QPainter::Antialiasing, true);
            const double height = CurveGraphGeometry::distributionBarHeight(n, plot);
            const QRectF bar(x - barWidth / 2, plot.bottom() - height, barWidth, height);
            roundedBar(bar, corner, withOpacity(teal, n * 0.22 + 0.14));
        }
    }

    void axisLines() const {
        QPen pen = solidPen(withOpacity(secondary, 0.45), 1.5);
        pen.setJoinStyle(Qt::MiterJoin);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        const double left = snappedX(plot.left(), 1.5);
        const double bottom = snappedY(plot.bottom(), 1.5);
        const QPointF corners[] = {QPointF(left, plot.top()), QPointF(left, bottom),
                                   QPointF(plot.right(), bottom)};
        painter.drawPolyline(corners, 3);
    }

    // Drawn with the foreground: they lie outside the plot, where no later layer reaches, so
    // the order is unchanged.
    void axisLabels(const std::vector<ValueButton>& buttons) const {
        // An axis end label that a point's value button covers gives way to the button, which
        // shows the same end value or one next to it.
        const QFont font = CurveEditorStyle::font(TextStyle::caption2, QFont::DemiBold);
        const AerivoAxis& temperature = scene.profile.temperatureAxis;
        const AerivoAxis& rpm = scene.profile.rpmAxis;
        const std::pair<std::string, QPointF> ends[] = {
            {Formatters::temperature(temperature.minimum),
             QPointF(plot.left(), plot.bottom() + 22)},
            {Formatters::temperature(temperature.maximum),
             QPointF(plot.right(), plot.bottom() + 22)},
            {Formatters::rpm(rpm.minimum), QPointF(plot.left() - 28, plot.bottom())},
            {Formatters::rpm(rpm.maximum), QPointF(plot.left() - 28, plot.top())},
        };
        for (const auto& [text, centre] : ends) {
            const QString shown = qtText(text);
            const QSizeF size = textSize(shown, font);
            const QRectF area(centre.x() - size.width() / 2, centre.y() - size.height() / 2,
                              size.width(), size.height());
            const bool covered = std::any_of(buttons.begin(), buttons.end(), [&](const auto& b) {
                return b.area.intersects(area);
            });
            if (!covered) {
                label(shown, font, centre, QSizeF(0, 0), secondary);
            }
        }
    }

    void safetyLine() const {
        verticalLine(geometry.xPosition(scene.profile.safetyLimitC, plot),
                     withOpacity(CurveEditorStyle::orange(), 0.65), 2, 6, 5);
    }

    void currentTemperatureLine() const {
        verticalLine(geometry.xPosition(scene.snapshot.temperatureC, plot), withOpacity(teal, 0.36),
                     2, 3, 5);
    }

    void currentTarget(const std::vector<QPointF>& positions) const {
        const double temperature = scene.snapshot.temperatureC;
        const QPointF marker = CurveGraphGeometry::targetMarker(scene.profile, temperature, plot);
        painter.setPen(Qt::NoPen);
        painter.setBrush(teal);
        painter.drawEllipse(marker, CurveGraphGeometry::markerDiameter / 2,
                            CurveGraphGeometry::markerDiameter / 2);
        const QString text =
            CurveGraphPainter::targetLabelText(scene.profile, temperature, scene.language);
        const QFont font = CurveEditorStyle::font(TextStyle::caption2, QFont::Bold);
        const QPointF centre = CurveGraphGeometry::targetLabelCenter(
            marker, textSize(text, font) + QSizeF(14, 8), plot, positions);
        label(text, font, centre, QSizeF(7, 4), teal, withOpacity(background, 0.90), -1,
              solidPen(withOpacity(teal, 0.35), 1));
    }

    void curve(const std::vector<QPointF>& positions) const {
        if (positions.empty()) {
            return;
        }
        QPen pen(teal, 4);
        pen.setCapStyle(Qt::RoundCap);
        pen.setJoinStyle(Qt::RoundJoin);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        if (positions.size() == 1) {
            painter.drawPoint(positions.front());
            return;
        }
        painter.drawPolyline(positions.data(), static_cast<int>(positions.size()));
    }

    void pointLabels(const std::vector<QPointF>& positions,
                     const std::vector<ValueButton>& buttons) const {
        const QColor guide = withOpacity(secondary, 0.16);
        for (const QPointF& p : positions) {
            straightLine(p, QPointF(p.x(), plot.bottom()), guide, 1, 2, 4);
            straightLine(p, QPointF(plot.left(), p.y()), guide, 1, 2, 4);
        }
        const QFont font = CurveGraphPainter::valueButtonFont();
        const QColor plate = withOpacity(background, 0.86);
        for (const ValueButton& button : buttons) {
            label(button.text, font, button.area.center(), QSizeF(5, 3), secondary, plate, 4);
        }
    }

    void pointMarks(const std::vector<QPointF>& positions) const {
        painter.setPen(QPen(teal, 4));
        painter.setBrush(background);
        const double radius = CurveGraphGeometry::pointDiameter / 2;
        for (const QPointF& p : positions) {
            painter.drawEllipse(p, radius, radius);
        }
    }

    void focusRing(const std::vector<AerivoPoint>& points,
                   const std::vector<QPointF>& positions) const {
        if (!scene.focusedItem) {
            return;
        }
        for (std::size_t i = 0; i < points.size(); ++i) {
            if (points[i].id != scene.focusedItem->pointId) {
                continue;
            }
            painter.setPen(QPen(scene.palette.color(QPalette::Highlight), 2));
            painter.setBrush(Qt::NoBrush);
            if (scene.focusedItem->kind == CurveGraphItem::Kind::point) {
                const double radius = CurveGraphGeometry::pointDiameter / 2 + 5;
                painter.drawEllipse(positions[i], radius, radius);
            } else {
                const QRectF area = CurveGraphPainter::valueButtonRect(
                    points[i], scene.focusedItem->kind, geometry, plot);
                painter.drawRoundedRect(area.adjusted(-2, -2, 2, 2), 5, 5);
            }
            return;
        }
    }
};

} // namespace

QFont CurveGraphPainter::valueButtonFont() {
    return CurveEditorStyle::font(TextStyle::caption2, QFont::Bold);
}

QString CurveGraphPainter::valueButtonText(const AerivoPoint& point, CurveGraphItem::Kind kind) {
    return qtText(kind == CurveGraphItem::Kind::rpmButton
                      ? Formatters::rpm(point.rpm)
                      : Formatters::temperature(point.temperatureC));
}

QRectF CurveGraphPainter::valueButtonRect(const AerivoPoint& point, CurveGraphItem::Kind kind,
                                          const CurveGraphGeometry& geometry, const QRectF& plot) {
    const QPointF position = geometry.position(point, plot);
    const QPointF centre = kind == CurveGraphItem::Kind::rpmButton
                               ? CurveGraphGeometry::rpmButtonCenter(position, plot)
                               : CurveGraphGeometry::temperatureButtonCenter(position, plot);
    const QSizeF size =
        QFontMetricsF(valueButtonFont()).size(Qt::TextSingleLine, valueButtonText(point, kind)) +
        QSizeF(10, 6);
    return QRectF(centre.x() - size.width() / 2, centre.y() - size.height() / 2, size.width(),
                  size.height());
}

QString CurveGraphPainter::targetLabelText(const AerivoProfile& profile, double temperatureC,
                                           AppLanguage language) {
    if (profile.isInFanOffRange(temperatureC)) {
        return qtText(L10n::text(L10nKey::fanOff, language));
    }
    return qtText(L10n::format(L10nKey::currentTargetAnnotation, language,
                               Formatters::rpm(profile.targetRPM(temperatureC))));
}

QString CurveGraphPainter::pointTooltip(const AerivoPoint& point) {
    return qtText(Formatters::temperature(point.temperatureC) + " -> " +
                  Formatters::rpm(point.rpm));
}

namespace {

Painting painting(QPainter& painter, QSizeF size, const CurveGraphScene& scene) {
    return Painting{painter,
                    scene,
                    CurveGraphGeometry::plotRect(size),
                    CurveGraphGeometry::of(scene.profile),
                    painter.device() ? painter.device()->devicePixelRatioF() : 1.0,
                    CurveEditorStyle::secondary(scene.palette),
                    CurveEditorStyle::background(scene.palette)};
}

} // namespace

void CurveGraphPainter::paintBackground(QPainter& painter, QSizeF size,
                                        const CurveGraphScene& scene,
                                        const ThermalDistribution& distribution) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const Painting layers = painting(painter, size, scene);
    layers.fanOffRange();
    layers.grid();
    layers.distribution(distribution);
    layers.axisLines();
    layers.safetyLine();
    painter.restore();
}

void CurveGraphPainter::paintForeground(QPainter& painter, QSizeF size,
                                        const CurveGraphScene& scene) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const Painting layers = painting(painter, size, scene);
    const std::vector<AerivoPoint> points = scene.profile.sortedPoints();
    std::vector<QPointF> positions;
    positions.reserve(points.size());
    std::vector<ValueButton> buttons;
    buttons.reserve(points.size() * 2);
    for (const AerivoPoint& point : points) {
        positions.push_back(layers.geometry.position(point, layers.plot));
        for (const auto kind :
             {CurveGraphItem::Kind::temperatureButton, CurveGraphItem::Kind::rpmButton}) {
            buttons.push_back(
                ValueButton{valueButtonText(point, kind),
                            valueButtonRect(point, kind, layers.geometry, layers.plot)});
        }
    }
    layers.axisLabels(buttons);
    layers.currentTemperatureLine();
    layers.currentTarget(positions);
    layers.curve(positions);
    layers.pointLabels(positions, buttons);
    layers.pointMarks(positions);
    layers.focusRing(points, positions);
    painter.restore();
}

void CurveGraphPainter::paint(QPainter& painter, QSizeF size, const CurveGraphScene& scene) {
    paintBackground(painter, size, scene,
                    ThermalDistribution::make(scene.samples, scene.profile.temperatureAxis,
                                              CurveGraphGeometry::distributionBinCount));
    paintForeground(painter, size, scene);
}

} // namespace aerivo
