#pragma once

#include "app/model/AerivoAxis.h"
#include "app/model/AerivoPoint.h"
#include "app/model/AerivoProfile.h"

#include <QMarginsF>
#include <QPointF>
#include <QRectF>
#include <QSizeF>

#include <vector>

namespace aerivo {

// A temperature and a speed read off the graph.
struct CurveGraphValues {
    double temperatureC = 0.0;
    double rpm = 0.0;

    friend bool operator==(const CurveGraphValues&, const CurveGraphValues&) = default;
};

// Where everything of the curve graph goes, in the graph's own coordinates (logical pixels, y
// growing downwards). Pure arithmetic over the profile's two axes, so it is testable on numbers
// and shared by painting, hit testing and dragging.
struct CurveGraphGeometry {
    // Room around the plot for the axis labels and the value buttons.
    static constexpr QMarginsF inset{88.0, 34.0, 36.0, 62.0}; // leading, top, trailing, bottom
    // The fan-off label keeps this far from either plot edge.
    static constexpr double fanOffLabelEdgeDistance = 44.0;
    static constexpr double distributionBarMinimumHeight = 6.0;
    static constexpr int distributionBinCount = 28;
    static constexpr double pointDiameter = 18.0;
    static constexpr double markerDiameter = 10.0;

    AerivoAxis temperatureAxis;
    AerivoAxis rpmAxis;

    static CurveGraphGeometry of(const AerivoProfile& profile) {
        return CurveGraphGeometry{profile.temperatureAxis, profile.rpmAxis};
    }

    // Origin at the leading and top insets; never narrower or lower than 1.
    static QRectF plotRect(QSizeF size);

    // Positions use the clamped value, so a temperature or speed off the axis sits on the
    // nearest plot edge.
    double xPosition(double temperatureC, const QRectF& rect) const;
    double yPosition(double rpm, const QRectF& rect) const;
    QPointF position(const AerivoPoint& point, const QRectF& rect) const;
    // The inverse: fractions limited to 0 ... 1, so a location beyond the plot reads the axis end.
    CurveGraphValues values(QPointF location, const QRectF& rect) const;

    // Centre of the fan-off label for a threshold line at `x`: over the middle of the band, but
    // never nearer than fanOffLabelEdgeDistance to either plot edge.
    static QPointF fanOffLabelCenter(double x, const QRectF& rect);
    // Height of a distribution bar: 15 % of the plot for the emptiest drawn bin up to 51 % for
    // the fullest, never below 6.
    static double distributionBarHeight(double normalizedCount, const QRectF& rect);
    // The current-target marker: on the curve at the temperature, or on the bottom edge while the
    // temperature is in the profile's fan-off range.
    static QPointF targetMarker(const AerivoProfile& profile, double temperatureC,
                                const QRectF& rect);
    // Centre of the current-target label beside its marker, kept inside the plot's top and right.
    static QPointF targetLabelCenter(QPointF marker, const QRectF& rect);
    // Where the current-target label goes once the points are drawn over it: the preferred
    // place above and right of the marker, else below it, else the same two on its left, taking
    // the first where no point circle covers the label (the preferred place when none is free).
    static QPointF targetLabelCenter(QPointF marker, QSizeF labelSize, const QRectF& rect,
                                     const std::vector<QPointF>& points);
    // Centres of a point's two value buttons: under the plot and left of it.
    static QPointF temperatureButtonCenter(QPointF point, const QRectF& rect);
    static QPointF rpmButtonCenter(QPointF point, const QRectF& rect);
};

} // namespace aerivo
