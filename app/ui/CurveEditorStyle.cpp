#include "app/ui/CurveEditorStyle.h"

#include "app/ui/ModeTint.h"

#include <QApplication>
#include <QLabel>

namespace aerivo::CurveEditorStyle {

namespace {

QColor mixed(const QColor& from, const QColor& to, double share) {
    const auto mix = [share](double a, double b) { return a + (b - a) * share; };
    return QColor::fromRgbF(static_cast<float>(mix(from.redF(), to.redF())),
                            static_cast<float>(mix(from.greenF(), to.greenF())),
                            static_cast<float>(mix(from.blueF(), to.blueF())));
}

int pixelSize(TextStyle style) {
    switch (style) {
    case TextStyle::largeTitle:
        return 26;
    case TextStyle::title2:
        return 17;
    case TextStyle::headline:
    case TextStyle::body:
        return 13;
    case TextStyle::callout:
        return 12;
    case TextStyle::caption:
    case TextStyle::caption2:
        return 10;
    }
    return 13;
}

} // namespace

QColor teal() {
    return tealColor();
}

QColor orange() {
    return orangeColor();
}

QColor secondary(const QPalette& palette) {
    return mixed(palette.color(QPalette::WindowText), palette.color(QPalette::Window), 0.5);
}

QColor background(const QPalette& palette) {
    return palette.color(QPalette::Base);
}

QColor material(const QPalette& palette) {
    return mixed(palette.color(QPalette::Window), palette.color(QPalette::Base), 0.55);
}

QColor withOpacity(QColor color, double opacity) {
    color.setAlphaF(static_cast<float>(color.alphaF() * opacity));
    return color;
}

QFont font(TextStyle style, QFont::Weight weight) {
    QFont result = QApplication::font();
    result.setPixelSize(pixelSize(style));
    result.setWeight(style == TextStyle::headline && weight == QFont::Normal ? QFont::Bold
                                                                             : weight);
    return result;
}

QLabel* label(QWidget* parent, TextStyle style, QFont::Weight weight, Tone tone, bool wraps) {
    auto* result = new QLabel(parent);
    result->setFont(font(style, weight));
    if (tone == Tone::secondary) {
        QPalette palette = result->palette();
        palette.setColor(QPalette::WindowText, secondary(palette));
        result->setPalette(palette);
    }
    if (wraps) {
        result->setWordWrap(true);
        result->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);
    }
    result->setTextFormat(Qt::PlainText);
    return result;
}

void setText(QLabel* label, const std::string& text) {
    const QString shown = QString::fromStdString(text);
    if (label->text() != shown) {
        label->setText(shown);
    }
}

} // namespace aerivo::CurveEditorStyle
