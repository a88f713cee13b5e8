// pellmora-sweep budget against a hand computation, for a profile with a
// line of each kind; what it refuses, by the line; the currents taken from
// the history's newest completed runs; and the window's Budget tab, which
// costs the same as the table is typed in.
#include "history/history.h"
#include "results/csv.h"
#include "results/resultsfolder.h"
#include "sweepwindow/budgetview.h"
#include "sweepwindow/reasonlabel.h"
#include "tests/support/resultsfixture.h"
#include "tests/support/sweepprocess.h"

#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QtTest>

namespace {

using ResultsFixture::row;

const QString sensorNode = QStringLiteral(
    "# A sensor node.\n"
    "period_s = 10\n"
    "5 = rest                # STOP2 + RTC the rest of the period\n"
    "13 = 5 ms\n"
    "event 5 D0 = 6 /min     # 0.1 a second\n"
    "15 = 1 s / 60 s\n"
    "14 = 2 %\n");

ModeEvent event(double start, double seconds, double charge, bool partial = false)
{
    ModeEvent made;
    made.source = QStringLiteral("D0");
    made.startS = start;
    made.durationS = seconds;
    made.chargeC = charge;
    made.peakA = charge / seconds;
    made.partial = partial;
    return made;
}

// Mode 5 with two whole wake-ups and one cut by the window's end, in a
// window of 2 s whose charge is 6 µC; 13, 14 and 15 without events.
bool writeMeasured(const QString &path, QString *error)
{
    ResultRow stop = row(5, 3e-6);
    stop.windowS = 2;
    stop.chargeC = 6e-6;
    RunFacts facts;
    facts.runId = QStringLiteral("run-5");
    facts.started = ResultsFixture::day(3);
    facts.outcome = QStringLiteral("completed");
    const QJsonObject settings {{"events", QJsonArray {"D0"}}};
    return ResultsFixture::writeFolder(path, facts, settings, {stop, row(13, 9.8e-3), row(14, 3.3e-3), row(15, 10.4e-3)},
                                       {{5, {event(0.5, 5e-4, 6e-7), event(1.5, 5e-4, 6e-7), event(1.9998, 2e-4, 1e-7, true)}},
                                        {13, {}}},
                                       error);
}

QString written(const QString &path, const QString &text)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(text.toUtf8());
    return path;
}

QList<QStringList> csvRows(const QString &path)
{
    QString error;
    return Csv::read(path, QStringList {"index", "mode", "vdd_v", "time_per_period_s", "mean_a", "charge_per_period_c", "share"}, &error)
        .value_or(Csv::Table()).rows;
}

} // namespace

class BudgetTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void costsEachKindOfLineAsByHand();
    void refusesALineByItsNumber_data();
    void refusesALineByItsNumber();
    void takesEachModeFromTheBoardsNewestCompletedRun();
    void theWindowCostsTheTableAsItIsTyped();

private:
    QTemporaryDir scratch;
    QString measured;
};

void BudgetTest::initTestCase()
{
    measured = scratch.filePath(QStringLiteral("measured"));
    QString error;
    QVERIFY2(writeMeasured(measured, &error), qPrintable(error));
}

void BudgetTest::costsEachKindOfLineAsByHand()
{
    const QString out = scratch.filePath(QStringLiteral("sensor"));
    const ToolRun run = runSweepTool({"budget", written(scratch.filePath(QStringLiteral("sensor.ini")), sensorNode), "--from",
                                      measured, "--battery", "220", "--out", out});
    QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
    QCOMPARE(run.output.trimmed(), out);

    // By hand: all events of mode 5 take 1.3 µC in 1.2 ms of its 2 s window.
    const double between = (6e-6 - 1.3e-6) / (2 - 1.2e-3);
    const double events = 0.1 * 10;                       // one wake-up a period
    const double rest = 10 - 0.005 - events * 5e-4 - 10.0 / 60 - 0.2;
    const QList<QList<double>> expected {
        {5, rest, between, rest * between},
        {13, 0.005, 9.8e-3, 0.005 * 9.8e-3},
        {5, events * 5e-4, 6e-7 / 5e-4, events * 6e-7},
        {15, 10.0 / 60, 10.4e-3, 10.0 / 60 * 10.4e-3},
        {14, 0.2, 3.3e-3, 0.2 * 3.3e-3},
    };
    double total = 0;
    for (const QList<double> &line : expected)
        total += line.at(3);
    const QList<QStringList> rows = csvRows(out + QStringLiteral("/budget.csv"));
    QCOMPARE(rows.size(), expected.size() + 1);
    const auto near = [](const QString &cell, double value) { return qAbs(cell.toDouble() / value - 1) < 1e-8; };
    for (int i = 0; i < expected.size(); ++i) {
        const QStringList &cells = rows.at(i);
        QCOMPARE(cells.at(0).toInt(), int(expected.at(i).at(0)));
        QVERIFY2(near(cells.at(3), expected.at(i).at(1)) && near(cells.at(4), expected.at(i).at(2))
                     && near(cells.at(5), expected.at(i).at(3)) && near(cells.at(6), expected.at(i).at(3) / total),
                 qPrintable(cells.join(QLatin1Char(','))));
    }
    QCOMPARE(rows.at(2).at(1), QStringLiteral("STOP2 + RTC events D0"));
    QCOMPARE(rows.last().at(1), QStringLiteral("average"));
    QVERIFY(near(rows.last().at(4), total / 10));

    // 1.81 mC of 1.87 mC: the CoreMark second dominates; a tenth less of it.
    QFile page(out + QStringLiteral("/budget.html"));
    QVERIFY(page.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(page.readAll());
    const double share = expected.at(3).at(3) / total;
    const QString dominance = QStringLiteral("RUN_CoreMark Range 1, 80MHz takes %1 % of the charge; 10 % less there gives %2 % more life")
                                  .arg(QLocale::c().toString(share * 100, 'f', 0))
                                  .arg(QLocale::c().toString((1 / (1 - 0.1 * share) - 1) * 100, 'f', 1));
    QVERIFY2(text.contains(dominance), qPrintable(dominance));
    // 220 mAh, 80 % of it, at the average current.
    const double days = 220 * 0.8 / (total / 10 * 1e3) / 24;
    QVERIFY2(text.contains(Readings::threeDigits(days) + QChar(0x00a0) + QStringLiteral("days")), qPrintable(Readings::threeDigits(days)));
    QVERIFY(text.contains(QLatin1String("folder measured")));
    for (const char *file : {"budget.svg", "budget.png"})
        QVERIFY(QFileInfo(out + QLatin1Char('/') + QLatin1String(file)).size() > 1000);
}

void BudgetTest::refusesALineByItsNumber_data()
{
    QTest::addColumn<QString>("profile");
    QTest::addColumn<QString>("said");   // after "PROFILE:"
    QTest::newRow("unknown mode") << "period_s = 10\n99 = 5 ms\n" << "2: no power mode 99 (they are 0 to 17)";
    QTest::newRow("mode not measured") << "period_s = 10\n5 = rest\n7 = 5 ms\n" << "3: mode 7 (STOP1 + MR OFF + RTC) was not measured";
    QTest::newRow("times past the period") << "period_s = 10\n13 = 6 s\n5 = rest\n15 = 5 s\n14 = 1 %\n"
                                           << "4: the times so far add up to 11 s, more than the period of 10 s";
    QTest::newRow("two rest lines") << "period_s = 10\n5 = rest\n13 = rest\n" << "3: a second rest line; line 2 already";
    QTest::newRow("a word for a time") << "period_s = 10\n13 = five ms\n" << "2: a mode's line takes a time";
    QTest::newRow("an unknown unit") << "period_s = 10\n13 = 5 parsecs\n" << "2: a mode's line takes a time";
    QTest::newRow("a rate without its unit") << "period_s = 10\nevent 5 D0 = 0.1\n" << "2: an event line takes a rate";
    QTest::newRow("events not asked for") << "period_s = 10\nevent 5 D1 = 1 /s\n" << "2: mode 5 was measured without D1 events";
    QTest::newRow("events that never came") << "period_s = 10\n\nevent 13 D0 = 1 /h\n" << "3: mode 13 had no whole D0 event";
    QTest::newRow("no period") << "5 = rest\n" << " no period_s line";
    QTest::newRow("a duty past its whole") << "period_s = 10\n13 = 2 s / 1 s\n" << "2: a duty is a time in a longer one";
}

void BudgetTest::refusesALineByItsNumber()
{
    QFETCH(QString, profile);
    QFETCH(QString, said);
    const QString path = written(scratch.filePath(QStringLiteral("refused.ini")), profile);
    const QString out = scratch.filePath(QStringLiteral("refused"));
    const ToolRun run = runSweepTool({"budget", path, "--from", measured, "--out", out});
    QCOMPARE(run.exitCode, 2);
    QCOMPARE(run.errors.count(QLatin1Char('\n')), 1);
    QVERIFY2(run.errors.startsWith(QStringLiteral("pellmora-sweep budget: %1:%2").arg(path, said)), qPrintable(run.errors));
    QVERIFY(!QFileInfo::exists(out));
}

// Mode 13 from the newest completed run, 5 from an older one (the newest
// has none), none from a run that did not complete; at 3.30 V when the
// history holds two voltages.
void BudgetTest::takesEachModeFromTheBoardsNewestCompletedRun()
{
    const QString location = scratch.filePath(QStringLiteral("history.sqlite"));
    QString error;
    std::unique_ptr<History> history = History::openChosen(location, &error);
    QVERIFY2(history, qPrintable(error));
    using ResultsFixture::rowAt;
    const QString older = ResultsFixture::recordRun(*history, QStringLiteral("B1"), ResultsFixture::day(1), QStringLiteral("completed"),
                                                    {rowAt(5, 2e-6, 3.3), rowAt(13, 9e-3, 3.3), rowAt(13, 8e-3, 1.8)});
    const QString newer = ResultsFixture::recordRun(*history, QStringLiteral("B1"), ResultsFixture::day(2), QStringLiteral("completed"),
                                                    {rowAt(13, 9.5e-3, 3.3)});
    ResultsFixture::recordRun(*history, QStringLiteral("B1"), ResultsFixture::day(3), QStringLiteral("aborted"), {rowAt(13, 1, 3.3)});
    ResultsFixture::recordRun(*history, QStringLiteral("B2"), ResultsFixture::day(4), QStringLiteral("completed"), {rowAt(5, 1, 3.3)});
    history.reset();

    const QString profile = written(scratch.filePath(QStringLiteral("history.ini")), QStringLiteral("period_s = 1\n5 = rest\n13 = 0.1 s\n"));
    const ToolRun ambiguous = runSweepTool({"budget", profile, "--board", "B1", "--history", location});
    QCOMPARE(ambiguous.exitCode, 2);
    QVERIFY2(ambiguous.errors.contains(QLatin1String("1.80 V, 3.30 V; choose one with --vdd")), qPrintable(ambiguous.errors));

    const QString out = scratch.filePath(QStringLiteral("from-history"));
    const ToolRun run = runSweepTool({"budget", profile, "--board", "B1", "--history", location, "--vdd", "3.3", "--out", out});
    QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
    const QList<QStringList> rows = csvRows(out + QStringLiteral("/budget.csv"));
    QCOMPARE(rows.at(0).at(4).toDouble(), 2e-6);
    QCOMPARE(rows.at(1).at(4).toDouble(), 9.5e-3);
    QVERIFY(qAbs(rows.last().at(4).toDouble() / (0.9 * 2e-6 + 0.1 * 9.5e-3) - 1) < 1e-9);
    QFile page(out + QStringLiteral("/budget.html"));
    QVERIFY(page.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(page.readAll());
    QVERIFY(text.contains(QStringLiteral("run %1 of 2026-12-01").arg(older)) && text.contains(QStringLiteral("run %1 of 2026-12-02").arg(newer)));
}

void BudgetTest::theWindowCostsTheTableAsItIsTyped()
{
    BudgetView view;
    auto *lines = view.findChild<QTableWidget *>(QStringLiteral("budgetLines"));
    auto *summary = view.findChild<QLabel *>(QStringLiteral("budgetSummary"));
    auto *reason = view.findChild<ReasonLabel *>(QStringLiteral("budgetReason"));
    view.setFolder(measured);
    // The starting table: 5 the rest, 13 for 5 ms, 15 for a second a minute.
    const double average = ((10 - 0.005 - 10.0 / 60) * 3e-6 + 0.005 * 9.8e-3 + 10.0 / 60 * 10.4e-3) / 10;
    QVERIFY2(summary->text().startsWith(QStringLiteral("Average current %1").arg(Readings::formatAmperes(average))),
             qPrintable(summary->text() + reason->toolTip()));

    // A run adds a mode to the folder shown: the same folder, read again.
    const QString growing = scratch.filePath(QStringLiteral("growing"));
    QString error;
    QVERIFY2(ResultsFixture::writeFolder(growing, QStringLiteral("B1"), ResultsFixture::day(5), {row(13, 9.8e-3), row(15, 10.4e-3)},
                                         QStringLiteral("run-g"), &error), qPrintable(error));
    view.setFolder(growing);
    QVERIFY2(reason->toolTip().contains(QLatin1String("mode 5 (STOP2 + RTC) was not measured")), qPrintable(reason->toolTip()));
    ResultsFolder more(growing);
    QVERIFY(more.claim(&error) && more.load(&error));
    QVERIFY(more.commit(row(5, 3e-6), {}, QJsonObject(), more.recordedFacts(), &error));
    more.release();
    view.setFolder(growing);
    QVERIFY2(summary->text().startsWith(QStringLiteral("Average current %1").arg(Readings::formatAmperes(average))),
             qPrintable(summary->text() + reason->toolTip()));
    view.setFolder(measured);

    lines->item(1, 1)->setText(QStringLiteral("5 parsecs"));
    QVERIFY(summary->text().isEmpty());
    QVERIFY2(reason->toolTip().startsWith(QLatin1String("Row 2: a mode's line takes a time")), qPrintable(reason->toolTip()));
    lines->item(1, 1)->setText(QStringLiteral("0.005 s"));
    QVERIFY(!summary->text().isEmpty());

    const QString saved = scratch.filePath(QStringLiteral("saved.ini"));
    QVERIFY2(view.saveProfile(saved, &error), qPrintable(error));
    BudgetView again;
    QVERIFY2(again.loadProfile(written(scratch.filePath(QStringLiteral("sensor-window.ini")), sensorNode), &error), qPrintable(error));
    QCOMPARE(again.findChild<QTableWidget *>(QStringLiteral("budgetLines"))->rowCount(), 5);
    QVERIFY2(again.loadProfile(saved, &error), qPrintable(error));
    QCOMPARE(again.profileText(), view.profileText());
}

QTEST_MAIN(BudgetTest)
#include "tst_budget.moc"
