#pragma once

#include "app/model/AerivoStore.h"

#include <QWidget>

namespace aerivo {

class CurveEditorView;

// The curve editor window's content: the three-column editor over the store. The window that
// holds it (1280 x 820) belongs to the status-bar controller; this widget keeps it at least
// 1180 x 760. The store must outlive it.
class ContentView final : public QWidget {
public:
    static constexpr QSize minimumContentSize{1180, 760};

    explicit ContentView(AerivoStore& store, QWidget* parent = nullptr);

    CurveEditorView& editor() const { return *editor_; }

private:
    CurveEditorView* editor_ = nullptr;
};

} // namespace aerivo
