#ifndef CHART_H
#define CHART_H

#include <QByteArray>
#include <QColor>
#include <QFont>
#include <QSize>
#include <QSizeF>
#include <QString>

class QPainter;
class QPointF;
class QRectF;

// A chart of currents, drawn with QPainter to an SVG whose texts stay text,
// to a PNG, or onto a widget. It is laid out for the size and text height it
// is drawn at.
class Chart
{
public:
    virtual ~Chart() = default;

    virtual void paint(QPainter &painter, const QSizeF &size, double textPixels) const = 0;
    virtual int modeCount() const = 0;   // the modes it shows

    // 1600 × 900 unless another size is given, with text 18 pixels high.
    QByteArray svg(const QSize &size = QSize(width, height)) const;
    QByteArray png(const QSize &size = QSize(width, height)) const;

    static constexpr int width = 1600;
    static constexpr int height = 900;
    static constexpr double fileTextPixels = 18;

    static const QColor ink;
    static const QColor grid;
    static const QColor flagColour;   // limits, FAIL, changes

protected:
    explicit Chart(const QString &title);

    static QFont font(double pixelSize, bool bold = false, bool italic = false);
    // The title in the room given, in the painter's font, cut short with an
    // ellipsis where a narrow pane has not the room for it whole.
    void paintTitle(QPainter &painter, const QRectF &room) const;
    // A line with round ends, drawn with the painter's pen as a path: as a
    // polyline with round caps, ImageMagick's own SVG renderer refuses it
    // and draws nothing after it.
    static void drawRoundEnded(QPainter &painter, const QPointF *points, int count);
    static void drawRoundEnded(QPainter &painter, QPointF from, QPointF to);
    static double widest(const QFont &font, const QStringList &texts);

    QString title;
};

#endif // CHART_H
