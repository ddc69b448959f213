#pragma once

#include <QColor>
#include <QPixmap>
#include <QString>

namespace aerivo {

// The number of user-perceived characters (grapheme clusters) of a text: a flag or a family
// emoji made of several code points counts once, a letter with a combining accent once.
int userPerceivedCharacterCount(const QString& text);

// The status item's width in points for its text: max(54, characters × 8 + 30).
int statusItemWidth(const QString& text);

// The status item as one picture: the fan symbol at the left, the text beside it, drawn in
// `color` on a transparent background, `width` × `height` points at the screen's pixel ratio.
QPixmap renderStatusItemImage(const QString& text, int width, int height, const QColor& color,
                              qreal devicePixelRatio);

} // namespace aerivo
