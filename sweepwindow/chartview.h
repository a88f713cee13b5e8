#ifndef CHARTVIEW_H
#define CHARTVIEW_H

#include "report/chart.h"

#include <QWidget>

#include <memory>

// Shows a chart of the report or the history, drawn for the widget's size.
class ChartView : public QWidget
{
    Q_OBJECT

public:
    explicit ChartView(QWidget *parent = nullptr);

    void setChart(std::shared_ptr<const Chart> chart);
    void clear();
    int modeCount() const { return chart ? chart->modeCount() : 0; }
    const Chart *shown() const { return chart.get(); }

protected:
    void paintEvent(QPaintEvent *event) override;
    QSize sizeHint() const override;

private:
    std::shared_ptr<const Chart> chart;
};

#endif // CHARTVIEW_H
