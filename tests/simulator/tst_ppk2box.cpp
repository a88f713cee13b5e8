// The simulated Power Profiler Kit II seen from the host's end of its line,
// byte by byte, as the protocol note describes the real box: what it sends
// after a stop, and after a start while it samples.
#include "ppk2/ppk2protocol.h"
#include "simulator/boardsimulator.h"
#include "simulator/ppk2simulator.h"

#include <QElapsedTimer>
#include <QtTest>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// The host's end: raw, non-blocking, read while the box's event loop runs.
class HostEnd
{
public:
    explicit HostEnd(const QString &path)
        : fd(::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC))
    {
        termios raw {};
        tcgetattr(fd, &raw);
        cfmakeraw(&raw);
        tcsetattr(fd, TCSANOW, &raw);
    }
    ~HostEnd() { ::close(fd); }

    bool isOpen() const { return fd >= 0; }
    void send(quint8 opcode) { QVERIFY(::write(fd, &opcode, 1) == 1); }

    // Everything that comes within `milliseconds`.
    QByteArray readFor(int milliseconds)
    {
        QByteArray got;
        QElapsedTimer clock;
        clock.start();
        while (!clock.hasExpired(milliseconds)) {
            QTest::qWait(2);
            char chunk[65536];
            ssize_t count;
            while ((count = ::read(fd, chunk, sizeof chunk)) > 0)
                got.append(chunk, int(count));
        }
        return got;
    }

private:
    int fd;
};

} // namespace

class Ppk2BoxTest : public QObject
{
    Q_OBJECT

private slots:
    void aStopDeliversWhatWasProducedThenNothing();
    void aStartWhileSamplingStopsTheStreamForGood();
};

// A host that did not read for 0.3 s has 120 KB waiting; after the stop the
// box sends what it holds within 0.2 s, so the metadata asked for 0.5 s
// later comes alone.
void Ppk2BoxTest::aStopDeliversWhatWasProducedThenNothing()
{
    BoardSimulator board;
    Ppk2Simulator box(board);
    HostEnd host(box.portPath());
    QVERIFY(host.isOpen());
    host.send(Ppk2::AverageStart);
    QTest::qWait(300);
    host.send(Ppk2::AverageStop);
    const QByteArray afterStop = host.readFor(600);
    QVERIFY2(afterStop.size() > 4096, qPrintable(QString::number(afterStop.size())));
    QVERIFY(host.readFor(100).isEmpty());

    host.send(Ppk2::GetMetadata);
    const QByteArray metadata = host.readFor(300);
    QVERIFY2(metadata.startsWith("Calibrated: ") && metadata.endsWith("END\n"), metadata.left(16).toHex().constData());
}

// As the maintainers saw: a second start leaves the box with no further samples.
void Ppk2BoxTest::aStartWhileSamplingStopsTheStreamForGood()
{
    BoardSimulator board;
    Ppk2Simulator box(board);
    HostEnd host(box.portPath());
    QVERIFY(host.isOpen());
    host.send(Ppk2::AverageStart);
    QVERIFY(host.readFor(100).size() > 4000);
    host.send(Ppk2::AverageStart);
    host.readFor(100);
    QCOMPARE(host.readFor(300).size(), 0);
    QCOMPARE(box.startsWhileSampling(), 1);
    host.send(Ppk2::AverageStop);
    host.send(Ppk2::AverageStart);
    QCOMPARE(host.readFor(200).size(), 0);
}

QTEST_GUILESS_MAIN(Ppk2BoxTest)
#include "tst_ppk2box.moc"
