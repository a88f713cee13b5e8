#include "board/seriallink.h"
#include "simulator/boardsimulator.h"

#include <QLockFile>
#include <QSerialPort>
#include <QSignalSpy>
#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

class SerialLinkTest : public QObject
{
    Q_OBJECT

private slots:
    void boardSeesTheFixedSettings();
    void boardReceivesEachModeCommandOnce_data();
    void boardReceivesEachModeCommandOnce();
    void openFailsOnAMissingPort();
    void closesItselfWhenTheBoardIsUnplugged();
    void opensABoardWhoseNumberIsStillLocked();
};

// Leaves the line in a state unlike the fixed settings, so the check below
// sees what the program set and not the terminal's defaults.
static void scrambleLine(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY);
    QVERIFY(fd >= 0);
    termios settings {};
    tcgetattr(fd, &settings);
    cfsetispeed(&settings, B115200);
    cfsetospeed(&settings, B115200);
    settings.c_cflag = (settings.c_cflag & ~CSIZE) | CS7 | PARENB | CSTOPB | CRTSCTS;
    settings.c_iflag |= IXON | IXOFF;
    tcsetattr(fd, TCSANOW, &settings);
    ::close(fd);
}

void SerialLinkTest::boardSeesTheFixedSettings()
{
    BoardSimulator board;
    scrambleLine(board.portPath());
    QSerialPort port;
    QVERIFY2(SerialLink::open(port, board.portPath()), qPrintable(port.errorString()));
    QVERIFY(port.isOpen());
    QCOMPARE(port.openMode(), QIODevice::ReadWrite);
    // A pseudo-terminal always shows 8N1 to its other end, so the port's own
    // view is what catches a wrong frame.
    QCOMPARE(port.baudRate(QSerialPort::Input), qint32(9600));
    QCOMPARE(port.baudRate(QSerialPort::Output), qint32(9600));
    QCOMPARE(port.dataBits(), QSerialPort::Data8);
    QCOMPARE(port.parity(), QSerialPort::NoParity);
    QCOMPARE(port.stopBits(), QSerialPort::OneStop);
    QCOMPARE(port.flowControl(), QSerialPort::NoFlowControl);

    const termios line = board.lineSettings().value();
    QCOMPARE(cfgetispeed(&line), speed_t(B9600));
    QCOMPARE(cfgetospeed(&line), speed_t(B9600));
    QCOMPARE(line.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(line.c_cflag & PARENB, tcflag_t(0));
    QCOMPARE(line.c_cflag & CSTOPB, tcflag_t(0));
    QCOMPARE(line.c_cflag & CRTSCTS, tcflag_t(0));
    QCOMPARE(line.c_iflag & (IXON | IXOFF | IXANY), tcflag_t(0));
}

void SerialLinkTest::boardReceivesEachModeCommandOnce_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QByteArray>("bytes");
    for (int mode = 0; mode <= 22; ++mode) {
        const QByteArray digits = QByteArray::number(mode);
        QTest::newRow(digits.constData()) << mode << digits + '\r';
    }
    // The rows that matter most, spelled out.
    QTest::newRow("0 spelled out") << 0 << QByteArray("\x30\x0d");
    QTest::newRow("9 spelled out") << 9 << QByteArray("\x39\x0d");
    QTest::newRow("10 spelled out") << 10 << QByteArray("\x31\x30\x0d");
    QTest::newRow("15 spelled out") << 15 << QByteArray("\x31\x35\x0d");
    QTest::newRow("22 spelled out") << 22 << QByteArray("\x32\x32\x0d");
}

void SerialLinkTest::boardReceivesEachModeCommandOnce()
{
    QFETCH(int, mode);
    QFETCH(QByteArray, bytes);
    BoardSimulator board;
    QSerialPort port;
    QVERIFY2(SerialLink::open(port, board.portPath()), qPrintable(port.errorString()));

    QCOMPARE(SerialLink::modeCommand(mode), bytes);
    port.write(SerialLink::modeCommand(mode));
    QTRY_COMPARE(board.received(), bytes);
    QCOMPARE(board.commands(), QList<int>{mode});
    QTest::qWait(50);
    QCOMPARE(board.received(), bytes);
}

void SerialLinkTest::openFailsOnAMissingPort()
{
    QSerialPort port;
    QVERIFY(!SerialLink::open(port, QStringLiteral("/dev/no-such-board")));
    QVERIFY(!port.isOpen());
    QVERIFY(!SerialLink::open(port, QString()));
}

void SerialLinkTest::closesItselfWhenTheBoardIsUnplugged()
{
    BoardSimulator board;
    QSerialPort port;
    SerialLink::closeOnLineFailure(&port);
    QVERIFY2(SerialLink::open(port, board.portPath()), qPrintable(port.errorString()));
    QSignalSpy errors(&port, &QSerialPort::errorOccurred);

    board.vanish();
    QTRY_VERIFY(!port.isOpen());
    QVERIFY(errors.count() > 0);
    QCOMPARE(port.write("1\r"), qint64(-1));
}

// Qt's serial port closes a terminal before it removes its lock file, so on
// a busy machine another program's lock can outlive the terminal it was
// for, and the next terminal given that number could not be opened.
void SerialLinkTest::opensABoardWhoseNumberIsStillLocked()
{
    QString number;
    {
        BoardSimulator gone;
        number = gone.portPath().mid(QStringLiteral("/dev/").size()).replace(QLatin1Char('/'), QLatin1Char('_'));
    }
    QLockFile stillLocked(QStringLiteral("/var/lock/LCK..") + number);
    if (!stillLocked.tryLock(0))
        QSKIP("cannot write a lock file in /var/lock");
    BoardSimulator board;
    QSerialPort port;
    QVERIFY2(SerialLink::open(port, board.portPath()), qPrintable(port.errorString()));
}

QTEST_GUILESS_MAIN(SerialLinkTest)
#include "tst_seriallink.moc"
