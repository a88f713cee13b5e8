// The SCPI session over real endpoints: the simulated meter on loopback, a
// pseudo-terminal whose far end answers SCPI, and meters that fall silent or
// hang up mid-reply.
#include "meter/meterlink.h"
#include "meter/scpimeter.h"
#include "simulator/metersimulator.h"
#include "simulator/scpiserver.h"
#include "tests/support/scratchfolder.h"
#include "tests/support/scriptedmeter.h"

#include <QSignalSpy>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr double boardCurrent = 2.5e-6;

// A LAN meter that takes commands and answers them with a fixed reply, then
// with nothing, or that hangs up halfway through a reply.
class FaultyMeter : public QObject
{
public:
    explicit FaultyMeter(QByteArray reply, bool hangUp)
    {
        server.listen(QHostAddress::LocalHost);
        connect(&server, &QTcpServer::newConnection, this, [this, reply, hangUp] {
            QTcpSocket *socket = server.nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, socket, [socket, reply, hangUp] {
                while (socket->canReadLine()) {
                    const QByteArray line = socket->readLine();
                    if (line.startsWith("SYST:ERR?"))
                        socket->write("+0,\"No error\"\n");
                    if (line.startsWith("READ?") && hangUp) {
                        socket->write(reply);
                        socket->disconnectFromHost();
                    }
                }
            });
        });
    }
    MeterAddress address() const
    {
        return *MeterAddress::parse(QStringLiteral("tcp:127.0.0.1:%1").arg(server.serverPort()), nullptr);
    }

private:
    QTcpServer server;
};

struct Session
{
    explicit Session(const MeterAddress &address, const MeterProfile &profile = MeterProfile())
        : meter(MeterLink::create(address), profile)
    {
    }
    explicit Session(const QString &address, const MeterProfile &profile = MeterProfile())
        : Session(*MeterAddress::parse(address, nullptr), profile)
    {
    }
    ScpiMeter meter;
    QSignalSpy ready {&meter, &Meter::ready};
    QSignalSpy configured {&meter, &Meter::configured};
    QSignalSpy measured {&meter, &Meter::measured};
    QSignalSpy failed {&meter, &Meter::failed};
    QSignalSpy warned {&meter, &Meter::warning};
    QSignalSpy finished {&meter, &Meter::finished};

    QString failure() const { return failed.isEmpty() ? QString() : failed.last().first().toString(); }
    QList<Reading> readings() const { return measured.isEmpty() ? QList<Reading>() : measured.last().first().value<QList<Reading>>(); }

    // Configures the meter for `samples` readings and asks for them.
    void measure(int samples)
    {
        meter.configure({std::nullopt, 1, samples, {}});
        QTRY_COMPARE(configured.size(), 1);
        meter.measure();
    }
};

// A listening socket whose queue is full, so that a connect to it is never
// answered, as a LAN address with no meter behind it.
class UnansweringAddress
{
public:
    UnansweringAddress()
    {
        listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in local {};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof local;
        ::bind(listener, reinterpret_cast<sockaddr *>(&local), length);
        ::listen(listener, 0);
        ::getsockname(listener, reinterpret_cast<sockaddr *>(&local), &length);
        port = ntohs(local.sin_port);
        // Filled by connects that are never accepted.
        for (int i = 0; i < 4; ++i) {
            fillers << ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            ::connect(fillers.last(), reinterpret_cast<sockaddr *>(&local), length);
        }
        QTest::qWait(200);
    }
    ~UnansweringAddress()
    {
        for (int fd : fillers)
            ::close(fd);
        ::close(listener);
    }
    QString address() const { return QStringLiteral("tcp:127.0.0.1:%1").arg(port); }

private:
    int listener = -1;
    QList<int> fillers;
    quint16 port = 0;
};

} // namespace

class MeterLinkTest : public QObject
{
    Q_OBJECT

private slots:
    void parsesAddresses_data();
    void parsesAddresses();
    void measuresOverTcpAndSerial_data();
    void measuresOverTcpAndSerial();
    void reportsTheMetersErrorQueue();
    void namesTheCommandAndTheWaitOfASilentMeter();
    void failsOnAMeterThatHangsUpMidReply();
    void framesRepliesAsEveryLinkDoes();
    void framesAFloodInLinearTime();
    void readsAProfileForAnotherDialect();
    void dropsWhatTheMeterSendsUnasked();
    void dropsAStrayThatWouldJoinTheNextReply();
    void refusesMalformedReplies_data();
    void refusesMalformedReplies();
    void neverHandsOverFewerReadingsThanAsked();
    void repeatsTheReadForAMeterOfFewerReadingsPerRead();
    void clearsABusyMeterThenSendsItsClosingCommands();
    void givesEveryConnectADeadline();
    void leavesAUsbtmcReadBehindWithoutWaiting();
};

void MeterLinkTest::parsesAddresses_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("parsed");   // empty: refused
    QTest::newRow("tcp, default port") << "tcp:meter.lab" << "tcp meter.lab 5025";
    QTest::newRow("tcp with port") << "tcp:10.0.0.7:5026" << "tcp 10.0.0.7 5026";
    QTest::newRow("tcp IPv6") << "tcp:[::1]:5025" << "tcp ::1 5025";
    QTest::newRow("serial") << "serial:ttyUSB0" << "serial ttyUSB0 9600";
    QTest::newRow("serial path and rate") << "serial:/dev/ttyUSB1@115200" << "serial /dev/ttyUSB1 115200";
    QTest::newRow("usbtmc") << "usbtmc:/dev/usbtmc0" << "usbtmc /dev/usbtmc0";
    QTest::newRow("manual") << "manual" << "manual";
    QTest::newRow("no scheme") << "10.0.0.7" << "";
    QTest::newRow("port too large") << "tcp:host:70000" << "";
    QTest::newRow("port 0") << "tcp:host:0" << "";
    QTest::newRow("serial at 0 baud") << "serial:ttyUSB0@000" << "";
    QTest::newRow("unbracketed IPv6") << "tcp:::1:5025" << "";
    QTest::newRow("serial rate not a number") << "serial:ttyUSB0@fast" << "";
    QTest::newRow("usbtmc without a path") << "usbtmc:usbtmc0" << "";
}

void MeterLinkTest::parsesAddresses()
{
    QFETCH(QString, text);
    QFETCH(QString, parsed);
    QString error;
    const std::optional<MeterAddress> address = MeterAddress::parse(text, &error);
    if (parsed.isEmpty()) {
        QVERIFY(!address);
        QVERIFY2(error.contains(text) && error.contains(QLatin1String("tcp:HOST[:PORT]")), qPrintable(error));
        return;
    }
    QVERIFY2(address, qPrintable(error));
    static const char *const kinds[] = {"tcp", "serial", "usbtmc", "manual"};
    QStringList fields {QLatin1String(kinds[address->kind])};
    if (address->kind == MeterAddress::Tcp)
        fields << address->host << QString::number(address->port);
    if (address->kind == MeterAddress::Serial)
        fields << address->device << QString::number(address->baudRate);
    if (address->kind == MeterAddress::Usbtmc)
        fields << address->device;
    QCOMPARE(fields.join(QLatin1Char(' ')), parsed);
}

void MeterLinkTest::measuresOverTcpAndSerial_data()
{
    QTest::addColumn<bool>("serial");
    QTest::newRow("tcp") << false;
    QTest::newRow("serial") << true;
}

void MeterLinkTest::measuresOverTcpAndSerial()
{
    QFETCH(bool, serial);
    MeterSimulator meter([] { return boardCurrent; });
    ScpiServer ports(meter);
    QVERIFY(ports.listen(0) && ports.openSerial());
    const QString text = serial ? QStringLiteral("serial:%1").arg(ports.serialPath())
                                : QStringLiteral("tcp:127.0.0.1:%1").arg(ports.port());
    Session session(*MeterAddress::parse(text, nullptr));

    session.meter.start();
    QTRY_COMPARE(session.ready.size(), 1);
    QVERIFY(session.ready.first().first().toString().startsWith(QLatin1String("Pellmora,Simulated DMM")));
    session.meter.configure({1e-3, 0.5, 7, {}});
    QTRY_COMPARE(session.configured.size(), 1);
    session.meter.measure();
    QTRY_COMPARE(session.measured.size(), 1);
    QCOMPARE(session.failed.size(), 0);

    const auto readings = session.measured.first().first().value<QList<Reading>>();
    QCOMPARE(readings.size(), 7);
    for (const Reading &reading : readings) {
        QVERIFY(!reading.overload);
        QVERIFY(qAbs(reading.amperes / boardCurrent - 1) < 0.05);
    }

    // A fixed range below the current overloads, and is never a current.
    session.meter.configure({1e-7, 1, 2, {}});
    QTRY_COMPARE(session.configured.size(), 2);
    session.meter.measure();
    QTRY_COMPARE(session.measured.size(), 2);
    for (const Reading &reading : session.measured.last().first().value<QList<Reading>>())
        QVERIFY(reading.overload);
}

void MeterLinkTest::reportsTheMetersErrorQueue()
{
    MeterSimulator meter([] { return boardCurrent; });
    ScpiServer lanMeter(meter);
    QVERIFY(lanMeter.listen(0));
    MeterProfile profile;
    profile.integration = QStringLiteral(":RATE:CURR:DC S");   // not this meter's dialect
    Session session(*MeterAddress::parse(QStringLiteral("tcp:127.0.0.1:%1").arg(lanMeter.port()), nullptr), profile);

    session.meter.configure({std::nullopt, 1, 1000000, {}});   // and a sample count out of range
    QTRY_COMPARE(session.failed.size(), 1);
    QCOMPARE(session.configured.size(), 0);
    QVERIFY2(session.failure().contains(QLatin1String("-113,\"Undefined header\""))
                 && session.failure().contains(QLatin1String("-222,\"Data out of range\"")),
             qPrintable(session.failure()));
}

void MeterLinkTest::namesTheCommandAndTheWaitOfASilentMeter()
{
    FaultyMeter silent(QByteArray(), false);
    Session session(silent.address());
    session.meter.configure({std::nullopt, 2, 5, {}});
    QTRY_COMPARE(session.configured.size(), 1);

    QElapsedTimer clock;
    clock.start();
    session.meter.measure();
    const int deadline = ScpiMeter::deadlineFor(2, 5);   // 2 × (5 × 2 × 20 ms × 2) + 1 s
    QCOMPARE(deadline, 1800);
    QTRY_VERIFY_WITH_TIMEOUT(!session.failed.isEmpty(), deadline + 5000);
    QVERIFY(clock.elapsed() >= deadline - 50);
    QCOMPARE(session.failure(), QStringLiteral("meter did not answer READ? within 1.8 s; check its address, its LAN settings "
                                               "(a raw socket port, usually 5025) and that nothing else holds its connection"));

    // The connection was dropped; the next query opens a new one.
    session.meter.configure({std::nullopt, 1, 1, {}});
    QTRY_COMPARE(session.configured.size(), 2);
}

void MeterLinkTest::failsOnAMeterThatHangsUpMidReply()
{
    FaultyMeter hangingUp("1.2E-06,3.4E", true);
    Session session(hangingUp.address());
    session.meter.configure({std::nullopt, 1, 2, {}});
    QTRY_COMPARE(session.configured.size(), 1);
    session.meter.measure();
    QTRY_COMPARE(session.failed.size(), 1);
    QCOMPARE(session.measured.size(), 0);
    QVERIFY2(session.failure().contains(QLatin1String("closed")), qPrintable(session.failure()));
}

// What the USBTMC link shares with the others: a reply becomes lines the same way.
void MeterLinkTest::framesRepliesAsEveryLinkDoes()
{
    LineFramer framer;
    bool overflow = false;
    QCOMPARE(framer.feed("+1.2E-06,3", &overflow), QList<QByteArray>());
    QCOMPARE(framer.feed(".4E-06\r\n+0,\"No", &overflow), QList<QByteArray>({"+1.2E-06,3.4E-06"}));
    QCOMPARE(framer.feed(" error\"\n\n", &overflow), QList<QByteArray>({"+0,\"No error\"", ""}));
    QVERIFY(!overflow);
}

void MeterLinkTest::readsAProfileForAnotherDialect()
{
    ScratchFolder folder;
    QFile file(QStringLiteral("meter.profile"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("# a meter that takes its range as an index\n"
               "configure_range = CONF:CURR:DC;:CURR:RANG:IND {range_index}\n"
               "ranges = 0.0001, 0.001, 0.01, 0.1\n"
               "clear =\n"
               "on_connect = SYST:REM\n"
               "on_close = CURR:RANG:AUTO ON\n"
               "on_close = SYST:LOC\n");
    file.close();
    QString error;
    const std::optional<MeterProfile> profile = MeterProfile::load(file.fileName(), &error);
    QVERIFY2(profile, qPrintable(error));
    QCOMPARE(profile->onClose, QStringList({"CURR:RANG:AUTO ON", "SYST:LOC"}));
    QCOMPARE(profile->configuration(0.002, 0.2, 3),
             QStringList({"CONF:CURR:DC;:CURR:RANG:IND 2", "CURR:DC:NPLC 0.2", "SAMP:COUN 3"}));
    QCOMPARE(MeterProfile().configuration(std::nullopt, 10, 1),
             QStringList({"*CLS", "CONF:CURR:DC AUTO", "CURR:DC:NPLC 10", "SAMP:COUN 1"}));

    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("reed = READ?\n");
    file.close();
    QVERIFY(!MeterProfile::load(file.fileName(), &error));
    QVERIFY2(error.contains(QLatin1String(":1:")) && error.contains(QLatin1String("reed")), qPrintable(error));

    // A misspelt placeholder would reach the meter as it stands; without a read nothing is ever measured.
    const QList<QPair<QByteArray, QString>> refused = {
        {"nplc = NPLC {nplc}\nsamples = SAMP:COUN {sample}\n", ":2: {sample} is not filled in for samples; it takes {samples}"},
        {"clear = *CLS {range}\n", ":1: {range} is not filled in for clear; it takes none"},
        {"read =\n", "read is empty"},
    };
    for (const auto &profileText : refused) {
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(profileText.first);
        file.close();
        QVERIFY(!MeterProfile::load(file.fileName(), &error));
        QVERIFY2(error.contains(profileText.second), qPrintable(error));
    }
}

void MeterLinkTest::framesAFloodInLinearTime()
{
    // Four megabytes of short lines in one read: framed in one pass, where
    // cutting each line off the front of the rest would move hundreds of gigabytes.
    QByteArray flood;
    for (int i = 0; i < 400000; ++i)
        flood += "+1.0E-06\n";
    LineFramer framer;
    bool overflow = false;
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(framer.feed(flood, &overflow).size(), 400000);
    QVERIFY2(clock.elapsed() < 20000, qPrintable(QString::number(clock.elapsed())));

    // A line that never ends is given up on past its longest, however it comes.
    for (int i = 0; i < 100 && !overflow; ++i)
        framer.feed(QByteArray(1024, '7'), &overflow);
    QVERIFY(overflow);
}

void MeterLinkTest::dropsWhatTheMeterSendsUnasked()
{
    // A 5 mA line 0.3 s after each correct reply, when nothing was asked.
    ScriptedMeter meter(55e-9);
    meter.thenSend("*IDN?", 300, "+5.0E-03\n");
    meter.thenSend("READ?", 300, "+5.0E-03\n");
    Session session(meter.address());
    session.meter.start();
    QTRY_COMPARE(session.ready.size(), 1);
    QTest::qWait(500);
    for (int mode = 0; mode < 2; ++mode) {
        session.configured.clear();
        session.measure(3);
        QTRY_COMPARE(session.measured.size(), mode + 1);
        for (const Reading &reading : session.readings())
            QVERIFY2(qAbs(reading.amperes / 55e-9 - 1) < 0.05, qPrintable(QString::number(reading.amperes)));
        QTest::qWait(500);
    }
    QCOMPARE(session.failed.size(), 0);
    // Once before the first mode, then once in each.
    QCOMPARE(session.warned.size(), 3);
    QVERIFY2(session.warned.first().first().toString().contains(QLatin1String("+5.0E-03")),
             qPrintable(session.warned.first().first().toString()));
}

// A stray whose line end never came waits in the link; the next reply must
// not complete it ("+5.0E-0" and "3..." read as 5 mA).
void MeterLinkTest::dropsAStrayThatWouldJoinTheNextReply()
{
    ScriptedMeter meter(55e-9);
    meter.thenSend("*IDN?", 300, "+5.0E-0");
    meter.answer("READ?", QByteArray("3,+5.5E-08\n"));
    Session session(meter.address());
    session.meter.start();
    QTRY_COMPARE(session.ready.size(), 1);
    QTest::qWait(500);
    session.measure(2);
    QTRY_VERIFY(session.measured.size() + session.failed.size() == 1);
    QCOMPARE(session.measured.size(), 0);
    QVERIFY2(session.failure().contains(QLatin1String("\"3,+5.5E-08\"")), qPrintable(session.failure()));
}

void MeterLinkTest::refusesMalformedReplies_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("said");
    QTest::newRow("two lines to one query") << QByteArray("SYST:ERR?") << QByteArray("+0,\"No error\"\n+2.0E-06\n")
                                            << "meter answered SYST:ERR? with 2 lines";
    QTest::newRow("a NUL in the readings") << QByteArray("READ?") << QByteArray("+1.0E-03\0,+2.0E-03\n", 19)
                                           << "meter's answer to READ? holds a NUL byte";
    QTest::newRow("a line that never ends") << QByteArray("READ?") << QByteArray(200 * 1024, '1')
                                            << "meter at 127.0.0.1 port";
}

void MeterLinkTest::refusesMalformedReplies()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, reply);
    QFETCH(QString, said);
    ScriptedMeter meter;
    meter.answer(command, reply);
    Session session(meter.address());
    session.meter.configure({std::nullopt, 1, 2, {}});
    session.meter.measure();
    QTRY_COMPARE(session.failed.size(), 1);
    QCOMPARE(session.measured.size(), 0);
    QVERIFY2(session.failure().startsWith(said), qPrintable(session.failure()));
}

void MeterLinkTest::neverHandsOverFewerReadingsThanAsked()
{
    // A dialect without an error queue: the short answer itself is the failure.
    ScriptedMeter meter;
    meter.answer("READ?", QByteArray("+1.0E-06\n"));
    MeterProfile profile;
    profile.errorQuery.clear();
    Session session(meter.address(), profile);
    session.measure(10);
    QTRY_COMPARE(session.failed.size(), 1);
    QCOMPARE(session.measured.size(), 0);
    QCOMPARE(session.failure(), QStringLiteral("meter answered 1 readings to READ?, 10 were asked for"));
}

// Two readings a read, five asked for: the count set to two, three reads,
// the last one's surplus dropped; the entry check's one reading by a count of one.
void MeterLinkTest::repeatsTheReadForAMeterOfFewerReadingsPerRead()
{
    MeterSimulator meter([] { return boardCurrent; });
    ScpiServer port(meter);
    QVERIFY(port.listen(0));
    MeterProfile profile;
    profile.readingsPerRead = 2;
    Session session(QStringLiteral("tcp:127.0.0.1:%1").arg(port.port()), profile);
    session.measure(5);
    QTRY_COMPARE(session.measured.size(), 1);
    QCOMPARE(session.readings().size(), 5);
    QCOMPARE(int(meter.received().count("READ?")), 3);
    QVERIFY(meter.received().contains("SAMP:COUN 2"));

    QSignalSpy before(&session.meter, &Meter::before);
    session.meter.readBefore();
    QTRY_COMPARE(before.size(), 1);
    QCOMPARE(meter.received().mid(meter.received().size() - 3), (QList<QByteArray> {"SAMP:COUN 1", "READ?", "SAMP:COUN 2"}));
    QVERIFY(qAbs(before.first().first().value<Reading>().amperes / boardCurrent - 1) < 0.05);
    QCOMPARE(session.failed.size(), 0);
}

void MeterLinkTest::clearsABusyMeterThenSendsItsClosingCommands()
{
    ScriptedMeter meter;
    meter.answer("READ?", std::nullopt);
    MeterProfile profile;
    profile.onClose = QStringList {QStringLiteral("CURR:RANG:AUTO ON"), QStringLiteral("SYST:LOC")};
    Session session(meter.address(), profile);
    session.measure(5);
    QTRY_VERIFY(meter.received().contains("READ?"));

    // Stopped while READ? is unanswered: the link is dropped, and a new one carries the closing commands.
    QElapsedTimer clock;
    clock.start();
    session.meter.abort();
    session.meter.finish();
    QTRY_COMPARE(session.finished.size(), 1);
    QVERIFY(clock.elapsed() < ScpiMeter::connectDeadline + 2000);
    QTRY_VERIFY(meter.received().contains("SYST:LOC"));
    QCOMPARE(meter.received().mid(meter.received().indexOf("READ?") + 1), QByteArrayList({"CURR:RANG:AUTO ON", "SYST:LOC"}));
    QCOMPARE(meter.connections(), 2);
    QCOMPARE(session.failed.size(), 0);
}

void MeterLinkTest::givesEveryConnectADeadline()
{
    UnansweringAddress nobody;
    Session lan(nobody.address());
    QElapsedTimer clock;
    clock.start();
    lan.meter.start();
    QTRY_VERIFY_WITH_TIMEOUT(!lan.failed.isEmpty(), ScpiMeter::connectDeadline + 5000);
    QVERIFY(clock.elapsed() >= ScpiMeter::connectDeadline - 50);
    QVERIFY2(lan.failure().contains(QLatin1String("did not answer a connection within 5 s; check its address, its LAN settings")),
             qPrintable(lan.failure()));

    // A path that is no serial line fails at once, with the system's reason.
    Session notALine(QStringLiteral("serial:/dev/null"));
    notALine.meter.start();
    QTRY_COMPARE_WITH_TIMEOUT(notALine.failed.size(), 1, 2000);
    QVERIFY2(notALine.failure().startsWith(QLatin1String("meter on /dev/null")), qPrintable(notALine.failure()));
}

void MeterLinkTest::leavesAUsbtmcReadBehindWithoutWaiting()
{
    // A pseudo-terminal stands in for the device: its reads block until the far end writes.
    const int device = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    QVERIFY(device >= 0 && grantpt(device) == 0 && unlockpt(device) == 0);
    Session session(QStringLiteral("usbtmc:%1").arg(QString::fromLatin1(ptsname(device))));
    session.meter.start();
    QTest::qWait(300);   // *IDN? is written and its read is blocked

    QElapsedTimer clock;
    clock.start();
    session.meter.abort();
    session.meter.finish();
    QVERIFY2(clock.elapsed() < 100, qPrintable(QString::number(clock.elapsed())));
    QTRY_COMPARE(session.finished.size(), 1);
    ::close(device);   // the abandoned read returns, and its answer goes nowhere
    QTest::qWait(100);
    QCOMPARE(session.ready.size(), 0);
}

QTEST_GUILESS_MAIN(MeterLinkTest)
#include "tst_meterlink.moc"
