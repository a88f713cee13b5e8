#include "simulator/boardsimulator.h"

#include "simulator/pseudoterminal.h"

#include <QSocketNotifier>
#include <QTimer>

#include <array>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

struct FirmwareMode
{
    const char *name;
    double current;         // amperes drawn from the supply in this mode
    double coreMarkScore;   // 0 for the modes that run no benchmark
    int coreMarkIterations;
};

// The firmware's own numbering; 18 to 22 have no entry in the program's list.
// Currents are those of a low-power microcontroller board of this kind.
const std::array<FirmwareMode, 23> firmwareModes = {{
    {"SHUTDOWN", 33e-9, 0, 0},
    {"STANDBY", 118e-9, 0, 0},
    {"STANDBY + RTC", 312e-9, 0, 0},
    {"STANDBY + RTC + SRAM2", 527e-9, 0, 0},
    {"STOP2", 1.12e-6, 0, 0},
    {"STOP2 + RTC", 1.38e-6, 0, 0},
    {"STOP1 + MR OFF", 4.6e-6, 0, 0},
    {"STOP1 + MR OFF + RTC", 4.9e-6, 0, 0},
    {"LPSLEEP, 2MHz", 44e-6, 0, 0},
    {"LPRUN, 2MHz", 212e-6, 0, 0},
    {"SLEEP Range 2, 24MHz", 0.96e-3, 0, 0},
    {"SLEEP Range 1, 80MHz", 3.1e-3, 0, 0},
    {"RUN_while(1) Range 2, 24MHz", 2.45e-3, 0, 0},
    {"RUN_while(1) Range 1, 80MHz", 9.8e-3, 0, 0},
    {"RUN_CoreMark Range 2, 24MHz", 2.62e-3, 49.93, 600},
    {"RUN_CoreMark Range 1, 80MHz", 10.4e-3, 166.42, 2000},
    {"RUN_reduced_code Range 2, 24MHz", 2.21e-3, 0, 0},
    {"RUN_reduced_code Range 1, 80MHz", 8.9e-3, 0, 0},
    {"RUN_CoreMark Range 2, 24MHz, cache off", 2.9e-3, 31.75, 400},
    {"RUN_CoreMark Range 1, 80MHz, cache off", 11.2e-3, 105.83, 1200},
    {"ULPBench Active loop, 24MHz", 2.3e-3, 0, 0},
    {"ULPBench Active loop, 48MHz", 4.8e-3, 0, 0},
    {"ULPBench Active loop, 80MHz", 9.5e-3, 0, 0},
}};

// Out of reset the firmware runs on its reset clock, 4 MHz, waiting for its command.
constexpr double bootCurrent = 1.1e-3;
// The voltage the currents above are drawn at.
constexpr double nominalVolts = 3.3;

bool isModeNumber(const QByteArray &line)
{
    if (line.isEmpty() || line.size() > 2 || (line.size() == 2 && line.at(0) == '0'))
        return false;
    for (char c : line) {
        if (c < '0' || c > '9')
            return false;
    }
    return line.toInt() < int(firmwareModes.size());
}

} // namespace

BoardSimulator::BoardSimulator(QObject *parent)
    : QObject(parent)
{
    const PseudoTerminal terminal = PseudoTerminal::open();
    masterFd = terminal.masterFd;
    slaveFd = terminal.slaveFd;
    slavePath = terminal.slavePath;
    if (masterFd < 0)
        return;

    readNotifier = new QSocketNotifier(masterFd, QSocketNotifier::Read, this);
    connect(readNotifier, &QSocketNotifier::activated, this, &BoardSimulator::readLine);
    writeNotifier = new QSocketNotifier(masterFd, QSocketNotifier::Write, this);
    writeNotifier->setEnabled(false);
    connect(writeNotifier, &QSocketNotifier::activated, this, &BoardSimulator::writePending);
}

BoardSimulator::~BoardSimulator()
{
    closeLine();
}

bool BoardSimulator::isAttached() const
{
    return masterFd >= 0;
}

QString BoardSimulator::portPath() const
{
    return slavePath;
}

QByteArray BoardSimulator::received() const
{
    return receivedBytes;
}

QList<int> BoardSimulator::commands() const
{
    return receivedCommands;
}

void BoardSimulator::setCoreMarkDelay(int milliseconds)
{
    coreMarkDelay = milliseconds;
}

void BoardSimulator::setStrict(bool strict)
{
    strictFirmware = strict;
}

void BoardSimulator::pressReset()
{
    currentMode = -1;
    emit logLine(QStringLiteral("reset"));
}

void BoardSimulator::setPower(bool on, double volts)
{
    supplyVolts = volts;
    if (on == powered)
        return;
    powered = on;
    ++powerCycles;
    currentMode = -1;
    emit logLine(on ? QStringLiteral("powered at %1 V").arg(volts) : QStringLiteral("unpowered"));
}

double BoardSimulator::current() const
{
    if (!powered)
        return 0;
    const double atNominal = currentMode < 0 ? bootCurrent : modeCurrent(currentMode);
    // The core and its clocks run from an internal regulator, so run and
    // sleep modes hardly follow the supply; the lowest-power modes, where
    // leakage and the supervisors draw from it directly, follow it more.
    const double exponent = atNominal > 100e-6 ? 0.1 : 0.3;
    return atNominal * std::pow(supplyVolts / nominalVolts, exponent);
}

double BoardSimulator::modeCurrent(int mode)
{
    return mode < 0 || mode >= int(firmwareModes.size()) ? 0 : firmwareModes[size_t(mode)].current;
}

void BoardSimulator::send(const QByteArray &bytes)
{
    if (!isAttached())
        return;
    pendingOutput += bytes;
    writePending();
}

void BoardSimulator::sendPaced(const QByteArray &bytes, int gapMilliseconds)
{
    if (pacedSender.joinable())
        pacedSender.join();
    pacedBytesLeft = bytes.size();
    pacedSender = std::thread([this, fd = masterFd, bytes, gapMilliseconds] {
        for (char byte : bytes) {
            while (::write(fd, &byte, 1) < 0 && (errno == EAGAIN || errno == EINTR))
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            --pacedBytesLeft;
            std::this_thread::sleep_for(std::chrono::milliseconds(gapMilliseconds));
        }
    });
}

qint64 BoardSimulator::unreadByTheProgram() const
{
    int waiting = 0;
    if (isAttached())
        ioctl(slaveFd, FIONREAD, &waiting);
    return pendingOutput.size() + pacedBytesLeft + waiting;
}

std::optional<termios> BoardSimulator::lineSettings() const
{
    // On Linux the master end reports the settings of the slave end.
    termios settings {};
    if (!isAttached() || tcgetattr(masterFd, &settings) != 0)
        return std::nullopt;
    return settings;
}

void BoardSimulator::vanish()
{
    // The terminal's number stays taken by our slave end until we are
    // destroyed, so no other program's terminal can appear under the
    // unplugged board's name while a test still opens it.
    closeMaster();
    emit logLine(QStringLiteral("board unplugged"));
}

QString BoardSimulator::modeName(int mode)
{
    if (mode < 0 || mode >= int(firmwareModes.size()))
        return QString();
    return QString::fromLatin1(firmwareModes[size_t(mode)].name);
}

QByteArray BoardSimulator::coreMarkReport(int mode)
{
    if (mode < 0 || mode >= int(firmwareModes.size()) || firmwareModes[size_t(mode)].coreMarkScore == 0)
        return QByteArray();
    const FirmwareMode &run = firmwareModes[size_t(mode)];
    const double seconds = run.coreMarkIterations / run.coreMarkScore;
    const QByteArray score = QByteArray::number(run.coreMarkScore, 'f', 2);
    return "2K performance run parameters for coremark.\r\n"
           "CoreMark Size    : 666\r\n"
           "Total ticks      : " + QByteArray::number(qRound(seconds * 1000)) + "\r\n"
           "Total time (secs): " + QByteArray::number(seconds, 'f', 3) + "\r\n"
           "Iterations/Sec   : " + score + "\r\n"
           "Iterations       : " + QByteArray::number(run.coreMarkIterations) + "\r\n"
           "Compiler version : GCC12.2.0\r\n"
           "Compiler flags   : -O2\r\n"
           "Memory location  : STACK\r\n"
           "seedcrc          : 0xe9f5\r\n"
           "[0]crclist       : 0xe714\r\n"
           "[0]crcmatrix     : 0x1fd7\r\n"
           "[0]crcstate      : 0x8e3a\r\n"
           "[0]crcfinal      : 0x988c\r\n"
           "Correct operation validated. See README.md for run and reporting rules.\r\n"
           "CoreMark 1.0 : " + score + " / GCC12.2.0 -O2 / STACK\r\n";
}

void BoardSimulator::readLine()
{
    char chunk[4096];
    ssize_t count;
    while ((count = ::read(masterFd, chunk, sizeof chunk)) > 0) {
        receivedBytes.append(chunk, int(count));
        for (ssize_t i = 0; i < count; ++i) {
            if (chunk[i] == '\r') {
                handleLine(partialLine);
                partialLine.clear();
            } else {
                partialLine += chunk[i];
            }
        }
    }
}

void BoardSimulator::writePending()
{
    while (!pendingOutput.isEmpty()) {
        const ssize_t written = ::write(masterFd, pendingOutput.constData(), size_t(pendingOutput.size()));
        if (written < 0) {
            // The program is not reading: wait until the line drains.
            writeNotifier->setEnabled(errno == EAGAIN || errno == EINTR);
            return;
        }
        pendingOutput.remove(0, int(written));
    }
    writeNotifier->setEnabled(false);
}

void BoardSimulator::handleLine(const QByteArray &line)
{
    if (!powered) {
        emit logLine(QStringLiteral("ignored while unpowered: %1").arg(QString::fromLatin1(line.toPercentEncoding(" ,.:+-_()"))));
        return;
    }
    if (!isModeNumber(line)) {
        emit logLine(QStringLiteral("ignored: %1").arg(QString::fromLatin1(line.toPercentEncoding(" ,.:+-_()"))));
        return;
    }
    const int mode = line.toInt();
    if (strictFirmware && currentMode >= 0) {
        emit logLine(QStringLiteral("ignored: mode %1 while in mode %2 until reset").arg(mode).arg(currentMode));
        return;
    }
    currentMode = mode;
    receivedCommands.append(mode);
    emit logLine(QStringLiteral("mode %1: %2").arg(mode).arg(modeName(mode)));
    emit commandReceived(mode);

    const QByteArray report = coreMarkReport(mode);
    if (!report.isEmpty()) {
        // A board switched off before its benchmark ends never reports it.
        QTimer::singleShot(coreMarkDelay, this, [this, report, cycle = powerCycles] {
            if (cycle != powerCycles)
                return;
            send(report);
            emit logLine(QStringLiteral("sent CoreMark report"));
        });
    }
}

void BoardSimulator::closeMaster()
{
    if (pacedSender.joinable())
        pacedSender.join();
    pacedBytesLeft = 0;
    delete readNotifier;
    readNotifier = nullptr;
    delete writeNotifier;
    writeNotifier = nullptr;
    if (masterFd >= 0)
        ::close(masterFd);
    masterFd = -1;
    pendingOutput.clear();
}

void BoardSimulator::closeLine()
{
    closeMaster();
    if (slaveFd >= 0)
        ::close(slaveFd);
    slaveFd = -1;
}
