#ifndef TRENDCHART_H
#define TRENDCHART_H

#include "report/chart.h"
#include "report/logaxis.h"

#include <QList>
#include <QRectF>
#include <QStringList>

#include <optional>

// One mode's mean current, run after run.
struct TrendLine
{
    QString label;                        // "13 RUN-while (1) Range 1, 80MHz"
    QVector<std::optional<double>> means;   // one per run, oldest first; none where the run has no current for it
    QVector<bool> failed;                   // FAIL by its limits in that run
};

// The mean current of several modes over many runs: a line per mode on a
// logarithmic current axis, the runs along the bottom in time order and
// labelled by firmware (or date), FAIL points ringed in red. A line breaks
// where a run has no current for its mode.
class TrendChart : public Chart
{
public:
    TrendChart(const QString &title, const QStringList &runLabels, const QList<TrendLine> &lines);

    void paint(QPainter &painter, const QSizeF &size, double textPixels) const override;
    int modeCount() const override { return lines.size(); }
    int runCount() const { return runLabels.size(); }
    // The legend's entries, a line's each.
    QStringList lineLabels() const;

    // The colour of the line at this position.
    static QColor colour(int line);

private:
    struct Layout
    {
        double text = 0;
        QRectF plot;
        QRectF legend;
        double entryHeight = 0;
        int runs = 0;
        double x(int run) const;
        double y(const LogAxis &axis, double amperes) const;
    };
    struct Column;
    Layout layout(const QSizeF &size, double textPixels) const;
    QList<Column> columnsOf(const Layout &where, const TrendLine &line) const;
    void paintAxes(QPainter &painter, const Layout &where) const;
    void paintLine(QPainter &painter, const Layout &where, int line) const;
    void paintLegend(QPainter &painter, const Layout &where) const;

    QStringList runLabels;
    QList<TrendLine> lines;
    LogAxis axis;
};

#endif // TRENDCHART_H
