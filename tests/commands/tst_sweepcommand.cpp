// pellmora-sweep run as scripts call it, against the board simulator and
// its meter: the files it writes, its exit status, and what it keeps when
// the meter falls silent or the sweep is interrupted.
#include "results/resultsfolder.h"
#include "simulator/boardsimulator.h"
#include "tests/support/scriptedmeter.h"
#include "tests/support/simulatedbench.h"
#include "tests/support/sweepprocess.h"

#include <QtTest>

namespace {

// Short waits. The boot wait stays: the simulator takes its reset signal in
// its own time, and a command that comes first is ignored, as by a board
// still in its last mode.
QStringList quick(const QString &folder)
{
    return {QStringLiteral("--settle"), QStringLiteral("0.05"), QStringLiteral("--boot"), QStringLiteral("0.2"),
            QStringLiteral("--samples"), QStringLiteral("3"), QStringLiteral("--reply-timeout"), QStringLiteral("10"),
            QStringLiteral("--out"), folder};
}

// pellmora-sweep run with these arguments.
ToolRun sweep(const QStringList &arguments, const std::function<bool(const QString &progress)> &interrupt = nullptr)
{
    return runSweepTool(QStringList {QStringLiteral("run")} + arguments, interrupt);
}

QList<ResultRow> rowsIn(const QString &folder)
{
    QString error;
    const auto rows = ResultsFolder::readRows(folder, &error);
    return rows.value_or(QList<ResultRow>());
}

} // namespace

class SweepCommandTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void measuresEveryModeOfAStrictBoard();
    void keepsFinishedModesWhenTheMeterFallsSilent();
    void keepsFinishedModesWhenInterruptedAndResumes();
    void refusesBadInputWithoutWritingAnything_data();
    void refusesBadInputWithoutWritingAnything();
    void boardReplyRoundTripsThroughResultsCsv();
    void estimatesTheTimeLeftFromEachModesOwnSettings();
    void helpSaysWhatEachCommandDoes_data();
    void helpSaysWhatEachCommandDoes();

private:
    QTemporaryDir scratch;
    QString out;
};

void SweepCommandTest::init()
{
    out = scratch.filePath(QStringLiteral("run-%1").arg(QTest::currentTestFunction()));
}

void SweepCommandTest::measuresEveryModeOfAStrictBoard()
{
    SimulatedBench bench;
    // The CoreMark modes settle past the half second the board takes to report.
    const QString plan = scratch.filePath(QStringLiteral("plan.csv"));
    QFile planFile(plan);
    QVERIFY(planFile.open(QIODevice::WriteOnly));
    planFile.write("index,range,nplc,settle_s,samples\n14,,,0.8,\n15,0.1,0.5,0.8,\n");
    planFile.close();
    const ToolRun run = sweep(QStringList {"--port", bench.port(), "--meter", bench.meter(), "--reset", bench.resetCommand(),
                                       "--supply", "3.3", "--plan", plan, "--note", "JP5 open"} + quick(out));
    QVERIFY2(run.exitCode == 0, qPrintable(run.errors));

    const QList<ResultRow> rows = rowsIn(out);
    QCOMPARE(rows.size(), 18);
    for (int mode = 0; mode < 18; ++mode) {
        const ResultRow &row = rows.at(mode);
        QCOMPARE(row.index, mode);
        QCOMPARE(row.samples, 3);
        QVERIFY2(qAbs(*row.mean / BoardSimulator::modeCurrent(mode) - 1) < 0.05, qPrintable(row.mode));
        QVERIFY(*row.min <= *row.mean && *row.mean <= *row.max);
        QVERIFY(qAbs(*row.powerW / (*row.mean * 3.3) - 1) < 1e-9);
        QCOMPARE(row.coremark.has_value(), mode == 14 || mode == 15);
    }
    QCOMPARE(*rows.at(14).coremark, 49.93);
    QCOMPARE(*rows.at(15).coremark, 166.42);
    QVERIFY(run.errors.contains(QLatin1String("[18/18] 17 ")));

    // Each mode's own settings, and when, where and by whom, are on record and in the report.
    QCOMPARE(rows.at(15).settings, std::optional<RowSettings>({0.1, 0.5, 0.8, 3, 0.2}));
    QCOMPARE(rows.at(14).settings, std::optional<RowSettings>({std::nullopt, 1, 0.8, 3, 0.2}));
    QCOMPARE(rows.at(0).settings, std::optional<RowSettings>({std::nullopt, 1, 0.05, 3, 0.2}));
    QFile json(out + QStringLiteral("/results.json"));
    QVERIFY(json.open(QIODevice::ReadOnly));
    const QJsonObject runFacts = QJsonDocument::fromJson(json.readAll()).object().value(QStringLiteral("run")).toObject();
    const QDateTime started = QDateTime::fromString(runFacts.value(QStringLiteral("started_utc")).toString(), Qt::ISODate);
    const QDateTime ended = QDateTime::fromString(runFacts.value(QStringLiteral("ended_utc")).toString(), Qt::ISODate);
    QVERIFY(started.isValid() && ended >= started && started.secsTo(QDateTime::currentDateTimeUtc()) < 120);
    QCOMPARE(runFacts.value(QStringLiteral("note")).toString(), QStringLiteral("JP5 open"));
    QCOMPARE(runFacts.value(QStringLiteral("host")).toString(), QSysInfo::machineHostName());
    QFile report(out + QStringLiteral("/report.html"));
    QVERIFY(report.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(report.readAll());
    QVERIFY2(html.contains(QStringLiteral("<td>15</td><td>RUN_CoreMark Range 1, 80MHz</td><td>100\u00a0mA</td><td>0.5</td>")),
             "mode 15's own range and NPLC");
    QVERIFY(html.contains(QLatin1String("<dt>Note</dt><dd>JP5 open</dd>")) && html.contains(QLatin1String("<dt>Duration</dt>")));
}

void SweepCommandTest::keepsFinishedModesWhenTheMeterFallsSilent()
{
    SimulatedBench bench(false);
    ScriptedMeter meter;
    meter.fallSilent("READ?", 2);
    // A meter that reads the same for every mode: its readings are the point, not the modes' entry.
    const ToolRun run = sweep(QStringList {"--port", bench.port(), "--meter", meter.address(), "--reset", "none", "--modes", "0-5",
                                           "--entry-check", "off"}
                          + quick(out));
    QCOMPARE(run.exitCode, 3);
    QVERIFY2(run.errors.contains(QLatin1String("mode 2 (STANDBY + RTC): meter did not answer READ? within")),
             qPrintable(run.errors));
    QCOMPARE(rowsIn(out).size(), 2);
}

void SweepCommandTest::keepsFinishedModesWhenInterruptedAndResumes()
{
    SimulatedBench bench;
    const QStringList arguments = QStringList {"--port", bench.port(), "--meter", bench.meter(), "--reset",
                                               bench.resetCommand(), "--modes", "0-5"} + quick(out);
    const ToolRun interrupted = sweep(arguments, [](const QString &progress) { return progress.contains(QLatin1String("[2/6]")); });
    QVERIFY2(interrupted.exitCode == 130, qPrintable(interrupted.errors));
    const int kept = rowsIn(out).size();
    QVERIFY(kept >= 2 && kept < 6);
    QCOMPARE(QDir(out).entryList(QDir::Files),
             QStringList({"chart.png", "chart.svg", "report.html", "results.csv", "results.json", "samples.csv"}));

    QCOMPARE(sweep(arguments).exitCode, 2);   // results there, and no --resume
    // The last line says how to go on, word for word, as a shell takes it.
    const QString last = interrupted.errors.trimmed().section(QLatin1Char('\n'), -1);
    QVERIFY2(last.startsWith(QLatin1String("pellmora-sweep: to go on: pellmora-sweep run ")) && last.endsWith(QLatin1String(" --resume")),
             qPrintable(last));
    QProcess shell;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PATH"), QFileInfo(SweepProcess::program()).absolutePath() + QLatin1Char(':')
                                                   + environment.value(QStringLiteral("PATH")));
    environment.insert(QStringLiteral("PELLMORA_HISTORY"), QStringLiteral("none"));
    shell.setProcessEnvironment(environment);
    shell.start(QStringLiteral("sh"), {QStringLiteral("-c"), last.section(QLatin1String("to go on: "), 1)});
    QVERIFY(shell.waitForFinished(60000));
    QVERIFY2(shell.exitCode() == 0, shell.readAllStandardError().constData());
    QList<int> modes;
    for (const ResultRow &row : rowsIn(out))
        modes << row.index;
    QCOMPARE(modes, QList<int>({0, 1, 2, 3, 4, 5}));
}

void SweepCommandTest::refusesBadInputWithoutWritingAnything_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("said");
    QTest::newRow("unknown option") << QStringList {"--colour", "red"} << "colour";
    QTest::newRow("unknown mode") << QStringList {"--modes", "0-18"} << "0-18";
    QTest::newRow("malformed address") << QStringList {"--meter", "gpib:7"} << "tcp:HOST[:PORT]";
    QTest::newRow("decimal comma") << QStringList {"--settle", "0,5"} << "0,5";
    QTest::newRow("unreadable plan") << QStringList {"--plan", "/no/such/plan.csv"} << "/no/such/plan.csv";
    QTest::newRow("port that does not exist") << QStringList {"--port", "/dev/no-such-board"} << "no-such-board";
    QTest::newRow("a port not here names those that are") << QStringList {"--port", "ttyACM9"} << "serial ports";
    QTest::newRow("a mode twice") << QStringList {"--modes", "0-3,1"} << "mode 1 twice";
    QTest::newRow("settle beyond an hour") << QStringList {"--settle", "1e9"} << "3600";
    QTest::newRow("boot beyond an hour") << QStringList {"--boot", "3601"} << "3600";
    QTest::newRow("reply time-out beyond an hour") << QStringList {"--reply-timeout", "7200"} << "3600";
    QTest::newRow("integration past 100 cycles") << QStringList {"--nplc", "101"} << "100";
    QTest::newRow("more than 10,000 readings") << QStringList {"--samples", "10001"} << "10000";
    QTest::newRow("plan settle beyond an hour") << QStringList {"--plan", "@plan:0,,,1e9,"} << "settle_s";
    QTest::newRow("plan with a mode twice") << QStringList {"--plan", "@plan:0,,,1,\n0,,,2,"} << "mode 0 twice";
    QTest::newRow("misspelt placeholder") << QStringList {"--meter", "tcp:127.0.0.1:9", "--meter-profile", "@profile:samples = SAMP:COUN {sample}"} << "{sample}";
    QTest::newRow("empty read command") << QStringList {"--meter", "tcp:127.0.0.1:9", "--meter-profile", "@profile:read ="} << "read";
    QTest::newRow("range above the profile's") << QStringList {"--meter", "tcp:127.0.0.1:9", "--range", "5", "--meter-profile",
                                                               "@profile:configure_range = RANG:IND {range_index}\nranges = 0.001, 0.1, 1"}
                                               << "largest";
    QTest::newRow("a pause below zero") << QStringList {"--meter", "tcp:127.0.0.1:9", "--meter-profile", "@profile:command_delay_ms = -5"}
                                        << "command_delay_ms = -5";
    QTest::newRow("no readings per read") << QStringList {"--meter", "tcp:127.0.0.1:9", "--meter-profile", "@profile:readings_per_read = 0"}
                                          << "readings_per_read = 0";
    QTest::newRow("an overload that is no number") << QStringList {"--meter", "tcp:127.0.0.1:9", "--meter-profile",
                                                                   "@profile:overload_above = big"} << "overload_above = big";
    QTest::newRow("a read time-out of none") << QStringList {"--meter", "tcp:127.0.0.1:9", "--meter-profile", "@profile:read_timeout_s = 0"}
                                             << "read_timeout_s = 0";
    QTest::newRow("serial meter at 0 baud") << QStringList {"--meter", "serial:/dev/ttyS0@000"} << "@000";
}

void SweepCommandTest::refusesBadInputWithoutWritingAnything()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, said);
    // "@plan:ROWS" and "@profile:LINES" stand for files of the row's own.
    for (QString &argument : arguments) {
        for (const auto &file : {qMakePair(QStringLiteral("@plan:"), QByteArray("index,range,nplc,settle_s,samples\n")),
                                 qMakePair(QStringLiteral("@profile:"), QByteArray())}) {
            if (!argument.startsWith(file.first))
                continue;
            const QString path = scratch.filePath(QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('-')));
            QFile written(path);
            QVERIFY(written.open(QIODevice::WriteOnly));
            written.write(file.second + argument.mid(file.first.size()).replace(QLatin1String("\\n"), QLatin1String("\n")).toUtf8() + '\n');
            argument = path;
        }
    }
    BoardSimulator board;
    const QString folder = out + QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('-'));
    const ToolRun run = sweep(QStringList {"--port", board.portPath(), "--meter", "none", "--reset", "none", "--out", folder}
                          + arguments);
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.errors.contains(said) && run.errors.count(QLatin1Char('\n')) == 1, qPrintable(run.errors));
    QVERIFY(!QFileInfo::exists(folder));
    QVERIFY(board.received().isEmpty());
}

void SweepCommandTest::boardReplyRoundTripsThroughResultsCsv()
{
    const QByteArray reply = "CoreMark 1.0 : 412.34 / GCC, \"O2\"\r\nline two,\nend\r";
    ResultsFolder folder(scratch.path());
    const ResultRow row = ResultRow::measured(15, QDateTime::currentDateTimeUtc(),
                                              {{0.5, {1.5e-3, false}}, {0.5, {0, true}}}, reply, {std::nullopt, 1e-3}, {});
    QString error;
    QVERIFY2(folder.commit(row, {}, QJsonObject(), RunFacts(), &error), qPrintable(error));

    const QList<ResultRow> rows = rowsIn(scratch.path());
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.first().boardReply, QString::fromLatin1(reply));
    QCOMPARE(rows.first().fields(), row.fields());
    QCOMPARE(row.overloads, 1);
    QCOMPARE(*row.coremark, 412.34);
    QCOMPARE(*row.coremarkPerMa, 412.34 / 1.5);
    QCOMPARE(row.verdict, QStringLiteral("FAIL"));
}

void SweepCommandTest::estimatesTheTimeLeftFromEachModesOwnSettings()
{
    // Two quick modes, then one that settles 4 s: after the first, the last one's wait is ahead.
    BoardSimulator board;
    const QString plan = scratch.filePath(QStringLiteral("slow-last.csv"));
    QFile planFile(plan);
    QVERIFY(planFile.open(QIODevice::WriteOnly));
    planFile.write("index,range,nplc,settle_s,samples\n2,,,4,\n");
    planFile.close();
    const ToolRun run = sweep({"--port", board.portPath(), "--meter", "none", "--reset", "none", "--boot", "0", "--settle", "0",
                               "--modes", "0-2", "--plan", plan, "--out", out});
    QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
    const QRegularExpressionMatch left = QRegularExpression(QStringLiteral("\\[1/3\\].*about (\\d+) s left")).match(run.errors);
    QVERIFY2(left.hasMatch() && left.captured(1).toInt() >= 4, qPrintable(run.errors));
}

void SweepCommandTest::helpSaysWhatEachCommandDoes_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("opening");   // the description's first words, under the usage line
    QTest::newRow("report") << "report" << "Rebuilds chart.svg";
    QTest::newRow("compare") << "compare" << "Compares two results folders";
    QTest::newRow("history") << "history" << "Lists the runs of the history";
    QTest::newRow("import") << "import" << "Brings results folders into the history";
    QTest::newRow("trend") << "trend" << "Draws the mean current";
    QTest::newRow("check") << "check" << "Sets the results folder DIR against a baseline";
}

void SweepCommandTest::helpSaysWhatEachCommandDoes()
{
    QFETCH(QString, command);
    QFETCH(QString, opening);
    const ToolRun help = runSweepTool({command, QStringLiteral("--help")});
    QCOMPARE(help.exitCode, 0);
    const QStringList lines = help.output.split(QLatin1Char('\n'));
    QVERIFY2(lines.value(0).startsWith(QStringLiteral("usage: pellmora-sweep ") + command), qPrintable(help.output));
    QVERIFY2(lines.value(2).startsWith(opening), qPrintable(help.output));
}

QTEST_GUILESS_MAIN(SweepCommandTest)
#include "tst_sweepcommand.moc"
