#include "sweepwindow/chartview.h"

#include <QFontInfo>
#include <QPainter>

ChartView::ChartView(QWidget *parent)
    : QWidget(parent)
{
    setMinimumSize(360, 180);
}

void ChartView::setChart(std::shared_ptr<const Chart> newChart)
{
    chart = std::move(newChart);
    update();
}

void ChartView::clear()
{
    chart.reset();
    update();
}

QSize ChartView::sizeHint() const
{
    return QSize(Chart::width / 2, Chart::height / 2);
}

// Laid out anew for the pane, its text as high as the window's own.
void ChartView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    if (!chart)
        return;
    painter.setRenderHint(QPainter::Antialiasing);
    chart->paint(painter, size(), QFontInfo(font()).pixelSize());
}
