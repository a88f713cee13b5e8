#ifndef CHARTVIEW_H
#define CHARTVIEW_H

#include "report/currentchart.h"

#include <QWidget>

#include <optional>

// Shows a chart of the report, drawn for the widget's size.
class ChartView : public QWidget
{
    Q_OBJECT

public:
    explicit ChartView(QWidget *parent = nullptr);

    void setChart(const CurrentChart &chart);
    void clear();
    int rowCount() const { return chart ? chart->rowCount() : 0; }   // modes shown

protected:
    void paintEvent(QPaintEvent *event) override;
    QSize sizeHint() const override;

private:
    std::optional<CurrentChart> chart;
};

#endif // CHARTVIEW_H
