// Pellmora Sweep's parts that can break: the modes table through the plan and
// limits files, the typed reading's entry field, and Stop keeping what has
// finished. Real widgets on the offscreen platform, against the simulated
// board and meter.
#include "settings/planfiles.h"
#include "sweepwindow/modetable.h"
#include "sweepwindow/resultsview.h"
#include "sweepwindow/runprompts.h"
#include "sweepwindow/setupform.h"
#include "sweepwindow/sweepwindow.h"
#include "sweepwindow/chartview.h"
#include "tests/support/simulatedbench.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
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

private:
    QTemporaryDir scratch;
};

void SweepWindowTest::initTestCase()
{
    // The window's remembered settings go to a folder of the test's own.
    qputenv("XDG_CONFIG_HOME", scratch.filePath(QStringLiteral("config")).toLocal8Bit());
    QCoreApplication::setOrganizationName(QStringLiteral("Pellmora tests"));
}

void SweepWindowTest::modeTableRoundTripsThroughPlanAndLimitsFiles()
{
    ModeTable edited;
    const QList<QPair<QPair<int, int>, QString>> cells = {
        {{0, ModeTable::Range}, "1e-06"}, {{0, ModeTable::Nplc}, "10"}, {{0, ModeTable::Settle}, "5"},
        {{13, ModeTable::Samples}, "20"}, {{13, ModeTable::LimitMax}, "0.012"}, {{1, ModeTable::LimitMin}, "1e-08"},
    };
    for (const auto &cell : cells)
        edited.item(cell.first.first, cell.first.second)->setText(cell.second);
    const QString plan = scratch.filePath(QStringLiteral("plan.csv"));
    const QString limits = scratch.filePath(QStringLiteral("limits.csv"));
    QString error;
    QVERIFY2(edited.savePlan(plan, &error) && edited.saveLimits(limits, &error), qPrintable(error));

    ModeTable loaded;
    QVERIFY2(loaded.loadPlan(plan, &error) && loaded.loadLimits(limits, &error), qPrintable(error));
    QCOMPARE(loaded.cells(), edited.cells());
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
    QCOMPARE(window.resultsView()->chart()->rowCount(), kept->size());
    QVERIFY(QFileInfo::exists(window.lastFolder() + QStringLiteral("/report.html")));
    QVERIFY(start->isEnabled());
}

QTEST_MAIN(SweepWindowTest)
#include "tst_sweepwindow.moc"
