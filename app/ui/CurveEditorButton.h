#pragma once

#include <QAbstractButton>

namespace aerivo {

// A push button with an optional symbol whose title wraps onto more lines when the column is too
// narrow for it, so a long translation is never cut off. Tab reaches it; Space presses it.
class CurveEditorButton final : public QAbstractButton {
public:
    explicit CurveEditorButton(QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int textWidthFor(int width) const;
    QRect textRect(const QRect& bounds) const;
};

} // namespace aerivo
