#ifndef PPK2SIMULATOR_H
#define PPK2SIMULATOR_H

#include "simulator/ppk2device.h"
#include "simulator/pseudoterminal.h"

#include <QElapsedTimer>
#include <QObject>
#include <QVector>

#include <array>

class BoardSimulator;
class QSocketNotifier;
class QTimer;

// A Power Profiler Kit II on a pseudo-terminal of its own, from the device's
// side: it takes the host's commands, answers the metadata request, and
// while sampling streams the board's current at 100,000 samples a second as
// a real board shows it (a steady current per mode, a short wake-up spike
// every second in the modes with an RTC, the CoreMark modes' blocks, the
// inrush when the board is powered), with D0 high during each wake-up and
// block, as firmware that raises a pin around its work. Its power switch powers the board, at
// the voltage set in source mode. A host that does not keep up loses whole
// blocks of 512 samples, which the counter does not show, as the real box's.
// Each start begins a fresh sample clock; a power-on gives its inrush at its
// true time, seen only where the box samples then. After a stop the samples
// already produced go out within 0.2 s, then nothing; a start while sampling
// stops the stream for good.
class Ppk2Simulator : public QObject
{
    Q_OBJECT

public:
    explicit Ppk2Simulator(BoardSimulator &board, QObject *parent = nullptr);
    ~Ppk2Simulator() override;

    bool isAttached() const { return line.masterFd >= 0; }
    QString portPath() const { return line.slavePath; }

    bool isSampling() const { return sampling; }
    bool isPowering() const { return running; }
    // Starts sent while it sampled: the real box stops for good.
    int startsWhileSampling() const { return badStarts; }
    qint64 blocksDropped() const { return dropsAt.size(); }
    // Each block dropped: in which mode, and how long after the board's last command it began.
    struct Drop
    {
        int mode = -1;
        double sinceCommandS = 0;
    };
    QVector<Drop> drops() const { return dropsAt; }
    QByteArray received() const { return commands; }
    // What the board did with D0 high while the box streamed: a wake-up or
    // a benchmark block each, in the mode it was drawn in, its first sample
    // on the clock of the start it fell in, and its charge as drawn.
    struct DrawnEvent
    {
        int mode = -1;
        qint64 startSample = 0;
        qint64 samples = 0;
        double chargeC = 0;
    };
    QVector<DrawnEvent> drawn() const { return drawnEvents; }

    // For tests: a byte of the stream goes missing, as with two readers on the port;
    void loseAByte() { loseByte = true; }
    // samples are numbered but never sent, as the counter shows;
    void dropSamples(int count) { toDrop = count; }
    // whole blocks of 512 are dropped, the counter none the wiser, as on a busy USB;
    void dropBlocks(int count) { blocksToDrop = count; }
    // the first sample after the next range switch carries a transient;
    void addSwitchTransient(double amperes) { transient = amperes; }
    // the next samples are top-range words with an ADC field of 0, as a misframed stream gives.
    void misframe(int count) { toMisframe = count; }
    // Unplugged: its terminal closes for good.
    void unplug();

    static constexpr int activityPeriod = 4096;   // samples of one benchmark block and its idle

signals:
    void logLine(const QString &line);

private:
    void readCommands();
    void run(const QByteArray &command);
    struct Drawn
    {
        double steady = 0;
        bool rtc = false;
        bool benchmark = false;
    };
    qint64 samplesDue() const;   // by the clock, since the start
    void stream();
    void stop();
    void flush();
    struct Point
    {
        double amperes = 0;
        bool d0 = false;
    };
    Drawn drawnNow() const;
    Point pointAt(const Drawn &drawn, qint64 sample) const;
    void record(const Point &point, qint64 sample);
    static constexpr int afterStopMs = 200;
    static constexpr int afterStopBytes = 64 * 1024;
    quint32 wordFor(double amperes, double volts);
    void powerBoard();

    static const std::array<double, activityPeriod> activity;

    BoardSimulator &board;
    Ppk2Device device;
    PseudoTerminal line;
    QSocketNotifier *reader = nullptr;
    QSocketNotifier *writer = nullptr;
    QTimer *ticker;
    QTimer *drainEnd;
    QByteArray input;
    QByteArray commands;
    QByteArray output;
    QElapsedTimer clock;              // the box's, from power-up
    qint64 startedAtNs = 0;           // on it: sample 0 of this start
    qint64 poweredAtNs = -1;          // on it: the board's power-on
    int stopBacklog = 0;              // bytes of samples still going out after a stop
    quint32 noiseState = 20261208;   // xorshift: cheap enough for every sample
    double cachedAmperes = -1;
    double cachedVolts = 0;
    int cachedRange = 0;
    double cachedField = 0;   // unrounded, so that the dither leaves no rounding behind
    Ppk2::PowerMode powerMode = Ppk2::PowerMode::Ampere;
    int vddMillivolts = 3300;
    bool running = false;
    bool sampling = false;
    bool stuck = false;
    bool loseByte = false;
    int toDrop = 0;
    int blocksToDrop = 0;
    int toMisframe = 0;
    double transient = 0;
    int lastRange = -1;
    int badStarts = 0;
    int counter = 0;
    qint64 sent = 0;
    QVector<Drop> dropsAt;
    qint64 commandAt = 0;      // the sample due when the board took its last command
    QVector<DrawnEvent> drawnEvents;
};

#endif // PPK2SIMULATOR_H
