#ifndef WAVEFORMCHART_H
#define WAVEFORMCHART_H

#include "meter/modecapture.h"
#include "report/chart.h"
#include "report/logaxis.h"

#include <QVector>

// A mode's current from its command to the end of its readings: the 1 ms
// envelope (the lowest and highest sample of each millisecond) with its
// mean, on a logarithmic current axis, the command at time 0 and the
// readings' window shaded. Bins narrower than a pixel are merged.
class WaveformChart : public Chart
{
public:
    WaveformChart(const QString &title, const QVector<TraceBin> &bins, double binSeconds, double readingsFromSeconds);

    void paint(QPainter &painter, const QSizeF &size, double textPixels) const override;
    int modeCount() const override { return 1; }

    static constexpr int fileHeight = 450;   // as wide as the other charts, lower

private:
    // The bins merged into at most `columns` columns.
    QVector<TraceBin> columnsOf(int columns) const;
    void paintTimeAxis(QPainter &painter, const QRectF &plot, double textPixels) const;

    QVector<TraceBin> bins;
    double binSeconds;
    double readingsFrom;
    LogAxis axis;
};

#endif // WAVEFORMCHART_H
