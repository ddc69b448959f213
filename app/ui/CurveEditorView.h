#pragma once

#include "app/model/AerivoStore.h"

#include <QWidget>

#include <array>

class QAbstractButton;
class QLabel;

namespace aerivo {

class AxisSettingsView;
class CurveEditorButton;
class ToggleSwitch;
class CurveGraphView;
class StatusSidebarView;

// The editor's three columns: the status sidebar, the centre (header with the history-window
// picker, the graph, the add / remove / curve controls) and the axis settings. Reads everything
// from the store, again on each of its notifications, and changes it only through its actions.
class CurveEditorView final : public QWidget {
public:
    static constexpr int centrePadding = 24;
    static constexpr int centreSpacing = 18;
    static constexpr int windowPickerWidth = 280;
    static constexpr int graphPadding = 18;

    struct Controls {
        StatusSidebarView* sidebar = nullptr;
        AxisSettingsView* settings = nullptr;
        QLabel* title = nullptr;
        QLabel* subtitle = nullptr;
        QLabel* thermalWindowTitle = nullptr;
        // One per history window, in their order; exactly one is checked.
        std::array<QAbstractButton*, 4> windowSegments{};
        CurveGraphView* graph = nullptr;
        CurveEditorButton* addPoint = nullptr;
        CurveEditorButton* removePoint = nullptr;
        ToggleSwitch* curveSwitch = nullptr;
    };

    explicit CurveEditorView(AerivoStore& store, QWidget* parent = nullptr);

    // Re-reads the centre column from the store (the side columns follow the store themselves).
    void refresh();
    const Controls& controls() const { return controls_; }

private:
    QWidget* buildCentre();

    AerivoStore& store_;
    AerivoStoreObservation observation_;
    Controls controls_;
};

} // namespace aerivo
