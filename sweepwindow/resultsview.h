#ifndef RESULTSVIEW_H
#define RESULTSVIEW_H

#include "results/resultsfolder.h"

#include <QSplitter>

class ChartView;
class Comparison;
class QTableWidget;

// A run's table and chart side by side, growing row by row as modes finish;
// or two runs compared, with the ratios past the threshold marked.
class ResultsView : public QSplitter
{
    Q_OBJECT

public:
    explicit ResultsView(QWidget *parent = nullptr);

    void showRows(const QList<ResultRow> &rows);
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
