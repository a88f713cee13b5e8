#ifndef BOARDSIMULATOR_H
#define BOARDSIMULATOR_H

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <atomic>
#include <optional>
#include <thread>
#include <termios.h>

class QSocketNotifier;

// Stands in for the evaluation board and its power-consumption firmware at
// the far end of a pseudo-terminal. The program under test opens portPath()
// as if it were the board's virtual COM port.
class BoardSimulator : public QObject
{
    Q_OBJECT

public:
    explicit BoardSimulator(QObject *parent = nullptr);
    ~BoardSimulator() override;

    bool isAttached() const;
    QString portPath() const;

    QByteArray received() const;
    QList<int> commands() const;

    void setCoreMarkDelay(int milliseconds);

    // Strict, as the real firmware: once in a mode, commands are ignored
    // until the reset button is pressed.
    void setStrict(bool strict);
    void pressReset();
    // Powered by a simulated supply unit: unpowered, it ignores everything
    // and draws nothing; powered again, it starts out of reset. Its currents
    // follow the voltage (those given are at 3.3 V): the run modes' roughly in
    // proportion, the stop and standby modes' far less, as real parts do.
    void setPower(bool on, double volts);
    bool isPowered() const { return powered; }
    // Amperes the board draws now: its mode's, or the run current out of reset.
    double current() const;
    // The mode set since the last reset; -1 for none.
    int mode() const { return currentMode; }
    void send(const QByteArray &bytes);
    // Sends from a thread of its own, a byte at a time with the gap between
    // them, as a slow line does while the program is busy.
    void sendPaced(const QByteArray &bytes, int gapMilliseconds);

    // Bytes sent, or still to be sent by the paced sender, that the program has not read yet.
    qint64 unreadByTheProgram() const;

    // The line settings the program applied, as the board's side sees them.
    std::optional<termios> lineSettings() const;

    // Closes the board's end for good, as an unplugged board would.
    // The terminal's name disappears with it and is not reused while this object lives.
    void vanish();

    static QString modeName(int mode);
    static double modeCurrent(int mode);
    static QByteArray coreMarkReport(int mode);

signals:
    void commandReceived(int mode);
    void logLine(const QString &line);

private:
    void readLine();
    void writePending();
    void handleLine(const QByteArray &line);
    void closeMaster();
    void closeLine();

    int masterFd = -1;
    int slaveFd = -1;   // held so the master end never reads a hang-up while the program is away
    QString slavePath;
    QSocketNotifier *readNotifier = nullptr;
    QSocketNotifier *writeNotifier = nullptr;
    QByteArray receivedBytes;
    QByteArray partialLine;
    QByteArray pendingOutput;
    QList<int> receivedCommands;
    std::thread pacedSender;
    std::atomic<int> pacedBytesLeft {0};
    int coreMarkDelay = 500;
    bool strictFirmware = false;
    int currentMode = -1;   // none since reset
    bool powered = true;
    int powerCycles = 0;
    double supplyVolts = 3.3;
};

#endif // BOARDSIMULATOR_H
