// Verdicts a release can be gated on: a row is compared only with its true
// counterpart (mode, voltage, temperature) of the same board, a run is
// judged whole or not, a run keeps its identity, and what the folder, the
// history and the CI files say is what was measured.
#include "history/baselinecheck.h"
#include "history/history.h"
#include "results/resultsfolder.h"
#include "report/verdicts.h"
#include "settings/settingrules.h"
#include "simulator/boardsimulator.h"
#include "simulator/metersimulator.h"
#include "simulator/scpiserver.h"
#include "sweep/sweep.h"
#include "tests/support/resultsfixture.h"
#include "tests/support/simulatedbench.h"
#include "tests/support/sweepprocess.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QXmlStreamReader>
#include <QtTest>

#include <unistd.h>

namespace {

using ResultsFixture::day;
using ResultsFixture::recordRun;
using ResultsFixture::row;
using ResultsFixture::rowAt;

const double none = qQNaN();

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QJsonObject jsonOf(const QString &folder)
{
    return QJsonDocument::fromJson(contentOf(folder + QStringLiteral("/results.json"))).object();
}

// What a run asked for, as results.json records it: modes and the voltages a supply unit set.
QJsonObject asked(const QList<int> &modes, const QList<double> &voltages)
{
    QJsonArray modeList, voltageList;
    for (int mode : modes)
        modeList << mode;
    for (double volts : voltages)
        voltageList << volts;
    return {{"modes", modeList}, {"supply_voltages", voltageList}};
}

RunFacts factsOf(const QString &board, const QDateTime &started, const QString &outcome)
{
    RunFacts facts;
    facts.runId = RunFacts::newRunId();
    facts.boardId = board;
    facts.started = started;
    facts.outcome = outcome;
    return facts;
}

// The JUnit file's cases: name to "passed", "skipped" or "failed: message".
QMap<QString, QString> casesOf(const QString &path, QStringList *names = nullptr)
{
    QFile file(path);
    QMap<QString, QString> cases;
    if (!file.open(QIODevice::ReadOnly))
        return cases;
    QXmlStreamReader xml(&file);
    QString current;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("testcase")) {
            current = xml.attributes().value("name").toString();
            cases.insert(current, QStringLiteral("passed"));
            if (names)
                *names << current;
        } else if (xml.name() == QLatin1String("skipped")) {
            cases.insert(current, QStringLiteral("skipped"));
        } else if (xml.name() == QLatin1String("failure")) {
            cases.insert(current, QStringLiteral("failed: ") + xml.attributes().value("message").toString());
        }
    }
    return cases;
}

// Runs the tool in a mount namespace where `folder` is mounted read-only,
// for root too. Exit 77: no namespace here.
ToolRun runOnReadOnlyFolder(const QStringList &arguments, const QString &folder)
{
    SweepProcess tool(arguments);
    QStringList line {"unshare", "--mount", "--propagation", "private"};
    if (geteuid() != 0)
        line << "--map-root-user";
    tool.runInside(line << "sh" << "-c"
                        << "mount --bind \"$0\" \"$0\" && mount -o remount,bind,ro \"$0\" 2>/dev/null || exit 77; exec \"$@\""
                        << folder);
    tool.start();
    return tool.finish();
}

} // namespace

class GateTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    // Pairing
    void comparesARowOnlyWithItsCounterpart_data();
    void comparesARowOnlyWithItsCounterpart();
    void choosesTheBaselineForEachCounterpart();
    void aCounterpartMissingIsNeitherAPassNorAChange();
    void runsWithoutABoardIdAreNoBoard();
    void namesEveryCaseOnceAndAlike();
    // Completeness
    void aRunThatStoppedEarlyFailsTheCheck();
    void importsAHalfFinishedCampaignAsStopped();
    void refusesVoltagesEqualToAHundredth();
    // Identity
    void aResumeKeepsTheRunsIdentity();
    void importReplacesRowsThatDifferFromTheFiles();
    // Files, numbers and text
    void aFailedFinalWriteFailsTheRun();
    void readsAHistoryItMayNotWrite();
    void listsAQuarterOfAMillionRuns();
    void markdownCellsCarryTextOnly();
    // A gate that cannot see fails closed
    void readingNeverCreatesAHistory();
    void checkSaysWhatItSawAndCanRequireABaseline();
    void anEmptyAnswerIsNoSuccess();

private:
    std::unique_ptr<History> openHistory();

    QTemporaryDir scratch;
    QString database;
    QString here;   // this test's own folder
};

void GateTest::init()
{
    here = scratch.filePath(QStringLiteral("%1/%2").arg(QTest::currentTestFunction(), QTest::currentDataTag()).remove(QLatin1Char(' ')));
    QVERIFY(QDir().mkpath(here));
    database = here + QStringLiteral("/history.sqlite");
}

std::unique_ptr<History> GateTest::openHistory()
{
    QString error;
    std::unique_ptr<History> history = History::openChosen(database, &error);
    if (!history)
        qWarning("%s", qPrintable(error));
    return history;
}

void GateTest::comparesARowOnlyWithItsCounterpart_data()
{
    QTest::addColumn<double>("baselineVolts");   // NaN: none recorded
    QTest::addColumn<double>("baselineCelsius");
    QTest::addColumn<double>("measuredVolts");
    QTest::addColumn<double>("measuredCelsius");
    QTest::addColumn<bool>("counterpart");

    QTest::newRow("1.8 V, then 3.3 V") << 1.8 << none << 3.3 << none << false;
    QTest::newRow("3.3 V both times") << 3.3 << none << 3.3 << none << true;
    QTest::newRow("1.801 V is 1.80 V") << 1.801 << none << 1.8 << none << true;
    QTest::newRow("no voltage either time") << none << none << none << none << true;
    QTest::newRow("a voltage only now") << none << none << 3.3 << none << false;
    QTest::newRow("a voltage only then") << 3.3 << none << none << none << false;
    QTest::newRow("25 °C, then 85 °C") << 3.3 << 25.0 << 3.3 << 85.0 << false;
    QTest::newRow("25 °C both times") << 3.3 << 25.0 << 3.3 << 25.0 << true;
    QTest::newRow("a temperature only now") << 3.3 << none << 3.3 << 25.0 << false;
}

// The baseline holds mode 13 at one set of conditions; the run measures it
// 84 % higher at another. Only the same conditions make a change.
void GateTest::comparesARowOnlyWithItsCounterpart()
{
    QFETCH(double, baselineVolts);
    QFETCH(double, baselineCelsius);
    QFETCH(double, measuredVolts);
    QFETCH(double, measuredCelsius);
    QFETCH(bool, counterpart);

    const auto history = openHistory();
    QVERIFY(history);
    recordRun(*history, "B1", day(1), "completed", {rowAt(13, 5.32e-3, baselineVolts, baselineCelsius)});
    const QString folder = here + QStringLiteral("/after");
    QString error;
    QVERIFY2(ResultsFixture::writeFolder(folder, "B1", day(2), {rowAt(13, 9.80e-3, measuredVolts, measuredCelsius)},
                                         RunFacts::newRunId(), &error),
             qPrintable(error));
    const auto check = BaselineCheck::of(*history, folder, BaselineRule(), Tolerance(), &error);
    QVERIFY2(check, qPrintable(error));
    QCOMPARE(check->modes().size(), 1);
    const CheckedMode mode = check->modes().first();
    QCOMPARE(int(mode.verdict), int(counterpart ? CheckedMode::Changed : CheckedMode::NoBaseline));
    QCOMPARE(mode.reason.startsWith(QLatin1String("no baseline")), !counterpart);

    const ToolRun run = runSweepTool({"check", folder, "--history", database});
    QCOMPARE(run.exitCode, counterpart ? 1 : 0);
}

// The campaign: mode 13 at 3.3 V, then at 1.8 V, then 40 % lower at
// 3.3 V. The newest run is no counterpart; the one before it is.
void GateTest::choosesTheBaselineForEachCounterpart()
{
    const auto history = openHistory();
    QVERIFY(history);
    const QString first = recordRun(*history, "B1", day(1), "completed", {rowAt(0, 30e-9, 3.3), rowAt(13, 9.80e-3, 3.3)});
    recordRun(*history, "B1", day(2), "completed", {rowAt(13, 5.32e-3, 1.8)});
    recordRun(*history, "B1", day(3), "completed", {rowAt(13, 9.90e-3, 3.3, 85)});   // another temperature
    const QString folder = here + QStringLiteral("/after");
    QString error;
    QVERIFY(ResultsFixture::writeFolder(folder, "B1", day(4), {rowAt(0, 31e-9, 3.3), rowAt(13, 5.88e-3, 3.3)},
                                        RunFacts::newRunId(), &error));
    const ToolRun run = runSweepTool({"check", folder, "--history", database});
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.output, QStringLiteral("changed  13 mode 13 at 3.30 V  mean 5.88 mA vs baseline 9.80 mA (-40 %)\n"));
    QVERIFY2(run.errors.contains(first), qPrintable(run.errors));

    // The median is taken per counterpart too: of the three runs at 3.3 V, not of the newest three.
    recordRun(*history, "B1", day(5), "completed", {rowAt(13, 9.60e-3, 3.3)});
    recordRun(*history, "B1", day(6), "completed", {rowAt(13, 5.30e-3, 1.8)});
    recordRun(*history, "B1", day(7), "completed", {rowAt(13, 9.70e-3, 3.3)});
    const QString later = here + QStringLiteral("/later");
    QVERIFY(ResultsFixture::writeFolder(later, "B1", day(8), {rowAt(13, 9.65e-3, 3.3)}, RunFacts::newRunId(), &error));
    const auto median = BaselineCheck::of(*history, later, *BaselineRule::parse("median:3", &error), Tolerance(), &error);
    QVERIFY2(median, qPrintable(error));
    QCOMPARE(median->modes().first().baseline, std::optional<double>(9.70e-3));
    QCOMPARE(int(median->modes().first().verdict), int(CheckedMode::Unchanged));
}

// No counterpart: skipped in JUnit, said in Markdown, never a pass or a change.
void GateTest::aCounterpartMissingIsNeitherAPassNorAChange()
{
    const auto history = openHistory();
    QVERIFY(history);
    recordRun(*history, "B1", day(1), "completed", {rowAt(0, 30e-9, 1.8), rowAt(13, 5.32e-3, 1.8)});
    const QString folder = here + QStringLiteral("/after");
    QString error;
    QVERIFY(ResultsFixture::writeFolder(folder, "B1", day(2), {rowAt(0, 30e-9, 1.8), rowAt(13, 9.8e-3, 3.3)},
                                        RunFacts::newRunId(), &error));
    const QString junit = here + QStringLiteral("/check.xml");
    const QString markdown = here + QStringLiteral("/check.md");
    const ToolRun run = runSweepTool({"check", folder, "--history", database, "--junit", junit, "--markdown", markdown});
    QCOMPARE(run.exitCode, 0);
    const QMap<QString, QString> cases = casesOf(junit);
    QCOMPARE(cases.value("0 mode 0 at 1.80 V"), QStringLiteral("passed"));
    QCOMPARE(cases.value("13 mode 13 at 3.30 V"), QStringLiteral("skipped"));
    QCOMPARE(cases.size(), 2);
    const QString table = QString::fromUtf8(contentOf(markdown));
    QVERIFY2(table.contains(QStringLiteral("| 13 mode 13 at 3\\.30 V | — | 9.80 mA |  | no baseline |")), qPrintable(table));
}

void GateTest::runsWithoutABoardIdAreNoBoard()
{
    const auto history = openHistory();
    QVERIFY(history);
    const QString unnamed = recordRun(*history, "", day(1), "completed", {row(13, 5e-3)});
    recordRun(*history, "", day(2), "completed", {row(13, 9e-3)});
    recordRun(*history, "B1", day(3), "completed", {row(13, 7e-3)});

    const QString out = here + QStringLiteral("/table");
    const ToolRun table = runSweepTool({"table", "--history", database, "--out", out});
    QVERIFY2(table.exitCode == 0, qPrintable(table.errors));
    QVERIFY2(table.errors.contains(QLatin1String("2 runs without a board id left out: record one with --board-id")),
             qPrintable(table.errors));
    QCOMPARE(contentOf(out + QStringLiteral("/table.csv")),
             QByteArray("index,mode,vdd_v,temperature_c,boards,typ_a,min_a,max_a,stdev_a\n13,mode 13,,,1,0.007,0.007,0.007,\n"));

    // A folder with no board id has no board to take a baseline from, unless one is named.
    const QString folder = here + QStringLiteral("/after");
    QString error;
    QVERIFY(ResultsFixture::writeFolder(folder, "", day(4), {row(13, 5e-3)}, RunFacts::newRunId(), &error));
    const ToolRun check = runSweepTool({"check", folder, "--history", database});
    QCOMPARE(check.exitCode, 0);
    QCOMPARE(check.output, QStringLiteral("no baseline for a run with no board id: nothing to compare\n"));
    const ToolRun named = runSweepTool({"check", folder, "--history", database, "--baseline", unnamed});
    QCOMPARE(named.exitCode, 0);
    QVERIFY2(named.errors.contains(unnamed), qPrintable(named.errors));
}

// A run of two voltages: one case per mode and voltage, named as the check names them.
void GateTest::namesEveryCaseOnceAndAlike()
{
    QList<ResultRow> rows;
    for (double volts : {1.8, 3.3}) {
        ResultRow one = rowAt(13, volts < 2 ? 5.3e-3 : 9.8e-3, volts, 25);
        one.limitMax = 6e-3;
        one.derive(volts);
        rows << one;
    }
    QString error;
    const QString folder = here + QStringLiteral("/run");
    QVERIFY(ResultsFixture::writeFolder(folder, "B1", day(2), rows, RunFacts::newRunId(), &error));
    QVERIFY(JUnitFile::write(here + QStringLiteral("/run.xml"), Verdicts::ofLimits(rows), &error));
    QStringList names;
    const QMap<QString, QString> cases = casesOf(here + QStringLiteral("/run.xml"), &names);
    QCOMPARE(names, QStringList({"13 mode 13 at 1.80 V, 25 °C", "13 mode 13 at 3.30 V, 25 °C"}));
    QCOMPARE(cases.value(names.last()).section(':', 0, 0), QStringLiteral("failed"));

    const auto history = openHistory();
    recordRun(*history, "B1", day(1), "completed", rows);
    const auto check = BaselineCheck::of(*history, folder, BaselineRule(), Tolerance(), &error);
    QVERIFY2(check, qPrintable(error));
    QVERIFY(JUnitFile::write(here + QStringLiteral("/check.xml"), Verdicts::ofCheck(*check), &error));
    QStringList checked;
    casesOf(here + QStringLiteral("/check.xml"), &checked);
    QCOMPARE(checked, names);
}

void GateTest::aRunThatStoppedEarlyFailsTheCheck()
{
    const auto history = openHistory();
    QVERIFY(history);
    recordRun(*history, "B1", day(1), "completed",
              {rowAt(0, 30e-9, 1.8), rowAt(1, 1e-6, 1.8), rowAt(0, 33e-9, 3.3), rowAt(1, 1.1e-6, 3.3)});
    // Asked for modes 0 and 1 at 1.8 and 3.3 V; it failed after the first.
    const QString folder = here + QStringLiteral("/failed");
    QString error;
    QVERIFY(ResultsFixture::writeFolder(folder, factsOf("B1", day(2), "failed"), asked({0, 1}, {1.8, 3.3}),
                                        {rowAt(0, 30e-9, 1.8)}, &error));
    const QString junit = here + QStringLiteral("/check.xml");
    const ToolRun run = runSweepTool({"check", folder, "--history", database, "--junit", junit});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.output.contains(QLatin1String("run failed: 1 of 4 asked pairs measured\n")), qPrintable(run.output));
    QVERIFY2(run.output.contains(QLatin1String("failed   1 STANDBY at 3.30 V  not measured\n")), qPrintable(run.output));
    const QMap<QString, QString> cases = casesOf(junit);
    QCOMPARE(cases.size(), 4);
    QCOMPARE(cases.value("0 mode 0 at 1.80 V"), QStringLiteral("passed"));
    QCOMPARE(cases.value("1 STANDBY at 1.80 V"), QStringLiteral("failed: not measured"));

    // Every measured pair unchanged, but the run itself did not complete.
    const QString stopped = here + QStringLiteral("/stopped");
    QVERIFY(ResultsFixture::writeFolder(stopped, factsOf("B1", day(3), "stopped"), asked({0}, {1.8}), {rowAt(0, 30e-9, 1.8)},
                                        &error));
    const ToolRun whole = runSweepTool({"check", stopped, "--history", database});
    QCOMPARE(whole.exitCode, 1);
    QCOMPARE(whole.output, QStringLiteral("run stopped: 1 of 1 asked pairs measured\n"));
}

void GateTest::importsAHalfFinishedCampaignAsStopped()
{
    // Killed after the 1.8 V pairs of modes 0-1 at 1.8 and 3.3 V: results.json still says running.
    const QString killed = here + QStringLiteral("/killed");
    QString error;
    QVERIFY(ResultsFixture::writeFolder(killed, factsOf("B1", day(1), "running"), asked({0, 1}, {1.8, 3.3}),
                                        {rowAt(0, 30e-9, 1.8), rowAt(1, 1e-6, 1.8)}, &error));
    // Says completed, but a pair is missing.
    const QString edited = here + QStringLiteral("/edited");
    QVERIFY(ResultsFixture::writeFolder(edited, factsOf("B2", day(2), "completed"), asked({0, 1}, {1.8, 3.3}),
                                        {rowAt(0, 30e-9, 1.8), rowAt(1, 1e-6, 1.8), rowAt(0, 33e-9, 3.3)}, &error));
    const ToolRun run = runSweepTool({"import", killed, edited, "--history", database});
    QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
    QVERIFY2(run.errors.contains(QLatin1String(", 2 modes, stopped")), qPrintable(run.errors));
    QVERIFY2(run.errors.contains(QLatin1String(", 3 modes, stopped")), qPrintable(run.errors));
    const auto history = openHistory();
    const auto runs = history->runs(RunFilter(), 0, &error);
    QCOMPARE(runs->size(), 2);
    for (const RunEntry &entry : *runs)
        QCOMPARE(entry.facts.outcome, QStringLiteral("stopped"));
    // Neither serves as a baseline.
    const QString later = here + QStringLiteral("/later");
    QVERIFY(ResultsFixture::writeFolder(later, "B1", day(3), {rowAt(0, 90e-9, 1.8)}, RunFacts::newRunId(), &error));
    QCOMPARE(runSweepTool({"check", later, "--history", database}).exitCode, 0);
}

void GateTest::refusesVoltagesEqualToAHundredth()
{
    QString why;
    QVERIFY(!SettingRules::parseVoltages(QStringLiteral("1.8,1.801"), QStringLiteral("--supply"), &why));
    QCOMPARE(why, QStringLiteral("--supply lists 1.8 V and 1.801 V, the same voltage to 0.01 V"));
    QVERIFY(SettingRules::parseVoltages(QStringLiteral("1.8,1.81"), QStringLiteral("--supply"), &why));

    BoardSimulator board;
    MeterSimulator meter([] { return 1e-3; });
    ScpiServer unit(meter);
    QVERIFY(unit.listen(0));
    const QString out = here + QStringLiteral("/run");
    const ToolRun run = runSweepTool({"run", "--port", board.portPath(), "--meter", "none", "--reset", "none", "--supply-unit",
                                      QStringLiteral("tcp:127.0.0.1:%1").arg(unit.port()), "--supply", "1.8,1.801", "--modes",
                                      "0-1", "--history", "none", "--out", out});
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.errors.contains(QLatin1String("1.8 V and 1.801 V")), qPrintable(run.errors));
    QTest::qWait(100);
    QVERIFY(board.received().isEmpty());
    QVERIFY(!QFileInfo::exists(out));
}

void GateTest::aResumeKeepsTheRunsIdentity()
{
    SimulatedBench bench;
    const QString out = here + QStringLiteral("/run");
    const QStringList plain {"run", "--port", bench.port(), "--meter", bench.meter(), "--reset", bench.resetCommand(),
                             "--modes", "0-3", "--settle", "0.05", "--boot", "0.2", "--samples", "3", "--history", database,
                             "--out", out};
    const QStringList identity {"--board-id", "B7", "--firmware", "v1.0", "--note", "first", "--tag", "bench=3"};
    const ToolRun stopped = runSweepTool(plain + identity, [](const QString &progress) { return progress.contains("[2/4]"); });
    QCOMPARE(stopped.exitCode, 130);

    // Another identity on resume is refused, naming the option and both values.
    const ToolRun other = runSweepTool(plain + QStringList {"--resume", "--firmware", "v2.0"});
    QCOMPARE(other.exitCode, 2);
    QVERIFY2(other.errors.contains(QLatin1String("--firmware is v2.0 here but v1.0 in the folder")), qPrintable(other.errors));

    const ToolRun resumed = runSweepTool(plain + QStringList {"--resume", "--board-id", "B7"});
    QVERIFY2(resumed.exitCode == 0, qPrintable(resumed.errors));
    const QJsonObject run = jsonOf(out).value("run").toObject();
    QCOMPARE(run.value("board_id").toString(), QStringLiteral("B7"));
    QCOMPARE(run.value("firmware").toString(), QStringLiteral("v1.0"));
    QCOMPARE(run.value("note").toString(), QStringLiteral("first"));
    QCOMPARE(run.value("tags").toObject(), QJsonObject({{"bench", "3"}}));
    const ToolRun listed = runSweepTool({"history", "--history", database, "--board", "B7", "--format", "json"});
    const QJsonArray runs = QJsonDocument::fromJson(listed.output.toUtf8()).array();
    QCOMPARE(runs.size(), 1);
    QCOMPARE(runs.first().toObject().value("note").toString(), QStringLiteral("first"));
    QCOMPARE(runs.first().toObject().value("tags").toObject(), QJsonObject({{"bench", "3"}}));
    QCOMPARE(runs.first().toObject().value("modes").toInt(), 4);
}

// The files are the record of truth: a mode measured again replaces the
// history's row; identical rows are left.
void GateTest::importReplacesRowsThatDifferFromTheFiles()
{
    const QString folder = here + QStringLiteral("/run");
    QString error;
    QVERIFY(ResultsFixture::writeFolder(folder, "B1", day(1), {row(0, 33e-9), row(1, 1.19e-7)}, RunFacts::newRunId(), &error));
    QCOMPARE(runSweepTool({"import", folder, "--history", database}).exitCode, 0);
    const QString runId = jsonOf(folder).value("run_id").toString();

    ResultsFolder files(folder);
    QVERIFY(files.claim(&error) && files.load(&error));
    RunFacts facts = files.recordedFacts();
    QVERIFY(files.commit(row(1, 3.57e-7), {}, QJsonObject(), facts, &error));
    files.release();

    const ToolRun again = runSweepTool({"import", folder, "--history", database});
    QCOMPARE(again.exitCode, 0);
    QVERIFY2(again.errors.contains(QStringLiteral("updated run %1: 1 mode").arg(runId)), qPrintable(again.errors));
    const auto history = openHistory();
    const auto rows = history->modeRows(runId, &error);
    QVERIFY2(rows && rows->size() == 2, qPrintable(error));
    QCOMPARE(rows->last().mean, std::optional<double>(3.57e-7));
    const ToolRun same = runSweepTool({"import", folder, "--history", database});
    QVERIFY2(same.errors.contains(QLatin1String("skipped")), qPrintable(same.errors));
}

// The last write of results.json, after the instruments closed, counts as
// every other: the run fails, naming the file.
void GateTest::aFailedFinalWriteFailsTheRun()
{
    BoardSimulator board;
    MeterSimulator simulatedMeter([] { return 2e-6; });
    ScpiServer meter(simulatedMeter);
    QVERIFY(meter.listen(0));
    SweepSettings settings;
    settings.port = board.portPath();
    settings.modes = {0, 1};
    settings.meter = MeterAddress::parse(QStringLiteral("tcp:127.0.0.1:%1").arg(meter.port()), nullptr);
    settings.reset.kind = ResetStrategy::None;
    settings.bootSeconds = 0.05;
    settings.defaults.settleSeconds = 0.05;
    settings.defaults.meter.samples = 2;
    settings.outputFolder = here + QStringLiteral("/run");
    Sweep sweep(settings);
    QString error;
    QVERIFY2(sweep.prepare(&error), qPrintable(error));
    // After the last mode's commit, something takes results.json's place.
    connect(&sweep, &Sweep::modeFinished, &sweep, [&](int position, int count) {
        if (position == count) {
            QVERIFY(QFile::remove(settings.outputFolder + "/results.json"));
            QVERIFY(QDir().mkpath(settings.outputFolder + "/results.json/in-the-way"));
        }
    });
    qRegisterMetaType<Sweep::Outcome>();
    QSignalSpy finished(&sweep, &Sweep::finished);
    sweep.start();
    QVERIFY(finished.wait(20000));
    QCOMPARE(finished.first().at(0).value<Sweep::Outcome>(), Sweep::Failed);
    const QString message = finished.first().at(1).toString();
    QVERIFY2(message.contains(settings.outputFolder + "/results.json"), qPrintable(message));
}

// On a read-only share or cache, for root too: reading works; writing is
// refused before anything is sent.
void GateTest::readsAHistoryItMayNotWrite()
{
    const QString folder = here + QStringLiteral("/run");
    QString error;
    QVERIFY(ResultsFixture::writeFolder(folder, "B1", day(2), {row(0, 30e-9)}, RunFacts::newRunId(), &error));
    const QString shared = here + QStringLiteral("/share");
    QVERIFY(QDir().mkpath(shared));
    database = shared + QStringLiteral("/history.sqlite");
    {
        const auto history = openHistory();
        recordRun(*history, "B1", day(1), "completed", {row(0, 31e-9)});
    }
    const QByteArray before = contentOf(database);
    const QList<QStringList> reading {
        {"history", "--history", database},
        {"trend", "--history", database, "--out", here + "/trend"},
        {"table", "--history", database, "--out", here + "/table"},
        {"check", folder, "--history", database},
    };
    for (const QStringList &command : reading) {
        const ToolRun run = runOnReadOnlyFolder(command, shared);
        if (run.exitCode == 77)
            QSKIP("no mount namespace here");
        QVERIFY2(run.exitCode == 0, qPrintable(command.first() + ": " + run.errors));
    }
    BoardSimulator board;
    const ToolRun sweep = runOnReadOnlyFolder({"run", "--port", board.portPath(), "--meter", "none", "--reset", "none",
                                               "--history", database, "--out", here + "/refused"},
                                              shared);
    QCOMPARE(sweep.exitCode, 2);
    QVERIFY2(sweep.errors.contains(database), qPrintable(sweep.errors));
    QCOMPARE(sweep.errors.count(QLatin1Char('\n')), 1);
    const ToolRun import = runOnReadOnlyFolder({"import", folder, "--history", database}, shared);
    QCOMPARE(import.exitCode, 2);
    QTest::qWait(100);
    QVERIFY(board.received().isEmpty());
    QVERIFY(!QFileInfo::exists(here + "/refused"));
    QCOMPARE(contentOf(database), before);
}

void GateTest::listsAQuarterOfAMillionRuns()
{
    {
        const auto history = openHistory();
        QVERIFY(history);
    }
    {
        QSqlDatabase file = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("filler"));
        file.setDatabaseName(database);
        QVERIFY(file.open());
        QSqlQuery query(file);
        QVERIFY2(query.exec(QStringLiteral(
                     "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 250001)"
                     " INSERT INTO runs SELECT printf('run-%06d', i), printf('2026-01-01T00:00:00.%03dZ', i % 1000), NULL,"
                     " 'completed', 'h', 'u', 'p', 'B' || (i % 7), 'v1', '', 'meter', '{}', '/x' FROM n")),
                 qPrintable(query.lastError().text()));
        QVERIFY(query.exec(QStringLiteral("INSERT INTO tags SELECT run_id, 'bench', board_id FROM runs")));
        file.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("filler"));
    // The address sanitizer's full unwind at each of the listing's million
    // allocations turns seconds into minutes; its fast one does here.
    const QByteArray sanitizer = qgetenv("ASAN_OPTIONS");
    if (!sanitizer.isEmpty())
        qputenv("ASAN_OPTIONS", sanitizer + ":fast_unwind_on_malloc=1");
    const ToolRun listed = runSweepTool({"history", "--history", database, "--limit", "0", "--format", "csv"});
    if (!sanitizer.isEmpty())
        qputenv("ASAN_OPTIONS", sanitizer);
    QVERIFY2(listed.exitCode == 0, qPrintable(listed.errors));
    QCOMPARE(listed.output.count(QLatin1Char('\n')), 250002);
    const QString firstRun = listed.output.section(QLatin1Char('\n'), 1, 1);
    QVERIFY2(firstRun.contains(QLatin1String(",bench=B")), qPrintable(firstRun));
}

// GitHub's own renderer shows every free-text cell as its text: no HTML, no
// link, no image, no cell of its own.
void GateTest::markdownCellsCarryTextOnly()
{
    if (QStandardPaths::findExecutable(QStringLiteral("cmark-gfm")).isEmpty())
        QSKIP("cmark-gfm is not installed");
    const QString hostile = QStringLiteral("<script>alert(1)</script> [a](http://e.x) ![i](j.png) *b* `c` | d \\| &amp; www.e.x");
    const auto history = openHistory();
    ResultRow before = row(1, 1e-6);
    before.mode = hostile;
    recordRun(*history, "B`1", day(1), "completed", {before});
    const QString folder = here + QStringLiteral("/run");
    QString error;
    RunFacts facts = factsOf("B`1", day(2), "completed");
    facts.firmware = hostile;
    ResultRow after = row(1, 3e-6);
    after.mode = hostile;
    QVERIFY(ResultsFixture::writeFolder(folder, facts, QJsonObject(), {after}, &error));
    const QString markdown = here + QStringLiteral("/check.md");
    QCOMPARE(runSweepTool({"check", folder, "--history", database, "--markdown", markdown}).exitCode, 1);

    QProcess render;
    render.start(QStringLiteral("cmark-gfm"), {"--extension", "table", "--extension", "autolink", "--extension", "tagfilter",
                                               "--extension", "strikethrough", markdown});
    QVERIFY(render.waitForFinished(10000));
    const QString html = QString::fromUtf8(render.readAllStandardOutput());
    for (const char *markup : {"<script", "<a ", "<img", "<em>", "<code>"})
        QVERIFY2(!html.contains(QLatin1String(markup)), qPrintable(html));
    QVERIFY2(html.contains(QLatin1String("&lt;script&gt;alert(1)&lt;/script&gt; [a](http://e.x) ![i](j.png) *b* `c` | d \\| &amp;amp; www.e.x")),
             qPrintable(html));
    QVERIFY2(html.contains(QLatin1String("B`1")), qPrintable(html));
    // Five cells in every body row.
    const QString body = html.section(QLatin1String("<tbody>"), 1);
    QCOMPARE(body.count(QLatin1String("<tr>")), 1);
    QCOMPARE(body.count(QLatin1String("<td")), 5);
}

// history, trend, check and table on a location that does not exist: exit 2
// naming it, and nothing made there.
void GateTest::readingNeverCreatesAHistory()
{
    const QString folder = here + QStringLiteral("/run");
    QString error;
    QVERIFY(ResultsFixture::writeFolder(folder, "demo-01", day(2), {row(0, 30e-9)}, RunFacts::newRunId(), &error));
    const QString missing = here + QStringLiteral("/nowhere/missing.sqlite");
    const QList<QStringList> reading {
        {"history", "--history", missing},
        {"trend", "--history", missing, "--out", here + "/trend"},
        {"table", "--history", missing, "--out", here + "/table"},
        {"check", folder, "--history", missing},
    };
    for (const QStringList &command : reading) {
        const ToolRun run = runSweepTool(command);
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.errors.contains(missing), qPrintable(run.errors));
        QCOMPARE(run.errors.count(QLatin1Char('\n')), 1);
    }
    QVERIFY(!QFileInfo::exists(here + "/nowhere"));
    QVERIFY(!QFileInfo::exists(here + "/trend") && !QFileInfo::exists(here + "/table"));
}

void GateTest::checkSaysWhatItSawAndCanRequireABaseline()
{
    const auto history = openHistory();
    recordRun(*history, "demo-01", day(1), "completed", {rowAt(0, 30e-9, 3.3)});
    recordRun(*history, "demo-01", day(2), "stopped", {rowAt(0, 30e-9, 3.3)});
    recordRun(*history, "other", day(2), "completed", {rowAt(0, 30e-9, 3.3)});
    const QString folder = here + QStringLiteral("/run");
    QString error;
    RunFacts facts = factsOf("demo-01", day(3), "completed");
    QVERIFY(ResultsFixture::writeFolder(folder, facts, asked({0, 13}, {3.3}), {rowAt(0, 31e-9, 3.3), rowAt(13, 9.8e-3, 3.3)},
                                        &error));
    // The folder's own run, as the sweep recorded it, is never counted.
    RunEntry own;
    own.facts = facts;
    QVERIFY(history->beginRun(own, &error));

    const ToolRun seeing = runSweepTool({"check", folder, "--history", database});
    QCOMPARE(seeing.exitCode, 0);   // mode 13 has no baseline: skipped
    QCOMPARE(seeing.errors.section(QLatin1Char('\n'), 0, 0),
             QStringLiteral("history %1: 1 completed run of board demo-01, this run left out").arg(database));

    const QString junit = here + QStringLiteral("/check.xml");
    const ToolRun strict = runSweepTool({"check", folder, "--history", database, "--require-baseline", "--junit", junit});
    QCOMPARE(strict.exitCode, 1);
    QVERIFY2(strict.output.contains(QLatin1String("failed   13 mode 13 at 3.30 V  no baseline, and a baseline is required")),
             qPrintable(strict.output));
    QCOMPARE(casesOf(junit).value("0 mode 0 at 3.30 V"), QStringLiteral("passed"));

    // A CI job whose history went missing, or never held the board: the gate fails.
    const QString empty = here + QStringLiteral("/empty.sqlite");
    {
        QString why;
        QVERIFY(History::openChosen(empty, &why));
    }
    const ToolRun blind = runSweepTool({"check", folder, "--history", empty, "--require-baseline"});
    QCOMPARE(blind.exitCode, 1);
    QVERIFY2(blind.errors.startsWith(QStringLiteral("history %1: 0 completed runs of board demo-01, this run left out\n").arg(empty)),
             qPrintable(blind.errors));
    QCOMPARE(runSweepTool({"check", folder, "--history", empty}).exitCode, 0);
}

// No run matches: trend draws nothing and fails; history lists an empty table.
void GateTest::anEmptyAnswerIsNoSuccess()
{
    const auto history = openHistory();
    recordRun(*history, "B1", day(1), "completed", {row(0, 30e-9)});
    const ToolRun trend = runSweepTool({"trend", "--history", database, "--modes", "13", "--out", here + "/trend"});
    QCOMPARE(trend.exitCode, 2);
    QVERIFY2(trend.errors.contains(QLatin1String("no runs")), qPrintable(trend.errors));
    QVERIFY(!QFileInfo::exists(here + "/trend"));

    const ToolRun table = runSweepTool({"history", "--history", database, "--board", "nobody"});
    QCOMPARE(table.exitCode, 0);
    QCOMPARE(table.output, QStringLiteral("RUN  STARTED (UTC)  OUTCOME  BOARD  FIRMWARE  TAGS  MODES  FAIL  FOLDER\n"));
    const ToolRun csv = runSweepTool({"history", "--history", database, "--board", "nobody", "--format", "csv"});
    QCOMPARE(csv.output, QStringLiteral("run_id,started_utc,ended_utc,outcome,host,board_id,firmware,tags,note,modes,fails,folder\n"));
    const ToolRun json = runSweepTool({"history", "--history", database, "--board", "nobody", "--format", "json"});
    QCOMPARE(json.output.simplified(), QStringLiteral("[ ]"));
}

QTEST_GUILESS_MAIN(GateTest)
#include "tst_gate.moc"
