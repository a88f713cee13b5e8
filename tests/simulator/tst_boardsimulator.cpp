#include "board/seriallink.h"
#include "simulator/boardsimulator.h"

#include <QFileInfo>
#include <QProcess>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QtTest>

#include <csignal>

class BoardSimulatorTest : public QObject
{
    Q_OBJECT

private slots:
    void answersACoreMarkRunWithItsReport_data();
    void answersACoreMarkRunWithItsReport();
    void ignoresJunkAndAnswersOtherModesWithSilence();
    void portReportsAnErrorOnceTheBoardVanished();
    void standaloneProgramLinksLogsAndCleansUp();
    void strictBoardAndItsMeterFollowEachOther();
};

static QByteArray readUntil(QIODevice &device, const QByteArray &ending)
{
    QByteArray text;
    QElapsedTimer clock;
    clock.start();
    while (!text.endsWith(ending) && clock.elapsed() < 5000) {
        // The in-process board answers from this thread's event loop.
        QTest::qWait(10);
        text += device.readAll();
    }
    return text;
}

void BoardSimulatorTest::answersACoreMarkRunWithItsReport_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QByteArray>("lastLine");
    QTest::newRow("80MHz") << 15 << QByteArray("CoreMark 1.0 : 166.42 / GCC12.2.0 -O2 / STACK\r\n");
    QTest::newRow("24MHz") << 14 << QByteArray("CoreMark 1.0 : 49.93 / GCC12.2.0 -O2 / STACK\r\n");
}

void BoardSimulatorTest::answersACoreMarkRunWithItsReport()
{
    QFETCH(int, mode);
    QFETCH(QByteArray, lastLine);
    BoardSimulator board;
    board.setCoreMarkDelay(10);
    QSerialPort port;
    QVERIFY(SerialLink::open(port, board.portPath()));

    port.write(SerialLink::modeCommand(mode));
    const QByteArray report = readUntil(port, lastLine);
    QVERIFY2(report.endsWith(lastLine), report.constData());
    QVERIFY(report.startsWith("2K performance run parameters for coremark.\r\n"));
    QCOMPARE(report.count("\r\n"), 16);
}

void BoardSimulatorTest::ignoresJunkAndAnswersOtherModesWithSilence()
{
    BoardSimulator board;
    board.setCoreMarkDelay(0);
    QSignalSpy log(&board, &BoardSimulator::logLine);
    QSerialPort port;
    QVERIFY(SerialLink::open(port, board.portPath()));

    port.write("hello\r23\r07\r-1\r15\n\r\r");
    QTRY_COMPARE(log.count(), 6);
    port.write("3\r");
    QTRY_COMPARE(board.commands(), QList<int>{3});
    QTest::qWait(100);
    QCOMPARE(port.bytesAvailable(), qint64(0));
    QCOMPARE(log.last().first().toString(), QStringLiteral("mode 3: STANDBY + RTC + SRAM2"));
}

void BoardSimulatorTest::portReportsAnErrorOnceTheBoardVanished()
{
    BoardSimulator board;
    QSerialPort port;
    QVERIFY(SerialLink::open(port, board.portPath()));
    qRegisterMetaType<QSerialPort::SerialPortError>();
    QSignalSpy errors(&port, &QSerialPort::errorOccurred);

    board.vanish();
    QVERIFY(!board.isAttached());
    QTRY_VERIFY(!errors.isEmpty());
    const auto error = errors.first().first().value<QSerialPort::SerialPortError>();
    QVERIFY(error == QSerialPort::ReadError || error == QSerialPort::ResourceError);
    port.close();
}

void BoardSimulatorTest::standaloneProgramLinksLogsAndCleansUp()
{
    QTemporaryDir folder;
    const QString link = folder.filePath(QStringLiteral("board"));
    QProcess simulator;
    simulator.start(QStringLiteral(SIMULATOR_PROGRAM), {link});
    QVERIFY(simulator.waitForStarted());

    const QByteArray firstLine = readUntil(simulator, "\n");
    QVERIFY2(firstLine.startsWith("/dev/pts/"), firstLine.constData());
    QCOMPARE(QFileInfo(link).symLinkTarget(), QString::fromLocal8Bit(firstLine.trimmed()));

    QSerialPort port;
    QVERIFY(SerialLink::open(port, link));
    port.write("15\r");
    const QByteArray report = readUntil(port, "CoreMark 1.0 : 166.42 / GCC12.2.0 -O2 / STACK\r\n");
    QVERIFY2(report.endsWith("STACK\r\n"), report.constData());
    QVERIFY(readUntil(simulator, "report\n").startsWith("mode 15: RUN_CoreMark Range 1, 80MHz\n"));

    ::kill(pid_t(simulator.processId()), SIGTERM);
    QVERIFY(simulator.waitForFinished(5000));
    QCOMPARE(simulator.exitStatus(), QProcess::NormalExit);
    QCOMPARE(simulator.exitCode(), 0);
    QVERIFY(!QFileInfo::exists(link) && !QFileInfo(link).isSymLink());
}

static QByteArray nextLine(QIODevice &device)
{
    QElapsedTimer clock;
    clock.start();
    while (!device.canReadLine() && clock.elapsed() < 5000)
        QTest::qWait(10);
    return device.readLine();
}

// The meter reads the mode the board is in; a strict board takes one mode
// per reset, and SIGUSR1 is its reset button.
void BoardSimulatorTest::strictBoardAndItsMeterFollowEachOther()
{
    QProcess simulator;
    simulator.start(QStringLiteral(SIMULATOR_PROGRAM), {QStringLiteral("--strict"), QStringLiteral("--meter"), QStringLiteral("0")});
    QVERIFY(simulator.waitForStarted());
    const QByteArray terminal = nextLine(simulator).trimmed();
    const QByteArray meterLine = nextLine(simulator).trimmed();
    QVERIFY2(meterLine.startsWith("meter 127.0.0.1:"), meterLine.constData());

    QTcpSocket meter;
    meter.connectToHost(QStringLiteral("127.0.0.1"), quint16(meterLine.mid(16).toUInt()));
    QVERIFY(meter.waitForConnected(5000));
    const auto current = [&meter] {
        meter.write("MEAS:CURR:DC?\n");
        return nextLine(meter).trimmed().toDouble();
    };
    QSerialPort board;
    QVERIFY(SerialLink::open(board, QString::fromLatin1(terminal)));
    const auto setMode = [&](const char *command, const QByteArray &logged) {
        board.write(command);
        QVERIFY2(nextLine(simulator).startsWith(logged), logged.constData());
    };

    QVERIFY(current() > 0.5e-3 && current() < 2e-3);      // running on its reset clock
    setMode("0\r", "mode 0: SHUTDOWN");
    QVERIFY(current() > 10e-9 && current() < 100e-9);
    setMode("13\r", "ignored: mode 13");
    QVERIFY(current() < 100e-9);
    ::kill(pid_t(simulator.processId()), SIGUSR1);
    QVERIFY(nextLine(simulator).startsWith("reset"));
    setMode("13\r", "mode 13: ");
    QVERIFY(current() > 5e-3);

    ::kill(pid_t(simulator.processId()), SIGTERM);
    QVERIFY(simulator.waitForFinished(5000));
}

QTEST_GUILESS_MAIN(BoardSimulatorTest)
#include "tst_boardsimulator.moc"
