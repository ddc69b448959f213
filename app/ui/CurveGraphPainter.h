#pragma once

#include "app/l10n/AppLanguage.h"
#include "app/model/AerivoProfile.h"
#include "app/telemetry/ThermalDistribution.h"
#include "app/telemetry/ThermalSampleSlice.h"
#include "app/telemetry/ThermalSnapshot.h"
#include "app/ui/CurveGraphGeometry.h"
#include "app/ui/CurveGraphItem.h"

#include <QFont>
#include <QPalette>
#include <QRectF>
#include <QString>

#include <optional>

class QPainter;

namespace aerivo {

// Everything one paint of the graph reads. The sample slice lives only for the paint.
struct CurveGraphScene {
    const AerivoProfile& profile;
    const ThermalSnapshot& snapshot;
    ThermalSampleSlice samples;
    AppLanguage language = AppLanguage::english;
    QPalette palette;
    // Drawn with a focus ring when set.
    std::optional<CurveGraphItem> focusedItem;
};

// The graph's ten layers. Lines of whole device pixels are snapped to the device pixel grid so
// they stay sharp at any device pixel ratio; dash lengths are given in logical pixels (Qt measures
// them in pen widths, so they are divided by the width).
class CurveGraphPainter {
public:
    static QFont valueButtonFont();
    static QString valueButtonText(const AerivoPoint& point, CurveGraphItem::Kind kind);
    // A value button's area: its text padded 5 by 3, centred where the geometry puts it.
    static QRectF valueButtonRect(const AerivoPoint& point, CurveGraphItem::Kind kind,
                                  const CurveGraphGeometry& geometry, const QRectF& plot);
    // "Fan off" in the fan-off range, else "now -> 2400 RPM", in the language.
    static QString targetLabelText(const AerivoProfile& profile, double temperatureC,
                                   AppLanguage language);
    // "46 C -> 2400 RPM".
    static QString pointTooltip(const AerivoPoint& point);

    // All ten layers, over whatever the painter holds.
    static void paint(QPainter& painter, QSizeF size, const CurveGraphScene& scene);
    // What a drag leaves as it is: the fan-off range, grid, distribution, axis lines and safety
    // line (layers 1 to 5 without the axis labels), over the given distribution.
    static void paintBackground(QPainter& painter, QSizeF size, const CurveGraphScene& scene,
                                const ThermalDistribution& distribution);
    // The axis labels and layers 6 to 10, over a painted background.
    static void paintForeground(QPainter& painter, QSizeF size, const CurveGraphScene& scene);
};

} // namespace aerivo
