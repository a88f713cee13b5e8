#ifndef BUDGETCHART_H
#define BUDGETCHART_H

#include "budget/budget.h"
#include "report/chart.h"

// Each line of a budget's share of the period's charge, as a bar, largest
// share in the colour that draws the eye.
class BudgetChart : public Chart
{
public:
    explicit BudgetChart(const Budget &budget);

    void paint(QPainter &painter, const QSizeF &size, double textPixels) const override;
    int modeCount() const override { return int(rows.size()); }

    // As high as its bars need, for a file.
    QSize fileSize() const;

private:
    QList<BudgetRow> rows;
};

#endif // BUDGETCHART_H
