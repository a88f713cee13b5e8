// pellmora-sweep run against benches that misbehave: meters that answer
// short, unasked or malformed, a board that sends NUL bytes or goes away, a
// reset command that outlives its welcome, an operator who presses Enter
// early, signals at awkward moments, a full disk, and folders that cannot
// be written or belong to another run. Each result either is right or is
// reported as a failure; none looks right and is not.
#include "results/resultsfolder.h"
#include "simulator/boardsimulator.h"
#include "tests/support/scriptedmeter.h"
#include "tests/support/simulatedbench.h"
#include "tests/support/sweepprocess.h"

#include <QJsonDocument>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

QList<ResultRow> rowsIn(const QString &folder)
{
    QString error;
    return ResultsFolder::readRows(folder, &error).value_or(QList<ResultRow>());
}

QList<QStringList> samplesIn(const QString &folder, int index)
{
    QFile file(QDir(folder).filePath(QStringLiteral("samples.csv")));
    QList<QStringList> samples;
    if (!file.open(QIODevice::ReadOnly))
        return samples;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith(QByteArray::number(index) + ','))
            samples << QString::fromUtf8(line).split(QLatin1Char(','));
    }
    return samples;
}

// Whether any process's command line holds `marker`.
bool processRuns(const QByteArray &marker)
{
    for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().contains(marker))
            return true;
    }
    return false;
}

// A pseudo-terminal to stand in for the operator's: the tool reads from
// its slave end, the test types on its master end.
class Terminal
{
public:
    Terminal()
    {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        grantpt(master);
        unlockpt(master);
        path = QString::fromLatin1(ptsname(master));
    }
    ~Terminal() { ::close(master); }
    void type(const QByteArray &keys) { QVERIFY(::write(master, keys.constData(), size_t(keys.size())) == keys.size()); }

    QString path;

private:
    int master = -1;
};

} // namespace

class SweepFaultsTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void aShortAnswerIsAMeterFault();
    void neverTakesAnUnaskedLineForAReading();
    void aNulFromTheBoardLosesNothing();
    void anEnterTypedAheadAnswersNoPrompt();
    void eachTypedReadingKeepsItsOwnTime();
    void aResetCommandEndsWithTheSweep_data();
    void aResetCommandEndsWithTheSweep();
    void aFailingResetCommandIsNoReset();
    void sigtermClosesTheMeterAndKeepsTheFiles();
    void namesTheCauseWhenTheBoardGoesAway();
    void anEarlyFailureLeavesNoFolderBehind();
    void aFullDiskKeepsTheLastCompleteFiles();
    void refusesAFolderItCannotWriteBeforeAsking();
    void resumeFollowsResultsCsv();
    void resumeRefusesOtherSettings();
    void twoSweepsStartedTogetherGetAFolderEach();

private:
    QTemporaryDir scratch;
    QString out;
};

void SweepFaultsTest::init()
{
    out = scratch.filePath(QStringLiteral("run-%1").arg(QTest::currentTestFunction()));
}

void SweepFaultsTest::aShortAnswerIsAMeterFault()
{
    // A dialect without an error queue, and a meter that gives one reading of ten.
    BoardSimulator board;
    ScriptedMeter meter;
    meter.answer("READ?", QByteArray("+1.0E-06\n"));
    const QString profile = scratch.filePath(QStringLiteral("no-error-queue.profile"));
    QFile file(profile);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("error_query =\n");
    file.close();
    const ToolRun run = runSweepTool({"run", "--port", board.portPath(), "--meter", meter.address(), "--meter-profile", profile,
                                      "--reset", "none", "--boot", "0", "--settle", "0", "--samples", "10", "--out", out});
    QCOMPARE(run.exitCode, 3);
    QVERIFY2(run.errors.contains(QLatin1String("mode 0 (SHUTDOWN): meter answered 1 readings to READ?, 10 were asked for")),
             qPrintable(run.errors));
    QVERIFY(rowsIn(out).isEmpty());
}

void SweepFaultsTest::neverTakesAnUnaskedLineForAReading()
{
    // A 5 mA line 0.3 s after each reading of 55 nA, while the next mode settles.
    BoardSimulator board;
    ScriptedMeter meter(55e-9);
    meter.thenSend("READ?", 300, "+5.0E-03\n");
    const QStringList arguments {"run", "--port", board.portPath(), "--meter", meter.address(), "--reset", "none",
                                 "--boot", "0", "--settle", "1", "--samples", "2", "--modes", "0-2", "--entry-check", "off",
                                 "--out", out};
    const ToolRun run = runSweepTool(arguments);
    QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
    for (const ResultRow &row : rowsIn(out))
        QVERIFY2(*row.max < 60e-9, qPrintable(row.mode));
    QCOMPARE(rowsIn(out).size(), 3);
    QVERIFY2(run.errors.contains(QLatin1String("warning: mode 1 (STANDBY): meter sent \"+5.0E-03\" when nothing was asked; ignored")),
             qPrintable(run.errors));

    // Lines that come with a reply, beyond it, make the reply malformed.
    ScriptedMeter talkative(55e-9);
    talkative.answer("READ?", QByteArray("+5.5E-08,+5.5E-08\n+5.0E-03\n"));
    const ToolRun malformed = runSweepTool({"run", "--port", board.portPath(), "--meter", talkative.address(), "--reset", "none",
                                            "--boot", "0", "--settle", "0", "--samples", "2", "--out", out + "-2"});
    QCOMPARE(malformed.exitCode, 3);
    QVERIFY2(malformed.errors.contains(QLatin1String("mode 0 (SHUTDOWN): meter answered READ? with 2 lines")),
             qPrintable(malformed.errors));
}

void SweepFaultsTest::aNulFromTheBoardLosesNothing()
{
    // A glitch at reset sends a NUL, then a byte that is no UTF-8, before the report.
    BoardSimulator board;
    connect(&board, &BoardSimulator::commandReceived, &board, [&board] { board.send(QByteArray("\0A\0B\xff" "C\r\n", 8)); });
    QElapsedTimer clock;
    clock.start();
    const ToolRun run = runSweepTool({"run", "--port", board.portPath(), "--meter", "none", "--reset", "none", "--boot", "0",
                                      "--settle", "0", "--modes", "15", "--reply-timeout", "20", "--out", out});
    QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
    QVERIFY2(clock.elapsed() < 15000, "waited out the reply time-out");
    const QList<ResultRow> rows = rowsIn(out);
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.first().coremark, std::optional<double>(166.42));
    QVERIFY2(rows.first().boardReply.startsWith(QStringLiteral("AB\ufffdC\r\n2K performance run parameters")),
             qPrintable(rows.first().boardReply.left(40)));
    QVERIFY(rows.first().boardReply.contains(QLatin1String("CoreMark 1.0 : 166.42")));
}

void SweepFaultsTest::anEnterTypedAheadAnswersNoPrompt()
{
    BoardSimulator board;
    Terminal terminal;
    SweepProcess tool({"run", "--port", board.portPath(), "--meter", "none", "--reset", "prompt", "--boot", "0", "--settle", "1",
                       "--modes", "0-1", "--out", out});
    tool.setInputTerminal(terminal.path);
    tool.start();
    QVERIFY(tool.waitForErrors(QStringLiteral("press the board's reset button for mode 0 (SHUTDOWN), then Enter")));
    terminal.type("\n");
    QTRY_COMPARE(board.commands(), QList<int>({0}));
    terminal.type("\n");   // while mode 0 settles: a key pressed twice
    QVERIFY(tool.waitForErrors(QStringLiteral("press the board's reset button for mode 1 (STANDBY), then Enter")));
    tool.pump(500);
    QCOMPARE(board.commands(), QList<int>({0}));
    terminal.type("\n");
    QTRY_COMPARE(board.commands(), QList<int>({0, 1}));
    QCOMPARE(tool.finish().exitCode, 0);
}

void SweepFaultsTest::eachTypedReadingKeepsItsOwnTime()
{
    BoardSimulator board;
    Terminal terminal;
    SweepProcess tool({"run", "--port", board.portPath(), "--meter", "manual", "--samples", "2", "--reset", "none",
                       "--boot", "0", "--settle", "0", "--modes", "4", "--out", out});
    tool.setInputTerminal(terminal.path);
    tool.start();
    QVERIFY(tool.waitForErrors(QStringLiteral("mode 4 (STOP2), reading 1 of 2: ")));
    terminal.type("1.1u\n");
    QVERIFY(tool.waitForErrors(QStringLiteral("reading 2 of 2: ")));
    tool.pump(1000);
    terminal.type("1.2u\n");
    QCOMPARE(tool.finish().exitCode, 0);
    const QList<QStringList> samples = samplesIn(out, 4);
    QCOMPARE(samples.size(), 2);
    const double between = samples.at(1).at(3).toDouble() - samples.at(0).at(3).toDouble();
    QVERIFY2(between >= 0.9, qPrintable(QString::number(between)));
}

void SweepFaultsTest::aResetCommandEndsWithTheSweep_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("wholeGroup");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("Ctrl+C on the terminal") << int(SIGINT) << true << 130;
    QTest::newRow("SIGTERM") << int(SIGTERM) << false << 143;
}

void SweepFaultsTest::aResetCommandEndsWithTheSweep()
{
    QFETCH(int, signal);
    QFETCH(bool, wholeGroup);
    QFETCH(int, exitCode);
    BoardSimulator board;
    const QByteArray marker = "61.4142" + QByteArray::number(signal);
    SweepProcess tool({"run", "--port", board.portPath(), "--meter", "none", "--reset",
                       QStringLiteral("command:sleep %1; true").arg(QString::fromLatin1(marker)), "--out", out});
    tool.runInside({QStringLiteral("setsid")});
    tool.start();
    const QByteArray sleeping = QByteArray("sleep\0", 6) + marker;
    QTRY_VERIFY(processRuns(sleeping));
    tool.signal(signal, wholeGroup);
    const ToolRun run = tool.finish();
    QVERIFY2(run.exitCode == exitCode, qPrintable(run.errors));
    QTRY_VERIFY_WITH_TIMEOUT(!processRuns(sleeping), 2000);
}

void SweepFaultsTest::aFailingResetCommandIsNoReset()
{
    BoardSimulator board;
    const ToolRun run = runSweepTool({"run", "--port", board.portPath(), "--meter", "none", "--reset", "command:exit 4",
                                      "--out", out});
    QCOMPARE(run.exitCode, 3);
    QVERIFY2(run.errors.contains(QLatin1String("mode 0 (SHUTDOWN): reset command failed (exit 4)")), qPrintable(run.errors));
    QVERIFY(board.commands().isEmpty());
}

void SweepFaultsTest::sigtermClosesTheMeterAndKeepsTheFiles()
{
    // The meter answers mode 0's readings, then takes mode 1's READ? and never answers.
    BoardSimulator board;
    ScriptedMeter meter;
    meter.fallSilent("READ?", 1);
    const QString profile = scratch.filePath(QStringLiteral("closing.profile"));
    QFile file(profile);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("on_close = CURR:RANG:AUTO ON\non_close = SYST:LOC\n");
    file.close();
    SweepProcess tool({"run", "--port", board.portPath(), "--meter", meter.address(), "--meter-profile", profile,
                       "--reset", "none", "--boot", "0", "--settle", "0", "--samples", "3", "--nplc", "50",
                       "--modes", "0-2", "--entry-check", "off", "--out", out});
    tool.start();
    QVERIFY(tool.waitForErrors(QStringLiteral("[1/3]")));
    QTRY_COMPARE(meter.received().count("READ?"), 2);
    tool.signal(SIGTERM);
    const ToolRun run = tool.finish();
    QVERIFY2(run.exitCode == 143, qPrintable(run.errors));
    QTRY_VERIFY(meter.received().endsWith("SYST:LOC"));
    QCOMPARE(meter.received().mid(meter.received().lastIndexOf("READ?") + 1), QByteArrayList({"CURR:RANG:AUTO ON", "SYST:LOC"}));
    QCOMPARE(rowsIn(out).size(), 1);
    QFile report(QDir(out).filePath(QStringLiteral("report.html")));
    QVERIFY(report.open(QIODevice::ReadOnly));
    QVERIFY(report.readAll().contains("SHUTDOWN"));
}

void SweepFaultsTest::namesTheCauseWhenTheBoardGoesAway()
{
    BoardSimulator board;
    connect(&board, &BoardSimulator::commandReceived, &board, [&board] {
        QTimer::singleShot(200, &board, [&board] { board.vanish(); });
    });
    const ToolRun run = runSweepTool({"run", "--port", board.portPath(), "--meter", "none", "--reset", "none", "--boot", "0",
                                      "--settle", "3", "--out", out});
    QVERIFY2(run.exitCode == 3, qPrintable(run.errors));
    QVERIFY2(run.errors.contains(QLatin1String("mode 0 (SHUTDOWN): board's port failed: the port closed")), qPrintable(run.errors));
}

void SweepFaultsTest::anEarlyFailureLeavesNoFolderBehind()
{
    BoardSimulator board;
    ScriptedMeter silent;
    silent.answer("*IDN?", std::nullopt);
    const ToolRun mute = runSweepTool({"run", "--port", board.portPath(), "--meter", silent.address(), "--out", out});
    QCOMPARE(mute.exitCode, 3);
    QVERIFY2(mute.errors.contains(QLatin1String("meter did not answer *IDN?")), qPrintable(mute.errors));
    QVERIFY(!QFileInfo::exists(out));

    // No input for the first reset prompt, and a folder of the tool's own choosing.
    const QString here = scratch.filePath(QStringLiteral("working"));
    QDir().mkpath(here);
    SweepProcess tool({"run", "--port", board.portPath(), "--meter", "none"});
    tool.setWorkingDirectory(here);
    tool.start();
    const ToolRun ended = tool.finish();
    QCOMPARE(ended.exitCode, 3);
    QVERIFY2(ended.errors.contains(QLatin1String("end of input")), qPrintable(ended.errors));
    QCOMPARE(QDir(here).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
}

void SweepFaultsTest::aFullDiskKeepsTheLastCompleteFiles()
{
    SimulatedBench bench(false);
    const QString disk = scratch.filePath(QStringLiteral("disk"));
    const QString kept = scratch.filePath(QStringLiteral("kept"));
    QVERIFY(QDir().mkpath(disk) && QDir().mkpath(kept));
    const ToolRun run = runSweepToolInTmpfs({"run", "--port", bench.port(), "--meter", bench.meter(), "--reset", "none", "--boot",
                                             "0", "--settle", "0", "--samples", "10", "--out", disk},
                                            disk, QStringLiteral("size=48k"), kept);
    if (run.exitCode == 77)
        QSKIP("no private mount namespace here");
    QVERIFY2(run.exitCode == 3, qPrintable(run.errors));
    QVERIFY2(run.errors.contains(QLatin1String("No space left on device")), qPrintable(run.errors));

    // What was reported finished is complete in every file, and nothing more was reported.
    QString error;
    const auto rows = ResultsFolder::readRows(kept, &error);
    QVERIFY2(rows, qPrintable(error));
    QCOMPARE(run.errors.count(QRegularExpression(QStringLiteral("^\\[\\d+/18\\]"), QRegularExpression::MultilineOption)),
             rows->size());
    for (const ResultRow &row : *rows)
        QCOMPARE(samplesIn(kept, row.index).size(), 10);
    QFile json(QDir(kept).filePath(QStringLiteral("results.json")));
    QVERIFY(json.open(QIODevice::ReadOnly));
    QJsonParseError parse;
    QJsonDocument::fromJson(json.readAll(), &parse);
    QCOMPARE(parse.error, QJsonParseError::NoError);
}

void SweepFaultsTest::refusesAFolderItCannotWriteBeforeAsking()
{
    BoardSimulator board;
    const QString readOnly = scratch.filePath(QStringLiteral("read-only"));
    QVERIFY(QDir().mkpath(readOnly));
    const ToolRun run = runSweepToolInTmpfs({"run", "--port", board.portPath(), "--meter", "manual", "--reset", "none", "--out", readOnly},
                                            readOnly, QStringLiteral("ro,size=16k"), scratch.path());
    if (run.exitCode == 77)
        QSKIP("no private mount namespace here");
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.errors.startsWith(QStringLiteral("pellmora-sweep run: cannot write in %1").arg(readOnly))
                 && run.errors.count(QLatin1Char('\n')) == 1,
             qPrintable(run.errors));
    QVERIFY(board.received().isEmpty());
}

void SweepFaultsTest::resumeFollowsResultsCsv()
{
    SimulatedBench bench(false);
    const QStringList arguments {"run", "--port", bench.port(), "--meter", bench.meter(), "--reset", "none", "--boot", "0",
                                 "--settle", "0", "--samples", "3", "--out", out};
    QCOMPARE(runSweepTool(arguments + QStringList {"--modes", "0-1"}).exitCode, 0);

    // As a kill between two renames leaves a folder: mode 2's readings are
    // written, results.csv does not hold it yet; the chart and report are gone.
    QFile samples(QDir(out).filePath(QStringLiteral("samples.csv")));
    QVERIFY(samples.open(QIODevice::Append));
    for (int sample = 1; sample <= 5; ++sample)
        samples.write(QByteArray("2,STANDBY + RTC,") + QByteArray::number(sample) + ",0.010,0.0099,\n");
    samples.close();
    for (const char *drawn : {"chart.svg", "chart.png", "report.html"})
        QVERIFY(QFile::remove(QDir(out).filePath(QLatin1String(drawn))));

    const ToolRun resumed = runSweepTool(arguments + QStringList {"--modes", "0-2", "--resume"});
    QVERIFY2(resumed.exitCode == 0, qPrintable(resumed.errors));
    QCOMPARE(rowsIn(out).size(), 3);
    const QList<QStringList> modeTwo = samplesIn(out, 2);
    QCOMPARE(modeTwo.size(), 3);
    for (const QStringList &sample : modeTwo)
        QVERIFY2(sample.at(4).toDouble() < 1e-6, qPrintable(sample.join(QLatin1Char(','))));
    for (const char *drawn : {"chart.svg", "chart.png", "report.html"})
        QVERIFY(QFileInfo::exists(QDir(out).filePath(QLatin1String(drawn))));

    // A folder to resume must be named, exist, and hold results.
    QCOMPARE(runSweepTool({"run", "--port", bench.port(), "--meter", "none", "--resume"}).exitCode, 2);
    QCOMPARE(runSweepTool(arguments.mid(0, arguments.size() - 1) + QStringList {out + "-none", "--resume"}).exitCode, 2);
    QVERIFY(QDir().mkpath(out + "-empty"));
    const ToolRun empty = runSweepTool(arguments.mid(0, arguments.size() - 1) + QStringList {out + "-empty", "--resume"});
    QCOMPARE(empty.exitCode, 2);
    QVERIFY2(empty.errors.contains(QLatin1String("holds no results.csv to resume")), qPrintable(empty.errors));
    QVERIFY(!QFileInfo::exists(out + "-none"));
}

void SweepFaultsTest::resumeRefusesOtherSettings()
{
    BoardSimulator board;
    const QStringList arguments {"run", "--port", board.portPath(), "--meter", "none", "--reset", "none", "--boot", "0",
                                 "--settle", "0", "--supply", "3.3", "--out", out};
    QCOMPARE(runSweepTool(arguments + QStringList {"--modes", "0"}).exitCode, 0);
    const ToolRun supply = runSweepTool(arguments + QStringList {"--modes", "0-1", "--resume", "--supply", "3"});
    QCOMPARE(supply.exitCode, 2);
    QVERIFY2(supply.errors.contains(QLatin1String("--supply is 3 here but 3.3 in the folder")), qPrintable(supply.errors));

    const QString plan = scratch.filePath(QStringLiteral("plan.csv"));
    QFile file(plan);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("index,range,nplc,settle_s,samples\n0,,10,,\n");
    file.close();
    const ToolRun planned = runSweepTool(arguments + QStringList {"--modes", "0-1", "--resume", "--plan", plan});
    QCOMPARE(planned.exitCode, 2);
    QVERIFY2(planned.errors.contains(QLatin1String("mode 0 (SHUTDOWN) was measured with range auto, NPLC 1,"))
                 && planned.errors.contains(QLatin1String("this run would use range auto, NPLC 10,")),
             qPrintable(planned.errors));
    QVERIFY(board.commands() == QList<int>({0}));
}

void SweepFaultsTest::twoSweepsStartedTogetherGetAFolderEach()
{
    const QString here = scratch.filePath(QStringLiteral("together"));
    QVERIFY(QDir().mkpath(here));
    BoardSimulator first;
    BoardSimulator second;
    SweepProcess one({"run", "--port", first.portPath(), "--meter", "none", "--reset", "none", "--boot", "0", "--settle", "0",
                      "--modes", "0"});
    SweepProcess other({"run", "--port", second.portPath(), "--meter", "none", "--reset", "none", "--boot", "0", "--settle", "0",
                        "--modes", "1"});
    for (SweepProcess *tool : {&one, &other}) {
        tool->setWorkingDirectory(here);
        tool->start();
    }
    QCOMPARE(one.finish().exitCode, 0);
    QCOMPARE(other.finish().exitCode, 0);
    const QStringList folders = QDir(here).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QCOMPARE(folders.size(), 2);
    for (const QString &folder : folders)
        QCOMPARE(rowsIn(QDir(here).filePath(folder)).size(), 1);
}

QTEST_GUILESS_MAIN(SweepFaultsTest)
#include "tst_sweepfaults.moc"
