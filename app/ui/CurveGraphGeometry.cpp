#include "app/ui/CurveGraphGeometry.h"

#include <algorithm>

namespace aerivo {

QRectF CurveGraphGeometry::plotRect(QSizeF size) {
    const double width = std::max(size.width() - inset.left() - inset.right(), 1.0);
    const double height = std::max(size.height() - inset.top() - inset.bottom(), 1.0);
    return QRectF(inset.left(), inset.top(), width, height);
}

double CurveGraphGeometry::xPosition(double temperatureC, const QRectF& rect) const {
    return rect.left() + rect.width() *
                             (temperatureAxis.clamped(temperatureC) - temperatureAxis.minimum) /
                             temperatureAxis.span();
}

double CurveGraphGeometry::yPosition(double rpm, const QRectF& rect) const {
    return rect.bottom() -
           rect.height() * (rpmAxis.clamped(rpm) - rpmAxis.minimum) / rpmAxis.span();
}

QPointF CurveGraphGeometry::position(const AerivoPoint& point, const QRectF& rect) const {
    return QPointF(xPosition(point.temperatureC, rect), yPosition(point.rpm, rect));
}

CurveGraphValues CurveGraphGeometry::values(QPointF location, const QRectF& rect) const {
    const double fx = std::min(std::max((location.x() - rect.left()) / rect.width(), 0.0), 1.0);
    const double fy = std::min(std::max((rect.bottom() - location.y()) / rect.height(), 0.0), 1.0);
    return CurveGraphValues{temperatureAxis.minimum + fx * temperatureAxis.span(),
                            rpmAxis.minimum + fy * rpmAxis.span()};
}

QPointF CurveGraphGeometry::fanOffLabelCenter(double x, const QRectF& rect) {
    const double bandWidth = std::max(x - rect.left(), 0.0);
    const double centre =
        std::min(std::max(rect.left() + bandWidth / 2.0, rect.left() + fanOffLabelEdgeDistance),
                 rect.right() - fanOffLabelEdgeDistance);
    return QPointF(centre, rect.top() + 14.0);
}

double CurveGraphGeometry::distributionBarHeight(double normalizedCount, const QRectF& rect) {
    return std::max(rect.height() * (normalizedCount * 0.36 + 0.15), distributionBarMinimumHeight);
}

QPointF CurveGraphGeometry::targetMarker(const AerivoProfile& profile, double temperatureC,
                                         const QRectF& rect) {
    const CurveGraphGeometry geometry = of(profile);
    const double rpm = profile.isInFanOffRange(temperatureC) ? profile.rpmAxis.minimum
                                                             : profile.targetRPM(temperatureC);
    return QPointF(geometry.xPosition(temperatureC, rect), geometry.yPosition(rpm, rect));
}

QPointF CurveGraphGeometry::targetLabelCenter(QPointF marker, const QRectF& rect) {
    return QPointF(std::min(marker.x() + 62.0, rect.right() - 58.0),
                   std::max(marker.y() - 24.0, rect.top() + 14.0));
}

QPointF CurveGraphGeometry::targetLabelCenter(QPointF marker, QSizeF labelSize, const QRectF& rect,
                                              const std::vector<QPointF>& points) {
    const QPointF preferred = targetLabelCenter(marker, rect);
    const double below = std::min(marker.y() + 24.0, rect.bottom() - 14.0);
    const double left = std::max(marker.x() - 62.0, rect.left() + 58.0);
    const QPointF candidates[] = {preferred, QPointF(preferred.x(), below),
                                  QPointF(left, preferred.y()), QPointF(left, below)};
    // A point's circle with its stroke and a little air.
    const double clearance = pointDiameter / 2 + 4.0;
    const auto isFree = [&](QPointF centre) {
        const QRectF label(centre.x() - labelSize.width() / 2, centre.y() - labelSize.height() / 2,
                           labelSize.width(), labelSize.height());
        return std::none_of(points.begin(), points.end(), [&](QPointF point) {
            const double dx = point.x() - std::clamp(point.x(), label.left(), label.right());
            const double dy = point.y() - std::clamp(point.y(), label.top(), label.bottom());
            return dx * dx + dy * dy < clearance * clearance;
        });
    };
    for (const QPointF& candidate : candidates) {
        if (isFree(candidate)) {
            return candidate;
        }
    }
    return preferred;
}

QPointF CurveGraphGeometry::temperatureButtonCenter(QPointF point, const QRectF& rect) {
    return QPointF(point.x(), rect.bottom() + 25.0);
}

QPointF CurveGraphGeometry::rpmButtonCenter(QPointF point, const QRectF& rect) {
    return QPointF(rect.left() - 43.0, point.y());
}

} // namespace aerivo
