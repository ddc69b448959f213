#include "app/ui/ModeTint.h"

namespace aerivo {

QColor tealColor() {
    return QColor(48, 176, 199);
}

QColor orangeColor() {
    return QColor(255, 149, 0);
}

QColor secondaryTextColor(const QPalette& palette) {
    return palette.color(QPalette::Active, QPalette::PlaceholderText);
}

QColor modeTint(FanControlMode mode, const QPalette& palette) {
    switch (mode) {
    case FanControlMode::curve:
        return tealColor();
    case FanControlMode::safety:
        return orangeColor();
    case FanControlMode::system:
        break;
    }
    return secondaryTextColor(palette);
}

QColor modeBadgeFill(const QColor& tint) {
    QColor fill = tint;
    fill.setAlphaF(0.16f * tint.alphaF());
    return fill;
}

} // namespace aerivo
