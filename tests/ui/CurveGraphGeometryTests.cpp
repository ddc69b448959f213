#include "app/ui/CurveGraphGeometry.h"
#include "app/ui/CurveGraphPainter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

namespace aerivo {
namespace {

const double nan = std::numeric_limits<double>::quiet_NaN();

// The balanced profile's axes (30 ... 100 C, 1200 ... 6200 rpm) on a 900 x 560 graph, whose plot
// is (88, 34, 776, 464): 11.0857 px per degree, 0.0928 px per rpm.
const QRectF plot = CurveGraphGeometry::plotRect(QSizeF(900, 560));
const CurveGraphGeometry balanced = CurveGraphGeometry::of(AerivoProfile::balanced());

TEST(CurveGraphGeometryTest, PositionsValuesLabelsAndBars) {
    struct Case {
        const char* name;
        std::function<double()> actual;
        double expected;
    };
    const Case cases[] = {
        {"plot x", [] { return plot.x(); }, 88},
        {"plot y", [] { return plot.y(); }, 34},
        {"plot width", [] { return plot.width(); }, 776},
        {"plot height", [] { return plot.height(); }, 464},
        {"tiny size keeps width 1",
         [] {
             return CurveGraphGeometry::plotRect({50, 40}).width();
         },
         1},
        {"tiny size keeps height 1",
         [] {
             return CurveGraphGeometry::plotRect({50, 40}).height();
         },
         1},
        {"axis minimum at left edge", [] { return balanced.xPosition(30, plot); }, 88},
        {"axis middle", [] { return balanced.xPosition(65, plot); }, 476},
        {"axis maximum at right edge", [] { return balanced.xPosition(100, plot); }, 864},
        {"hotter than axis clamps to right", [] { return balanced.xPosition(130, plot); }, 864},
        {"colder than axis clamps to left", [] { return balanced.xPosition(-5, plot); }, 88},
        {"NaN temperature at left", [] { return balanced.xPosition(nan, plot); }, 88},
        {"speed minimum at bottom", [] { return balanced.yPosition(1200, plot); }, 498},
        {"speed maximum at top", [] { return balanced.yPosition(6200, plot); }, 34},
        {"speed above axis clamps to top", [] { return balanced.yPosition(9000, plot); }, 34},
        {"speed below axis clamps to bottom", [] { return balanced.yPosition(0, plot); }, 498},
        {"point x", [] { return balanced.position(AerivoPoint(65, 3700), plot).x(); }, 476},
        {"point y", [] { return balanced.position(AerivoPoint(65, 3700), plot).y(); }, 266},
        {"beyond top right reads max temperature",
         [] {
             return balanced.values({2000, -300}, plot).temperatureC;
         },
         100},
        {"beyond top right reads max speed",
         [] {
             return balanced.values({2000, -300}, plot).rpm;
         },
         6200},
        {"beyond bottom left reads min temperature",
         [] {
             return balanced.values({0, 900}, plot).temperatureC;
         },
         30},
        {"beyond bottom left reads min speed",
         [] {
             return balanced.values({0, 900}, plot).rpm;
         },
         1200},
        {"centre reads middle temperature",
         [] {
             return balanced.values({476, 266}, plot).temperatureC;
         },
         65},
        {"centre reads middle speed",
         [] {
             return balanced.values({476, 266}, plot).rpm;
         },
         3700},
        {"fan-off label at the left limit for a zero band",
         [] { return CurveGraphGeometry::fanOffLabelCenter(88, plot).x(); }, 132},
        {"fan-off label held 44 from the left",
         [] { return CurveGraphGeometry::fanOffLabelCenter(100, plot).x(); }, 132},
        {"fan-off label over the band's middle",
         [] { return CurveGraphGeometry::fanOffLabelCenter(400, plot).x(); }, 244},
        {"fan-off label held 44 from the right in a narrow plot",
         [] { return CurveGraphGeometry::fanOffLabelCenter(148, QRectF(88, 34, 60, 100)).x(); },
         104},
        {"fan-off label 14 below the top",
         [] { return CurveGraphGeometry::fanOffLabelCenter(400, plot).y(); }, 48},
        {"fullest bin bar is 51 %",
         [] { return CurveGraphGeometry::distributionBarHeight(1, plot); }, 0.51 * 464},
        {"emptiest drawn bin bar is 15 %",
         [] { return CurveGraphGeometry::distributionBarHeight(0, plot); }, 0.15 * 464},
        {"short plot bar is at least 6",
         [] { return CurveGraphGeometry::distributionBarHeight(0, QRectF(0, 0, 100, 20)); }, 6},
        {"target label right of marker",
         [] {
             return CurveGraphGeometry::targetLabelCenter({100, 200}, plot).x();
         },
         162},
        {"target label above marker",
         [] {
             return CurveGraphGeometry::targetLabelCenter({100, 200}, plot).y();
         },
         176},
        {"target label kept left of the right edge",
         [] {
             return CurveGraphGeometry::targetLabelCenter({860, 40}, plot).x();
         },
         806},
        {"target label kept below the top",
         [] {
             return CurveGraphGeometry::targetLabelCenter({860, 40}, plot).y();
         },
         48},
        {"value button under the plot",
         [] {
             return CurveGraphGeometry::temperatureButtonCenter({300, 200}, plot).y();
         },
         523},
        {"value button left of the plot",
         [] {
             return CurveGraphGeometry::rpmButtonCenter({300, 200}, plot).x();
         },
         45},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(c.actual(), c.expected, 1e-9) << c.name;
    }
}

TEST(CurveGraphGeometryTest, FanOffLabelNeverNearerThan44ToEitherEdge) {
    for (double x = plot.left() - 50; x <= plot.right() + 50; x += 7) {
        const double centre = CurveGraphGeometry::fanOffLabelCenter(x, plot).x();
        EXPECT_GE(centre - plot.left(), 44) << x;
        EXPECT_GE(plot.right() - centre, 44) << x;
    }
}

TEST(CurveGraphGeometryTest, CurrentTargetMarkerAndLabelFollowTheFanOffRange) {
    AerivoProfile profile = AerivoProfile::balanced();
    profile.updateFanOffThresholdEnabled(true); // fan off at or below 45 C
    struct Case {
        double temperatureC;
        double markerY;
        const char* label;
    };
    const Case cases[] = {
        {40, 498, "Fan off"},
        {45, 498, "Fan off"},
        {60, balanced.yPosition(2750, plot), "now -> 2750 RPM"},
    };
    for (const Case& c : cases) {
        const QPointF marker = CurveGraphGeometry::targetMarker(profile, c.temperatureC, plot);
        EXPECT_DOUBLE_EQ(marker.x(), balanced.xPosition(c.temperatureC, plot)) << c.temperatureC;
        EXPECT_DOUBLE_EQ(marker.y(), c.markerY) << c.temperatureC;
        EXPECT_EQ(CurveGraphPainter::targetLabelText(profile, c.temperatureC, AppLanguage::english)
                      .toStdString(),
                  c.label);
    }
    EXPECT_EQ(CurveGraphPainter::targetLabelText(profile, 60, AppLanguage::spanish).toStdString(),
              "ahora -> 2750 RPM");
}

TEST(CurveGraphGeometryTest, TargetLabelStepsAsideFromPointsThatWouldCoverIt) {
    const QPointF marker(400, 300);
    const QSizeF label(96, 20);
    const QPointF aboveRight(462, 276), belowRight(462, 324), aboveLeft(338, 276);
    struct Case {
        const char* name;
        std::vector<QPointF> points;
        QPointF expected;
    };
    const Case cases[] = {
        {"no points", {}, aboveRight},
        {"a point far away", {QPointF(800, 100)}, aboveRight},
        {"a point at the label's left end", {QPointF(418, 280)}, belowRight},
        {"points above and below on the right", {QPointF(470, 276), QPointF(470, 324)}, aboveLeft},
        {"no free place", {aboveRight, belowRight, aboveLeft, QPointF(338, 324)}, aboveRight},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CurveGraphGeometry::targetLabelCenter(marker, label, plot, c.points), c.expected)
            << c.name;
    }
}

} // namespace
} // namespace aerivo
