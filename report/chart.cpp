#include "report/chart.h"

#include "report/markuptext.h"
#include "report/pngencoder.h"

#include <QBuffer>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QSvgGenerator>

const QColor Chart::ink(0x1f, 0x23, 0x2b);
const QColor Chart::grid(0xd5, 0xd9, 0xe0);
const QColor Chart::flagColour(0xd0, 0x2f, 0x2f);

Chart::Chart(const QString &chartTitle)
    : title(MarkupText::printable(chartTitle))
{
}

QByteArray Chart::svg(const QSize &size) const
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator generator;
    generator.setOutputDevice(&buffer);
    generator.setSize(size);
    generator.setViewBox(QRect(QPoint(0, 0), size));
    generator.setTitle(title);
    QPainter painter(&generator);
    paint(painter, QSizeF(size), fileTextPixels);
    painter.end();
    return buffer.data();
}

QByteArray Chart::png(const QSize &size) const
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    paint(painter, QSizeF(size), fileTextPixels);
    painter.end();
    return PngEncoder::encode(image);
}

void Chart::paintTitle(QPainter &painter, const QRectF &room) const
{
    painter.drawText(room, Qt::AlignLeft | Qt::AlignVCenter,
                     QFontMetricsF(painter.font()).elidedText(title, Qt::ElideRight, room.width()));
}

void Chart::drawRoundEnded(QPainter &painter, const QPointF *points, int count)
{
    if (count < 2)
        return;
    QPainterPath path(points[0]);
    for (int i = 1; i < count; ++i)
        path.lineTo(points[i]);
    painter.drawPath(path);
}

void Chart::drawRoundEnded(QPainter &painter, QPointF from, QPointF to)
{
    const QPointF ends[] = {from, to};
    drawRoundEnded(painter, ends, 2);
}

QFont Chart::font(double pixelSize, bool bold, bool italic)
{
    QFont chosen(QStringLiteral("Liberation Sans"));
    chosen.setStyleHint(QFont::SansSerif);
    chosen.setPixelSize(std::max(1, int(pixelSize + 0.5)));
    chosen.setBold(bold);
    chosen.setItalic(italic);
    return chosen;
}

double Chart::widest(const QFont &font, const QStringList &texts)
{
    const QFontMetricsF metrics(font);
    double widest = 0;
    for (const QString &text : texts)
        widest = std::max(widest, metrics.horizontalAdvance(text));
    return widest;
}
