#pragma once

#include <QWidget>

#include <functional>

class QLabel;
class QToolButton;

namespace aerivo {

// A labelled stepper: the title on the left, the value's text, and a minus and a plus button that
// change the value by the step, held within the range. It shows what it is given and keeps no
// value of its own: a press calls `onChange` with the new value, and the owner shows the value
// the model then holds. A button is disabled once the value has reached its end of the range.
class CurveEditorStepper final : public QWidget {
public:
    explicit CurveEditorStepper(QWidget* parent = nullptr);

    void setTitle(const QString& title);
    void display(double value, const QString& valueText, double lower, double upper, double step);
    void setOnChange(std::function<void(double)> onChange) { onChange_ = std::move(onChange); }

    double value() const { return value_; }
    double lower() const { return lower_; }
    double upper() const { return upper_; }
    void stepUp() { stepBy(step_); }
    void stepDown() { stepBy(-step_); }

    QLabel* titleLabel() const { return title_; }
    QLabel* valueLabel() const { return valueText_; }
    QToolButton* upButton() const { return up_; }
    QToolButton* downButton() const { return down_; }

private:
    void stepBy(double delta);

    std::function<void(double)> onChange_;
    double value_ = 0;
    double lower_ = 0;
    double upper_ = 0;
    double step_ = 1;
    QLabel* title_ = nullptr;
    QLabel* valueText_ = nullptr;
    QToolButton* down_ = nullptr;
    QToolButton* up_ = nullptr;
};

} // namespace aerivo
