#ifndef WAVEFORMCHART_H
#define WAVEFORMCHART_H

#include "meter/modecapture.h"
#include "report/chart.h"
#include "report/logaxis.h"

#include <QPair>
#include <QVector>

#include <optional>

// A mode's current from its command to the end of its readings: the 1 ms
// envelope (the lowest and highest sample of each millisecond) with its
// mean, on a logarithmic current axis, the command at time 0, the readings'
// window and the mode's events shaded. Bins narrower than a pixel are
// merged. It may show a part of its time only, and mark a span chosen in it.
class WaveformChart : public Chart
{
public:
    using Span = QPair<double, double>;   // seconds from the command, from and to

    // `originSeconds`: the time of the first bin (a live view's latest seconds start later).
    WaveformChart(const QString &title, const QVector<TraceBin> &bins, double binSeconds, double readingsFromSeconds,
                  double originSeconds = 0, const QVector<ModeEvent> &events = {});

    void paint(QPainter &painter, const QSizeF &size, double textPixels) const override;
    int modeCount() const override { return 1; }

    // The same chart showing `view` only (clamped to its time), with `marked` shaded.
    WaveformChart showing(const Span &view, const std::optional<Span> &marked) const;
    Span whole() const;
    Span view() const { return shown; }
    // Where the plot lies when drawn at this size, and the time at a point's x.
    QRectF plotArea(const QSizeF &size, double textPixels) const;
    double secondsAt(double x, const QSizeF &size, double textPixels) const;

    const QVector<TraceBin> &traceBins() const { return bins; }
    double secondsPerBin() const { return binSeconds; }
    double origin() const { return originSeconds; }
    const QVector<ModeEvent> &modeEvents() const { return events; }

    static constexpr int fileHeight = 450;   // as wide as the other charts, lower

private:
    // The bins of the view merged into at most `columns` columns.
    QVector<TraceBin> columnsOf(int columns) const;
    void paintTimeAxis(QPainter &painter, const QRectF &plot, double textPixels) const;
    void paintSpans(QPainter &painter, const QRectF &plot) const;
    double leftOf(double textPixels) const;

    QVector<TraceBin> bins;
    double binSeconds;
    double readingsFrom;
    double originSeconds;
    QVector<ModeEvent> events;
    Span shown;
    std::optional<Span> marked;
    LogAxis axis;
};

#endif // WAVEFORMCHART_H
