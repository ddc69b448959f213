#include "app/ui/ContentView.h"

#include "app/ui/CurveEditorView.h"

#include <QVBoxLayout>

namespace aerivo {

ContentView::ContentView(AerivoStore& store, QWidget* parent) : QWidget(parent) {
    setMinimumSize(minimumContentSize);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    editor_ = new CurveEditorView(store, this);
    layout->addWidget(editor_);
}

} // namespace aerivo
