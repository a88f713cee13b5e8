#ifndef CURRENTCHART_H
#define CURRENTCHART_H

#include "report/chart.h"
#include "report/logaxis.h"

#include <QColor>
#include <QList>
#include <QRectF>
#include <QString>

#include <optional>

class QPainter;

// One run's current in one mode: the mean with its spread, or why there is none.
struct ChartMeasure
{
    std::optional<double> mean, min, max;
    QString missing;   // "no current measured", "every reading an overload"
};

// A mode's row: a measure per run (one for a sweep, two for a comparison).
struct ChartRow
{
    QString label;
    QList<ChartMeasure> measures;
    std::optional<double> limitMin, limitMax;
    QString note;          // at the row's end, such as the mean's value or a ratio
    bool flagged = false;  // FAIL, or changed past the threshold
};

struct ChartSeries
{
    QString name;
    QColor colour;
};

// Currents per mode on a logarithmic axis, a row per mode in sweep order,
// a mark per run in each row.
class CurrentChart : public Chart
{
public:
    CurrentChart(const QString &title, const QList<ChartSeries> &series, const QList<ChartRow> &rows);

    void paint(QPainter &painter, const QSizeF &size, double textPixels) const override;
    int modeCount() const override { return rows.size(); }

private:
    // Where things go for one size and text height.
    struct Layout
    {
        double text = 0;
        QRectF plot;         // the rows' area, the axis beneath it
        double rowHeight = 0;
        double x(const LogAxis &axis, double amperes) const;
    };
    Layout layout(const QSizeF &size, double textPixels) const;
    void paintAxis(QPainter &painter, const Layout &where) const;
    void paintRow(QPainter &painter, const Layout &where, int row) const;
    void paintOffAxis(QPainter &painter, const Layout &where, double amperes, double y, const QColor &colour, double textSize) const;
    void paintLegend(QPainter &painter, const Layout &where) const;

    QList<ChartSeries> series;
    QList<ChartRow> rows;
    LogAxis axis;
};

#endif // CURRENTCHART_H
