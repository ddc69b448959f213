#pragma once

#include <QAbstractButton>

namespace aerivo {

// A switch-style toggle: its title on the left, a track with a sliding knob on the right, teal
// when on. Checkable; clicking anywhere on the row flips it.
class ToggleSwitch final : public QAbstractButton {
public:
    explicit ToggleSwitch(QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace aerivo
