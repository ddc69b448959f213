#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

#include <string>

class QLabel;
class QWidget;

namespace aerivo::CurveEditorStyle {

// The editor's colours. Teal and orange are the interface's fixed accents (ModeTint: the Mac's
// system teal and orange, which read on light and dark backgrounds alike); secondary and
// background follow the widget's palette so a dark palette keeps its contrast.
QColor teal();
QColor orange();
// Secondary for the graph and the editor's captions: the palette's text colour half-way towards
// the window colour, opaque. The panel's secondary (the placeholder role) is translucent; the
// graph applies its own opacities on top, which should mean the same on every palette.
QColor secondary(const QPalette& palette);
// What labels and points are filled with: the palette's base (white on a light palette).
QColor background(const QPalette& palette);
// The rounded panels the graph and the status cards sit on.
QColor material(const QPalette& palette);
QColor withOpacity(QColor color, double opacity);

// Text styles, in logical pixels (one pixel per Mac point).
enum class TextStyle { largeTitle, title2, headline, body, callout, caption, caption2 };
QFont font(TextStyle style, QFont::Weight weight = QFont::Normal);

enum class Tone { primary, secondary };
// A label in a text style; wrapping labels break between words and grow downwards.
QLabel* label(QWidget* parent, TextStyle style, QFont::Weight weight = QFont::Normal,
              Tone tone = Tone::primary, bool wraps = false);
// Sets the text only when it differs, so an unchanged refresh costs no relayout.
void setText(QLabel* label, const std::string& text);

} // namespace aerivo::CurveEditorStyle
