#ifndef RESULTSVIEW_H
#define RESULTSVIEW_H

#include "report/sweepreport.h"

#include <QSplitter>

class ChartView;
class Comparison;
class QTableWidget;

// A run's table above its chart, growing row by row as modes finish; or two
// runs compared, with the changes past the threshold marked. The table is
// tall enough for every mode, and the splitter between the two keeps its
// place from one start to the next.
class ResultsView : public QSplitter
{
    Q_OBJECT

public:
    explicit ResultsView(QWidget *parent = nullptr);

    // With a battery's capacity in the context, each mode's battery life too.
    void showRows(const QList<ResultRow> &rows, const ReportContext &context);
    void showComparison(const Comparison &comparison);
    void clear();

    QTableWidget *table() const { return grid; }
    ChartView *chart() const { return view; }

private:
    void fill(const QStringList &header, const QList<QStringList> &rows, const QList<bool> &flagged);

    QTableWidget *grid;
    ChartView *view;
};

#endif // RESULTSVIEW_H
