#ifndef SWEEPWINDOW_H
#define SWEEPWINDOW_H

#include "meter/modecapture.h"
#include "sweep/sweep.h"

#include <QMainWindow>

#include <memory>

class BudgetView;
class HistoryView;
class ModeTable;
class ReportWriter;
class QLabel;
class QProgressBar;
class QPushButton;
class QScrollArea;
class QSettings;
class QSplitter;
class QTabWidget;
class ReadingEntry;
class ReasonLabel;
class ResetBanner;
class ResultsView;
class SetupForm;

// Pellmora Sweep: the whole characterisation in one window. It sets a sweep
// up, drives the same Sweep as pellmora-sweep run, shows the table and chart
// growing mode by mode, asks for the reset button in a banner, and writes the
// same results folder and history; afterwards it opens, compares and
// reviews results, and its History tab shows every run recorded.
class SweepWindow : public QMainWindow
{
    Q_OBJECT

public:
    // Its settings in the user's own place, or in `settingsFile` (an INI
    // file), as a window on simulators keeps them apart from the user's.
    explicit SweepWindow(const QString &settingsFile = QString(), QWidget *parent = nullptr);
    ~SweepWindow() override;

    SetupForm *setupForm() const { return setup; }
    ModeTable *modeTable() const { return modes; }
    ResultsView *resultsView() const { return results; }
    HistoryView *historyView() const { return history; }
    QString lastFolder() const { return folder; }
    bool isRunning() const { return sweep != nullptr; }

    void start();
    void resume();
    void stop();
    // Stops a sweep under way without asking, then closes: as the session
    // ends (SIGTERM) or Ctrl+C in the terminal that started the window.
    void stopAndClose();
    // Shows an earlier results folder; false with the reason where it cannot.
    bool showResults(const QString &folder, QString *error);
    // Where sweeps are recorded and the History tab reads, as --history
    // gives it; empty: PELLMORA_HISTORY, else the default file.
    void setHistoryLocation(const QString &option);

signals:
    void sweepEnded(Sweep::Outcome outcome);

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QWidget *buildSetup();
    QWidget *buildRun();
    std::optional<SweepSettings> settings(QString *error) const;
    void begin(const QString &resumed);
    bool canResume() const;
    void holdModesOf(const QList<ResultRow> &rows);
    void checkStart();
    void showProgress(int position, int count, double secondsLeft);
    void finishRun(Sweep::Outcome outcome, const QString &message);
    void loadFile(bool plan);
    void saveFile(bool plan);
    void openResults();
    void compareWith();
    void showLiveBins(int index, const QVector<TraceBin> &bins);
    void compare(const QString &before, const QString &after);
    void saveSettings() const;
    void restoreSettings();
    std::unique_ptr<QSettings> settingsStore() const;
    QRect availableArea() const;
    void placeOnScreen(const QByteArray &savedGeometry);
    void setRunning(bool running);

    QString settingsPath;   // empty: the user's own settings
    SetupForm *setup;
    ModeTable *modes;
    ReasonLabel *tableReason;
    QPushButton *startButton;
    QPushButton *stopButton;
    QPushButton *resumeButton;
    QPushButton *openButton = nullptr;
    QProgressBar *progress;
    QLabel *status;
    ResetBanner *banner;
    ReadingEntry *entry;
    ResultsView *results;
    HistoryView *history;
    BudgetView *budget;
    QTabWidget *tabs = nullptr;
    QString historyOption;
    bool panesPlaced = false;   // by the user, or as the settings left them
    ReportWriter *report;
    QList<QPushButton *> afterRunButtons;
    QScrollArea *setupPanel;
    QSplitter *panes = nullptr;
    std::unique_ptr<Sweep> sweep;
    QString folder;   // of the last run, or the results opened
    QVector<TraceBin> liveBins;   // of the mode being measured, from a fast meter
    QVector<ModeEvent> liveEvents;
    qint64 liveTrimmed = 0;       // milliseconds of it no longer shown
    QList<int> heldModes;   // the modes that folder holds
    bool closeWhenStopped = false;
};

#endif // SWEEPWINDOW_H
