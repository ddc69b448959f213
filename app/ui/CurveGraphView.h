#pragma once

#include "app/telemetry/ThermalDistributionBin.h"
#include "app/ui/CurveGraphBinding.h"
#include "app/ui/CurveGraphGeometry.h"
#include "app/ui/CurveGraphItem.h"

#include <QElapsedTimer>
#include <QImage>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <optional>
#include <vector>

class QPainter;

namespace aerivo {

class CurvePointEditorSheet;

// The curve over the live temperature distribution, painted in one widget in ten layers (back to
// front): fan-off band, grid, distribution, axes, safety line, current temperature, current
// target, curve, point guides with value buttons, points.
//
// Mouse: drag a point to move it (clamped into the point's editing bounds). The move goes to the
// binding as it happens, at most once per display frame and once more on release, each time
// applied to the binding's profile as it is then, so a change that arrives mid-drag (the
// administrator probe fitting the speed axis) stays; the edit ends (is saved) on release, and
// Escape puts the point back. Press a value button to type exact values in the point editor.
// Keyboard: the graph is one stop in the window's Tab chain whose stops are, per point from cold to
// hot, the point and its two value buttons; the arrow keys move a focused point by one degree or
// 100 rpm, Return or Space presses a focused value button.
class CurveGraphView final : public QWidget {
public:
    static constexpr int minimumHeight = 360;
    static constexpr double keyTemperatureStepC = 1.0;
    static constexpr double keyRPMStep = 100.0;
    // A drag reaches the binding at most this often (a 60 Hz frame).
    static constexpr int dragWriteIntervalMs = 16;

    using Item = CurveGraphItem;
    using ItemKind = CurveGraphItem::Kind;

    explicit CurveGraphView(CurveGraphBinding binding, QWidget* parent = nullptr);
    ~CurveGraphView() override;

    // Repaints from the binding and brings an open point editor up to date.
    void refresh();

    // Paints every layer for a graph of `size` (the paint event and the benchmark use it).
    void paint(QPainter& painter, QSizeF size) const;

    // The profile shown: the binding's, with the dragged point where the pointer is.
    const AerivoProfile& displayedProfile() const;
    bool isDragging() const { return drag_.has_value() && drag_->moved; }
    std::optional<Item> focusedItem() const { return focusedItem_; }
    std::optional<Uuid> editingPoint() const { return editingPoint_; }
    // The open point editor, if any.
    CurvePointEditorSheet* pointEditor() const;
    // Opens the point editor for a point (what pressing one of its value buttons does).
    void openPointEditor(const Uuid& pointId);

    // Where things are in the graph as it is now, in its own coordinates.
    QRectF plotRect() const { return CurveGraphGeometry::plotRect(size()); }
    QPointF pointPosition(const Uuid& pointId) const;
    QRectF valueButtonRect(const Uuid& pointId, ItemKind kind) const;
    // The frontmost item under `location`: points above value buttons, hotter points above
    // colder ones.
    std::optional<Item> itemAt(QPointF location) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    struct Drag {
        Uuid pointId;
        QPointF pressedAt;
        // Where the point was at the press, for Escape.
        double startTemperatureC = 0;
        double startRPM = 0;
        QPointF pointer;
        // The binding's profile with the point at `pointer`.
        AerivoProfile profile;
        bool moved = false;
        bool written = false;
    };
    struct ButtonPress {
        Item item;
    };
    // What the background layers were painted from; equal keys paint equal pixels.
    struct BackgroundKey {
        QSize size;
        double devicePixelRatio = 1;
        AerivoAxis temperatureAxis;
        AerivoAxis rpmAxis;
        bool isFanOffThresholdEnabled = false;
        double fanOffThresholdC = 0;
        double safetyLimitC = 0;
        AppLanguage language = AppLanguage::english;
        qint64 palette = 0;
        std::vector<ThermalDistributionBin> bins;
        friend bool operator==(const BackgroundKey&, const BackgroundKey&) = default;
    };
    struct Background {
        BackgroundKey key;
        QImage image;
    };

    // The binding's profile now, with the dragged point moved to the pointer.
    AerivoProfile draggedProfile() const;
    // Hands the drag's profile to the binding (now, or at the end of the current frame).
    void writeDrag();
    void scheduleDragWrite();

    std::vector<Item> focusChain() const;
    void moveFocusedPoint(double temperatureStep, double rpmStep);
    QString tooltipAt(QPointF location) const;

    CurveGraphBinding binding_;
    std::optional<Drag> drag_;
    QTimer dragWriteTimer_;
    QElapsedTimer lastDragWrite_;
    std::optional<ButtonPress> buttonPress_;
    std::optional<Item> focusedItem_;
    std::optional<Uuid> editingPoint_;
    QPointer<CurvePointEditorSheet> pointEditor_;
    // The background layers as last painted. A drag moves only the foreground, so at 120 Hz it
    // repaints over this image; any change of what the background shows (a refresh that moves
    // the distribution, an axis edit, a resize) paints it afresh.
    mutable std::optional<Background> background_;
};

} // namespace aerivo
