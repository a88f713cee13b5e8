#include "serial/seriallink.h"
#include "simulator/boardsimulator.h"

#include <QFileInfo>
#include <QProcess>
#include <QSerialPort>
#include <QSignalSpy>
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

QTEST_GUILESS_MAIN(BoardSimulatorTest)
#include "tst_boardsimulator.moc"
