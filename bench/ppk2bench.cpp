#include "ppk2bench.h"

#include "results/resultsfolder.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <unistd.h>

#include <algorithm>

namespace {

// VmRSS in MiB and user plus system time in seconds, of another process.
struct ProcessUse
{
    double residentMiB = 0;
    double processorSeconds = 0;
};

ProcessUse useOf(qint64 pid)
{
    ProcessUse use;
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("VmRSS:"))
                use.residentMiB = line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
        }
    }
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (stat.open(QIODevice::ReadOnly)) {
        // Fields after the command's closing parenthesis; utime and stime are the 14th and 15th.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 12)
            use.processorSeconds = (fields.at(11).toDouble() + fields.at(12).toDouble()) / double(sysconf(_SC_CLK_TCK));
    }
    return use;
}

} // namespace

// `measuring`: the run's options beyond the port, meter and folder.
Ppk2StreamCost streamCost(const char *sweepProgram, const char *simulatorProgram, int seconds, const QStringList &measuring)
{
    Ppk2StreamCost cost;
    QProcess simulator;
    simulator.start(QString::fromLocal8Bit(simulatorProgram), {QStringLiteral("--ppk2")});
    QString terminal, box;
    while (simulator.waitForReadyRead(5000) || simulator.canReadLine()) {
        while (simulator.canReadLine()) {
            const QString line = QString::fromLatin1(simulator.readLine().trimmed());
            (line.startsWith(QLatin1String("ppk2 ")) ? box : terminal) = line.startsWith(QLatin1String("ppk2 ")) ? line.mid(5) : line;
        }
        if (!box.isEmpty())
            break;
    }
    QTemporaryDir folder;
    QProcess sweep;
    sweep.start(QString::fromLocal8Bit(sweepProgram),
                QStringList {QStringLiteral("run"), QStringLiteral("--port"), terminal, QStringLiteral("--meter"),
                             QStringLiteral("ppk2:") + box, QStringLiteral("--reset"), QStringLiteral("none"),
                             QStringLiteral("--history"), QStringLiteral("none"), QStringLiteral("--quiet"), QStringLiteral("--out"),
                             folder.filePath(QStringLiteral("run"))}
                    + measuring);
    sweep.waitForStarted();
    const qint64 pid = sweep.processId();
    QThread::sleep(5);
    const ProcessUse first = useOf(pid);
    QElapsedTimer clock;
    clock.start();
    ProcessUse last = first;
    double lastAt = 0;
    // While it streams: the mode's commit and report at the end are no part of it.
    const double streaming = seconds - 5 - 1;
    while (!sweep.waitForFinished(200)) {
        const ProcessUse now = useOf(pid);
        if (now.residentMiB > 0 && clock.elapsed() / 1000.0 < streaming) {
            last = now;
            lastAt = clock.elapsed() / 1000.0;
        }
    }
    // The sweep began 5 s before the clock; its readings end a moment after the settle time.
    cost.finishingSeconds = std::max(0.0, clock.elapsed() / 1000.0 + 5 - seconds);
    simulator.terminate();
    simulator.waitForFinished(5000);
    cost.seconds = seconds;
    cost.residentGrowthMiB = last.residentMiB - first.residentMiB;
    cost.processorShare = lastAt > 0 ? (last.processorSeconds - first.processorSeconds) / lastAt : 0;
    QString error;
    const auto rows = ResultsFolder::readRows(folder.filePath(QStringLiteral("run")), &error);
    if (sweep.exitCode() == 0 && rows && rows->size() == 1 && rows->first().lostSamples)
        cost.lostSamples = *rows->first().lostSamples;
    if (rows && rows->size() == 1)
        cost.events = rows->first().events.value_or(0);
    QFile json(folder.filePath(QStringLiteral("run/results.json")));
    cost.shortOfRate = json.open(QIODevice::ReadOnly) && json.readAll().contains("\"meter_note\"");
    return cost;
}

Ppk2StreamCost ppk2StreamCost(const char *sweepProgram, const char *simulatorProgram, int seconds)
{
    return streamCost(sweepProgram, simulatorProgram, seconds,
                      {QStringLiteral("--modes"), QStringLiteral("13"), QStringLiteral("--settle"), QString::number(seconds),
                       QStringLiteral("--samples"), QStringLiteral("1")});
}

Ppk2StreamCost ppk2EventsCost(const char *sweepProgram, const char *simulatorProgram, int seconds)
{
    // A second to settle, then readings of a second each for the rest.
    return streamCost(sweepProgram, simulatorProgram, seconds,
                      {QStringLiteral("--modes"), QStringLiteral("15"), QStringLiteral("--settle"), QStringLiteral("1"),
                       QStringLiteral("--samples"), QString::number(seconds - 1), QStringLiteral("--nplc"), QStringLiteral("50"),
                       QStringLiteral("--events"), QStringLiteral("D0"), QStringLiteral("--events"), QStringLiteral("current:0.0101")});
}
