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

    void verticalLine(double x, const QPen& pen) const {
        const double at = snappedX(x, pen.widthF());
        painter.setPen(pen);
        painter.drawLine(QPointF(at, plot.top()), QPointF(at, plot.bottom()));
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
        painter.fillRect(QRectF(plot.left(), plot.top(), bandWidth, plot.height()),
                         withOpacity(secondary, 0.08));
        verticalLine(x, dashedPen(withOpacity(secondary, 0.42), 1.5, 4, 5));
        label(qtText(L10n::text(L10nKey::fanOffRange, scene.language)),
              CurveEditorStyle::font(TextStyle::caption2, QFont::Bold),
              CurveGraphGeometry::fanOffLabelCenter(x, plot), QSizeF(6, 3), secondary,
              withOpacity(background, 0.82), 4);
    }

    void grid() const {
        const QPen pen = solidPen(withOpacity(secondary, 0.18), 1);
        painter.setPen(pen);
        for (int i = 0; i <= 5; ++i) {
            const double x = snappedX(plot.left() + plot.width() * i / 5.0, 1);
            const double y = snappedY(plot.top() + plot.height() * i / 5.0, 1);
            painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
            painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        }
    }

    void distribution() const {
        const ThermalDistribution histogram = ThermalDistribution::make(
            scene.samples, scene.profile.temperatureAxis, CurveGraphGeometry::distributionBinCount);
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
            painter.fillRect(QRectF(x - barWidth / 2, plot.top(), barWidth, plot.height()),
                             withOpacity(teal, n * 0.045 + 0.018));
            const double height = CurveGraphGeometry::distributionBarHeight(n, plot);
            painter.setBrush(withOpacity(teal, n * 0.22 + 0.14));
            painter.drawRoundedRect(
                QRectF(x - barWidth / 2, plot.bottom() - height, barWidth, height), corner, corner);
        }
    }

    void axes(const std::vector<ValueButton>& buttons) const {
        QPen pen = solidPen(withOpacity(secondary, 0.45), 1.5);
        pen.setJoinStyle(Qt::MiterJoin);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        const double left = snappedX(plot.left(), 1.5);
        const double bottom = snappedY(plot.bottom(), 1.5);
        const QPointF corners[] = {QPointF(left, plot.top()), QPointF(left, bottom),
                                   QPointF(plot.right(), bottom)};
        painter.drawPolyline(corners, 3);

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
                     dashedPen(withOpacity(CurveEditorStyle::orange(), 0.65), 2, 6, 5));
    }

    void currentTemperatureLine() const {
        verticalLine(geometry.xPosition(scene.snapshot.temperatureC, plot),
                     dashedPen(withOpacity(teal, 0.36), 2, 3, 5));
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
        const QPen guide = dashedPen(withOpacity(secondary, 0.16), 1, 2, 4);
        for (const QPointF& p : positions) {
            painter.setPen(guide);
            const double x = snappedX(p.x(), 1);
            const double y = snappedY(p.y(), 1);
            painter.drawLine(QPointF(x, p.y()), QPointF(x, plot.bottom()));
            painter.drawLine(QPointF(p.x(), y), QPointF(plot.left(), y));
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

void CurveGraphPainter::paint(QPainter& painter, QSizeF size, const CurveGraphScene& scene) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const QPalette& palette = scene.palette;
    const Painting painting{painter,
                            scene,
                            CurveGraphGeometry::plotRect(size),
                            CurveGraphGeometry::of(scene.profile),
                            painter.device() ? painter.device()->devicePixelRatioF() : 1.0,
                            CurveEditorStyle::secondary(palette),
                            CurveEditorStyle::background(palette)};

    const std::vector<AerivoPoint> points = scene.profile.sortedPoints();
    std::vector<QPointF> positions;
    positions.reserve(points.size());
    for (const AerivoPoint& point : points) {
        positions.push_back(painting.geometry.position(point, painting.plot));
    }

    std::vector<ValueButton> buttons;
    buttons.reserve(points.size() * 2);
    for (const AerivoPoint& point : points) {
        for (const auto kind :
             {CurveGraphItem::Kind::temperatureButton, CurveGraphItem::Kind::rpmButton}) {
            buttons.push_back(ValueButton{
                CurveGraphPainter::valueButtonText(point, kind),
                CurveGraphPainter::valueButtonRect(point, kind, painting.geometry, painting.plot)});
        }
    }

    painting.fanOffRange();
    painting.grid();
    painting.distribution();
    painting.axes(buttons);
    painting.safetyLine();
    painting.currentTemperatureLine();
    painting.currentTarget(positions);
    painting.curve(positions);
    painting.pointLabels(positions, buttons);
    painting.pointMarks(positions);
    painting.focusRing(points, positions);
    painter.restore();
}

} // namespace aerivo
