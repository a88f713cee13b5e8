// A mode's waveform however long it runs: the recorder keeps its bins in a
// file rather than in memory, trace.csv is streamed in and out with each
// commit, and what is read back for showing is thinned without losing a
// spike or the mode's span.
#include "meter/capturerecorder.h"
#include "results/resultsfolder.h"

#include <QtTest>

#include <algorithm>

namespace {

constexpr int samplesPerSecond = 100000;

// A mode's capture of `seconds` at `amperes`, its first `inrushSeconds` ten
// times that, with a single sample of `spike` at `spikeAt` seconds.
ModeCapture captured(const QString &binsPath, double seconds, double amperes, double inrushSeconds = 0,
                     double spike = 0, double spikeAt = -1)
{
    CaptureRecorder recorder(samplesPerSecond);
    QString error;
    if (!recorder.begin(binsPath, QString(), &error))
        qFatal("%s", qPrintable(error));
    const qint64 count = qint64(seconds * samplesPerSecond);
    for (qint64 at = 0; at < count; ++at) {
        if (at == count / 2)
            recorder.beginReadings();
        double current = at < inrushSeconds * samplesPerSecond ? 10 * amperes : amperes;
        if (at == qint64(spikeAt * samplesPerSecond))
            current = spike;
        recorder.add(1000 + at, current, current);
        if (at % samplesPerSecond == 0)
            recorder.newBins();   // as the meter's live view takes them
    }
    const std::optional<ModeCapture> capture = recorder.finish(amperes, &error);
    if (!capture)
        qFatal("%s", qPrintable(error));
    return *capture;
}

ResultRow rowOf(int index, double amperes)
{
    return ResultRow::measured(index, QDateTime::currentDateTimeUtc(), {Sample {1.0, {amperes, false}}}, {}, {}, {});
}

bool commit(ResultsFolder &folder, int index, double amperes, const ModeCapture *capture, QString *error)
{
    return folder.commit(rowOf(index, amperes), {Sample {1.0, {amperes, false}}}, QJsonObject(), RunFacts(), error, capture);
}

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void save(const QString &path, const QByteArray &content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(content), content.size());
}

} // namespace

class TraceFileTest : public QObject
{
    Q_OBJECT

private slots:
    void theRecorderKeepsItsBinsInTheirFile();
    void aCurrentBelowZeroKeepsItsTruePeak();
    void aLongModeIsThinnedKeepingItsSpikeAndSpan();
    void commitsStreamTheBinsAndAModeMeasuredAgainReplacesItsTrace();
    void aFailedCommitLeavesTheFilesAsTheyWere();
    void aKilledRunsStrayTraceGoesOnResume();
    void aFolderFromBeforeTheInputsKeepsItsColumns();
    void aDamagedFileIsRefusedAtItsLine_data();
    void aDamagedFileIsRefusedAtItsLine();

private:
    QTemporaryDir scratch;
};

void TraceFileTest::theRecorderKeepsItsBinsInTheirFile()
{
    // Twelve seconds, their first 40 ms an inrush: every bin is in the file, none held.
    const QString path = scratch.filePath(QStringLiteral("bins"));
    const ModeCapture capture = captured(path, 12, 1e-3, 0.04);
    QCOMPARE(capture.binCount, 12000);
    QCOMPARE(QFileInfo(path).size(), 12000 * qint64(sizeof(TraceBin)));
    QCOMPARE(capture.spanSamples, 1200000);
    QCOMPARE(capture.peak, 1e-2);
    // Settling is judged on the file's bins, read back once the mean is known.
    QVERIFY(capture.settledAfter);
    QVERIFY2(qAbs(*capture.settledAfter - 0.04) < 1e-9, qPrintable(QString::number(*capture.settledAfter)));
    // The charge covers the readings' window, the second half.
    QVERIFY(qAbs(capture.charge / (1e-3 * 6) - 1) < 1e-9);
}

// A board that draws nothing reads a little below zero through the box's
// offset: its peak is its highest sample, not 0 A.
void TraceFileTest::aCurrentBelowZeroKeepsItsTruePeak()
{
    const ModeCapture capture = captured(scratch.filePath(QStringLiteral("below-zero")), 0.1, -0.4e-3);
    QCOMPARE(capture.peak, -0.4e-3);
}

void TraceFileTest::aLongModeIsThinnedKeepingItsSpikeAndSpan()
{
    // An hour of 1 ms bins at 1 mA, one of them 50 mA.
    constexpr int hour = 3600000, spikeAt = 2345678;
    TraceThinner thinner(3, ResultRow::noVoltage);
    for (int at = 0; at < hour; ++at)
        thinner.add(at == spikeAt ? TraceBin {50e-3, 50e-3, 50e-3} : TraceBin {1e-3, 1e-3, 1e-3});
    const ModeTrace trace = thinner.take();
    QVERIFY2(trace.bins.size() >= TraceThinner::limit && trace.bins.size() < 2 * TraceThinner::limit,
             qPrintable(QString::number(trace.bins.size())));
    QVERIFY(qAbs(trace.bins.size() * trace.binSeconds - 3600) < trace.binSeconds);
    const auto spike = std::max_element(trace.bins.cbegin(), trace.bins.cend(),
                                        [](const TraceBin &a, const TraceBin &b) { return a.max < b.max; });
    QCOMPARE(spike->max, 50e-3);
    QCOMPARE(spike->min, 1e-3);
    const double spikeSeconds = (spike - trace.bins.cbegin()) * trace.binSeconds;
    QVERIFY(spikeSeconds <= spikeAt * 1e-3 && spikeAt * 1e-3 < spikeSeconds + trace.binSeconds);
    // A short mode is kept bin for bin, an empty bin as empty.
    TraceThinner brief(4, ResultRow::noVoltage);
    brief.add({2e-3, 1e-3, 3e-3});
    brief.add(TraceBin::none());
    const ModeTrace kept = brief.take();
    QCOMPARE(kept.bins.size(), 2);
    QCOMPARE(kept.binSeconds, ModeCapture::binSeconds);
    QVERIFY(!kept.bins.at(0).empty() && kept.bins.at(1).empty());
}

void TraceFileTest::commitsStreamTheBinsAndAModeMeasuredAgainReplacesItsTrace()
{
    const QString path = scratch.filePath(QStringLiteral("again"));
    QString error;
    {
        ResultsFolder folder(path);
        QVERIFY2(folder.claim(&error), qPrintable(error));
        const ModeCapture first = captured(folder.tracePartPath(), 0.003, 1e-6);
        QVERIFY2(commit(folder, 0, 1e-6, &first, &error), qPrintable(error));
        const ModeCapture second = captured(folder.tracePartPath(), 0.002, 2e-3);
        QVERIFY2(commit(folder, 9, 2e-3, &second, &error), qPrintable(error));
        QCOMPARE(contentOf(folder.filePath(QStringLiteral("trace.csv"))),
                 QByteArray("index,t_s,mean_a,min_a,max_a,logic\n"
                            "0,0.000,1e-06,1e-06,1e-06,0\n0,0.001,1e-06,1e-06,1e-06,0\n0,0.002,1e-06,1e-06,1e-06,0\n"
                            "9,0.000,0.002,0.002,0.002,0\n9,0.001,0.002,0.002,0.002,0\n"));
    }
    ResultsFolder resumed(path);
    QVERIFY(resumed.claim(&error) && resumed.load(&error));
    QCOMPARE(resumed.traces().size(), 2);
    const ModeCapture again = captured(resumed.tracePartPath(), 0.001, 3e-6);
    QVERIFY2(commit(resumed, 0, 3e-6, &again, &error), qPrintable(error));
    QCOMPARE(contentOf(resumed.filePath(QStringLiteral("trace.csv"))),
             QByteArray("index,t_s,mean_a,min_a,max_a,logic\n"
                        "9,0.000,0.002,0.002,0.002,0\n9,0.001,0.002,0.002,0.002,0\n"
                        "0,0.000,3e-06,3e-06,3e-06,0\n"));
    QCOMPARE(resumed.traces().size(), 2);
    QCOMPARE(resumed.traces().last().bins.size(), 1);
    // The meter's bins go with the run.
    resumed.release();
    QVERIFY(!QFileInfo::exists(resumed.tracePartPath()));
}

void TraceFileTest::aFailedCommitLeavesTheFilesAsTheyWere()
{
    const QString path = scratch.filePath(QStringLiteral("failed"));
    ResultsFolder folder(path);
    QString error;
    QVERIFY(folder.claim(&error));
    const ModeCapture first = captured(folder.tracePartPath(), 0.002, 1e-6);
    QVERIFY(commit(folder, 0, 1e-6, &first, &error));
    const QByteArray traces = contentOf(folder.filePath(QStringLiteral("trace.csv")));
    const QByteArray results = contentOf(folder.filePath(QStringLiteral("results.csv")));
    // Bins the meter said it wrote and did not: the mode is not committed.
    ModeCapture lying = captured(folder.tracePartPath(), 0.002, 2e-6);
    lying.binCount = 5;
    QVERIFY(!commit(folder, 1, 2e-6, &lying, &error));
    QVERIFY2(error.contains(QLatin1String("ends early")), qPrintable(error));
    QCOMPARE(contentOf(folder.filePath(QStringLiteral("trace.csv"))), traces);
    QCOMPARE(contentOf(folder.filePath(QStringLiteral("results.csv"))), results);
    QCOMPARE(folder.rows().size(), 1);
    QCOMPARE(QDir(path).entryList({QStringLiteral(".trace.csv.*")}, QDir::Files | QDir::Hidden), QStringList());
}

void TraceFileTest::aKilledRunsStrayTraceGoesOnResume()
{
    // Killed between trace.csv and results.csv: mode 5's trace is there, its row is not.
    const QString path = scratch.filePath(QStringLiteral("killed"));
    QString error;
    {
        ResultsFolder folder(path);
        QVERIFY(folder.claim(&error));
        const ModeCapture first = captured(folder.tracePartPath(), 0.002, 1e-6);
        QVERIFY(commit(folder, 0, 1e-6, &first, &error));
    }
    const QString tracePath = QDir(path).filePath(QStringLiteral("trace.csv"));
    const QByteArray committed = contentOf(tracePath);
    save(tracePath, committed + "5,0.000,0.001,0.001,0.001,0\n");
    ResultsFolder resumed(path);
    QVERIFY(resumed.claim(&error) && resumed.load(&error));
    QCOMPARE(resumed.traces().size(), 1);
    QVERIFY2(resumed.rewrite(QJsonObject(), RunFacts(), &error), qPrintable(error));
    QCOMPARE(contentOf(tracePath), committed);
}

// A run resumed into a folder whose trace.csv has no logic column adds its
// mode in that file's columns, rather than refusing it or mixing them.
void TraceFileTest::aFolderFromBeforeTheInputsKeepsItsColumns()
{
    const QString path = scratch.filePath(QStringLiteral("older"));
    QString error;
    {
        ResultsFolder folder(path);
        QVERIFY(folder.claim(&error));
        const ModeCapture first = captured(folder.tracePartPath(), 0.001, 1e-6);
        QVERIFY(commit(folder, 0, 1e-6, &first, &error));
    }
    const QString tracePath = QDir(path).filePath(QStringLiteral("trace.csv"));
    save(tracePath, "index,t_s,mean_a,min_a,max_a\n0,0.000,1e-06,1e-06,1e-06\n");
    ResultsFolder resumed(path);
    QVERIFY2(resumed.claim(&error) && resumed.load(&error), qPrintable(error));
    const ModeCapture second = captured(resumed.tracePartPath(), 0.001, 2e-3);
    QVERIFY2(commit(resumed, 9, 2e-3, &second, &error), qPrintable(error));
    QCOMPARE(contentOf(tracePath), QByteArray("index,t_s,mean_a,min_a,max_a\n0,0.000,1e-06,1e-06,1e-06\n9,0.000,0.002,0.002,0.002\n"));
    QCOMPARE(resumed.traces().size(), 2);
}

void TraceFileTest::aDamagedFileIsRefusedAtItsLine_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("why");
    const QByteArray header("index,t_s,mean_a,min_a,max_a\n");
    QTest::newRow("other columns") << QByteArray("index,t_s,mean_a\n") << ":1: not the header";
    QTest::newRow("a word for a current") << header + "0,0.000,1e-06,1e-06,1e-06\n0,0.001,lots,1e-06,1e-06\n" << ":3: not a trace row";
    QTest::newRow("some currents of a bin") << header + "0,0.000,1e-06,,1e-06\n" << ":2: not a trace row";
    QTest::newRow("a cell too many") << header + "0,0.000,1e-06,1e-06,1e-06,7\n" << ":2: not a trace row";
    // Read in pieces, its start would pass for a row.
    QTest::newRow("a row padded beyond any row") << header + "0,0.000,1e-06,1e-06,1e-06" + QByteArray(1 << 20, ' ') + "\n"
                                                 << ":2: not a trace row";
    QTest::newRow("a NUL in a number") << header + QByteArray("0,0.000,1e-0\0006,1e-06,1e-06\n", 28) << ":2: not a trace row";
}

void TraceFileTest::aDamagedFileIsRefusedAtItsLine()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, why);
    const QString folder = scratch.filePath(QStringLiteral("damaged-") + QTest::currentDataTag());
    QVERIFY(QDir().mkpath(folder));
    save(folder + "/trace.csv", content);
    QString error;
    QVERIFY(!ResultsFolder::readTraces(folder, &error));
    QVERIFY2(error.contains(why), qPrintable(error));
}

QTEST_GUILESS_MAIN(TraceFileTest)
#include "tst_tracefile.moc"
