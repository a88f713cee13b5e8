#ifndef CURRENTCHART_H
#define CURRENTCHART_H

#include "report/logaxis.h"

#include <QColor>
#include <QList>
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
    QString note;          // at the row's end, such as a ratio
    bool flagged = false;  // FAIL, or changed past the threshold
};

struct ChartSeries
{
    QString name;
    QColor colour;
};

// Currents per mode on a logarithmic axis, a row per mode in sweep order,
// drawn with QPainter to an SVG whose texts stay text, or to a PNG.
class CurrentChart
{
public:
    CurrentChart(const QString &title, const QList<ChartSeries> &series, const QList<ChartRow> &rows);

    QByteArray svg() const;
    QByteArray png() const;
    // Onto a painter whose area is width × height.
    void paint(QPainter &painter) const;
    int rowCount() const { return rows.size(); }

    static constexpr int width = 1600;
    static constexpr int height = 900;

private:
    void paintAxis(QPainter &painter) const;
    void paintRow(QPainter &painter, int row) const;
    void paintOffAxis(QPainter &painter, double amperes, double y, const QColor &colour, int textSize) const;
    void paintLegend(QPainter &painter) const;
    double x(double amperes) const;

    QString title;
    QList<ChartSeries> series;
    QList<ChartRow> rows;
    LogAxis axis;
};

#endif // CURRENTCHART_H
