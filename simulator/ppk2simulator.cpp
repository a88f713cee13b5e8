#include "simulator/ppk2simulator.h"

#include "simulator/boardsimulator.h"

#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <unistd.h>
#include <utility>

namespace {

// Argument bytes after each opcode the box takes; others are one byte alone.
int argumentsOf(quint8 opcode)
{
    switch (opcode) {
    case Ppk2::DeviceRunningSet:
    case Ppk2::SetPowerMode:
        return 1;
    case Ppk2::RegulatorSet:
        return 2;
    case 0x25:   // user gains: a range and a float
        return 5;
    default:
        return 0;
    }
}

constexpr int streamBlockSamples = 512;
constexpr int backlogLimit = 16 * 1024;   // bytes the box holds for a slow host: 40 ms
constexpr double externalVolts = 3.3;     // the bench supply behind the box in ampere mode

// The benchmark runs in blocks, D0 high around each: three quarters of a
// period of 4096 samples at 1.02 times the mode's current (with a ripple
// of fast changes), the rest idle at 0.94 times it, so the mean is the mode's.
constexpr int activityPeriod = Ppk2Simulator::activityPeriod;
constexpr int blockSamples = activityPeriod * 3 / 4;

std::array<double, activityPeriod> activityPattern()
{
    std::array<double, activityPeriod> pattern {};
    for (size_t i = 0; i < pattern.size(); ++i)
        pattern[i] = i < size_t(blockSamples) ? 1.02 + 0.01 * std::sin(double(i) / 37 * 2) : 0.94;
    return pattern;
}

// The RTC wakes the board once a second for 0.5 ms, D0 high meanwhile.
constexpr int wakeSamples = 50;
constexpr double wakeAmperes = 1.2e-3;
constexpr int drawnEventsKept = 100000;

} // namespace

const std::array<double, Ppk2Simulator::activityPeriod> Ppk2Simulator::activity = activityPattern();

Ppk2Simulator::Ppk2Simulator(BoardSimulator &poweredBoard, QObject *parent)
    : QObject(parent)
    , board(poweredBoard)
    , line(PseudoTerminal::open())
    , ticker(new QTimer(this))
    , drainEnd(new QTimer(this))
{
    clock.start();
    connect(&board, &BoardSimulator::commandReceived, this, [this] { commandAt = samplesDue(); });
    if (line.masterFd < 0)
        return;
    reader = new QSocketNotifier(line.masterFd, QSocketNotifier::Read, this);
    connect(reader, &QSocketNotifier::activated, this, &Ppk2Simulator::readCommands);
    writer = new QSocketNotifier(line.masterFd, QSocketNotifier::Write, this);
    writer->setEnabled(false);
    connect(writer, &QSocketNotifier::activated, this, &Ppk2Simulator::flush);
    // The samples a stop left that the host did not take in time are gone.
    drainEnd->setSingleShot(true);
    connect(drainEnd, &QTimer::timeout, this, [this] {
        output.remove(0, std::exchange(stopBacklog, 0));
        flush();
    });
    ticker->setTimerType(Qt::PreciseTimer);
    ticker->setInterval(5);
    connect(ticker, &QTimer::timeout, this, &Ppk2Simulator::stream);
    // Behind the box in ampere mode the board has no power until the series path is on.
    board.setPower(false, externalVolts);
}

Ppk2Simulator::~Ppk2Simulator()
{
    unplug();
}

void Ppk2Simulator::unplug()
{
    ticker->stop();
    drainEnd->stop();
    delete reader;
    reader = nullptr;
    delete writer;
    writer = nullptr;
    for (int *fd : {&line.masterFd, &line.slaveFd}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

void Ppk2Simulator::readCommands()
{
    char bytes[256];
    const ssize_t got = ::read(line.masterFd, bytes, sizeof bytes);
    if (got <= 0)
        return;
    input.append(bytes, int(got));
    while (!input.isEmpty()) {
        const int length = 1 + argumentsOf(quint8(input.at(0)));
        if (input.size() < length)
            return;
        run(input.left(length));
        input.remove(0, length);
    }
}

void Ppk2Simulator::run(const QByteArray &command)
{
    commands.append(command);
    const quint8 opcode = quint8(command.at(0));
    if (opcode == Ppk2::GetMetadata) {
        output.append(device.metadata(vddMillivolts, powerMode));
        flush();
    } else if (opcode == Ppk2::AverageStart) {
        if (sampling) {
            ++badStarts;
            stuck = true;
            sampling = false;
            ticker->stop();
            emit logLine(QStringLiteral("ppk2: start while sampling; stopped for good"));
            return;
        }
        sampling = !stuck;
        sent = 0;
        commandAt = 0;
        startedAtNs = clock.nsecsElapsed();
        ticker->start();
    } else if (opcode == Ppk2::AverageStop) {
        stop();
    } else if (opcode == Ppk2::SetPowerMode) {
        powerMode = quint8(command.at(1)) == 2 ? Ppk2::PowerMode::Source : Ppk2::PowerMode::Ampere;
        powerBoard();
    } else if (opcode == Ppk2::RegulatorSet) {
        vddMillivolts = quint8(command.at(1)) << 8 | quint8(command.at(2));
        powerBoard();
    } else if (opcode == Ppk2::DeviceRunningSet) {
        running = command.at(1) != 0;
        emit logLine(running ? QStringLiteral("ppk2: board powered") : QStringLiteral("ppk2: board unpowered"));
        powerBoard();
    }
}

// What was measured until now still goes out, as much as the box holds
// beyond the host's buffers, for a short while; then nothing.
void Ppk2Simulator::stop()
{
    if (!sampling)
        return;
    stream();
    sampling = false;
    ticker->stop();
    if (output.size() > afterStopBytes)
        output.truncate(afterStopBytes);
    stopBacklog = output.size();
    drainEnd->start(afterStopMs);
    flush();
}

void Ppk2Simulator::powerBoard()
{
    const double volts = powerMode == Ppk2::PowerMode::Source ? vddMillivolts / 1000.0 : externalVolts;
    if (running && !board.isPowered())
        poweredAtNs = clock.nsecsElapsed();
    board.setPower(running, volts);
}

// What the board draws over the next samples: a steady current with its
// features, worked out once per tick, so that 100,000 samples a second
// cost little even on a slow or instrumented build.
Ppk2Simulator::Drawn Ppk2Simulator::drawnNow() const
{
    Drawn drawn;
    drawn.steady = board.current();
    const int mode = board.mode();
    const QString name = mode >= 0 ? BoardSimulator::modeName(mode) : QString();
    drawn.rtc = name.contains(QLatin1String("RTC"));
    drawn.benchmark = name.contains(QLatin1String("CoreMark"));
    return drawn;
}

// A sample's current, with what a meter this fast sees and a bench meter
// averages away: the inrush as the board is powered, the RTC waking for
// 0.5 ms each second, the benchmark's blocks; and D0, high while the board
// wakes or runs a block.
Ppk2Simulator::Point Ppk2Simulator::pointAt(const Drawn &drawn, qint64 sample) const
{
    Point point;
    double &amperes = point.amperes;
    amperes = drawn.steady;
    // The inrush: 40 mA falling with a time constant of 0.6 ms, over 3 ms.
    const qint64 sinceOnNs = startedAtNs + sample * (1000000000 / Ppk2::samplesPerSecond) - poweredAtNs;
    if (running && poweredAtNs >= 0 && sinceOnNs >= 0 && sinceOnNs < 3000000)
        amperes += 40e-3 * std::exp(-double(sinceOnNs) / 600000);
    if (drawn.rtc && sample % Ppk2::samplesPerSecond < wakeSamples) {
        amperes += wakeAmperes;
        point.d0 = true;
    }
    if (drawn.benchmark) {
        const qint64 phase = sample % activityPeriod;
        amperes *= activity[size_t(phase)];
        point.d0 = point.d0 || phase < blockSamples;
    }
    return point;
}

// The record of what the board did with D0 high, for tests to hold a host's
// events against: a sample with D0 high goes on the event it follows.
void Ppk2Simulator::record(const Point &point, qint64 sample)
{
    if (!point.d0)
        return;
    DrawnEvent *last = drawnEvents.isEmpty() ? nullptr : &drawnEvents.last();
    if (last && last->startSample + last->samples == sample) {
        ++last->samples;
        last->chargeC += point.amperes / Ppk2::samplesPerSecond;
    } else if (drawnEvents.size() < drawnEventsKept) {
        drawnEvents.append({board.mode(), sample, 1, point.amperes / Ppk2::samplesPerSecond});
    }
}

// The word for a current with a dither of a couple of ADC steps, as a real
// converter's noise; a current seen before comes from the cache.
quint32 Ppk2Simulator::wordFor(double amperes, double volts)
{
    if (amperes != cachedAmperes || volts != cachedVolts) {
        cachedAmperes = amperes;
        cachedVolts = volts;
        cachedRange = Ppk2Device::rangeFor(amperes);
        cachedField = device.exactField(amperes, cachedRange, volts);
    }
    // Two uniform draws of ±0.75 of a step: a triangular dither of ±1.5 steps.
    const auto uniform = [this] {
        noiseState ^= noiseState << 13;
        noiseState ^= noiseState >> 17;
        noiseState ^= noiseState << 5;
        return double(noiseState) / 4294967296.0 * 1.5 - 0.75;
    };
    const int field = int(std::lround(cachedField + uniform() + uniform()));
    return Ppk2Device::word(field, cachedRange, 0, 0);
}

qint64 Ppk2Simulator::samplesDue() const
{
    return (clock.nsecsElapsed() - startedAtNs) * Ppk2::samplesPerSecond / 1000000000;
}

void Ppk2Simulator::stream()
{
    if (!sampling || line.masterFd < 0)
        return;
    const double volts = vddMillivolts / 1000.0;
    const Drawn drawn = drawnNow();
    const qint64 due = samplesDue();
    while (sent < due) {
        // A late tick makes many samples at once: only what the host has not
        // taken off the terminal is a backlog the box must drop.
        if (output.size() > backlogLimit)
            flush();
        if (blocksToDrop > 0 || output.size() > backlogLimit) {
            // A whole block, as the real box drops one on a busy USB: the counter (modulo 64) shows nothing.
            blocksToDrop = std::max(0, blocksToDrop - 1);
            dropsAt.append({board.mode(), double(sent - commandAt) / Ppk2::samplesPerSecond});
            sent += streamBlockSamples;
            continue;
        }
        const qint64 block = std::min<qint64>(streamBlockSamples, due - sent);
        for (qint64 i = 0; i < block; ++i) {
            const Point point = pointAt(drawn, sent);
            record(point, sent);
            quint32 word = wordFor(point.amperes, volts) | (point.d0 ? 1u << 24 : 0u);
            const int range = int(word >> 14) & 7;
            if (transient > 0 && lastRange >= 0 && range != lastRange)
                word = device.word(std::exchange(transient, 0.0), range, 0, volts, 0);
            lastRange = range;
            if (toMisframe > 0) {
                --toMisframe;
                word = Ppk2Device::word(0, 4, 0, 0);
            }
            word |= quint32(counter) << 18;
            counter = (counter + 1) & 63;
            ++sent;
            if (toDrop > 0) {
                --toDrop;
                continue;
            }
            char bytes[4] = {char(word), char(word >> 8), char(word >> 16), char(word >> 24)};
            output.append(bytes, 4);
        }
    }
    if (loseByte && output.size() > 100) {
        output.remove(42, 1);
        loseByte = false;
    }
    flush();
}

void Ppk2Simulator::flush()
{
    while (!output.isEmpty() && line.masterFd >= 0) {
        const ssize_t written = ::write(line.masterFd, output.constData(), size_t(output.size()));
        if (written <= 0)
            break;   // the terminal is full: the rest goes as the host reads
        output.remove(0, int(written));
        stopBacklog = std::max(0, stopBacklog - int(written));
    }
    if (writer)
        writer->setEnabled(!output.isEmpty());
}
