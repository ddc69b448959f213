#pragma once

#include <QColor>
#include <QIcon>

#include <string_view>

namespace aerivo::CurveEditorSymbols {

// The editor's button symbols by their product names, drawn in `color`, so they do not depend on
// the desktop's icon theme: "plus", "minus", "arrow.clockwise", "arrow.triangle.2.circlepath",
// "safari", "gauge", "lock.open" and "lock.shield" here, at 16 logical pixels for device pixel
// ratios 1 and 2; the ones the panel uses too ("fan", "fan.fill", "checkmark.shield", "key")
// from SymbolIcons. An unknown name gives a null icon (the button then shows its text alone).
QIcon icon(std::string_view name, const QColor& color);

} // namespace aerivo::CurveEditorSymbols
