// Events found in a stream of samples as a fast meter sends them: by a
// digital input and by the current, cut by the window's edges, shorter
// than the least or split by a gap, with samples lost inside them; and the
// --events values that name their sources.
#include "meter/capturerecorder.h"
#include "meter/eventfinder.h"

#include <QtTest>

namespace {

constexpr int rate = 100000;   // samples a second

// A stream to feed: `amperes` at each position, D0 high where `pin` is.
struct Stream
{
    QVector<double> amperes;
    QVector<bool> pin;

    void add(int count, double current, bool high)
    {
        for (int i = 0; i < count; ++i) {
            amperes << current;
            pin << high;
        }
    }
};

ModeCapture found(const QList<EventSource> &sources, const Stream &stream, const QList<int> &lost = {})
{
    EventFinder finder(sources, rate);
    finder.begin(1000);   // the command 1000 samples before the window
    for (int i = 0; i < stream.amperes.size(); ++i) {
        if (!lost.contains(i))
            finder.add(1000 + i, stream.amperes.at(i), stream.pin.at(i) ? 1 : 0);
    }
    ModeCapture capture;
    finder.finish(capture);
    return capture;
}

EventSource pin(int number)
{
    EventSource source;
    source.pin = number;
    return source;
}

EventSource above(double amperes)
{
    EventSource source;
    source.kind = EventSource::Kind::Current;
    source.thresholdA = amperes;
    return source;
}

} // namespace

class EventFinderTest : public QObject
{
    Q_OBJECT

private slots:
    void aPinsEventsWithTheirChargeAndTheWindowsEdgesPartial();
    void currentEventsKeepTheLeastAndBridgeShortGaps();
    void samplesLostInsideAnEventCountAtItsMean();
    void theRecorderFindsEventsInTheReadingsWindowOnly();
    void parsesTheSourcesAsGiven_data();
    void parsesTheSourcesAsGiven();
};

void EventFinderTest::aPinsEventsWithTheirChargeAndTheWindowsEdgesPartial()
{
    Stream stream;
    stream.add(20, 1e-3, true);     // under way when the window begins
    stream.add(100, 2e-6, false);
    stream.add(50, 1.2e-3, true);   // whole: 0.5 ms of 1.2 mA
    stream.add(100, 2e-6, false);
    stream.add(50, 1.2e-3, true);
    stream.add(30, 2e-6, false);
    stream.add(10, 1e-3, true);     // still high at the end
    const ModeCapture capture = found({pin(0), pin(1)}, stream);

    QCOMPARE(capture.events.size(), 4);
    const ModeEvent &first = capture.events.at(0);
    QVERIFY(first.partial);
    QCOMPARE(first.startS, 0.0);
    const ModeEvent &whole = capture.events.at(1);
    QVERIFY(!whole.partial);
    QCOMPARE(whole.n, 2);
    QCOMPARE(whole.source, QStringLiteral("D0"));
    QCOMPARE(whole.startS, 120.0 / rate);
    QCOMPARE(whole.durationS, 50.0 / rate);
    QVERIFY(qFuzzyCompare(whole.chargeC, 1.2e-3 * 50 / rate));
    QCOMPARE(whole.peakA, 1.2e-3);
    QVERIFY(capture.events.at(3).partial);

    QCOMPARE(capture.eventTotals.size(), 2);
    const ModeCapture::EventTotals &d0 = capture.eventTotals.at(0);
    QCOMPARE(d0.whole, 2);
    QCOMPARE(d0.partial, 2);
    QVERIFY(qFuzzyCompare(d0.wholeChargeC, 2 * 1.2e-3 * 50 / rate));
    QCOMPARE(d0.seconds, 130.0 / rate);
    QCOMPARE(capture.eventTotals.at(1).whole + capture.eventTotals.at(1).partial, 0);   // D1 never rose
}

// A gap of 9 samples (90 µs) is bridged, one of 10 (100 µs) is not; a
// 10 µs burst is shorter than the least (20 µs) and is no event.
void EventFinderTest::currentEventsKeepTheLeastAndBridgeShortGaps()
{
    Stream stream;
    stream.add(100, 1e-6, false);
    stream.add(30, 5e-3, false);
    stream.add(9, 1e-6, false);     // bridged
    stream.add(30, 5e-3, false);
    stream.add(10, 1e-6, false);    // ends it
    stream.add(40, 5e-3, false);
    stream.add(200, 1e-6, false);
    stream.add(1, 5e-3, false);     // one sample, 10 µs
    stream.add(200, 1e-6, false);
    const ModeCapture capture = found({above(1e-3)}, stream);

    QCOMPARE(capture.events.size(), 2);
    const ModeEvent &bridged = capture.events.at(0);
    QCOMPARE(bridged.startS, 100.0 / rate);
    QCOMPARE(bridged.durationS, 69.0 / rate);
    QVERIFY(qFuzzyCompare(bridged.chargeC, (60 * 5e-3 + 9 * 1e-6) / rate));
    QCOMPARE(capture.events.at(1).durationS, 40.0 / rate);
    QVERIFY(!capture.events.at(1).partial);
    QCOMPARE(capture.eventTotals.first().whole, 2);
}

void EventFinderTest::samplesLostInsideAnEventCountAtItsMean()
{
    Stream stream;
    stream.add(100, 1e-6, false);
    stream.add(100, 2e-3, true);
    stream.add(100, 1e-6, false);
    const ModeCapture capture = found({pin(0)}, stream, {150, 151, 152, 153});
    QCOMPARE(capture.events.size(), 1);
    QCOMPARE(capture.events.first().durationS, 100.0 / rate);
    QVERIFY(qFuzzyCompare(capture.events.first().chargeC, 2e-3 * 100 / rate));
}

// The recorder's window starts with the readings: an event before it is
// none of the mode's, and times count from the command; the inputs go to the bins.
void EventFinderTest::theRecorderFindsEventsInTheReadingsWindowOnly()
{
    QTemporaryDir scratch;
    CaptureRecorder recorder(rate);
    recorder.setEventSources({pin(0)});
    QString error;
    QVERIFY(recorder.begin(scratch.filePath(QStringLiteral("bins")), QString(), &error));
    qint64 at = 5000;
    const auto feed = [&](int count, double amperes, quint8 logic) {
        for (int i = 0; i < count; ++i, ++at)
            recorder.add(at, amperes, amperes, logic);
    };
    feed(100, 1e-3, 1);     // settling: not counted
    feed(900, 1e-6, 0);
    recorder.beginReadings();
    feed(100, 1e-6, 0);
    feed(50, 1e-3, 1);
    feed(850, 1e-6, 0);
    const std::optional<ModeCapture> capture = recorder.finish(1e-6, &error);
    QVERIFY2(capture, qPrintable(error));
    QCOMPARE(capture->events.size(), 1);
    QCOMPARE(capture->events.first().startS, 1100.0 / rate);
    QCOMPARE(capture->windowSeconds, 1000.0 / rate);
    QFile bins(capture->binsPath);
    QVERIFY(bins.open(QIODevice::ReadOnly));
    QVector<TraceBin> written(int(capture->binCount));
    bins.read(reinterpret_cast<char *>(written.data()), written.size() * qint64(sizeof(TraceBin)));
    QCOMPARE(written.at(0).logic, quint8(1));
    QCOMPARE(written.at(5).logic, quint8(0));
    QCOMPARE(written.at(11).logic, quint8(1));
}

void EventFinderTest::parsesTheSourcesAsGiven_data()
{
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<QString>("parsed");   // texts apart by spaces, or the error's start
    QTest::newRow("pins") << QStringList {"D0,D3"} << "D0 D3";
    QTest::newRow("current, defaults") << QStringList {"current:0.0001"} << "current:0.0001,min=20us,gap=100us";
    QTest::newRow("current, times") << QStringList {"current:1e-3,min=0.1ms,gap=2 us"} << "current:0.001,min=100us,gap=2us";
    QTest::newRow("both") << QStringList {"D1", "current:0.0005"} << "D1 current:0.0005,min=20us,gap=100us";
    QTest::newRow("no such pin") << QStringList {"D8"} << "error: --events takes digital inputs D0 to D7";
    QTest::newRow("pin twice") << QStringList {"D2", "D2"} << "error: --events names D2 twice";
    QTest::newRow("no current") << QStringList {"current:0"} << "error: --events current:AMPS takes a current above 0 A";
    QTest::newRow("time without unit") << QStringList {"current:1e-4,min=20"} << "error: --events current: takes min=TIME";
    QTest::newRow("unknown key") << QStringList {"current:1e-4,width=20us"} << "error: --events current: takes min=TIME";
}

void EventFinderTest::parsesTheSourcesAsGiven()
{
    QFETCH(QStringList, values);
    QFETCH(QString, parsed);
    QString error;
    const std::optional<QList<EventSource>> sources = EventSource::parseAll(values, &error);
    if (parsed.startsWith(QLatin1String("error: "))) {
        QVERIFY(!sources);
        QVERIFY2(error.startsWith(parsed.mid(7)), qPrintable(error));
        return;
    }
    QVERIFY2(sources, qPrintable(error));
    QStringList texts;
    for (const EventSource &source : *sources)
        texts << source.text();
    QCOMPARE(texts.join(QLatin1Char(' ')), parsed);
}

QTEST_GUILESS_MAIN(EventFinderTest)
#include "tst_eventfinder.moc"
