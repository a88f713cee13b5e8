// The SCPI session over real endpoints: the simulated meter on loopback, a
// pseudo-terminal whose far end answers SCPI, and meters that fall silent or
// hang up mid-reply.
#include "meter/meterlink.h"
#include "meter/scpimeter.h"
#include "simulator/metersimulator.h"
#include "tests/support/scratchfolder.h"

#include <QSignalSpy>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr double boardCurrent = 2.5e-6;

// A serial meter: the far end of a pseudo-terminal answers SCPI.
class SerialMeterEnd : public QObject
{
public:
    SerialMeterEnd()
        : responder([] { return boardCurrent; })
    {
        fd = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        grantpt(fd);
        unlockpt(fd);
        termios raw {};
        tcgetattr(fd, &raw);
        cfmakeraw(&raw);
        tcsetattr(fd, TCSANOW, &raw);
        path = QString::fromLatin1(ptsname(fd));
        notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, [this] {
            char chunk[256];
            const ssize_t count = ::read(fd, chunk, sizeof chunk);
            for (const QByteArray &line : framer.feed(QByteArray(chunk, int(std::max<ssize_t>(count, 0))))) {
                if (const std::optional<QByteArray> reply = responder.answer(line))
                    QVERIFY(::write(fd, reply->constData(), size_t(reply->size())) > 0 && ::write(fd, "\r\n", 2) == 2);
            }
        });
    }
    ~SerialMeterEnd() override { ::close(fd); }

    QString path;

private:
    int fd = -1;
    QSocketNotifier *notifier = nullptr;
    LineFramer framer;
    ScpiResponder responder;
};

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
    ScpiMeter meter;
    QSignalSpy ready {&meter, &Meter::ready};
    QSignalSpy configured {&meter, &Meter::configured};
    QSignalSpy measured {&meter, &Meter::measured};
    QSignalSpy failed {&meter, &Meter::failed};

    QString failure() const { return failed.isEmpty() ? QString() : failed.last().first().toString(); }
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
    void readsAProfileForAnotherDialect();
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
    MeterSimulator lanMeter([] { return boardCurrent; });
    QVERIFY(lanMeter.listen(0));
    SerialMeterEnd serialMeter;
    const QString text = serial ? QStringLiteral("serial:%1").arg(serialMeter.path)
                                : QStringLiteral("tcp:127.0.0.1:%1").arg(lanMeter.port());
    Session session(*MeterAddress::parse(text, nullptr));

    session.meter.start();
    QTRY_COMPARE(session.ready.size(), 1);
    QVERIFY(session.ready.first().first().toString().startsWith(QLatin1String("Pellmora,Simulated DMM")));
    session.meter.configure({1e-3, 0.5, 7});
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
    session.meter.configure({1e-7, 1, 2});
    QTRY_COMPARE(session.configured.size(), 2);
    session.meter.measure();
    QTRY_COMPARE(session.measured.size(), 2);
    for (const Reading &reading : session.measured.last().first().value<QList<Reading>>())
        QVERIFY(reading.overload);
}

void MeterLinkTest::reportsTheMetersErrorQueue()
{
    MeterSimulator lanMeter([] { return boardCurrent; });
    QVERIFY(lanMeter.listen(0));
    MeterProfile profile;
    profile.integration = QStringLiteral("SENS:CURR:DC:NPLC {nplc}");   // not this meter's dialect
    Session session(*MeterAddress::parse(QStringLiteral("tcp:127.0.0.1:%1").arg(lanMeter.port()), nullptr), profile);

    session.meter.configure({std::nullopt, 1, 1000000});   // and a sample count out of range
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
    session.meter.configure({std::nullopt, 2, 5});
    QTRY_COMPARE(session.configured.size(), 1);

    QElapsedTimer clock;
    clock.start();
    session.meter.measure();
    const int deadline = ScpiMeter::deadlineFor(2, 5);   // 2 × (5 × 2 × 20 ms × 2) + 1 s
    QCOMPARE(deadline, 1800);
    QTRY_VERIFY_WITH_TIMEOUT(!session.failed.isEmpty(), deadline + 5000);
    QVERIFY(clock.elapsed() >= deadline - 50);
    QCOMPARE(session.failure(), QStringLiteral("meter did not answer READ? within 1.8 s"));

    // The connection was dropped; the next query opens a new one.
    session.meter.configure({std::nullopt, 1, 1});
    QTRY_COMPARE(session.configured.size(), 2);
}

void MeterLinkTest::failsOnAMeterThatHangsUpMidReply()
{
    FaultyMeter hangingUp("1.2E-06,3.4E", true);
    Session session(hangingUp.address());
    session.meter.configure({std::nullopt, 1, 2});
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
    QCOMPARE(framer.feed("+1.2E-06,3"), QList<QByteArray>());
    QCOMPARE(framer.feed(".4E-06\r\n+0,\"No"), QList<QByteArray>({"+1.2E-06,3.4E-06"}));
    QCOMPARE(framer.feed(" error\"\n\n"), QList<QByteArray>({"+0,\"No error\"", ""}));
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
}

QTEST_GUILESS_MAIN(MeterLinkTest)
#include "tst_meterlink.moc"
