#pragma once

#include <QColor>
#include <QIcon>

#include <optional>
#include <string_view>

namespace aerivo {

// The symbols the interface shows, named after the product's symbol names.
enum class Symbol {
    fan,             // "fan"
    fanFill,         // "fan.fill"
    sliders,         // "slider.horizontal.3"
    checkmarkShield, // "checkmark.shield"
    key,             // "key"
    quit,            // the quit button
};

// The symbol for a product symbol name ("checkmark.shield"), or nothing for an unknown one.
std::optional<Symbol> symbolNamed(std::string_view name);

// The freedesktop icon name nearest to the symbol, or empty when the naming specification has
// none (the fan).
std::string_view freedesktopIconName(Symbol symbol);

// The icon theme's icon of that name when the theme has one, else a drawing of the symbol in
// `color`, so no button is ever blank on a desktop without an icon theme.
QIcon symbolIcon(Symbol symbol, const QColor& color);

// Only the drawing, whatever the theme holds.
QIcon drawnSymbolIcon(Symbol symbol, const QColor& color);

} // namespace aerivo
