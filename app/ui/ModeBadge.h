#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

namespace aerivo {

// A capsule with the effective mode's title, drawn in the mode's tint on the tint at 16 %.
class ModeBadge final : public QWidget {
public:
    explicit ModeBadge(QWidget* parent = nullptr);

    void setBadge(const QString& title, const QColor& tint);
    const QString& title() const { return title_; }
    const QColor& tint() const { return tint_; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString title_;
    QColor tint_;
};

} // namespace aerivo
