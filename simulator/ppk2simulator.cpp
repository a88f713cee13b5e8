#include "simulator/ppk2simulator.h"

#include "simulator/boardsimulator.h"

#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <utility>
#include <cmath>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

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

constexpr int blockSamples = 512;
constexpr int backlogLimit = 64 * 1024;   // bytes the box holds for a slow host
constexpr double externalVolts = 3.3;     // the bench supply behind the box in ampere mode

} // namespace

Ppk2Simulator::Ppk2Simulator(BoardSimulator &poweredBoard, QObject *parent)
    : QObject(parent)
    , board(poweredBoard)
    , ticker(new QTimer(this))
{
    masterFd = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (masterFd < 0 || grantpt(masterFd) != 0 || unlockpt(masterFd) != 0) {
        unplug();
        return;
    }
    slavePath = QString::fromLocal8Bit(ptsname(masterFd));
    slaveFd = ::open(ptsname(masterFd), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios raw {};
    tcgetattr(masterFd, &raw);
    cfmakeraw(&raw);
    tcsetattr(masterFd, TCSANOW, &raw);
    reader = new QSocketNotifier(masterFd, QSocketNotifier::Read, this);
    connect(reader, &QSocketNotifier::activated, this, &Ppk2Simulator::readCommands);
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
    delete reader;
    reader = nullptr;
    for (int *fd : {&masterFd, &slaveFd}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

void Ppk2Simulator::readCommands()
{
    char bytes[256];
    const ssize_t got = ::read(masterFd, bytes, sizeof bytes);
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
            emit logLine(QStringLiteral("ppk2: start while sampling; stopped for good"));
            return;
        }
        sampling = !stuck;
        sent = 0;
        clock.start();
        ticker->start();
    } else if (opcode == Ppk2::AverageStop) {
        // What was measured until now still goes out; then nothing.
        stream();
        sampling = false;
        ticker->stop();
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

void Ppk2Simulator::powerBoard()
{
    const double volts = powerMode == Ppk2::PowerMode::Source ? vddMillivolts / 1000.0 : externalVolts;
    if (running && !board.isPowered())
        poweredAtSample = sent;
    board.setPower(running, volts);
}

// The board's current at a sample of the stream, with what a meter that
// fast sees and a bench meter averages away.
double Ppk2Simulator::currentAt(qint64 sample)
{
    double amperes = board.current();
    const int mode = board.mode();
    const QString name = mode >= 0 ? BoardSimulator::modeName(mode) : QString();
    if (running && poweredAtSample >= 0 && sample - poweredAtSample < 300)   // the inrush into its capacitors
        amperes += 40e-3 * std::exp(-double(sample - poweredAtSample) / 60);
    if (name.contains(QLatin1String("RTC")) && sample % Ppk2::samplesPerSecond < 50)   // the RTC's wake-up, 0.5 ms a second
        amperes += 1.2e-3;
    if (name.contains(QLatin1String("CoreMark")))   // the benchmark's activity
        amperes *= 1 + 0.08 * std::sin(double(sample) / 37) * std::sin(double(sample) / 911);
    return amperes;
}

void Ppk2Simulator::stream()
{
    if (!sampling || masterFd < 0)
        return;
    const double volts = vddMillivolts / 1000.0;
    const qint64 due = clock.nsecsElapsed() * Ppk2::samplesPerSecond / 1000000000;
    while (sent < due) {
        const qint64 block = std::min<qint64>(blockSamples, due - sent);
        if (blocksToDrop > 0) {
            // A whole block, so that the counter (modulo 64) shows nothing.
            --blocksToDrop;
            sent += blockSamples;
            ++dropped;
            continue;
        }
        if (output.size() > backlogLimit) {
            // The host does not keep up: a whole block is dropped, the counter runs on.
            sent += block;
            counter = int((counter + block) & 63);
            ++dropped;
            continue;
        }
        for (qint64 i = 0; i < block; ++i) {
            // Dither of a couple of ADC steps, as a real converter's noise.
            const double drawn = currentAt(sent);
            const int range = Ppk2Device::rangeFor(drawn);
            const double step = 4 * Ppk2Calibration::voltsPerCount / device.calibration().r[size_t(range)];
            double amperes = std::max(0.0, drawn + (noise.generateDouble() + noise.generateDouble() - 1) * 1.5 * step);
            if (transient > 0 && lastRange >= 0 && range != lastRange) {
                amperes = std::exchange(transient, 0.0);
            }
            lastRange = range;
            const quint32 word = device.word(amperes, range, counter, volts, 0);
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
    while (!output.isEmpty() && masterFd >= 0) {
        const ssize_t written = ::write(masterFd, output.constData(), size_t(output.size()));
        if (written <= 0)
            return;   // the terminal is full: the rest waits for the next tick
        output.remove(0, int(written));
    }
}
