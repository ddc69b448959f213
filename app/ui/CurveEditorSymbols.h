#pragma once

#include <QColor>
#include <QIcon>

#include <string_view>

namespace aerivo::CurveEditorSymbols {

// The editor's button symbols by their product names ("plus", "minus", "arrow.clockwise",
// "arrow.triangle.2.circlepath", "safari", "gauge", "lock.open", "lock.shield",
// "checkmark.shield", "key", "fan", "fan.fill"), drawn in `color` at 16 logical pixels for
// device pixel ratios 1 and 2, so they do not depend on the desktop's icon theme. An unknown
// name gives a null icon (the button then shows its text alone).
QIcon icon(std::string_view name, const QColor& color);

} // namespace aerivo::CurveEditorSymbols
