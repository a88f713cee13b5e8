#ifndef RESULTSVIEW_H
#define RESULTSVIEW_H

#include "report/sweepreport.h"
#include "results/resultsfolder.h"

#include <QSplitter>

class ChartView;
class Comparison;
class QTableWidget;
class QTabWidget;

// A run's table above its chart, growing row by row as modes finish; or two
// runs compared, with the changes past the threshold marked. The table is
// tall enough for every mode, and the splitter between the two keeps its
// place from one start to the next.
class ResultsView : public QSplitter
{
    Q_OBJECT

public:
    explicit ResultsView(QWidget *parent = nullptr);

    // With a battery's capacity in the context, each mode's battery life
    // too; with traces, a mode's waveform when its row is chosen.
    void showRows(const QList<ResultRow> &rows, const ReportContext &context, const QList<ModeTrace> &traces = {});
    // The mode being measured, its latest milliseconds as a fast meter sends them.
    void showLive(const QString &title, const QVector<TraceBin> &bins, double readingsFromSeconds);
    void showComparison(const Comparison &comparison);
    void clear();

    QTableWidget *table() const { return grid; }
    ChartView *chart() const { return view; }
    ChartView *waveform() const { return waveView; }

    static constexpr int liveMilliseconds = 10000;

private:
    void fill(const QStringList &header, const QList<QStringList> &rows, const QList<RowMark> &marks);
    void showWaveformOf(int row);

    QTableWidget *grid;
    QTabWidget *views;
    ChartView *view;
    ChartView *waveView;
    QList<ResultRow> shownRows;
    QList<ModeTrace> shownTraces;
};

#endif // RESULTSVIEW_H
