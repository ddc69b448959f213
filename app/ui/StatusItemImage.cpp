#include "app/ui/StatusItemImage.h"

#include "app/ui/SymbolIcons.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QTextBoundaryFinder>

#include <algorithm>

namespace aerivo {

int userPerceivedCharacterCount(const QString& text) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int count = 0;
    while (finder.toNextBoundary() != -1) {
        ++count;
    }
    return count;
}

int statusItemWidth(const QString& text) {
    return std::max(54, userPerceivedCharacterCount(text) * 8 + 30);
}

QPixmap renderStatusItemImage(const QString& text, int width, int height, const QColor& color,
                              qreal devicePixelRatio) {
    QPixmap image(QSize(width, height) * devicePixelRatio);
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(Qt::transparent);

    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const int symbolSize = std::max(8, height - 6);
    const QRect symbolRect(3, (height - symbolSize) / 2, symbolSize, symbolSize);
    symbolIcon(Symbol::fanFill, color).paint(&painter, symbolRect);

    QFont font = QGuiApplication::font();
    font.setPixelSize(std::max(8, height * 13 / 22));
    font.setWeight(QFont::Medium);
    painter.setFont(font);
    painter.setPen(color);
    const QRect textRect(symbolRect.right() + 4, 0, width - symbolRect.right() - 5, height);
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter, text);
    return image;
}

} // namespace aerivo
