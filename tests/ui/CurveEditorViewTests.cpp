#include "app/ui/CurveEditorButton.h"
#include "app/ui/CurveEditorView.h"
#include "app/ui/CurveGraphView.h"
#include "app/ui/CurvePointEditorSheet.h"
#include "app/ui/StatusSidebarView.h"
#include "app/ui/ToggleSwitch.h"
#include "tests/ui/CurveEditorTestSupport.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace aerivo {
namespace {

struct EditorHarness : EditorStoreHarness {
    std::unique_ptr<CurveEditorView> view;
    int profileNotifications = 0;
    AerivoStoreObservation counting;

    explicit EditorHarness(FanHardwareCapabilities capabilities = oneFan())
        : EditorStoreHarness(std::move(capabilities)) {
        view = std::make_unique<CurveEditorView>(*store);
        view->resize(1280, 820);
        counting = store->observe([this](AerivoStoreProperty property) {
            profileNotifications += property == AerivoStoreProperty::profile ? 1 : 0;
        });
    }
    const CurveEditorView::Controls& controls() const { return view->controls(); }
};

TEST(CurveEditorViewTest, RemoveNeedsThreePointsAndTheCurveSwitchNeedsAFan) {
    EditorHarness editor;
    const auto& c = editor.controls();
    struct Step {
        CurveEditorButton* button;
        std::size_t points;
        bool removeEnabled;
    };
    const Step steps[] = {{c.removePoint, 4, true},
                          {c.removePoint, 3, true},
                          {c.removePoint, 2, false},
                          {c.addPoint, 3, true}};
    for (const Step& step : steps) {
        QTest::mouseClick(step.button, Qt::LeftButton);
        EXPECT_EQ(editor.store->profile().points.size(), step.points);
        EXPECT_EQ(c.removePoint->isEnabled(), step.removeEnabled) << step.points;
    }
    EXPECT_TRUE(c.curveSwitch->isEnabled());
    EditorHarness fanless(noFan());
    EXPECT_FALSE(fanless.controls().curveSwitch->isEnabled());
}

TEST(CurveEditorViewTest, WindowSegmentsSelectTheHistoryWindowOneAtATime) {
    EditorHarness editor;
    const auto& segments = editor.controls().windowSegments;
    for (std::size_t chosen = 0; chosen < segments.size(); ++chosen) {
        QTest::mouseClick(segments[chosen], Qt::LeftButton);
        EXPECT_EQ(editor.store->thermalHistoryWindow(), allThermalHistoryWindows[chosen]);
        for (std::size_t i = 0; i < segments.size(); ++i) {
            EXPECT_EQ(segments[i]->isChecked(), i == chosen) << chosen << " " << i;
        }
    }
    EXPECT_EQ(segments[3]->text().toStdString(), "24 hr");
}

TEST(CurveEditorViewTest, ADragReachesTheStoreAsItMovesAndIsSavedOnceAtItsEnd) {
    EditorHarness editor;
    CurveGraphView& graph = *editor.controls().graph;
    const AerivoPoint point = editor.store->profile().points[2]; // 68 C, bounds 53 ... 81 C
    const QPointF pressAt = graph.pointPosition(point.id);
    const std::optional<AerivoProfile> savedBefore = editor.savedProfile();
    sendMouse(graph, QEvent::MouseButtonPress, pressAt);
    for (int step = 1; step <= 10; ++step) {
        sendMouse(graph, QEvent::MouseMove, pressAt + QPointF(step * 200, -step * 100));
        editor.tick();
    }
    // The store (and with it the sidebar's curve target) follows the drag; nothing is saved yet.
    EXPECT_GT(editor.profileNotifications, 0);
    EXPECT_NE(editor.store->profile().points[2], point);
    EXPECT_EQ(editor.controls().sidebar->cards()[2].value->text().toStdString(),
              editor.store->curveTargetValueText());
    EXPECT_EQ(editor.savedProfile(), savedBefore);
    sendMouse(graph, QEvent::MouseButtonRelease, pressAt + QPointF(2000, -1000), Qt::NoButton);

    const AerivoPoint moved = editor.store->profile().points[2];
    EXPECT_EQ(moved.id, point.id);
    EXPECT_DOUBLE_EQ(moved.temperatureC, 81);
    EXPECT_DOUBLE_EQ(moved.rpm, 6200);
    const std::optional<AerivoProfile> saved = editor.savedProfile();
    ASSERT_TRUE(saved.has_value());
    EXPECT_EQ(saved->points[2], moved);
}

TEST(CurveEditorViewTest, AProfileChangeArrivingMidDragOutlivesTheDrop) {
    EditorHarness editor;
    CurveGraphView& graph = *editor.controls().graph;
    const AerivoPoint point = editor.store->profile().points[1];
    const QPointF pressAt = graph.pointPosition(point.id);
    sendMouse(graph, QEvent::MouseButtonPress, pressAt);
    sendMouse(graph, QEvent::MouseMove, pressAt + QPointF(30, -40));
    // The administrator probe fits the speed axis to the hardware while the point is held.
    editor.store->updateRPMAxis(std::nullopt, 5000.0);
    sendMouse(graph, QEvent::MouseMove, pressAt + QPointF(40, -60));
    sendMouse(graph, QEvent::MouseButtonRelease, pressAt + QPointF(40, -60), Qt::NoButton);

    EXPECT_DOUBLE_EQ(editor.store->profile().rpmAxis.maximum, 5000.0);
    const std::optional<AerivoProfile> saved = editor.savedProfile();
    ASSERT_TRUE(saved.has_value());
    EXPECT_DOUBLE_EQ(saved->rpmAxis.maximum, 5000.0);
    EXPECT_GT(saved->points[1].temperatureC, point.temperatureC);
}

TEST(CurveEditorViewTest, ArrowKeysAndThePointEditorEditThroughTheStore) {
    EditorHarness editor;
    CurveGraphView& graph = *editor.controls().graph;
    const Uuid id = editor.store->profile().points[0].id; // 35 C, bounds 30 ... 51 C
    const QPointF at = graph.pointPosition(id);
    sendMouse(graph, QEvent::MouseButtonPress, at);
    sendMouse(graph, QEvent::MouseButtonRelease, at, Qt::NoButton);
    QTest::keyClick(&graph, Qt::Key_Up);
    QTest::keyClick(&graph, Qt::Key_Right);
    EXPECT_DOUBLE_EQ(editor.store->profile().points[0].rpm, 1500);
    EXPECT_DOUBLE_EQ(editor.store->profile().points[0].temperatureC, 36);

    graph.openPointEditor(id);
    CurvePointEditorSheet* sheet = graph.pointEditor();
    ASSERT_NE(sheet, nullptr);
    sheet->temperatureField()->selectAll();
    QTest::keyClicks(sheet->temperatureField(), "60");
    QTest::mouseClick(sheet->saveButton(), Qt::LeftButton);
    const AerivoPoint moved = editor.store->profile().points[0];
    EXPECT_DOUBLE_EQ(moved.temperatureC, 51);
    EXPECT_DOUBLE_EQ(moved.rpm, 1500);
    EXPECT_EQ(editor.savedProfile()->points[0], moved);
    EXPECT_EQ(graph.editingPoint(), std::nullopt);
}

} // namespace
} // namespace aerivo
