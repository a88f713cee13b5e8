#include "report/waveformchart.h"

#include "meter/readings.h"

#include <QLocale>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {

const QColor envelopeColour(0xb9, 0xd0, 0xee);
const QColor meanColour(0x2f, 0x6f, 0xc0);
const QColor windowColour(0xf3, 0xf0, 0xe0);

QList<double> currentsOf(const QVector<TraceBin> &bins)
{
    QList<double> currents;
    for (const TraceBin &bin : bins) {
        if (!bin.empty())
            currents << bin.min << bin.max;
    }
    return currents;
}

// A step for time labels: 1, 2 or 5 times a power of ten, about eight to the axis.
double timeStep(double seconds)
{
    const double rough = std::max(seconds, 1e-3) / 8;
    const double decade = std::pow(10, std::floor(std::log10(rough)));
    for (double multiple : {1.0, 2.0, 5.0}) {
        if (multiple * decade >= rough)
            return multiple * decade;
    }
    return 10 * decade;
}

QString timeLabel(double seconds, double step)
{
    if (step < 1)
        return QStringLiteral("%1 ms").arg(QLocale::c().toString(seconds * 1e3, 'f', step < 1e-3 ? 1 : 0));
    return QStringLiteral("%1 s").arg(QLocale::c().toString(seconds, 'f', 0));
}

} // namespace

WaveformChart::WaveformChart(const QString &chartTitle, const QVector<TraceBin> &traceBins, double eachBinSeconds,
                             double readingsFromSeconds)
    : Chart(chartTitle)
    , bins(traceBins)
    , binSeconds(eachBinSeconds)
    , readingsFrom(readingsFromSeconds)
    // A trace of a steady 1.12 µA is no line along the 1 µA axis.
    , axis(LogAxis::fit(currentsOf(traceBins)).withDecadeBelow())
{
}

QVector<TraceBin> WaveformChart::columnsOf(int columns) const
{
    if (bins.size() <= columns)
        return bins;
    QVector<TraceBinMerge> merges(columns);
    for (int i = 0; i < bins.size(); ++i)
        merges[int(qint64(i) * columns / bins.size())].add(bins.at(i));
    QVector<TraceBin> merged;
    merged.reserve(columns);
    for (const TraceBinMerge &column : qAsConst(merges))
        merged << column.result();
    return merged;
}

void WaveformChart::paint(QPainter &painter, const QSizeF &size, double textPixels) const
{
    painter.fillRect(QRectF(QPointF(0, 0), size), Qt::white);
    const double margin = textPixels * 0.6;
    QStringList labels;
    for (int decade : axis.decades())
        labels << LogAxis::label(decade);
    const double left = margin + widest(font(textPixels * 0.95), labels) + textPixels * 0.6;
    const QRectF plot(QPointF(left, margin + textPixels * 2.6),
                      QPointF(size.width() - margin - textPixels * 2.5, size.height() - margin - textPixels * 2.8));
    const double seconds = std::max(1, int(bins.size())) * binSeconds;
    const auto x = [&](double at) { return plot.left() + at / seconds * plot.width(); };
    const auto y = [&](double amperes) { return plot.bottom() - axis.position(amperes) * plot.height(); };

    painter.setPen(ink);
    painter.setFont(font(textPixels * 1.3, true));
    paintTitle(painter, QRectF(plot.left(), margin, plot.width(), textPixels * 1.8));

    // The readings' window, then the decades.
    painter.fillRect(QRectF(QPointF(x(std::clamp(readingsFrom, 0.0, seconds)), plot.top()), plot.bottomRight()), windowColour);
    painter.setFont(font(textPixels * 0.95));
    for (int decade : axis.decades()) {
        const double at = plot.bottom() - double(decade - axis.firstDecade()) / (axis.lastDecade() - axis.firstDecade()) * plot.height();
        painter.setPen(QPen(grid, 1));
        painter.drawLine(QPointF(plot.left(), at), QPointF(plot.right(), at));
        painter.setPen(ink);
        painter.drawText(QRectF(margin, at - textPixels, left - margin - textPixels * 0.4, textPixels * 2),
                         Qt::AlignRight | Qt::AlignVCenter, LogAxis::label(decade));
    }
    paintTimeAxis(painter, plot, textPixels);

    // The envelope as a band, the mean over it.
    const QVector<TraceBin> columns = columnsOf(std::max(1, int(plot.width())));
    const double columnSeconds = seconds / columns.size();
    QPainterPath mean;
    bool drawing = false;
    painter.setPen(QPen(envelopeColour, std::max(1.0, plot.width() / columns.size())));
    for (int i = 0; i < columns.size(); ++i) {
        const TraceBin &column = columns.at(i);
        const double at = x((i + 0.5) * columnSeconds);
        if (column.empty()) {
            drawing = false;
            continue;
        }
        painter.drawLine(QPointF(at, y(column.max)), QPointF(at, y(column.min)));
        const QPointF point(at, y(column.mean));
        drawing ? mean.lineTo(point) : mean.moveTo(point);
        drawing = true;
    }
    painter.setPen(QPen(meanColour, 1.5));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(mean);

    // The command at time 0, and the window's name.
    painter.setPen(QPen(flagColour, 2));
    painter.drawLine(QPointF(plot.left(), plot.top()), QPointF(plot.left(), plot.bottom()));
    painter.setFont(font(textPixels * 0.85, false, true));
    painter.drawText(QRectF(plot.left() + 4, plot.top() - textPixels * 1.2, textPixels * 8, textPixels * 1.2),
                     Qt::AlignLeft | Qt::AlignBottom, QStringLiteral("command"));
    painter.setPen(ink);
    if (readingsFrom < seconds) {
        painter.drawText(QRectF(x(readingsFrom) + 4, plot.top() - textPixels * 1.2, textPixels * 12, textPixels * 1.2),
                         Qt::AlignLeft | Qt::AlignBottom, QStringLiteral("readings"));
    }
    painter.setPen(QPen(ink, 1.5));
    painter.drawLine(plot.bottomLeft(), plot.bottomRight());
}

void WaveformChart::paintTimeAxis(QPainter &painter, const QRectF &plot, double textPixels) const
{
    const double seconds = std::max(1, int(bins.size())) * binSeconds;
    const double step = timeStep(seconds);
    painter.setFont(font(textPixels * 0.95));
    for (double at = 0; at <= seconds + 1e-9; at += step) {
        const double where = plot.left() + at / seconds * plot.width();
        painter.setPen(QPen(grid, 1));
        painter.drawLine(QPointF(where, plot.top()), QPointF(where, plot.bottom()));
        painter.setPen(ink);
        painter.drawText(QRectF(where - textPixels * 4, plot.bottom() + textPixels * 0.3, textPixels * 8, textPixels * 1.3),
                         Qt::AlignCenter, timeLabel(at, step));
    }
    painter.setFont(font(textPixels * 0.9, false, true));
    painter.drawText(QRectF(plot.left(), plot.bottom() + textPixels * 1.5, plot.width(), textPixels * 1.3), Qt::AlignCenter,
                     QStringLiteral("time from the mode's command; current on a logarithmic axis"));
}
