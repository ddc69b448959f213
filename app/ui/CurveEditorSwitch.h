#pragma once

#include <QAbstractButton>

namespace aerivo {

// A switch-style toggle: the title on the left, a track with a sliding knob on the right, teal
// when on. Checkable; a click anywhere on it, or Space while it has focus, flips it.
class CurveEditorSwitch final : public QAbstractButton {
public:
    explicit CurveEditorSwitch(QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace aerivo
