// pellmora-sweep with the simulated Power Profiler Kit II: as the meter in
// series with the board's own supply, as supply unit and meter with a power
// reset at two voltages, a byte lost from its stream, the box unplugged in
// the middle of a sweep, a full disk, and what it is refused before anything
// is sent.
#include "ppk2/ppk2protocol.h"
#include "results/resultsfolder.h"
#include "simulator/boardsimulator.h"
#include "simulator/ppk2simulator.h"
#include "tests/support/sweepprocess.h"

#include <QtEndian>
#include <QtTest>

#include <cmath>

namespace {

QStringList quick(const QString &folder)
{
    return {"--settle", "0.1", "--boot", "0.1", "--samples", "5", "--history", "none", "--out", folder};
}

QList<float> rawOf(const QString &path)
{
    QFile file(path);
    QList<float> values;
    if (!file.open(QIODevice::ReadOnly))
        return values;
    const QByteArray bytes = file.readAll();
    for (int at = 0; at + 4 <= bytes.size(); at += 4)
        values << qFromLittleEndian<float>(bytes.constData() + at);
    return values;
}

QList<ResultRow> rowsOf(const QString &folder)
{
    QString error;
    return ResultsFolder::readRows(folder, &error).value_or(QList<ResultRow>());
}

// The end of a one-mode folder's trace, from the mode's command: its readings' window ends there.
double lastTraceSecond(const QString &folder)
{
    QString error;
    const std::optional<QList<ModeTrace>> traces = ResultsFolder::readTraces(folder, &error);
    return traces && !traces->isEmpty() ? traces->first().bins.size() * traces->first().binSeconds : 0;
}

// The box's commands as the simulator took them, an opcode with its arguments each.
QList<QByteArray> commandsOf(const QByteArray &received)
{
    static const QMap<char, int> arguments {{0x0C, 1}, {0x11, 1}, {0x0D, 2}};
    QList<QByteArray> commands;
    for (int at = 0; at < received.size();) {
        const int length = 1 + arguments.value(received.at(at), 0);
        commands << received.mid(at, length).toHex();
        at += length;
    }
    return commands;
}

} // namespace

class Ppk2SweepTest : public QObject
{
    Q_OBJECT

private slots:
    void measuresInSeriesWithTheBoardsOwnSupply();
    void powersTheBoardAtTwoVoltagesWithAPowerReset();
    void recordsEachModesWaveformAndEverySample();
    void aSwitchTransientIsFilteredButKeptRaw();
    void samplesLostAreCountedAndTooManyFailTheMode();
    void blocksLostUnseenByTheCounterAreNoted();
    void aByteLostFromTheStreamChangesNoReading();
    void anUnpluggedBoxFailsTheModeAndKeepsTheFinishedOnes();
    void aStreamThatCannotBeACurrentFailsTheMode();
    void theLast10MillisecondsBeforeTheCommandCheckItsEntry();
    void oneBoxNamedTwoWaysIsOneConnection();
    void threeSweepsInARowReadTheSameCurrents();
    void findsTheEventsTheBoardDrew_data();
    void findsTheEventsTheBoardDrew();
    void aFullDiskKeepsEachFinishedModesWholeTrace();
    void refusesWhatTheBoxCannotDo_data();
    void refusesWhatTheBoxCannotDo();

private:
    QTemporaryDir scratch;
};

void Ppk2SweepTest::measuresInSeriesWithTheBoardsOwnSupply()
{
    BoardSimulator board;
    Ppk2Simulator box(board);
    const QString out = scratch.filePath(QStringLiteral("ampere"));
    const ToolRun run = runSweepTool(QStringList {"run", "--port", board.portPath(), "--meter", "ppk2:" + box.portPath(), "--reset",
                                                  "none", "--modes", "4,9,13", "--range", "1e-3"}
                                     + quick(out));
    QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
    QVERIFY(run.errors.contains(QLatin1String("chooses its ranges itself")));
    const QList<ResultRow> rows = rowsOf(out);
    QCOMPARE(rows.size(), 3);
    for (const ResultRow &row : rows)
        QVERIFY2(qAbs(*row.mean / BoardSimulator::modeCurrent(row.index) - 1) < 0.01,
                 qPrintable(QStringLiteral("mode %1: %2").arg(row.index).arg(*row.mean)));

    // Stopped and drained, the metadata, its voltage, ampere mode, the series
    // path on once, one start; at the end a stop and the board's power off.
    const QList<QByteArray> commands = commandsOf(box.received());
    QCOMPARE(commands.mid(0, 6), (QList<QByteArray> {"07", "19", "0d0ce4", "1101", "0c01", "06"}));
    QCOMPARE(commands.mid(6), (QList<QByteArray> {"07", "0c00"}));
    QCOMPARE(box.startsWhileSampling(), 0);
    QVERIFY(!box.isSampling());
    QVERIFY(!box.isPowering());
}

void Ppk2SweepTest::powersTheBoardAtTwoVoltagesWithAPowerReset()
{
    BoardSimulator board;
    board.setStrict(true);
    Ppk2Simulator box(board);
    const QString out = scratch.filePath(QStringLiteral("source"));
    const QString port = "ppk2:" + box.portPath();
    const ToolRun run = runSweepTool(QStringList {"run", "--port", board.portPath(), "--meter", "supply", "--supply-unit", port,
                                                  "--supply", "1.8,3.3", "--reset", "power", "--off-time", "0.05", "--modes", "9,13"}
                                     + quick(out));
    QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
    const QList<ResultRow> rows = rowsOf(out);
    QCOMPARE(rows.size(), 4);
    // No readback: the voltage is the one set.
    QCOMPARE(rows.at(0).vddV, std::optional<double>(1.8));
    QCOMPARE(rows.at(3).vddV, std::optional<double>(3.3));
    QVERIFY(qAbs(*rows.at(3).mean / *rows.at(1).mean - std::pow(3.3 / 1.8, 0.1)) < 0.02);
    QVERIFY(qAbs(*rows.at(3).mean / BoardSimulator::modeCurrent(13) - 1) < 0.01);
    const QList<QByteArray> commands = commandsOf(box.received());
    QCOMPARE(int(commands.count("06")), 1);
    QCOMPARE(int(commands.count("0c01")), 4);   // each mode began with the power off, then on
    QVERIFY(commands.contains("0d0708") && commands.contains("0d0ce4"));
    QCOMPARE(commands.last(), QByteArray("0c00"));
    QCOMPARE(box.startsWhileSampling(), 0);
    QVERIFY(!box.isPowering());
}

void Ppk2SweepTest::recordsEachModesWaveformAndEverySample()
{
    // Long enough a settle to hold the RTC's wake-up, once a second.
    BoardSimulator board;
    Ppk2Simulator box(board);
    const QString out = scratch.filePath(QStringLiteral("waveform"));
    QStringList arguments {"run", "--port", board.portPath(), "--meter", "ppk2:" + box.portPath(), "--reset", "none", "--modes",
                           "13,5", "--supply", "3.3", "--raw"};
    arguments += quick(out);
    arguments.replace(arguments.indexOf("--settle") + 1, "1.05");
    arguments.replace(arguments.indexOf("--samples") + 1, "2");
    const ToolRun run = runSweepTool(arguments);
    QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
    const QList<ResultRow> rows = rowsOf(out);
    QCOMPARE(rows.size(), 2);
    QString error;
    const auto traces = ResultsFolder::readTraces(out, &error);
    QVERIFY2(traces && traces->size() == 2, qPrintable(error));
    for (int i = 0; i < 2; ++i) {
        const ResultRow &row = rows.at(i);
        const ModeTrace &trace = traces->at(i);
        QCOMPARE(trace.index, row.index);
        // From the command through 1.05 s of settling and two 20 ms readings, in 1 ms bins.
        QVERIFY2(qAbs(trace.bins.size() - 1090) < 30, qPrintable(QString::number(trace.bins.size())));
        QVERIFY(qAbs(*row.chargeC / (*row.mean * 0.04) - 1) < 0.01);
        QVERIFY(qAbs(*row.energyJ / (*row.chargeC * 3.3) - 1) < 1e-9);
        QCOMPARE(row.lostSamples, std::optional<qint64>(0));
        // Every sample is in the raw file, whose mean over the readings is the row's.
        const QList<float> raw = rawOf(QStringLiteral("%1/raw/%2.f32").arg(out).arg(row.index));
        QVERIFY2(qAbs(raw.size() - trace.bins.size() * 100) < 100, qPrintable(QString::number(raw.size())));
        double sum = 0;
        for (int at = raw.size() - 4000; at < raw.size(); ++at)
            sum += raw.at(at);
        QVERIFY(qAbs(sum / 4000 / *row.mean - 1) < 0.02);
    }
    // The RTC's wake-up shows in the envelope of mode 5, a millisecond of 1.2 mA, well after the command.
    const ModeTrace &rtc = traces->at(1);
    int wakeUps = 0;
    for (int at = 100; at < rtc.bins.size(); ++at)
        wakeUps += rtc.bins.at(at).max > 1e-3 ? 1 : 0;
    QVERIFY2(wakeUps >= 1 && wakeUps <= 4, qPrintable(QString::number(wakeUps)));
    // The run mode settles at once; the RTC mode only after its wake-up, or not within the settle time.
    QVERIFY(rows.at(0).settledAfterS && *rows.at(0).settledAfterS < 0.05);
    QVERIFY(!rows.at(1).settledAfterS || *rows.at(1).settledAfterS > 0.05);
    QVERIFY(QFile::exists(out + "/raw/README.txt"));
    QFile report(out + "/report.html");
    QVERIFY(report.open(QIODevice::ReadOnly));
    QVERIFY(report.readAll().contains("<figure class=\"waveform\">"));
}

void Ppk2SweepTest::aSwitchTransientIsFilteredButKeptRaw()
{
    // From SHUTDOWN's 33 nA to LPRUN's 212 µA the box switches range; the
    // first sample there carries 5 mA.
    BoardSimulator board;
    Ppk2Simulator box(board);
    const QString out = scratch.filePath(QStringLiteral("transient"));
    const ToolRun run = runSweepTool(QStringList {"run", "--port", board.portPath(), "--meter", "ppk2:" + box.portPath(), "--reset",
                                                  "none", "--modes", "0,9", "--raw"}
                                     + quick(out),
                                     [&box, armed = false](const QString &progress) mutable {
                                         // Once: the progress so far is asked again every few milliseconds.
                                         if (!armed && progress.contains(QLatin1String("[1/2]"))) {
                                             armed = true;
                                             box.addSwitchTransient(5e-3);
                                         }
                                         return false;
                                     });
    QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
    const ResultRow row = rowsOf(out).at(1);
    QVERIFY2(*row.peakA < 1e-3, qPrintable(QString::number(*row.peakA)));
    const QList<float> raw = rawOf(out + "/raw/9.f32");
    QVERIFY(!raw.isEmpty());
    QVERIFY(qAbs(*std::max_element(raw.cbegin(), raw.cend()) - 5e-3) < 1e-4);
    QString error;
    const std::optional<QList<ModeTrace>> traces = ResultsFolder::readTraces(out, &error);
    QVERIFY2(traces && traces->size() == 2, qPrintable(error));
    for (const TraceBin &bin : traces->at(1).bins)
        QVERIFY(bin.empty() || bin.max < 1e-3);
}

void Ppk2SweepTest::samplesLostAreCountedAndTooManyFailTheMode()
{
    // Fewer than the counter's 64, which cannot see a whole turn of itself.
    for (const int dropped : {5, 50}) {
        BoardSimulator board;
        Ppk2Simulator box(board);
        // Into mode 13's span, 50 ms after its command.
        connect(&board, &BoardSimulator::logLine, &box, [&box, dropped](const QString &line) {
            if (line.startsWith(QLatin1String("mode 13")))
                QTimer::singleShot(50, &box, [&box, dropped] { box.dropSamples(dropped); });
        });
        const QString out = scratch.filePath(QStringLiteral("lost-%1").arg(dropped));
        const ToolRun run = runSweepTool(QStringList {"run", "--port", board.portPath(), "--meter", "ppk2:" + box.portPath(),
                                                      "--reset", "none", "--modes", "12,13"}
                                         + quick(out));
        const QList<ResultRow> rows = rowsOf(out);
        if (dropped == 5) {
            // Five of some twenty thousand: marked, not a failure.
            QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
            QCOMPARE(rows.at(1).lostSamples, std::optional<qint64>(5));
            QVERIFY(run.errors.contains(QLatin1String("meter lost 5 samples")));
        } else {
            QCOMPARE(run.exitCode, 3);
            QVERIFY2(run.errors.contains(QLatin1String("mode 13")) && run.errors.contains(QLatin1String("meter lost 50 of")),
                     qPrintable(run.errors));
            QCOMPARE(rows.size(), 1);
        }
    }
}

void Ppk2SweepTest::blocksLostUnseenByTheCounterAreNoted()
{
    // 60 blocks of 512, some 0.3 s of a sweep of about 2 s: the counter sees nothing.
    BoardSimulator board;
    Ppk2Simulator box(board);
    connect(&board, &BoardSimulator::logLine, &box, [&box](const QString &line) {
        if (line.startsWith(QLatin1String("mode 10")))
            box.dropBlocks(60);
    });
    const QString out = scratch.filePath(QStringLiteral("blocks"));
    QStringList arguments {"run", "--port", board.portPath(), "--meter", "ppk2:" + box.portPath(), "--reset", "none",
                           "--modes", "9,10,11,12"};
    arguments += quick(out);
    arguments.replace(arguments.indexOf("--settle") + 1, "0.4");
    const ToolRun run = runSweepTool(arguments);
    QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
    QVERIFY(box.blocksDropped() >= 60);   // more where this host is slow to read
    for (const ResultRow &row : rowsOf(out))
        QCOMPARE(row.lostSamples, std::optional<qint64>(0));
    QVERIFY2(run.errors.contains(QLatin1String("fewer samples than its rate over the sweep")), qPrintable(run.errors));
    QFile report(out + "/report.html");
    QVERIFY(report.open(QIODevice::ReadOnly));
    QVERIFY(report.readAll().contains("Meter note"));
}

void Ppk2SweepTest::aByteLostFromTheStreamChangesNoReading()
{
    BoardSimulator board;
    Ppk2Simulator box(board);
    const QString out = scratch.filePath(QStringLiteral("lost-byte"));
    QStringList arguments {"run", "--port", board.portPath(), "--meter", "ppk2:" + box.portPath(), "--reset", "none", "--modes", "13,12"};
    arguments += quick(out);
    arguments.replace(arguments.indexOf("--settle") + 1, "0.4");
    const ToolRun run = runSweepTool(arguments,
                                     [&box, lost = false](const QString &progress) mutable {
                                         if (!lost && progress.contains(QLatin1String("[1/2]"))) {
                                             lost = true;
                                             box.loseAByte();
                                         }
                                         return false;
                                     });
    QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
    const QList<ResultRow> rows = rowsOf(out);
    QCOMPARE(rows.size(), 2);
    QVERIFY2(*rows.at(1).lostSamples <= 3, qPrintable(QString::number(*rows.at(1).lostSamples)));   // the word or two the byte took
    for (const ResultRow &row : rows)
        QVERIFY2(qAbs(*row.mean / BoardSimulator::modeCurrent(row.index) - 1) < 0.01 && *row.max < 1.1 * BoardSimulator::modeCurrent(row.index),
                 qPrintable(QStringLiteral("mode %1: mean %2, max %3").arg(row.index).arg(*row.mean).arg(*row.max)));
}

void Ppk2SweepTest::anUnpluggedBoxFailsTheModeAndKeepsTheFinishedOnes()
{
    BoardSimulator board;
    Ppk2Simulator box(board);
    const QString out = scratch.filePath(QStringLiteral("unplugged"));
    const ToolRun run = runSweepTool(QStringList {"run", "--port", board.portPath(), "--meter", "ppk2:" + box.portPath(), "--reset",
                                                  "none", "--modes", "9,10,11"}
                                     + quick(out),
                                     [&box](const QString &progress) {
                                         if (progress.contains(QLatin1String("[1/3]")))
                                             box.unplug();
                                         return false;
                                     });
    QCOMPARE(run.exitCode, 3);
    QVERIFY2(run.errors.contains(QLatin1String("mode 10")), qPrintable(run.errors));
    QCOMPARE(rowsOf(out).size(), 1);
}

// Words of the top range with an ADC field of 0, as a misframed stream
// gives: -11.5 mA, which no board draws. The mode is no measurement.
void Ppk2SweepTest::aStreamThatCannotBeACurrentFailsTheMode()
{
    BoardSimulator board;
    Ppk2Simulator box(board);
    connect(&board, &BoardSimulator::logLine, &box, [&box](const QString &line) {
        if (line.startsWith(QLatin1String("mode 13")))
            QTimer::singleShot(50, &box, [&box] { box.misframe(200); });
    });
    const QString out = scratch.filePath(QStringLiteral("misframed"));
    const ToolRun run = runSweepTool(QStringList {"run", "--port", board.portPath(), "--meter", "ppk2:" + box.portPath(),
                                                  "--reset", "none", "--modes", "9,13"}
                                     + quick(out));
    QCOMPARE(run.exitCode, 3);
    QVERIFY2(run.errors.contains(QLatin1String("mode 13 (RUN-while (1) Range 1, 80MHz): ")), qPrintable(run.errors));
    QVERIFY2(QRegularExpression(QStringLiteral("sample of -1\\d\\.\\d mA")).match(run.errors).hasMatch(), qPrintable(run.errors));
    const QList<ResultRow> rows = rowsOf(out);
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.first().index, 9);
}

// The strict board, never reset, takes mode 9 and ignores mode 13: the
// box's last 10 ms before each command is what the mode is held against.
void Ppk2SweepTest::theLast10MillisecondsBeforeTheCommandCheckItsEntry()
{
    BoardSimulator board;
    board.setStrict(true);
    Ppk2Simulator box(board);
    const QString out = scratch.filePath(QStringLiteral("entry"));
    const ToolRun run = runSweepTool(QStringList {"run", "--port", board.portPath(), "--meter", "ppk2:" + box.portPath(),
                                                  "--reset", "none", "--modes", "9,13"}
                                     + quick(out));
    QCOMPARE(run.exitCode, 1);
    const QList<ResultRow> rows = rowsOf(out);
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows.at(0).verdict, QString());
    QVERIFY2(qAbs(*rows.at(0).beforeA / 1.1e-3 - 1) < 0.02, qPrintable(QString::number(*rows.at(0).beforeA)));
    QCOMPARE(rows.at(1).verdict, QStringLiteral("ENTRY?"));
    QVERIFY(qAbs(*rows.at(1).beforeA / BoardSimulator::modeCurrent(9) - 1) < 0.02);
}

// The same terminal by its name and by its path: one box, one connection.
void Ppk2SweepTest::oneBoxNamedTwoWaysIsOneConnection()
{
    BoardSimulator board;
    board.setStrict(true);
    Ppk2Simulator box(board);
    QVERIFY(box.portPath().startsWith(QLatin1String("/dev/")));
    const QString out = scratch.filePath(QStringLiteral("two-spellings"));
    const ToolRun run = runSweepTool(QStringList {"run", "--port", board.portPath(), "--meter", "ppk2:" + box.portPath().mid(5),
                                                  "--supply-unit", "ppk2:" + box.portPath(), "--supply", "3.3", "--reset",
                                                  "power", "--off-time", "0.05", "--modes", "13"}
                                     + quick(out));
    QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
    QVERIFY(qAbs(*rowsOf(out).first().mean / BoardSimulator::modeCurrent(13) - 1) < 0.01);
}

// One box kept plugged in: each sweep switches the series path on while the
// box is stopped and starts it afresh, and reads what the last did.
void Ppk2SweepTest::threeSweepsInARowReadTheSameCurrents()
{
    BoardSimulator board;
    Ppk2Simulator box(board);
    QList<double> means;
    for (int sweep = 0; sweep < 3; ++sweep) {
        const QString out = scratch.filePath(QStringLiteral("again-%1").arg(sweep));
        const ToolRun run = runSweepTool(QStringList {"run", "--port", board.portPath(), "--meter", "ppk2:" + box.portPath(),
                                                      "--reset", "none", "--modes", "13"}
                                         + quick(out));
        QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
        const QList<ResultRow> rows = rowsOf(out);
        QCOMPARE(rows.size(), 1);
        means << *rows.first().mean;
        QVERIFY2(*rows.first().peakA < 2 * BoardSimulator::modeCurrent(13), qPrintable(QString::number(*rows.first().peakA)));
    }
    for (const double mean : qAsConst(means))
        QVERIFY2(qAbs(mean / means.first() - 1) < 0.01 && qAbs(mean / BoardSimulator::modeCurrent(13) - 1) < 0.01,
                 qPrintable(QStringLiteral("%1 %2 %3").arg(means.at(0)).arg(means.at(1)).arg(means.at(2))));
}

// The simulated board raises D0 during each RTC wake-up (0.5 ms, once a
// second) and each CoreMark block (30.72 ms of every 40.96 ms); the events
// found by the pin and by the current have the charge the simulator drew
// (within 2 %), as many as the window holds, and the mode's current
// between them is its own.
void Ppk2SweepTest::findsTheEventsTheBoardDrew_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("threshold");
    QTest::addColumn<double>("period");        // seconds from one event to the next
    QTest::addColumn<double>("duration");
    QTest::addColumn<double>("between");       // the current between events, as a share of the mode's
    QTest::newRow("RTC wake-ups") << 5 << "current:0.0006" << 1.0 << 0.0005 << 1.0;
    QTest::newRow("CoreMark blocks") << 15 << "current:0.0101" << 0.04096 << 0.03072 << 0.94;
}

void Ppk2SweepTest::findsTheEventsTheBoardDrew()
{
    QFETCH(int, mode);
    QFETCH(QString, threshold);
    QFETCH(double, period);
    QFETCH(double, duration);
    QFETCH(double, between);
    BoardSimulator board;
    Ppk2Simulator box(board);
    const QString out = scratch.filePath(QStringLiteral("events-%1").arg(mode));
    // A host too busy to read makes the box drop blocks its counter cannot
    // show, which cuts events short as on a real busy USB: measured again
    // when that happened in the readings' window (the trace ends with it).
    // After it, while the host writes its files, a drop changes nothing.
    const double window = 5 * 25 * 0.020;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int dropsBefore = box.drops().size();
        QDir(out).removeRecursively();
        const ToolRun run = runSweepTool({"run", "--port", board.portPath(), "--meter", "ppk2:" + box.portPath(), "--reset", "none",
                                          "--modes", QString::number(mode), "--settle", "0.2", "--boot", "0.1", "--samples", "5",
                                          "--nplc", "25", "--events", "D0", "--events", threshold, "--history", "none", "--out", out});
        QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
        const double windowEnd = lastTraceSecond(out);
        const QVector<Ppk2Simulator::Drop> drops = box.drops().mid(dropsBefore);
        const bool dropsInWindow = std::any_of(drops.begin(), drops.end(), [mode, windowEnd](const Ppk2Simulator::Drop &drop) {
            return drop.mode == mode && drop.sinceCommandS < windowEnd + 0.005;
        });
        if (!dropsInWindow)
            break;
        QVERIFY2(attempt < 2, "the box dropped blocks in the window in every attempt: this host is too busy to read it");
    }

    // What the board drew with D0 high in the mode: whole ones only, not those a start or stop cut.
    double drawnCharge = 0;
    int drawnCount = 0;
    for (const Ppk2Simulator::DrawnEvent &event : box.drawn()) {
        if (event.mode == mode && event.samples == qRound(duration * Ppk2::samplesPerSecond)) {
            drawnCharge += event.chargeC;
            ++drawnCount;
        }
    }
    QVERIFY(drawnCount > 0);
    drawnCharge /= drawnCount;

    QString error;
    const std::optional<QList<EventsFile::Row>> events = ResultsFolder::readEvents(out, &error);
    QVERIFY2(events, qPrintable(error));
    for (const QString &source : {QStringLiteral("D0"), QStringLiteral("current")}) {
        int whole = 0;
        double charge = 0;
        for (const EventsFile::Row &row : *events) {
            if (row.event.source != source || row.event.partial)
                continue;
            ++whole;
            charge += row.event.chargeC;
            QVERIFY2(qAbs(row.event.durationS - duration) <= 2e-5, qPrintable(QString::number(row.event.durationS)));
            QVERIFY(row.event.startS >= 0.2);
        }
        // Whole events start within the window's first (window - duration): that
        // span over the period, give or take one for where the first falls.
        QVERIFY2(qAbs(whole - (window - duration) / period) <= 1.0, qPrintable(QStringLiteral("%1: %2 events").arg(source).arg(whole)));
        QVERIFY2(qAbs(charge / whole / drawnCharge - 1) < 0.02,
                 qPrintable(QStringLiteral("%1: %2 C, drawn %3 C").arg(source).arg(charge / whole).arg(drawnCharge)));
    }
    const ResultRow row = rowsOf(out).first();
    QCOMPARE(row.eventSource, QStringLiteral("D0"));
    QVERIFY(row.events && *row.events > 0);
    QVERIFY2(qAbs(*row.eventChargeC / drawnCharge - 1) < 0.02, qPrintable(QString::number(*row.eventChargeC)));
    QVERIFY2(qAbs(*row.betweenEventsA / (between * BoardSimulator::modeCurrent(mode)) - 1) < 0.02,
             qPrintable(QString::number(*row.betweenEventsA)));
    QVERIFY(QFile(out + QStringLiteral("/report.html")).open(QIODevice::ReadOnly));
    QFile trace(out + QStringLiteral("/trace.csv"));
    QVERIFY(trace.open(QIODevice::ReadOnly));
    QVERIFY(trace.readLine().trimmed().endsWith(",logic"));
    QVERIFY(trace.readAll().contains(",1\n"));   // bins with D0 high
}

void Ppk2SweepTest::aFullDiskKeepsEachFinishedModesWholeTrace()
{
    // Each mode's 0.7 s of bins take some 17 KB and its trace rows some 35 KB: the
    // disk fills within a few modes, at whichever write comes then.
    BoardSimulator board;
    Ppk2Simulator box(board);
    const QString disk = scratch.filePath(QStringLiteral("disk"));
    const QString kept = scratch.filePath(QStringLiteral("kept"));
    QVERIFY(QDir().mkpath(disk) && QDir().mkpath(kept));
    QStringList arguments {"run", "--port", board.portPath(), "--meter", "ppk2:" + box.portPath(), "--reset", "none", "--modes",
                           "9,10,11,12,13"};
    arguments += quick(disk);
    arguments.replace(arguments.indexOf("--settle") + 1, "0.6");
    const ToolRun run = runSweepToolInTmpfs(arguments, disk, QStringLiteral("size=96k"), kept);
    if (run.exitCode == 77)
        QSKIP("no private mount namespace here");
    QVERIFY2(run.exitCode == 3, qPrintable(run.errors));
    QVERIFY2(run.errors.contains(QLatin1String("No space left on device")), qPrintable(run.errors));
    const QList<ResultRow> rows = rowsOf(kept);
    QVERIFY(!rows.isEmpty() && rows.size() < 5);
    QString error;
    const auto traces = ResultsFolder::readTraces(kept, &error);
    QVERIFY2(traces, qPrintable(error));
    QCOMPARE(traces->size(), rows.size());
    for (int i = 0; i < rows.size(); ++i) {
        QVERIFY(traces->at(i).belongsTo(rows.at(i)));
        QVERIFY2(qAbs(traces->at(i).bins.size() - 700) < 30, qPrintable(QString::number(traces->at(i).bins.size())));
    }
    // Neither the meter's bins nor a half-written file stay behind.
    QCOMPARE(QDir(kept).entryList({QStringLiteral(".*")}, QDir::Files | QDir::Hidden), QStringList());
}

void Ppk2SweepTest::refusesWhatTheBoxCannotDo_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("reason");
    QTest::newRow("5.5 V") << QStringList {"--supply-unit", "BOX", "--supply", "5.5"} << "from 0.8 to 5 V, not 5.5";
    QTest::newRow("0.6 V") << QStringList {"--supply-unit", "BOX", "--supply", "1.8,0.6"} << "from 0.8 to 5 V, not 0.6";
    QTest::newRow("a current limit") << QStringList {"--supply-unit", "BOX", "--supply", "3.3", "--current-limit", "0.05"}
                                     << "--current-limit does not apply to a Power Profiler Kit II";
    QTest::newRow("power reset in ampere mode") << QStringList {"--meter", "BOX", "--reset", "power"}
                                                << "--reset power needs --supply-unit";
    QTest::newRow("no box to find") << QStringList {"--meter", "ppk2:auto"} << "no Power Profiler Kit II is connected";
    QTest::newRow("events from a SCPI meter") << QStringList {"--meter", "tcp:127.0.0.1:9", "--events", "D0"}
                                              << "--events needs a meter that reports its digital inputs";
}

void Ppk2SweepTest::refusesWhatTheBoxCannotDo()
{
    QFETCH(QStringList, options);
    QFETCH(QString, reason);
    BoardSimulator board;
    Ppk2Simulator box(board);
    options.replaceInStrings(QStringLiteral("BOX"), "ppk2:" + box.portPath());
    const ToolRun run = runSweepTool(QStringList {"run", "--port", board.portPath(), "--modes", "0", "--history", "none", "--out",
                                                  scratch.filePath(QStringLiteral("refused"))}
                                     + options);
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.errors.contains(reason), qPrintable(run.errors));
    QVERIFY(box.received().isEmpty());
    QVERIFY(board.received().isEmpty());
}

QTEST_MAIN(Ppk2SweepTest)
#include "tst_ppk2sweep.moc"
