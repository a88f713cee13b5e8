#ifndef RESULTSVIEW_H
#define RESULTSVIEW_H

#include "report/sweepreport.h"
#include "results/resultsfolder.h"

#include <QSplitter>

class ChartView;
class Comparison;
class WaveformView;
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
    // too; with traces, a mode's waveform when its row is chosen, with the
    // events and every sample the folder kept of it.
    void showRows(const QList<ResultRow> &rows, const ReportContext &context, const QList<ModeTrace> &traces = {},
                  const QString &folder = QString());
    // The mode being measured, its latest milliseconds as a fast meter sends
    // them (the first `originSeconds` after the command already gone), and its events so far.
    void showLive(const QString &title, const QVector<TraceBin> &bins, double readingsFromSeconds, double originSeconds,
                  const QVector<ModeEvent> &events, const std::optional<double> &volts);
    void showComparison(const Comparison &comparison);
    void clear();

    QTableWidget *table() const { return grid; }
    ChartView *chart() const { return view; }
    WaveformView *waveform() const { return waveView; }

    static constexpr int liveMilliseconds = 10000;

private:
    void fill(const QStringList &header, const QList<QStringList> &rows, const QList<RowMark> &marks);
    void showWaveformOf(int row);

    QTableWidget *grid;
    QTabWidget *views;
    ChartView *view;
    WaveformView *waveView;
    QList<ResultRow> shownRows;
    QList<ModeTrace> shownTraces;
    QString shownFolder;
    QList<EventsFile::Row> shownEvents;
};

#endif // RESULTSVIEW_H
