#ifndef HISTORYVIEW_H
#define HISTORYVIEW_H

#include "history/datasheet.h"
#include "history/history.h"

#include <QWidget>

class ChartView;
class QLineEdit;
class QPushButton;
class QTableWidget;
class ReasonLabel;

// The run history in the window: the runs that match the filters, newest
// first, the trend of the chosen modes over them, and the datasheet table
// across their boards. A run's report opens
// from it, two runs are compared in the results view, and folders measured
// without the history are brought into it.
class HistoryView : public QWidget
{
    Q_OBJECT

public:
    explicit HistoryView(QWidget *parent = nullptr);

    // As --history gives it; empty: PELLMORA_HISTORY, else the default file.
    void setLocation(const QString &option);
    // Reads the history again with the filters as they are.
    void refresh();
    // Showing or comparing runs replaces the results, which a running sweep owns.
    void setResultsActionsEnabled(bool enabled);

    QTableWidget *runsTable() const { return runs; }
    ChartView *trendChart() const { return trend; }
    QTableWidget *datasheetTable() const { return datasheet; }
    QString reason() const;

    static constexpr int shownRuns = 500;

signals:
    void showRequested(const QString &folder);
    void compareRequested(const QString &before, const QString &after);

private:
    std::optional<RunFilter> filter(QString *why) const;
    void fill(const QList<RunEntry> &entries);
    QList<RunEntry> selectedRuns() const;
    void updateButtons();
    void openReport();
    void compareSelected();
    void importFolder();
    void fillDatasheet();
    void saveDatasheet();

    QString location;
    QLineEdit *board;
    QLineEdit *firmware;
    QLineEdit *tag;
    QLineEdit *since;
    QLineEdit *modes;
    ReasonLabel *said;
    QTableWidget *runs;
    ChartView *trend;
    QTableWidget *datasheet;
    Datasheet sheet;
    RunFilter sheetFilter;
    QPushButton *showButton;
    QPushButton *reportButton;
    QPushButton *compareButton;
    QList<RunEntry> shown;
    bool resultsActions = true;
};

#endif // HISTORYVIEW_H
