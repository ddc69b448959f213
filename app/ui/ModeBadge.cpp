#include "app/ui/ModeBadge.h"

#include "app/ui/ModeTint.h"

#include <QFontMetrics>
#include <QPainter>

namespace aerivo {

namespace {

constexpr int horizontalPadding = 8;
constexpr int verticalPadding = 4;

} // namespace

ModeBadge::ModeBadge(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void ModeBadge::setBadge(const QString& title, const QColor& tint) {
    if (title == title_ && tint == tint_) {
        return;
    }
    title_ = title;
    tint_ = tint;
    updateGeometry();
    update();
}

QSize ModeBadge::sizeHint() const {
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(title_) + 2 * horizontalPadding,
            metrics.height() + 2 * verticalPadding};
}

void ModeBadge::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(modeBadgeFill(tint_));
    painter.drawRoundedRect(rect(), height() / 2.0, height() / 2.0);
    painter.setPen(tint_);
    painter.drawText(rect(), Qt::AlignCenter, title_);
}

} // namespace aerivo
