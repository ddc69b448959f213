#pragma once

#include "app/model/FanControlMode.h"

#include <QColor>
#include <QPalette>

namespace aerivo {

// The interface's accent colours (the Mac's standard teal and orange).
QColor tealColor();
QColor orangeColor();
// The palette's colour for secondary text: captions, titles of figures, the range line.
QColor secondaryTextColor(const QPalette& palette);

// The mode badge's tint: system → secondary text, curve → teal, safety → orange.
QColor modeTint(FanControlMode mode, const QPalette& palette);
// The badge's fill: the tint at 16 % opacity.
QColor modeBadgeFill(const QColor& tint);

} // namespace aerivo
