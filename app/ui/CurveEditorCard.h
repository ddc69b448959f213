#pragma once

#include <QWidget>

namespace aerivo {

// A rounded panel on the editor's material colour: the graph's backdrop, the status cards, the
// settings groups and the point editor's form. Its layout margins are the caller's.
class CurveEditorCard final : public QWidget {
public:
    static constexpr double cornerRadius = 8.0;

    explicit CurveEditorCard(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace aerivo
