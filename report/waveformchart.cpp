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
const QColor eventColour(0xf6, 0xc9, 0x8e, 0xa0);
const QColor partialEventColour(0xf6, 0xc9, 0x8e, 0x50);
const QColor markColour(0x2f, 0x6f, 0xc0, 0x40);

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
    const double rough = std::max(seconds, 1e-5) / 8;
    const double decade = std::pow(10, std::floor(std::log10(rough)));
    for (double multiple : {1.0, 2.0, 5.0}) {
        if (multiple * decade >= rough)
            return multiple * decade;
    }
    return 10 * decade;
}

// A time on the axis, as many decimals as its step needs.
QString timeLabel(double seconds, double step)
{
    if (step < 1) {
        const int decimals = std::max(0, int(std::ceil(-std::log10(step * 1e3 * 1.0001))));
        return QStringLiteral("%1 ms").arg(QLocale::c().toString(seconds * 1e3, 'f', decimals));
    }
    return QStringLiteral("%1 s").arg(QLocale::c().toString(seconds, 'f', 0));
}

} // namespace

WaveformChart::WaveformChart(const QString &chartTitle, const QVector<TraceBin> &traceBins, double eachBinSeconds,
                             double readingsFromSeconds, double originAt, const QVector<ModeEvent> &modeEvents)
    : Chart(chartTitle)
    , bins(traceBins)
    , binSeconds(eachBinSeconds)
    , readingsFrom(readingsFromSeconds)
    , originSeconds(originAt)
    , events(modeEvents)
    // A trace of a steady 1.12 µA is no line along the 1 µA axis.
    , axis(LogAxis::fit(currentsOf(traceBins)).withDecadeBelow())
{
    shown = whole();
}

WaveformChart::Span WaveformChart::whole() const
{
    return {originSeconds, originSeconds + std::max(1, int(bins.size())) * binSeconds};
}

WaveformChart WaveformChart::showing(const Span &view, const std::optional<Span> &mark) const
{
    WaveformChart chart = *this;
    const Span all = whole();
    // No closer than ten bins, and never outside the trace.
    const double least = std::min(all.second - all.first, 10 * binSeconds);
    double from = std::max(all.first, std::min(view.first, view.second));
    double to = std::min(all.second, std::max(view.first, view.second));
    if (to - from < least) {
        const double middle = std::clamp((from + to) / 2, all.first + least / 2, all.second - least / 2);
        from = middle - least / 2;
        to = middle + least / 2;
    }
    chart.shown = {from, to};
    chart.marked = mark;
    return chart;
}

QVector<TraceBin> WaveformChart::columnsOf(int columns) const
{
    const int first = std::clamp(int(std::floor((shown.first - originSeconds) / binSeconds)), 0, int(bins.size()));
    const int last = std::clamp(int(std::ceil((shown.second - originSeconds) / binSeconds)), first, int(bins.size()));
    const int count = last - first;
    if (count <= columns)
        return bins.mid(first, count);
    QVector<TraceBinMerge> merges(columns);
    for (int i = 0; i < count; ++i)
        merges[int(qint64(i) * columns / count)].add(bins.at(first + i));
    QVector<TraceBin> merged;
    merged.reserve(columns);
    for (const TraceBinMerge &column : qAsConst(merges))
        merged << column.result();
    return merged;
}

double WaveformChart::leftOf(double textPixels) const
{
    QStringList labels;
    for (int decade : axis.decades())
        labels << LogAxis::label(decade);
    return textPixels * 0.6 + widest(font(textPixels * 0.95), labels) + textPixels * 0.6;
}

QRectF WaveformChart::plotArea(const QSizeF &size, double textPixels) const
{
    const double margin = textPixels * 0.6;
    return QRectF(QPointF(leftOf(textPixels), margin + textPixels * 2.6),
                  QPointF(size.width() - margin - textPixels * 2.5, size.height() - margin - textPixels * 2.8));
}

double WaveformChart::secondsAt(double x, const QSizeF &size, double textPixels) const
{
    const QRectF plot = plotArea(size, textPixels);
    return shown.first + (x - plot.left()) / plot.width() * (shown.second - shown.first);
}

// The events, partial ones paler, and the span marked, each as a band over the plot's height.
void WaveformChart::paintSpans(QPainter &painter, const QRectF &plot) const
{
    const auto band = [&](double from, double to, const QColor &colour) {
        const double span = shown.second - shown.first;
        const double left = plot.left() + (std::max(from, shown.first) - shown.first) / span * plot.width();
        const double right = plot.left() + (std::min(to, shown.second) - shown.first) / span * plot.width();
        if (right >= left && to >= shown.first && from <= shown.second)
            painter.fillRect(QRectF(QPointF(left, plot.top()), QPointF(std::max(right, left + 1), plot.bottom())), colour);
    };
    for (const ModeEvent &event : events)
        band(event.startS, event.endS(), event.partial ? partialEventColour : eventColour);
    if (marked)
        band(marked->first, marked->second, markColour);
}

void WaveformChart::paint(QPainter &painter, const QSizeF &size, double textPixels) const
{
    painter.fillRect(QRectF(QPointF(0, 0), size), Qt::white);
    const double margin = textPixels * 0.6;
    const double left = leftOf(textPixels);
    const QRectF plot = plotArea(size, textPixels);
    const double span = shown.second - shown.first;
    const auto x = [&](double at) { return plot.left() + (at - shown.first) / span * plot.width(); };
    const auto y = [&](double amperes) { return plot.bottom() - axis.position(amperes) * plot.height(); };

    painter.setPen(ink);
    painter.setFont(font(textPixels * 1.3, true));
    paintTitle(painter, QRectF(plot.left(), margin, plot.width(), textPixels * 1.8));

    // The readings' window, the events, then the decades.
    painter.save();
    painter.setClipRect(plot);
    painter.fillRect(QRectF(QPointF(x(std::clamp(readingsFrom, shown.first, shown.second)), plot.top()), plot.bottomRight()),
                     windowColour);
    paintSpans(painter, plot);
    painter.restore();
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
    // Where the columns begin: the first bin of the view, which may start before it.
    const double firstBin = std::floor((shown.first - originSeconds) / binSeconds) * binSeconds + originSeconds;
    const double columnSeconds = columns.isEmpty() ? span
        : (std::ceil((shown.second - originSeconds) / binSeconds) * binSeconds + originSeconds - firstBin) / columns.size();
    QPainterPath mean;
    bool drawing = false;
    painter.save();
    painter.setClipRect(plot.adjusted(0, -2, 0, 2));
    painter.setPen(QPen(envelopeColour, std::max(1.0, columnSeconds / span * plot.width())));
    for (int i = 0; i < columns.size(); ++i) {
        const TraceBin &column = columns.at(i);
        const double at = x(firstBin + (i + 0.5) * columnSeconds);
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
    painter.restore();

    // The command at time 0 where it is in view, and the window's name.
    painter.setFont(font(textPixels * 0.85, false, true));
    if (shown.first <= 0 && 0 <= shown.second) {
        painter.setPen(QPen(flagColour, 2));
        painter.drawLine(QPointF(x(0), plot.top()), QPointF(x(0), plot.bottom()));
        painter.drawText(QRectF(x(0) + 4, plot.top() - textPixels * 1.2, textPixels * 8, textPixels * 1.2),
                         Qt::AlignLeft | Qt::AlignBottom, QStringLiteral("command"));
    }
    painter.setPen(ink);
    if (readingsFrom >= shown.first && readingsFrom < shown.second) {
        painter.drawText(QRectF(x(readingsFrom) + 4, plot.top() - textPixels * 1.2, textPixels * 12, textPixels * 1.2),
                         Qt::AlignLeft | Qt::AlignBottom, QStringLiteral("readings"));
    }
    painter.setPen(QPen(ink, 1.5));
    painter.drawLine(plot.bottomLeft(), plot.bottomRight());
}

void WaveformChart::paintTimeAxis(QPainter &painter, const QRectF &plot, double textPixels) const
{
    const double span = shown.second - shown.first;
    const double step = timeStep(span);
    painter.setFont(font(textPixels * 0.95));
    for (double at = std::ceil(shown.first / step - 1e-9) * step; at <= shown.second + step * 1e-6; at += step) {
        const double where = plot.left() + (at - shown.first) / span * plot.width();
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
