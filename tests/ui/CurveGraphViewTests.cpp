#include "app/ui/CurvePointEditorSheet.h"
#include "tests/ui/CurveEditorTestSupport.h"

#include <gtest/gtest.h>

#include <QHBoxLayout>
#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <QTest>

namespace aerivo {
namespace {

TEST(CurveGraphViewTest, DragWritesThePointAsItMovesAndEndsTheEditOnceAtTheDrop) {
    struct Case {
        const char* name;
        std::size_t pointIndex;
        QPointF dropAt; // in the 900 x 560 graph, plot (88, 34, 776, 464)
        double temperatureC;
        double rpm;
    };
    const Case cases[] = {
        // The 68 C point may go from 53 to 81 C (1 C short of its neighbours).
        {"beyond the top right edge", 2, QPointF(2000, -300), 81, 6200},
        {"beyond the bottom left edge", 0, QPointF(-100, 900), 30, 1200},
        {"beyond the right edge, half way up", 4, QPointF(2000, 266), 100, 3700},
        {"inside the plot", 1, QPointF(476, 266), 65, 3700},
    };
    for (const Case& c : cases) {
        CurveGraphHarness graph;
        const AerivoPoint start = graph.point(c.pointIndex);
        const QPointF pressAt = graph.view->pointPosition(start.id);
        sendMouse(*graph.view, QEvent::MouseButtonPress, pressAt);
        sendMouse(*graph.view, QEvent::MouseMove, pressAt + QPointF(20, 20));
        sendMouse(*graph.view, QEvent::MouseMove, c.dropAt);

        EXPECT_TRUE(graph.view->isDragging()) << c.name;
        // The binding already has the move (the first one of a frame goes out at once).
        EXPECT_FALSE(graph.profileWrites.empty()) << c.name;
        EXPECT_NE(graph.profile.points[c.pointIndex], start) << c.name;
        EXPECT_EQ(graph.editingEndedCalls, 0) << c.name;
        const AerivoPoint& shown = graph.view->displayedProfile().points[c.pointIndex];
        EXPECT_NEAR(shown.temperatureC, c.temperatureC, 1e-6) << c.name;

        sendMouse(*graph.view, QEvent::MouseButtonRelease, c.dropAt, Qt::NoButton);
        ASSERT_FALSE(graph.profileWrites.empty()) << c.name;
        EXPECT_EQ(graph.profileWrites.back(), graph.profile) << c.name;
        EXPECT_EQ(graph.editingEndedCalls, 1) << c.name;
        EXPECT_NEAR(graph.point(c.pointIndex).temperatureC, c.temperatureC, 1e-6) << c.name;
        EXPECT_NEAR(graph.point(c.pointIndex).rpm, c.rpm, 1e-6) << c.name;
        EXPECT_EQ(graph.point(c.pointIndex).id, start.id) << c.name;
        EXPECT_TRUE(graph.profile.isNormalized()) << c.name;
    }
}

TEST(CurveGraphViewTest, ShortMovesAndEscapeLeaveTheProfileAlone) {
    for (const bool escape : {false, true}) {
        CurveGraphHarness graph;
        const AerivoProfile before = graph.profile;
        const QPointF pressAt = graph.view->pointPosition(graph.point(2).id);
        sendMouse(*graph.view, QEvent::MouseButtonPress, pressAt);
        // Below the desktop's drag distance nothing moves; Escape drops a real drag.
        const QPointF moveTo = escape ? QPointF(600, 100) : pressAt + QPointF(1, 1);
        sendMouse(*graph.view, QEvent::MouseMove, moveTo);
        if (escape) {
            QTest::keyClick(graph.view.get(), Qt::Key_Escape);
        }
        sendMouse(*graph.view, QEvent::MouseButtonRelease, moveTo, Qt::NoButton);
        EXPECT_EQ(graph.profile, before) << escape;
        EXPECT_EQ(graph.view->displayedProfile(), before) << escape;
        EXPECT_EQ(graph.profileWrites.empty(), !escape) << escape;
        EXPECT_EQ(graph.editingEndedCalls, 0) << escape;
    }
}

TEST(CurveGraphViewTest, ValueButtonsOpenThePointEditorWhenReleasedOverThemselves) {
    CurveGraphHarness graph;
    const Uuid id = graph.point(3).id;
    const QPointF button =
        graph.view->valueButtonRect(id, CurveGraphItem::Kind::rpmButton).center();
    sendMouse(*graph.view, QEvent::MouseButtonPress, button);
    sendMouse(*graph.view, QEvent::MouseButtonRelease, QPointF(600, 100), Qt::NoButton);
    EXPECT_EQ(graph.view->pointEditor(), nullptr);

    graph.view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(graph.view.get()));
    sendMouse(*graph.view, QEvent::MouseButtonPress, button);
    sendMouse(*graph.view, QEvent::MouseButtonRelease, button, Qt::NoButton);
    CurvePointEditorSheet* sheet = graph.view->pointEditor();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->pointID(), id);
    EXPECT_EQ(graph.view->editingPoint(), id);
    sheet->reject();
    EXPECT_EQ(graph.view->editingPoint(), std::nullopt);
}

TEST(CurveGraphViewTest, TabWalksEveryPointAndButtonAndArrowKeysMoveTheFocusedPoint) {
    CurveGraphHarness graph;
    QWidget window;
    auto* layout = new QHBoxLayout(&window);
    auto* before = new QPushButton("before", &window);
    layout->addWidget(before);
    graph.view->setParent(&window);
    layout->addWidget(graph.view.get());
    auto* after = new QPushButton("after", &window);
    layout->addWidget(after);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    before->setFocus(Qt::TabFocusReason);

    // Five points, each with its two value buttons: fifteen stops, then the next control.
    std::vector<CurveGraphItem> visited;
    for (int stop = 0; stop < 15; ++stop) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        ASSERT_EQ(QApplication::focusWidget(), graph.view.get()) << stop;
        ASSERT_TRUE(graph.view->focusedItem().has_value());
        visited.push_back(*graph.view->focusedItem());
    }
    EXPECT_EQ(visited.front(), (CurveGraphItem{graph.point(0).id, CurveGraphItem::Kind::point}));
    EXPECT_EQ(visited[4],
              (CurveGraphItem{graph.point(1).id, CurveGraphItem::Kind::temperatureButton}));
    EXPECT_EQ(visited.back(), (CurveGraphItem{graph.point(4).id, CurveGraphItem::Kind::rpmButton}));
    QTest::keyClick(graph.view.get(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), after);
    QTest::keyClick(after, Qt::Key_Backtab);
    EXPECT_EQ(graph.view->focusedItem(), visited.back());

    // Back to the 68 C point (53 ... 81 C): each arrow press is one edit, told at once.
    for (int stop = 0; stop < 8; ++stop) {
        QTest::keyClick(graph.view.get(), Qt::Key_Backtab);
    }
    ASSERT_EQ(graph.view->focusedItem(),
              (CurveGraphItem{graph.point(2).id, CurveGraphItem::Kind::point}));
    struct Press {
        Qt::Key key;
        double temperatureC;
        double rpm;
    };
    const Press presses[] = {{Qt::Key_Right, 69, 3400},
                             {Qt::Key_Up, 69, 3500},
                             {Qt::Key_Left, 68, 3500},
                             {Qt::Key_Down, 68, 3400}};
    for (const Press& press : presses) {
        QTest::keyClick(graph.view.get(), press.key);
        EXPECT_DOUBLE_EQ(graph.point(2).temperatureC, press.temperatureC) << press.key;
        EXPECT_DOUBLE_EQ(graph.point(2).rpm, press.rpm) << press.key;
    }
    EXPECT_EQ(graph.pointEdits.size(), 4u);
    for (int press = 0; press < 20; ++press) {
        QTest::keyClick(graph.view.get(), Qt::Key_Right);
    }
    EXPECT_DOUBLE_EQ(graph.point(2).temperatureC, 81); // held 1 C short of the 82 C point

    // Return on a focused value button opens its editor.
    QTest::keyClick(graph.view.get(), Qt::Key_Tab);
    QTest::keyClick(graph.view.get(), Qt::Key_Return);
    ASSERT_NE(graph.view->pointEditor(), nullptr);
    EXPECT_EQ(graph.view->pointEditor()->pointID(), graph.point(2).id);
    graph.view->pointEditor()->reject();
    graph.view->setParent(nullptr);
}

// Paints the graph into an image at a device pixel ratio and reads one logical pixel.
QColor paintedColor(const CurveGraphView& view, QPointF at, double devicePixelRatio) {
    QImage image(view.size() * devicePixelRatio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(Qt::white);
    QPainter painter(&image);
    view.paint(painter, view.size());
    painter.end();
    return image.pixelColor((at * devicePixelRatio).toPoint());
}

// Whether the graph, painted once, shows the orange of the safety line in column `x` of the plot.
bool columnShowsOrange(const CurveGraphView& view, int x) {
    QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    view.paint(painter, view.size());
    painter.end();
    for (int y = 34; y <= 498; ++y) {
        const QColor color = image.pixelColor(x, y);
        if (color.red() > 180 && color.red() - color.blue() > 80 && color.green() < 220) {
            return true;
        }
    }
    return false;
}

TEST(CurveGraphViewTest, TheSafetyLineAndTheFanOffBandSitWhereTheProfileSays) {
    // Plot (88, 34, 776, 464) over 30 ... 100 C: the 86 C safety limit at x 708.8, a 45 C
    // fan-off threshold at x 254.3. Probes at y 60 are clear of the grid, the curve and guides.
    const QPointF insideBand(150, 60);
    const QPointF outsideBand(420, 60);
    CurveGraphHarness graph;
    graph.profile.updateFanOffThreshold(45.0);
    ASSERT_FALSE(graph.profile.isFanOffThresholdEnabled);
    EXPECT_EQ(paintedColor(*graph.view, insideBand, 1.0),
              paintedColor(*graph.view, outsideBand, 1.0));

    graph.profile.updateFanOffThresholdEnabled(true);
    graph.view->refresh();
    EXPECT_NE(paintedColor(*graph.view, insideBand, 1.0),
              paintedColor(*graph.view, outsideBand, 1.0));
    EXPECT_TRUE(columnShowsOrange(*graph.view, 709));
    EXPECT_FALSE(columnShowsOrange(*graph.view, 254));
}

TEST(CurveGraphViewTest, DistributionBarsComeFromTheSamplesOfEachPaint) {
    // Bins are 2.5 C wide from 30 C: 40 C falls in bin 4 (centre x 212.7), 81 C in bin 20
    // (centre x 656.1). Both probes sit 3 px above the bottom, clear of grid, guides and curve.
    const QPointF bin4(212, 495);
    const QPointF bin20(650, 495);
    for (const double ratio : {1.0, 2.0}) {
        CurveGraphHarness graph;
        const QColor blankAt4 = paintedColor(*graph.view, bin4, ratio);
        const QColor blankAt20 = paintedColor(*graph.view, bin20, ratio);
        for (int i = 0; i < 10; ++i) {
            graph.samples.push_back(ThermalSample(40.0));
        }
        const QColor teal = paintedColor(*graph.view, bin4, ratio);
        EXPECT_NE(teal, blankAt4) << ratio;
        EXPECT_GT(teal.blue(), teal.red()) << ratio;
        EXPECT_EQ(paintedColor(*graph.view, bin20, ratio), blankAt20) << ratio;

        // The history moved on: the next paint reads the new samples.
        graph.samples.assign(10, ThermalSample(81.0));
        EXPECT_EQ(paintedColor(*graph.view, bin4, ratio), blankAt4) << ratio;
        EXPECT_NE(paintedColor(*graph.view, bin20, ratio), blankAt20) << ratio;
    }
}

} // namespace
} // namespace aerivo
