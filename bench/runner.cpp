// pellmora-bench: measures Pellmora against a bare Qt dialog on this machine
// and prints one Markdown table. Run it on a display (scripts/bench uses Xvfb).
#include "historybench.h"
#include "ppk2bench.h"

#include "board/powermodes.h"
#include "report/sweepreport.h"
#include "results/resultsfolder.h"
#include "sweepwindow/modetable.h"
#include "sweepwindow/setupform.h"
#include "sweepwindow/sweepwindow.h"
#include "tests/support/simulatedbench.h"
#include "tests/support/windowonboard.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QPixmapCache>
#include <QProcess>
#include <QPushButton>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <malloc.h>
#include <sys/resource.h>

namespace {

const QString scoreTitle = QStringLiteral("CoreMark Score Display");

qint64 monotonicNanoseconds()
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000000000LL + now.tv_nsec;
}

double median(QVector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

double residentMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
    }
    return 0;
}

struct Launch
{
    double milliseconds = 0;
    double residentMiB = 0;
};

// From just before the process starts until its dialog has been painted.
Launch launch(const QString &program, const QStringList &arguments = QStringList(), bool withoutOpenGl = false)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    if (withoutOpenGl) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_XCB_GL_INTEGRATION"), QStringLiteral("none"));
        process.setProcessEnvironment(environment);
    }
    const qint64 startedAt = monotonicNanoseconds();
    process.start(program, arguments);
    process.waitForFinished(20000);
    const QList<QByteArray> report = process.readAllStandardOutput().trimmed().split(' ');
    if (report.size() != 2)
        qFatal("%s reported nothing", qPrintable(program));
    return {(report.at(0).toLongLong() - startedAt) / 1e6, report.at(1).toDouble() / 1024};
}

// Milliseconds from a Confirm until the board has the command's last byte.
// The board reads from a thread of its own, as a real one would, so its clock
// does not wait for the window's event loop.
QVector<double> confirmToBoard(int confirms)
{
    ScratchFolder folder;
    QThread boardThread;
    auto *board = new BoardSimulator;
    folder.writeHandOff(board->portPath().toLocal8Bit() + '\n');
    std::atomic<qint64> receivedAt {0};
    QObject::connect(board, &BoardSimulator::commandReceived, board,
                     [&receivedAt] { receivedAt = monotonicNanoseconds(); }, Qt::DirectConnection);
    board->moveToThread(&boardThread);
    boardThread.start();

    QVector<double> latencies;
    {
        BoxWatcher watcher;
        MainWindow window;
        window.show();
        auto *list = window.findChild<QComboBox *>(QStringLiteral("comboBox_2"));
        auto *confirmButton = window.findChild<QPushButton *>(QStringLiteral("pushButton_2"));
        for (int i = 0; i < confirms; ++i) {
            list->setCurrentIndex(i % 14);   // no CoreMark run, so no reply
            receivedAt = 0;
            const qint64 startedAt = monotonicNanoseconds();
            confirmButton->click();
            while (receivedAt == 0)
                QTest::qWait(1);
            latencies << (receivedAt - startedAt) / 1e6;
            watcher.clear();
        }
    }
    QMetaObject::invokeMethod(board, [board] { delete board; }, Qt::BlockingQueuedConnection);
    boardThread.quit();
    boardThread.wait();
    return latencies.mid(20);
}

// Resident growth over a run of Confirms, after a warm-up. Qt's pixmap cache
// is off meanwhile: the Fusion style caches each repaint of the mode list
// there under a new key, which fills the cache to its limit and then cycles;
// that is bounded and not ours, and would hide a leak of ours.
double growthOverConfirms(int confirms)
{
    const int cacheLimit = QPixmapCache::cacheLimit();
    QPixmapCache::setCacheLimit(0);
    double growth = 0;
    {
        WindowOnBoard rig;
        for (int i = 0; i < 50; ++i)
            rig.confirm(i % 14);
        rig.watcher.clear();
        malloc_trim(0);
        const double before = residentMiB();
        for (int i = 0; i < confirms; ++i) {
            rig.confirm(i % 14);
            rig.watcher.clear();
        }
        malloc_trim(0);
        growth = residentMiB() - before;
    }
    QPixmapCache::setCacheLimit(cacheLimit);
    return growth;
}

// Milliseconds from the board's reply until its score box is on screen.
class ScoreBoxClock : public QObject
{
public:
    QElapsedTimer sinceReply;
    QVector<double> latencies;

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *box = qobject_cast<QMessageBox *>(watched);
        if (event->type() == QEvent::Show && box && box->windowTitle() == scoreTitle)
            latencies << sinceReply.nsecsElapsed() / 1e6;
        return false;
    }
};

QVector<double> replyToScoreBox(int earlierConfirms, int replies)
{
    WindowOnBoard rig;
    for (int i = 0; i < std::max(1, earlierConfirms); ++i)
        rig.confirm(0);
    ScoreBoxClock clock;
    qApp->installEventFilter(&clock);
    for (int i = 0; i < replies; ++i) {
        clock.sinceReply.start();
        rig.board.send("CoreMark 1.0 : 166.42 / GCC12.2.0 -O2 / STACK\r\n");
        rig.waitUntilSettled();
        rig.watcher.clear();
    }
    qApp->removeEventFilter(&clock);
    return clock.latencies;
}

// Milliseconds per mode that the sweep spends on its own: a whole sweep of the
// simulated board with no boot, settle or reset wait and a single short
// reading, so a mode's time is the sweep's overhead and 0.8 ms of integration.
// The CoreMark modes also wait for the board's report and are left out.
struct SweepCost
{
    QVector<double> ownMilliseconds;   // per mode, beside the waits and readings
    double processorPerMode = 0;       // milliseconds of every thread, the chart and report included
    double drawingOnce = 0;            // milliseconds of processor time to draw the chart and report
};

double processorMilliseconds(const rusage &usage)
{
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// Processor time of this process alone, all threads.
double ownProcessorMilliseconds()
{
    timespec now {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

SweepCost sweepCost()
{
    SimulatedBench bench(false);
    QTemporaryDir folder;
    rusage before {};
    getrusage(RUSAGE_CHILDREN, &before);
    QProcess sweep;
    sweep.setStandardErrorFile(QProcess::nullDevice());
    sweep.start(QStringLiteral(SWEEP_PROGRAM),
                {QStringLiteral("run"), QStringLiteral("--port"), bench.port(), QStringLiteral("--meter"),
                 bench.meter(), QStringLiteral("--reset"), QStringLiteral("none"),
                 QStringLiteral("--boot"), QStringLiteral("0"), QStringLiteral("--settle"), QStringLiteral("0"),
                 QStringLiteral("--samples"), QStringLiteral("1"), QStringLiteral("--nplc"), QStringLiteral("0.02"),
                 QStringLiteral("--modes"), QStringLiteral("0-13,16,17"), QStringLiteral("--out"), folder.path()});
    sweep.waitForFinished(60000);
    rusage after {};
    getrusage(RUSAGE_CHILDREN, &after);

    QString error;
    const auto rows = ResultsFolder::readRows(folder.path(), &error);
    if (!rows || rows->size() != 16)
        qFatal("the simulated sweep failed: %s", qPrintable(error));
    SweepCost cost;
    for (int i = 1; i < rows->size(); ++i) {
        const auto started = [&](int row) { return QDateTime::fromString(rows->at(row).startedUtc, Qt::ISODateWithMs); };
        cost.ownMilliseconds << started(i - 1).msecsTo(started(i)) - 0.8;
    }
    cost.processorPerMode = (processorMilliseconds(after) - processorMilliseconds(before)) / rows->size();

    // Drawn in full each time, as after a mode of a sweep whose modes take longer than a drawing.
    const int drawings = 10;
    const double start = ownProcessorMilliseconds();
    for (int i = 0; i < drawings; ++i) {
        if (!SweepReport::rebuild(folder.path(), &error))
            qFatal("the report failed: %s", qPrintable(error));
    }
    cost.drawingOnce = (ownProcessorMilliseconds() - start) / drawings;
    return cost;
}

// The longest the window's event loop goes without turning while a whole
// sweep of the simulated board runs in it.
double windowStallDuringSweep()
{
    SimulatedBench bench(false);
    QTemporaryDir folder;
    qputenv("XDG_CONFIG_HOME", folder.filePath(QStringLiteral("config")).toLocal8Bit());
    SweepWindow window;
    window.show();
    window.setupForm()->setPort(bench.port());
    window.setupForm()->setMeter(bench.meter());
    window.setupForm()->setReset(QStringLiteral("none"));
    window.setupForm()->setBootSeconds(0.05);
    window.setupForm()->setResultsFolder(folder.filePath(QStringLiteral("results")));
    for (int mode = 0; mode < PowerModes::count(); ++mode)
        window.modeTable()->item(mode, ModeTable::Settle)->setText(QStringLiteral("0.2"));

    QElapsedTimer sinceTick;
    qint64 longest = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longest = std::max(longest, sinceTick.restart());
    });
    bool ended = false;
    QObject::connect(&window, &SweepWindow::sweepEnded, [&ended] { ended = true; });
    window.start();
    sinceTick.start();
    ticker.start(1);
    while (!ended)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return double(longest);
}

QString processorName()
{
    QFile cpuinfo(QStringLiteral("/proc/cpuinfo"));
    cpuinfo.open(QIODevice::ReadOnly);
    for (const QByteArray &line : cpuinfo.readAll().split('\n')) {
        if (line.startsWith("model name"))
            return QString::fromLatin1(line.mid(line.indexOf(':') + 1).trimmed());
    }
    return QStringLiteral("unknown processor");
}

void row(const char *measure, const QString &own, const QString &bare, const QString &result, const char *goal)
{
    std::printf("| %s | %s | %s | %s | %s |\n", measure, qPrintable(own), qPrintable(bare), qPrintable(result), goal);
}

QString number(double value, const char *unit)
{
    return QString::number(value, 'f', value < 10 ? 2 : 1) + QLatin1Char(' ') + QLatin1String(unit);
}

} // namespace

void printEventRows(const Ppk2StreamCost &events)
{
    row(qPrintable(QStringLiteral("Events found on D0 and by current while streaming %1 s at 100,000 samples/s (simulated): whole D0 events")
                       .arg(qRound(events.seconds))),
        events.lostSamples < 0 ? QStringLiteral("the run failed") : QString::number(events.events), QString(), QString(),
        "for reference");
    row("Their resident memory growth, from 5 s in", number(events.residentGrowthMiB, "MiB"), QString(), QString(), "under 5 MiB");
    row("Their processor time, from 5 s in", QString::number(events.processorShare * 100, 'f', 1) + QStringLiteral(" % of a core"),
        QString(), QString(), "under 10 %");
}

void printPpk2Rows(const Ppk2StreamCost &streaming)
{
    const QString span = QStringLiteral("%1 s").arg(qRound(streaming.seconds));
    const QString lost = streaming.lostSamples < 0 ? QStringLiteral("the run failed")
        : QString::number(streaming.lostSamples) + (streaming.shortOfRate ? QStringLiteral(", short of its rate") : QString());
    row(qPrintable(QStringLiteral("Power Profiler Kit II streamed %1 at 100,000 samples/s (simulated): samples lost").arg(span)),
        lost, QString(), QString(), "none");
    row("Its resident memory growth, from 5 s in", number(streaming.residentGrowthMiB, "MiB"), QString(), QString(),
        "under 5 MiB");
    row("Its processor time, from 5 s in", QString::number(streaming.processorShare * 100, 'f', 1) + QStringLiteral(" % of a core"),
        QString(), QString(), "under 10 %");
    row("Then the mode's files and the report, the whole trace streamed", number(streaming.finishingSeconds, "s"), QString(),
        QString(), "for reference");
}

void printHistoryRows(const HistoryCost &history)
{
    row("history --limit 20, 10,000 runs of 18 modes in SQLite, the whole command", number(history.listMilliseconds, "ms"),
        QString(), QString(), "under 100 ms");
    row("trend of 18 modes over all 10,000 runs, files drawn", number(history.trendMilliseconds, "ms"), QString(), QString(),
        "under 1000 ms");
    row("check --baseline median:10 against them", number(history.checkMilliseconds, "ms"), QString(), QString(),
        "under 200 ms");
    row("budget of a sensor node from a board's newest runs among them, files drawn", number(history.budgetMilliseconds, "ms"),
        QString(), QString(), "under 200 ms");
    row("Recording a mode in that history", number(history.recordMilliseconds, "ms"), QString(), QString(), "under 10 ms");
    row("History file size per 1,000 runs", number(history.mebibytesPerThousandRuns, "MiB"), QString(), QString(),
        "for reference");
}

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    // --ppk2-only SECONDS: the long run of the Power Profiler Kit II's stream alone.
    const int ppk2Only = application.arguments().indexOf(QStringLiteral("--ppk2-only"));
    const int ppk2Seconds = ppk2Only > 0 ? application.arguments().value(ppk2Only + 1).toInt() : 60;
    if (ppk2Only > 0) {
        std::printf("| Measure | Pellmora | Baseline | Result | Goal |\n|---|---|---|---|---|\n");
        printPpk2Rows(ppk2StreamCost(SWEEP_PROGRAM, SIMULATOR_PROGRAM, ppk2Seconds));
        return 0;
    }
    // --history-only: the history's rows alone, as while one works on them.
    if (application.arguments().contains(QStringLiteral("--history-only"))) {
        std::printf("| Measure | Pellmora | Baseline | Result | Goal |\n|---|---|---|---|---|\n");
        printHistoryRows(historyCost(SWEEP_PROGRAM));
        return 0;
    }
    // Boxes answered within milliseconds are gone before Qt handles the window
    // manager's configure events for them, and Qt logs the X server's refusal
    // to translate their coordinates. It is Qt's race, harmless, and not ours.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.qpa.xcb.warning=false"));
    const int startRuns = 21;

    QVector<double> ownStart, bareStart, listingStart, rasterListingStart, ownResident, bareResident;
    for (int run = 0; run < startRuns; ++run) {
        const Launch own = launch(QStringLiteral(PELLMORA_STARTUP));
        const Launch bare = launch(QStringLiteral(BARE_DIALOG));
        const Launch listing = launch(QStringLiteral(BARE_DIALOG), {QStringLiteral("--list-ports")});
        const Launch rasterListing = launch(QStringLiteral(BARE_DIALOG), {QStringLiteral("--list-ports")}, true);
        ownStart << own.milliseconds;
        ownResident << own.residentMiB;
        bareStart << bare.milliseconds;
        bareResident << bare.residentMiB;
        listingStart << listing.milliseconds;
        rasterListingStart << rasterListing.milliseconds;
    }
    const QVector<double> confirms = confirmToBoard(220);
    const double growth = growthOverConfirms(1000);
    const QVector<double> replies = replyToScoreBox(0, 40);
    const QVector<double> repliesLater = replyToScoreBox(20, 40);
    const SweepCost sweeping = sweepCost();
    const double windowStall = windowStallDuringSweep();
    const HistoryCost history = historyCost(SWEEP_PROGRAM);
    const Ppk2StreamCost streaming = ppk2StreamCost(SWEEP_PROGRAM, SIMULATOR_PROGRAM, ppk2Seconds);
    const Ppk2StreamCost events = ppk2EventsCost(SWEEP_PROGRAM, SIMULATOR_PROGRAM, ppk2Seconds);

    std::printf("Machine: %s, %d cores, %s, Qt %s, platform %s\n\n", qPrintable(processorName()),
                QThread::idealThreadCount(), qPrintable(QSysInfo::prettyProductName()), qVersion(),
                qPrintable(QGuiApplication::platformName()));
    std::printf("| Measure (medians) | Pellmora | Baseline | Result | Goal |\n|---|---|---|---|---|\n");
    row("Start-up to first paint of the dialog, against a bare Qt dialog", number(median(ownStart), "ms"),
        number(median(bareStart), "ms"), QString::number(median(ownStart) / median(bareStart), 'f', 2) + QLatin1Char('x'),
        "for reference");
    row("The same, against a bare dialog that lists the serial ports", number(median(ownStart), "ms"),
        number(median(listingStart), "ms"), QString::number(median(ownStart) / median(listingStart), 'f', 2) + QLatin1Char('x'),
        "at most 1.05x");
    row("The same, the bare dialog also without the OpenGL stack, as the program runs", number(median(ownStart), "ms"),
        number(median(rasterListingStart), "ms"),
        QString::number(median(ownStart) / median(rasterListingStart), 'f', 2) + QLatin1Char('x'), "for reference");
    row("Resident memory, dialog shown", number(median(ownResident), "MiB"), number(median(bareResident), "MiB"),
        QString::number(median(ownResident) / median(bareResident), 'f', 2) + QLatin1Char('x'), "at most 1.2x");
    row("Resident growth over 1,000 Confirms", number(growth, "MiB"), QString(), QString(), "under 1 MiB");
    row("Confirm to the command's last byte at the board", number(median(confirms), "ms"), QString(), QString(),
        "under 2 ms");
    row("Board reply to score box shown", number(median(replies), "ms"), QString(), QString(), "under 110 ms");
    row("The same after 20 earlier Confirms", number(median(repliesLater), "ms"), QString(), QString(),
        "under 110 ms");
    row("pellmora-sweep's own time per mode, simulated sweep", number(median(sweeping.ownMilliseconds), "ms"), QString(),
        QString(), "under 20 ms");
    row("Its processor time per mode, every thread, chart and report included", number(sweeping.processorPerMode, "ms"),
        QString(), QString(), "under 30 ms");
    row("Processor time to draw the chart (SVG and PNG) and report once", number(sweeping.drawingOnce, "ms"), QString(),
        QString(), "under 30 ms");
    row("Longest event-loop stall of Pellmora Sweep during a sweep, its chart drawn for its pane", number(windowStall, "ms"),
        QString(), QString(), "under 50 ms");
    printHistoryRows(history);
    printPpk2Rows(streaming);
    printEventRows(events);
    return 0;
}
