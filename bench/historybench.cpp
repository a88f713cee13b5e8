#include "historybench.h"

#include "board/powermodes.h"
#include "history/history.h"
#include "tests/support/resultsfixture.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>

namespace {

constexpr int runCount = 10000;
constexpr int boardCount = 4;

double median(QVector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

// A run of every mode: each current drifts a little from build to build,
// and now and then a build breaks a limit.
QList<ResultRow> generatedRows(int run)
{
    QList<ResultRow> rows;
    for (int mode = 0; mode < PowerModes::count(); ++mode) {
        const double base = 30e-9 * std::pow(10.0, mode * 5.5 / (PowerModes::count() - 1));
        ResultRow row = ResultsFixture::row(mode, base * (1 + 0.05 * std::sin(run * 0.37 + mode)));
        row.mode = PowerModes::name(mode);
        row.min = *row.mean * 0.98;
        row.max = *row.mean * 1.02;
        row.stdev = *row.mean * 0.01;
        row.limitMax = base * 1.1;
        row.verdict = *row.mean > *row.limitMax ? QStringLiteral("FAIL") : QStringLiteral("PASS");
        rows << row;
    }
    return rows;
}

RunEntry generatedRun(int run, const QString &folder)
{
    RunEntry entry;
    entry.facts.runId = RunFacts::newRunId();
    entry.facts.started = QDateTime(QDate(2025, 1, 1), QTime(0, 0), Qt::UTC).addSecs(run * 3600);
    entry.facts.ended = entry.facts.started.addSecs(900);
    entry.facts.outcome = QStringLiteral("completed");
    entry.facts.host = QStringLiteral("bench-%1").arg(run % boardCount);
    entry.facts.boardId = QStringLiteral("board-%1").arg(run % boardCount);
    entry.facts.firmware = QStringLiteral("v1.%1.%2").arg(run / 1000).arg(run % 1000);
    entry.facts.tags.insert(QStringLiteral("bench"), QString::number(run % boardCount));
    entry.port = QStringLiteral("/dev/ttyACM0");
    entry.folder = folder;
    return entry;
}

void fill(History &history, const QString &folder)
{
    QString error;
    for (int first = 0; first < runCount; first += 500) {
        const bool ok = history.inTransaction([&](QString *error) {
            for (int run = first; run < first + 500; ++run) {
                const RunEntry entry = generatedRun(run, folder);
                if (!history.beginRun(entry, error))
                    return false;
                for (const ResultRow &row : generatedRows(run)) {
                    if (!history.recordMode(entry.facts.runId, row, error))
                        return false;
                }
            }
            return true;
        }, &error);
        if (!ok)
            qFatal("cannot fill the history: %s", qPrintable(error));
    }
}

// Milliseconds of the whole command, from start to exit, as a script sees it.
double commandMilliseconds(const char *program, const QStringList &arguments)
{
    QProcess tool;
    tool.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    tool.start(QLatin1String(program), arguments);
    if (!tool.waitForFinished(60000) || tool.exitStatus() != QProcess::NormalExit || tool.exitCode() > 1)
        qFatal("%s %s failed: %s", program, qPrintable(arguments.join(' ')), tool.readAllStandardError().constData());
    return clock.nsecsElapsed() / 1e6;
}

double medianOf(int times, const char *program, const QStringList &arguments)
{
    QVector<double> all;
    for (int i = 0; i < times; ++i)
        all << commandMilliseconds(program, arguments);
    return median(all);
}

} // namespace

HistoryCost historyCost(const char *sweepProgram)
{
    QTemporaryDir scratch;
    const QString database = scratch.filePath(QStringLiteral("history.sqlite"));
    const QString checked = scratch.filePath(QStringLiteral("checked"));
    QString error;
    std::unique_ptr<History> history = History::openChosen(database, &error);
    if (!history)
        qFatal("%s", qPrintable(error));
    fill(*history, checked);
    // The run to check: the newest of board-0, a little changed.
    if (!ResultsFixture::writeFolder(checked, QStringLiteral("board-0"), QDateTime::currentDateTimeUtc(), generatedRows(7),
                                     RunFacts::newRunId(), &error))
        qFatal("%s", qPrintable(error));

    HistoryCost cost;
    cost.listMilliseconds = medianOf(11, sweepProgram, {"history", "--history", database, "--limit", "20"});
    cost.trendMilliseconds = medianOf(5, sweepProgram, {"trend", "--history", database, "--out", scratch.filePath("trend")});
    cost.checkMilliseconds = medianOf(11, sweepProgram, {"check", checked, "--history", database, "--baseline", "median:10"});
    const QString profile = scratch.filePath(QStringLiteral("sensor.ini"));
    QFile sensor(profile);
    if (!sensor.open(QIODevice::WriteOnly) || sensor.write("period_s = 10\n5 = rest\n13 = 5 ms\n15 = 1 s / 60 s\n") < 0)
        qFatal("cannot write %s", qPrintable(profile));
    sensor.close();
    cost.budgetMilliseconds = medianOf(11, sweepProgram, {"budget", profile, "--board", "board-1", "--history", database, "--out",
                                                          scratch.filePath("budget")});

    // As a sweep records: a run, then its modes one by one, each on its own.
    const RunEntry live = generatedRun(runCount, checked);
    QVector<double> recordings;
    if (!history->beginRun(live, &error))
        qFatal("%s", qPrintable(error));
    for (int repeat = 0; repeat < 6; ++repeat) {
        for (const ResultRow &row : generatedRows(runCount + repeat)) {
            QElapsedTimer clock;
            clock.start();
            if (!history->recordMode(live.facts.runId, row, &error))
                qFatal("%s", qPrintable(error));
            recordings << clock.nsecsElapsed() / 1e6;
        }
    }
    cost.recordMilliseconds = median(recordings);
    history.reset();
    const qint64 bytes = QFileInfo(database).size() + QFileInfo(database + QStringLiteral("-wal")).size();
    cost.mebibytesPerThousandRuns = bytes / 1048576.0 / (runCount / 1000.0);
    return cost;
}
