#include "sweepwindow/chartview.h"

#include <QPainter>

ChartView::ChartView(QWidget *parent)
    : QWidget(parent)
{
    setMinimumSize(480, 270);
}

void ChartView::setChart(const CurrentChart &newChart)
{
    chart = newChart;
    update();
}

void ChartView::clear()
{
    chart.reset();
    update();
}

QSize ChartView::sizeHint() const
{
    return QSize(CurrentChart::width / 2, CurrentChart::height / 2);
}

void ChartView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    if (!chart)
        return;
    const double scale = std::min(double(width()) / CurrentChart::width, double(height()) / CurrentChart::height);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate((width() - CurrentChart::width * scale) / 2, (height() - CurrentChart::height * scale) / 2);
    painter.scale(scale, scale);
    chart->paint(painter);
}
