// Pellmora Sweep's parts that can break: the modes table through the plan and
// limits files, the typed reading's entry field, and Stop keeping what has
// finished. Real widgets on the offscreen platform, against the simulated
// board and meter.
#include "history/folderimport.h"
#include "history/history.h"
#include "settings/planfiles.h"
#include "sweepwindow/historyview.h"
#include "sweepwindow/modetable.h"
#include "sweepwindow/resultsview.h"
#include "sweepwindow/waveformview.h"
#include "sweepwindow/runprompts.h"
#include "sweepwindow/setupform.h"
#include "sweepwindow/sweepwindow.h"
#include "report/trendchart.h"
#include "sweepwindow/chartview.h"
#include "meter/scpimeter.h"
#include "simulator/boardsimulator.h"
#include "simulator/ppk2simulator.h"
#include "simulator/scpiserver.h"
#include "simulator/supplysimulator.h"
#include "sweepwindow/powerfields.h"
#include "tests/support/resultsfixture.h"
#include "tests/support/scriptedmeter.h"
#include "tests/support/simulatedbench.h"

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableWidget>
#include <QtTest>

class SweepWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void modeTableRoundTripsThroughPlanAndLimitsFiles();
    void entryFieldTakesReadingsAndSaysWhyItRefusesATypo_data();
    void entryFieldTakesReadingsAndSaysWhyItRefusesATypo();
    void stopKeepsTheFinishedModes();
    void tableMarksEveryInvalidCellAtOnce();
    void emptyCellsKeepTheirDefaults();
    void startWantsAMeterThatAnsweredAndAMode();
    void closingAsTheSweepEndsIsSafe();
    void aFolderThatCannotTakeResultsDisablesStart();
    void resumeAfterStopMeasuresEachModeOnce();
    void historyTabListsRunsComparesTwoAndDrawsTheTrend();
    void theTrendIsOneBoardsAndReadable();
    void supplyUnitPowersTheBoardAtEachVoltage();
    void aPowerProfilerKitShowsEachModesWaveform();
    void resultsShowAFailInRedAndADoubtInAmber();
    void opensInsideTheScreenAtItsSavedSize();
    void everythingIsInReachOnABenchLaptop_data();
    void everythingIsInReachOnABenchLaptop();
    void aSimulatorsResetNeverComesBack_data();
    void aSimulatorsResetNeverComesBack();

private:
    QTemporaryDir scratch;
};

void SweepWindowTest::initTestCase()
{
    // The window's remembered settings go to a folder of the test's own.
    qputenv("XDG_CONFIG_HOME", scratch.filePath(QStringLiteral("config")).toLocal8Bit());
    qputenv("PELLMORA_HISTORY", "none");
    QCoreApplication::setOrganizationName(QStringLiteral("Pellmora tests"));
}

void SweepWindowTest::modeTableRoundTripsThroughPlanAndLimitsFiles()
{
    // Currents typed as an engineer types them; the files get plain numbers.
    ModeTable edited;
    const QList<QPair<QPair<int, int>, QString>> cells = {
        {{0, ModeTable::Range}, "1uA"}, {{0, ModeTable::Nplc}, "10"}, {{0, ModeTable::Settle}, "5"},
        {{13, ModeTable::Samples}, "20"}, {{13, ModeTable::LimitMax}, "0.012"}, {{1, ModeTable::LimitMin}, "10 nA"},
        {{9, ModeTable::LimitMax}, "0.25m"}, {{10, ModeTable::Range}, "auto"},
    };
    for (const auto &cell : cells)
        edited.item(cell.first.first, cell.first.second)->setText(cell.second);
    const QString plan = scratch.filePath(QStringLiteral("plan.csv"));
    const QString limits = scratch.filePath(QStringLiteral("limits.csv"));
    QString error;
    QVERIFY2(edited.savePlan(plan, &error) && edited.saveLimits(limits, &error), qPrintable(error));
    QFile planFile(plan);
    QVERIFY(planFile.open(QIODevice::ReadOnly));
    QCOMPARE(planFile.readAll(), QByteArray("index,range,nplc,settle_s,samples\n0,1e-06,10,5,\n10,auto,,,\n13,,,,20\n"));
    QFile limitsFile(limits);
    QVERIFY(limitsFile.open(QIODevice::ReadOnly));
    QCOMPARE(limitsFile.readAll(), QByteArray("index,min_a,max_a\n1,1e-08,\n9,,0.00025\n13,,0.012\n"));

    ModeTable loaded;
    QVERIFY2(loaded.loadPlan(plan, &error) && loaded.loadLimits(limits, &error), qPrintable(error));
    QCOMPARE(loaded.item(0, ModeTable::Range)->text(), QStringLiteral("1 \u00b5A"));
    QCOMPARE(loaded.item(1, ModeTable::LimitMin)->text(), QStringLiteral("10 nA"));
    QCOMPARE(loaded.item(9, ModeTable::LimitMax)->text(), QStringLiteral("250 \u00b5A"));
    QCOMPARE(loaded.item(13, ModeTable::LimitMax)->text(), QStringLiteral("12 mA"));
    // The files are the command line's: it reads them back to the same settings.
    const auto commandLinePlan = PlanFiles::loadPlan(plan, &error);
    QVERIFY2(commandLinePlan, qPrintable(error));
    QCOMPARE(commandLinePlan->value(0).over(ModePlan()).meter.range, std::optional<double>(1e-6));
    QCOMPARE(commandLinePlan->value(13).over(ModePlan()).meter.samples, 20);
    QCOMPARE(PlanFiles::loadLimits(limits, &error)->value(13).max, std::optional<double>(0.012));

    edited.item(4, ModeTable::Nplc)->setText(QStringLiteral("0,5"));
    QVERIFY(!edited.plan());
    const QString reason = edited.item(4, ModeTable::Nplc)->toolTip();
    QVERIFY2(reason.contains(QLatin1String("0,5")), qPrintable(reason));
}

void SweepWindowTest::entryFieldTakesReadingsAndSaysWhyItRefusesATypo_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("taken");
    QTest::newRow("micro") << "12.3u" << true;
    QTest::newRow("milliamperes") << "4.5 mA" << true;
    QTest::newRow("decimal comma") << "12,3u" << false;
    QTest::newRow("letters") << "twelve" << false;
}

void SweepWindowTest::entryFieldTakesReadingsAndSaysWhyItRefusesATypo()
{
    QFETCH(QString, typed);
    QFETCH(bool, taken);
    ReadingEntry entry;
    QSignalSpy entered(&entry, &ReadingEntry::readingEntered);
    entry.ask(QStringLiteral("mode 0, reading 1 of 1:"));
    auto *field = entry.findChild<QLineEdit *>();
    QTest::keyClicks(field, typed);
    QTest::keyClick(field, Qt::Key_Return);

    QCOMPARE(entered.size(), taken ? 1 : 0);
    QCOMPARE(entry.isVisible(), !taken);
    if (!taken) {
        const QString shown = entry.findChildren<QLabel *>().last()->text();
        QVERIFY2(shown.contains(typed) && shown.contains(QLatin1String("12.3u")), qPrintable(shown));
    }
}

void SweepWindowTest::stopKeepsTheFinishedModes()
{
    // Board and meter in a process of their own, as real ones are: they answer
    // while this one is busy drawing, which under the sanitizers takes seconds.
    SimulatedBench bench(false);
    SweepWindow window;
    window.show();
    auto *start = window.findChild<QPushButton *>(QStringLiteral("start"));

    window.setupForm()->setPort(QStringLiteral("/dev/no-such-board"));
    QVERIFY(!start->isEnabled());
    window.setupForm()->setPort(bench.port());
    window.setupForm()->setMeter(bench.meter());
    window.setupForm()->setReset(QStringLiteral("none"));
    window.setupForm()->setBootSeconds(0);
    window.setupForm()->setResultsFolder(scratch.filePath(QStringLiteral("results")));
    for (int mode = 0; mode < 18; ++mode) {
        window.modeTable()->item(mode, ModeTable::Settle)->setText(QStringLiteral("0.1"));
        window.modeTable()->item(mode, ModeTable::Samples)->setText(QStringLiteral("2"));
    }
    QVERIFY(start->isEnabled());

    qRegisterMetaType<Sweep::Outcome>();
    QSignalSpy ended(&window, &SweepWindow::sweepEnded);
    start->click();
    QTRY_VERIFY_WITH_TIMEOUT(window.resultsView()->table()->rowCount() >= 3, 20000);
    window.findChild<QPushButton *>(QStringLiteral("stop"))->click();
    QTRY_COMPARE(ended.size(), 1);
    QCOMPARE(ended.first().first().value<Sweep::Outcome>(), Sweep::Stopped);

    QString error;
    const auto kept = ResultsFolder::readRows(window.lastFolder(), &error);
    QVERIFY2(kept, qPrintable(error));
    QVERIFY(kept->size() >= 3 && kept->size() < 18);
    QCOMPARE(window.resultsView()->table()->rowCount(), kept->size());
    QCOMPARE(window.resultsView()->chart()->modeCount(), kept->size());
    QVERIFY(QFileInfo::exists(window.lastFolder() + QStringLiteral("/report.html")));
    QVERIFY(start->isEnabled());
}

void SweepWindowTest::tableMarksEveryInvalidCellAtOnce()
{
    ModeTable table;
    const QList<QPair<QPair<int, int>, QString>> invalid = {
        {{2, ModeTable::Nplc}, "0,5"}, {{5, ModeTable::Settle}, "1e9"}, {{9, ModeTable::LimitMax}, "1e-6"},
    };
    table.item(9, ModeTable::LimitMin)->setText(QStringLiteral("2e-6"));   // above its maximum, once that is set
    for (const auto &cell : invalid)
        table.item(cell.first.first, cell.first.second)->setText(cell.second);
    QCOMPARE(table.invalidCellCount(), 3);
    QVERIFY2(table.summary().startsWith(QLatin1String("3 cells of the table are not valid")), qPrintable(table.summary()));
    for (const auto &cell : invalid) {
        const QTableWidgetItem *item = table.item(cell.first.first, cell.first.second);
        QVERIFY2(!item->toolTip().isEmpty() && item->background() != QBrush(), qPrintable(cell.second));
    }
    QVERIFY(!table.plan() && !table.limits());

    // Mended one by one, each mark goes.
    table.item(2, ModeTable::Nplc)->setText(QStringLiteral("0.5"));
    QCOMPARE(table.invalidCellCount(), 2);
    QVERIFY(table.item(2, ModeTable::Nplc)->toolTip().isEmpty());
}

void SweepWindowTest::emptyCellsKeepTheirDefaults()
{
    const QString plan = scratch.filePath(QStringLiteral("sparse-plan.csv"));
    QFile file(plan);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("index,range,nplc,settle_s,samples\n0,1e-06,,5,\n13,,,,20\n");
    file.close();
    ModeTable table;
    QString error;
    QVERIFY2(table.loadPlan(plan, &error), qPrintable(error));
    QCOMPARE(table.item(0, ModeTable::Nplc)->text(), QString());
    QCOMPARE(table.item(0, ModeTable::Samples)->text(), QString());
    QCOMPARE(table.item(1, ModeTable::Samples)->text(), QString());
    QCOMPARE(table.item(13, ModeTable::Samples)->text(), QStringLiteral("20"));

    // Saved, it reads as it was written; measured, empty cells take the meter's defaults.
    const QString saved = scratch.filePath(QStringLiteral("saved-plan.csv"));
    QVERIFY(table.savePlan(saved, &error));
    QFile back(saved);
    QVERIFY(back.open(QIODevice::ReadOnly));
    QCOMPARE(back.readAll(), QByteArray("index,range,nplc,settle_s,samples\n0,1e-06,,5,\n13,,,,20\n"));
    ModePlan typed;
    typed.meter.samples = 1;
    QCOMPARE(table.plan()->value(0).over(typed).meter.samples, 1);
    QCOMPARE(table.plan()->value(13).over(typed).meter.samples, 20);
}

void SweepWindowTest::startWantsAMeterThatAnsweredAndAMode()
{
    BoardSimulator board;
    ScriptedMeter mute;
    mute.answer("*IDN?", std::nullopt);
    SweepWindow window;
    window.show();
    auto *start = window.findChild<QPushButton *>(QStringLiteral("start"));
    window.setupForm()->setPort(board.portPath());
    window.setupForm()->setMeter(mute.address());
    window.setupForm()->setResultsFolder(scratch.filePath(QStringLiteral("start-results")));
    window.modeTable()->checkAll(true);
    QVERIFY(start->isEnabled());

    window.setupForm()->findChild<QPushButton *>(QStringLiteral("testMeter"))->click();
    QTRY_VERIFY_WITH_TIMEOUT(!start->isEnabled(), ScpiMeter::deadlineFor(0, 0) + 3000);
    QVERIFY(window.setupForm()->findChild<QLabel *>(QStringLiteral("meterReason"))->toolTip().contains(QLatin1String("did not answer")));

    window.setupForm()->setMeter(QStringLiteral("none"));
    QVERIFY(start->isEnabled());
    window.modeTable()->checkAll(false);
    QVERIFY(!start->isEnabled());
    QCOMPARE(window.findChild<QLabel *>(QStringLiteral("tableReason"))->toolTip(), QStringLiteral("Check at least one mode."));
}

void SweepWindowTest::closingAsTheSweepEndsIsSafe()
{
    // "Stop the sweep?" stays open while the sweep ends on its own; Yes then just closes.
    BoardSimulator board;
    SweepWindow window;
    window.show();
    window.setupForm()->setPort(board.portPath());
    window.setupForm()->setMeter(QStringLiteral("none"));
    window.setupForm()->setReset(QStringLiteral("none"));
    window.setupForm()->setBootSeconds(0);
    const QString results = scratch.filePath(QStringLiteral("closing-results"));
    window.setupForm()->setResultsFolder(results);
    window.modeTable()->checkAll(false);
    window.modeTable()->setCheckedModes({0});
    window.modeTable()->item(0, ModeTable::Settle)->setText(QStringLiteral("0.5"));
    bool ended = false;
    connect(&window, &SweepWindow::sweepEnded, this, [&ended] { ended = true; });
    window.start();
    QVERIFY(window.isRunning());
    QVERIFY(!window.findChild<QPushButton *>(QStringLiteral("start"))->isEnabled());
    QVERIFY(!window.findChild<QPushButton *>(QStringLiteral("openResults"))->isEnabled());

    QTimer answer;
    connect(&answer, &QTimer::timeout, this, [&ended] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (box && ended)
            box->button(QMessageBox::Yes)->click();
    });
    answer.start(20);
    window.close();
    QVERIFY(ended);
    QTRY_VERIFY(!window.isVisible());
    // Its folder was made in "Save results in".
    QCOMPARE(QFileInfo(window.lastFolder()).absolutePath(), QFileInfo(results).absoluteFilePath());
}

void SweepWindowTest::aFolderThatCannotTakeResultsDisablesStart()
{
    BoardSimulator board;
    SweepWindow window;
    window.setupForm()->setPort(board.portPath());
    window.setupForm()->setMeter(QStringLiteral("none"));
    window.modeTable()->checkAll(true);
    auto *start = window.findChild<QPushButton *>(QStringLiteral("start"));
    const QString file = scratch.filePath(QStringLiteral("not-a-folder"));
    QFile plain(file);
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();

    window.setupForm()->setResultsFolder(file + QStringLiteral("/results"));
    QVERIFY(!start->isEnabled());
    const QString reason = window.setupForm()->findChild<QLabel *>(QStringLiteral("folderReason"))->toolTip();
    QCOMPARE(reason, QStringLiteral("%1 is a file, not a folder.").arg(file));
    window.setupForm()->setResultsFolder(scratch.filePath(QStringLiteral("a/new/folder")));
    QVERIFY(start->isEnabled());
}

void SweepWindowTest::resumeAfterStopMeasuresEachModeOnce()
{
    BoardSimulator board;
    SweepWindow window;
    window.show();
    window.setupForm()->setPort(board.portPath());
    window.setupForm()->setMeter(QStringLiteral("none"));
    window.setupForm()->setReset(QStringLiteral("none"));
    window.setupForm()->setBootSeconds(0);
    window.setupForm()->setResultsFolder(scratch.filePath(QStringLiteral("resumed-results")));
    window.modeTable()->setCheckedModes({0, 1, 2, 3});
    for (int mode : {0, 1, 2, 3})
        window.modeTable()->item(mode, ModeTable::Settle)->setText(QStringLiteral("0.3"));
    auto *resume = window.findChild<QPushButton *>(QStringLiteral("resume"));
    QVERIFY(!resume->isEnabled());
    int ended = 0;
    connect(&window, &SweepWindow::sweepEnded, this, [&ended] { ++ended; });

    window.start();
    QTRY_VERIFY(window.resultsView()->table()->rowCount() >= 1);
    window.stop();
    QTRY_COMPARE(ended, 1);
    const int kept = window.resultsView()->table()->rowCount();
    QVERIFY2(kept >= 1 && kept < 4, qPrintable(QString::number(kept)));
    QVERIFY(resume->isEnabled());

    const QString folder = window.lastFolder();
    resume->click();
    QTRY_COMPARE_WITH_TIMEOUT(ended, 2, 10000);
    QCOMPARE(window.lastFolder(), folder);
    QString error;
    const auto rows = ResultsFolder::readRows(folder, &error);
    QVERIFY2(rows, qPrintable(error));
    QList<int> measured;
    for (const ResultRow &row : *rows)
        measured << row.index;
    QCOMPARE(measured, QList<int>({0, 1, 2, 3}));
    QCOMPARE(window.resultsView()->table()->rowCount(), 4);
    QVERIFY(!resume->isEnabled());
}

// The window records its sweep; its History tab lists it beside imported
// runs, filters them, compares two in the results view and draws their trend.
void SweepWindowTest::historyTabListsRunsComparesTwoAndDrawsTheTrend()
{
    const QString history = scratch.filePath(QStringLiteral("window-history.sqlite"));
    QString error;
    const std::unique_ptr<History> seeded = History::openChosen(history, &error);
    QVERIFY2(seeded, qPrintable(error));
    QStringList folders;
    for (int build = 0; build < 2; ++build) {
        folders << scratch.filePath(QStringLiteral("history-build-%1").arg(build));
        QVERIFY2(ResultsFixture::writeFolder(folders.last(), QStringLiteral("B"), ResultsFixture::day(1 + build),
                                             {ResultsFixture::row(0, 1e-6), ResultsFixture::row(1, (build + 1) * 1e-3)},
                                             RunFacts::newRunId(), &error),
                 qPrintable(error));
        QString said;
        QCOMPARE(FolderImport::import(*seeded, folders.last(), {}, &said), FolderImport::Result::Imported);
    }

    BoardSimulator board;
    SweepWindow window;
    window.setHistoryLocation(history);
    window.show();
    window.setupForm()->setPort(board.portPath());
    window.setupForm()->setMeter(QStringLiteral("none"));
    window.setupForm()->setReset(QStringLiteral("none"));
    window.setupForm()->setBootSeconds(0);
    window.setupForm()->setBoardId(QStringLiteral("window board"));
    window.setupForm()->setFirmware(QStringLiteral("v9"));
    window.setupForm()->setTags({QStringLiteral("bench=7")});
    window.setupForm()->setResultsFolder(scratch.filePath(QStringLiteral("history-results")));
    window.modeTable()->setCheckedModes({0});
    window.modeTable()->item(0, ModeTable::Settle)->setText(QStringLiteral("0.1"));
    int ended = 0;
    connect(&window, &SweepWindow::sweepEnded, this, [&ended] { ++ended; });
    window.start();
    QTRY_COMPARE_WITH_TIMEOUT(ended, 1, 20000);

    auto *tabs = window.findChild<QTabWidget *>();
    tabs->setCurrentWidget(window.historyView());
    QTableWidget *runs = window.historyView()->runsTable();
    QCOMPARE(runs->rowCount(), 3);
    // Newest first: the window's own run, with what the set-up gave it.
    QCOMPARE(runs->item(0, 1)->text(), QStringLiteral("completed"));
    QCOMPARE(runs->item(0, 2)->text(), QStringLiteral("window board"));
    QCOMPARE(runs->item(0, 3)->text(), QStringLiteral("v9"));
    QCOMPARE(runs->item(0, 4)->text(), QStringLiteral("bench=7"));
    QCOMPARE(QDir::fromNativeSeparators(runs->item(0, 7)->text()), QFileInfo(window.lastFolder()).absoluteFilePath());

    window.historyView()->findChild<QLineEdit *>(QStringLiteral("historyBoard"))->setText(QStringLiteral("B"));
    window.historyView()->findChild<QPushButton *>(QStringLiteral("historyRefresh"))->click();
    QCOMPARE(runs->rowCount(), 2);
    QCOMPARE(window.historyView()->trendChart()->modeCount(), 2);
    auto *compare = window.historyView()->findChild<QPushButton *>(QStringLiteral("historyCompare"));
    runs->selectRow(0);
    QVERIFY(!compare->isEnabled());
    runs->selectionModel()->select(runs->model()->index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QVERIFY(compare->isEnabled());
    compare->click();
    QCOMPARE(tabs->currentIndex(), 0);
    QTableWidget *compared = window.resultsView()->table();
    QCOMPARE(compared->horizontalHeaderItem(1)->text(), QStringLiteral("Mean before"));
    QCOMPARE(compared->item(1, 3)->text(), QStringLiteral("\u00d72.00"));   // the later build draws twice the current
    QCOMPARE(window.lastFolder(), folders.last());

    // A filter that cannot be read says why and keeps what is shown.
    window.historyView()->findChild<QLineEdit *>(QStringLiteral("historySince"))->setText(QStringLiteral("yesterday"));
    window.historyView()->refresh();
    QCOMPARE(runs->rowCount(), 2);
    QVERIFY2(window.historyView()->reason().contains(QLatin1String("YYYY-MM-DD")), qPrintable(window.historyView()->reason()));
}

// By default the trend is the newest run's board's, a line per mode and
// voltage, the voltage named only where runs differ in it.
void SweepWindowTest::theTrendIsOneBoardsAndReadable()
{
    const QString location = scratch.filePath(QStringLiteral("trend-history.sqlite"));
    QString error;
    {
        const std::unique_ptr<History> seeded = History::openChosen(location, &error);
        QVERIFY2(seeded, qPrintable(error));
        using ResultsFixture::rowAt;
        ResultsFixture::recordRun(*seeded, "A", ResultsFixture::day(1), "completed", {rowAt(0, 30e-9, 3.3), rowAt(1, 1e-6, 3.3), rowAt(2, 3e-6, 3.3)});
        for (int day = 2; day < 4; ++day) {
            ResultsFixture::recordRun(*seeded, "B", ResultsFixture::day(day), "completed",
                                      {rowAt(0, 31e-9, 1.8), rowAt(13, 9.6e-3, 1.8), rowAt(0, 33e-9, 3.3), rowAt(13, 9.8e-3, 3.3)});
        }
    }
    HistoryView view;
    view.setLocation(location);
    view.refresh();
    QCOMPARE(view.runsTable()->rowCount(), 3);
    const auto *chart = dynamic_cast<const TrendChart *>(view.trendChart()->shown());
    QVERIFY(chart);
    QCOMPARE(chart->lineLabels(), QStringList({"0 mode 0 at 1.80 V", "0 mode 0 at 3.30 V", "13 mode 13 at 1.80 V", "13 mode 13 at 3.30 V"}));
    QVERIFY2(view.reason().contains(QLatin1String("board B, the newest run's")), qPrintable(view.reason()));

    view.findChild<QLineEdit *>(QStringLiteral("historyBoard"))->setText(QStringLiteral("A"));
    view.refresh();
    chart = dynamic_cast<const TrendChart *>(view.trendChart()->shown());
    QCOMPARE(chart->lineLabels(), QStringList({"0 mode 0", "1 mode 1", "2 mode 2"}));
}

// The supply unit's fields: a voltage it may not feed is refused as typed, its
// Test asks who it is and leaves the output alone, and a sweep powers the
// board at each voltage in turn, the supply reading the current; the History
// view tables the run.
void SweepWindowTest::supplyUnitPowersTheBoardAtEachVoltage()
{
    BoardSimulator board;
    board.setStrict(true);
    SupplySimulator supply(board);
    ScpiServer supplyPort(supply);
    QVERIFY(supplyPort.listen(0));
    const QString history = scratch.filePath(QStringLiteral("supply-history.sqlite"));
    SweepWindow window;
    window.setHistoryLocation(history);
    window.show();
    auto *start = window.findChild<QPushButton *>(QStringLiteral("start"));
    SetupForm *setup = window.setupForm();
    PowerFields *power = setup->powerFields();
    setup->setPort(board.portPath());
    setup->setMeter(QStringLiteral("supply"));
    setup->setReset(QStringLiteral("power"));
    setup->setBootSeconds(0.1);
    setup->setBoardId(QStringLiteral("powered"));
    setup->setResultsFolder(scratch.filePath(QStringLiteral("supply-results")));
    window.modeTable()->setCheckedModes({0});
    window.modeTable()->item(0, ModeTable::Settle)->setText(QStringLiteral("0.1"));
    window.modeTable()->item(0, ModeTable::Samples)->setText(QStringLiteral("2"));
    QVERIFY(!start->isEnabled());
    QVERIFY(setup->findChild<QLabel *>(QStringLiteral("meterReason"))->toolTip().contains(QLatin1String("supply unit")));

    power->setSupplyUnit(QStringLiteral("tcp:127.0.0.1:%1").arg(supplyPort.port()));
    power->setVoltages(QStringLiteral("1.8, 7"));
    QVERIFY(!start->isEnabled());
    QVERIFY(setup->findChild<QLabel *>(QStringLiteral("supplyReason"))->toolTip().contains(QLatin1String("0.5 to 6 V")));
    power->setVoltages(QStringLiteral("1.8, 3.3"));
    power->setTemperature(QStringLiteral("85"));
    QVERIFY(start->isEnabled());

    setup->findChild<QPushButton *>(QStringLiteral("testSupplyUnit"))->click();
    auto *said = setup->findChild<QLabel *>(QStringLiteral("supplyUnitReason"));
    QTRY_VERIFY_WITH_TIMEOUT(said->toolTip().contains(QLatin1String("answers: Pellmora,Simulated PSU")), 5000);
    QCOMPARE(supply.received(), QList<QByteArray> {"*IDN?"});

    int ended = 0;
    connect(&window, &SweepWindow::sweepEnded, this, [&ended] { ++ended; });
    window.start();
    QTRY_COMPARE_WITH_TIMEOUT(ended, 1, 20000);
    QTableWidget *rows = window.resultsView()->table();
    QCOMPARE(rows->rowCount(), 2);
    QCOMPARE(rows->item(0, 0)->text(), QStringLiteral("0  SHUTDOWN at 1.80 V"));
    QCOMPARE(rows->item(1, 0)->text(), QStringLiteral("0  SHUTDOWN at 3.30 V"));
    QVERIFY(!supply.isOn());

    window.historyView()->refresh();
    QTableWidget *sheet = window.historyView()->datasheetTable();
    QCOMPARE(sheet->rowCount(), 1);
    QCOMPARE(sheet->columnCount(), 5);
    QCOMPARE(sheet->horizontalHeaderItem(1)->text(), QStringLiteral("Typ\nT = 85\u00a0°C, Vdd = 1.80 V"));
    QVERIFY(sheet->item(0, 3)->text().endsWith(QLatin1String(" nA *")));
    QVERIFY(sheet->item(0, 3)->toolTip().startsWith(QLatin1String("1 board: powered")));
}

// The Power Profiler Kit II as the meter: its Test reads its metadata, the
// mode being measured shows live, and a finished mode's waveform shows when
// its row is chosen.
void SweepWindowTest::aPowerProfilerKitShowsEachModesWaveform()
{
    BoardSimulator board;
    Ppk2Simulator box(board);
    SweepWindow window;
    window.show();
    SetupForm *setup = window.setupForm();
    setup->setPort(board.portPath());
    setup->setMeter(QStringLiteral("ppk2:") + box.portPath());
    setup->setReset(QStringLiteral("none"));
    // As supply unit the box sets 0.8 to 5 V, whatever a supply unit may.
    auto *start = window.findChild<QPushButton *>(QStringLiteral("start"));
    auto *supplyReason = setup->findChild<QLabel *>(QStringLiteral("supplyReason"));
    setup->setMeter(QStringLiteral("supply"));
    setup->powerFields()->setSupplyUnit(QStringLiteral("ppk2:") + box.portPath());
    for (const QString &outside : {QStringLiteral("0.5"), QStringLiteral("1.8, 5.5")}) {
        setup->powerFields()->setVoltages(outside);
        QVERIFY(!start->isEnabled());
        QVERIFY2(supplyReason->toolTip().contains(QLatin1String("0.8 to 5 V")), qPrintable(supplyReason->toolTip()));
    }
    setup->powerFields()->setVoltages(QStringLiteral("0.8, 5"));
    QVERIFY2(!supplyReason->toolTip().contains(QLatin1String("0.8 to 5 V")), qPrintable(supplyReason->toolTip()));
    // Events only where the box reads the current.
    auto *events = setup->findChild<QLineEdit *>(QStringLiteral("events"));
    auto *eventsReason = setup->findChild<QLabel *>(QStringLiteral("eventsReason"));
    setup->setMeter(QStringLiteral("tcp:127.0.0.1:9"));
    events->setText(QStringLiteral("D0"));
    QVERIFY2(eventsReason->toolTip().contains(QLatin1String("Power Profiler Kit II")), qPrintable(eventsReason->toolTip()));
    events->setText(QStringLiteral("D9"));
    setup->setMeter(QStringLiteral("ppk2:") + box.portPath());
    QVERIFY2(eventsReason->toolTip().contains(QLatin1String("D0 to D7")), qPrintable(eventsReason->toolTip()));
    events->setText(QStringLiteral("D0"));
    QVERIFY(eventsReason->toolTip().isEmpty());
    // Over what an earlier test's window left in the settings.
    setup->powerFields()->setSupplyUnit(QString());
    setup->powerFields()->setVoltages(QString());
    setup->setBootSeconds(0.1);
    setup->setResultsFolder(scratch.filePath(QStringLiteral("ppk2-results")));
    // A CoreMark mode: D0 high around each of its blocks, a few in 200 ms.
    window.modeTable()->setCheckedModes({9, 14});
    for (int row : {9, 14}) {
        window.modeTable()->item(row, ModeTable::Settle)->setText(QStringLiteral("0.6"));
        window.modeTable()->item(row, ModeTable::Samples)->setText(QStringLiteral("10"));
    }
    setup->findChild<QPushButton *>(QStringLiteral("testMeter"))->click();
    auto *said = setup->findChild<QLabel *>(QStringLiteral("meterReason"));
    QTRY_VERIFY_WITH_TIMEOUT(said->toolTip().contains(QLatin1String("answers: Power Profiler Kit II on")), 5000);
    QTRY_VERIFY(!box.isSampling() && box.received().endsWith(QByteArray::fromHex("070c00")));

    int ended = 0;
    connect(&window, &SweepWindow::sweepEnded, this, [&ended] { ++ended; });
    window.start();
    QTRY_VERIFY_WITH_TIMEOUT(window.resultsView()->waveform()->modeCount() == 1, 5000);   // live, while it measures
    QTRY_COMPARE_WITH_TIMEOUT(ended, 1, 20000);
    QTableWidget *rows = window.resultsView()->table();
    QCOMPARE(rows->rowCount(), 2);
    window.resultsView()->waveform()->clear();
    rows->setCurrentCell(1, 0);
    QCOMPARE(window.resultsView()->waveform()->modeCount(), 1);
    QVERIFY(window.resultsView()->waveform()->isVisible());
    QVERIFY(window.resultsView()->waveform()->shown()->modeEvents().size() >= 3);
    QVERIFY(!box.isPowering());
    events->clear();
}

void SweepWindowTest::resultsShowAFailInRedAndADoubtInAmber()
{
    ResultRow failed = ResultsFixture::row(15, 10.4e-3);
    failed.reportMissingAfterS = 60;
    ResultRow doubtful = ResultsFixture::row(1, 33.1e-9);
    doubtful.entryChecked = true;
    doubtful.beforeA = 33.0e-9;
    const ResultRow plain = ResultsFixture::row(0, 33e-9);
    QList<ResultRow> rows {plain, doubtful, failed};
    for (ResultRow &row : rows)
        row.derive(std::nullopt);
    ResultsView view;
    view.showRows(rows, ReportContext());
    const auto colourOf = [&view](int row) { return view.table()->item(row, 6)->foreground().color(); };
    QCOMPARE(view.table()->item(1, 6)->text(), QStringLiteral("ENTRY?"));
    QCOMPARE(view.table()->item(2, 6)->text(), QStringLiteral("FAIL"));
    QVERIFY(colourOf(2).red() > 150 && colourOf(2).green() < 60);                          // red
    QVERIFY(colourOf(1).red() > 120 && colourOf(1).green() > 70 && colourOf(1).blue() < 30);   // amber
    QCOMPARE(view.table()->item(0, 6)->foreground(), QBrush());
}

// Saved on a large screen, opened on a smaller one: inside it, as large as
// it allows. The first time, the whole of the screen's area.
void SweepWindowTest::opensInsideTheScreenAtItsSavedSize()
{
    const QString settings = scratch.filePath(QStringLiteral("saved-size.ini"));
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    {
        SweepWindow first(settings);
        first.show();
        QVERIFY(QTest::qWaitForWindowExposed(&first));
        QTRY_VERIFY(first.isMaximized());
        QTest::qWait(50);
        first.setWindowState(Qt::WindowNoState);
        first.setGeometry(QRect(area.topLeft() + QPoint(100, 80), area.size() + QSize(600, 400)));
        QTest::qWait(50);
        first.close();
    }
    SweepWindow again(settings);
    again.show();
    QVERIFY(QTest::qWaitForWindowExposed(&again));
    QTRY_VERIFY2(area.contains(again.frameGeometry()),
                 qPrintable(QStringLiteral("%1,%2 %3x%4").arg(again.frameGeometry().x()).arg(again.frameGeometry().y())
                                .arg(again.frameGeometry().width()).arg(again.frameGeometry().height())));
    QVERIFY(!again.isMaximized());
}

void SweepWindowTest::everythingIsInReachOnABenchLaptop_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("1366 x 768") << QSize(1366, 768);
    QTest::newRow("1280 x 720") << QSize(1280, 720);
}

// The window can be made as small as a bench laptop's screen, and then
// every button and the results show, and every field of the set-up can be
// scrolled to.
void SweepWindowTest::everythingIsInReachOnABenchLaptop()
{
    QFETCH(QSize, size);
    SweepWindow window(scratch.filePath(QStringLiteral("laptop.ini")));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // The offscreen platform's screen is smaller still: the size is set once shown and fitted to it.
    QTest::qWait(50);
    window.setWindowState(Qt::WindowNoState);
    window.resize(size);
    QTest::qWait(50);
    QVERIFY2(window.minimumSizeHint().width() <= 1280 && window.minimumSizeHint().height() <= 720,
             qPrintable(QStringLiteral("%1 x %2").arg(window.minimumSizeHint().width()).arg(window.minimumSizeHint().height())));
    QCOMPARE(window.size(), size);
    const auto shown = [&window](QWidget *widget) {
        const QRect where(widget->mapTo(&window, QPoint(0, 0)), widget->size());
        return widget->isVisible() && window.rect().contains(where) && !widget->visibleRegion().isEmpty();
    };
    for (const char *name : {"start", "stop", "resume", "openResults", "results"})
        QVERIFY2(shown(window.findChild<QWidget *>(QLatin1String(name))), name);
    QVERIFY(window.resultsView()->table()->height() >= 4 * window.resultsView()->table()->verticalHeader()->defaultSectionSize());
    QVERIFY(window.resultsView()->chart()->height() >= 150);
    // The set-up scrolls to each of its fields, the mode table's last row too.
    auto *panel = window.findChild<QScrollArea *>();
    QVERIFY(panel);
    for (QWidget *field : panel->widget()->findChildren<QWidget *>()) {
        if (!field->isVisibleTo(panel->widget()) || field->findChildren<QWidget *>().size() > 0 || qobject_cast<QScrollBar *>(field))
            continue;
        panel->ensureWidgetVisible(field, 0, 0);
        QVERIFY2(!field->visibleRegion().isEmpty(), qPrintable(field->objectName() + QLatin1Char(' ') + field->metaObject()->className()));
    }
    QVERIFY2(panel->horizontalScrollBar()->maximum() == 0, "the set-up fits the width it is given");
}

void SweepWindowTest::aSimulatorsResetNeverComesBack_data()
{
    QTest::addColumn<QString>("saved");
    QTest::addColumn<QString>("restored");
    QTest::newRow("a simulator's process") << "command:kill -USR1 27081" << "prompt";
    QTest::newRow("by a signal's name") << "command:/bin/kill -s USR1 27081" << "prompt";
    QTest::newRow("a relay's script") << "command:/usr/local/bin/relay-reset 3" << "command:/usr/local/bin/relay-reset 3";
    QTest::newRow("pkill by name") << "command:pkill -USR1 -f board-sim" << "command:pkill -USR1 -f board-sim";
    QTest::newRow("dtr") << "dtr" << "dtr";
}

// A window started on simulators keeps its settings in a file of its own; a
// reset that signals a process by its id is never brought back, since by the
// next start another process may hold that id.
void SweepWindowTest::aSimulatorsResetNeverComesBack()
{
    QFETCH(QString, saved);
    QFETCH(QString, restored);
    const QString file = scratch.filePath(QStringLiteral("window-%1.ini").arg(QTest::currentDataTag()).remove(QLatin1Char(' ')));
    {
        QSettings written(file, QSettings::IniFormat);
        written.setValue(QStringLiteral("meter"), QStringLiteral("tcp:127.0.0.1:5025"));
        written.setValue(QStringLiteral("reset"), saved);
    }
    SweepWindow window(file);
    QSettings kept(scratch.filePath(QStringLiteral("kept.ini")), QSettings::IniFormat);
    window.setupForm()->save(kept);
    QCOMPARE(kept.value(QStringLiteral("reset")).toString(), restored);
    QCOMPARE(kept.value(QStringLiteral("meter")).toString(), QStringLiteral("tcp:127.0.0.1:5025"));
}

QTEST_MAIN(SweepWindowTest)
#include "tst_sweepwindow.moc"
