// The Power Profiler Kit II's protocol from the host's side: the command
// bytes, the metadata that calibrates, and the sample stream decoded against
// words the simulated box encodes (each range, its counter wrapping, samples
// lost, a byte lost), the spike filter at a range switch, and each box's
// data port found among the ports by its USB identity.
#include "ppk2/ppk2ports.h"
#include "ppk2/ppk2protocol.h"
#include "ppk2/ppk2stream.h"
#include "simulator/ppk2device.h"

#include <QRandomGenerator>
#include <QtEndian>
#include <QtTest>

namespace {

QByteArray bytesOf(const QList<quint32> &words)
{
    QByteArray bytes;
    for (quint32 word : words) {
        char four[4];
        qToLittleEndian(word, four);
        bytes.append(four, 4);
    }
    return bytes;
}

// A steady current as the box streams it, the counter starting at `first`.
QList<quint32> steady(const Ppk2Device &device, double amperes, int count, int first = 0, double volts = 3.3)
{
    QList<quint32> words;
    for (int i = 0; i < count; ++i)
        words << device.word(amperes, (first + i) & 63, volts);
    return words;
}

struct Decoded
{
    QVector<Ppk2Sample> samples;
    qint64 lost = 0;
    int realignments = 0;
};

// Fed in pieces of random sizes, as reads come.
Decoded decode(const QByteArray &bytes, const Ppk2Calibration &calibration, double volts = 3.3, quint32 seed = 1)
{
    Ppk2Stream stream(calibration, volts);
    Decoded decoded;
    const auto sink = [&decoded](const Ppk2Sample &sample) { decoded.samples << sample; };
    QRandomGenerator pieces(seed);
    for (int at = 0; at < bytes.size();) {
        const int size = pieces.bounded(1, 700);
        stream.feed(bytes.mid(at, size), sink);
        at += size;
    }
    stream.finish(sink);
    decoded.lost = stream.lostSamples();
    decoded.realignments = stream.realignments();
    return decoded;
}

double meanOf(const QVector<Ppk2Sample> &samples)
{
    double sum = 0;
    for (const Ppk2Sample &sample : samples)
        sum += sample.amperes;
    return samples.isEmpty() ? 0 : sum / samples.size();
}

// The sample farthest from `amperes`, unfiltered: one check per stream
// rather than a message made for each of its samples.
double farthestFrom(double amperes, const QVector<Ppk2Sample> &samples)
{
    double farthest = amperes;
    for (const Ppk2Sample &sample : samples) {
        if (qAbs(sample.unfiltered - amperes) > qAbs(farthest - amperes))
            farthest = sample.unfiltered;
    }
    return farthest;
}

} // namespace

class Ppk2ProtocolTest : public QObject
{
    Q_OBJECT

private slots:
    void encodesCommands_data();
    void encodesCommands();
    void readsTheMetadataHoweverItArrives();
    void convertsTheNotesWorkedExample();
    void decodesKnownCurrentsInEachRange_data();
    void decodesKnownCurrentsInEachRange();
    void countsLostSamplesAcrossTheCountersWrap();
    void countsTheSamplesDuePastTwoToTheThirtyTwo_data();
    void countsTheSamplesDuePastTwoToTheThirtyTwo();
    void aGarbledCounterLosesNothing();
    void aLostByteIsRealignedNeverReadAsAHugeCurrent_data();
    void aLostByteIsRealignedNeverReadAsAHugeCurrent();
    void theFilterTakesAOneSampleSwitchTransient_data();
    void theFilterTakesAOneSampleSwitchTransient();
    void findsEachBoxsDataPortByItsUsbIdentity();
};

void Ppk2ProtocolTest::encodesCommands_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("800 mV") << Ppk2::regulator(800) << QByteArray::fromHex("0d0320");
    QTest::newRow("1800 mV") << Ppk2::regulator(1800) << QByteArray::fromHex("0d0708");
    QTest::newRow("3000 mV") << Ppk2::regulator(3000) << QByteArray::fromHex("0d0bb8");
    QTest::newRow("3300 mV") << Ppk2::regulator(3300) << QByteArray::fromHex("0d0ce4");
    QTest::newRow("5000 mV") << Ppk2::regulator(5000) << QByteArray::fromHex("0d1388");
    QTest::newRow("below the box's least") << Ppk2::regulator(500) << QByteArray::fromHex("0d0320");
    QTest::newRow("above its most") << Ppk2::regulator(12000) << QByteArray::fromHex("0d1388");
    QTest::newRow("start") << Ppk2::start() << QByteArray::fromHex("06");
    QTest::newRow("stop") << Ppk2::stop() << QByteArray::fromHex("07");
    QTest::newRow("metadata") << Ppk2::metadataRequest() << QByteArray::fromHex("19");
    QTest::newRow("ampere mode") << Ppk2::powerMode(Ppk2::PowerMode::Ampere) << QByteArray::fromHex("1101");
    QTest::newRow("source mode") << Ppk2::powerMode(Ppk2::PowerMode::Source) << QByteArray::fromHex("1102");
    QTest::newRow("power on") << Ppk2::deviceRunning(true) << QByteArray::fromHex("0c01");
    QTest::newRow("power off") << Ppk2::deviceRunning(false) << QByteArray::fromHex("0c00");
}

void Ppk2ProtocolTest::encodesCommands()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, bytes);
    QCOMPARE(command.toHex(), bytes.toHex());
}

void Ppk2ProtocolTest::readsTheMetadataHoweverItArrives()
{
    const Ppk2Device device;
    const QByteArray text = device.metadata(1800, Ppk2::PowerMode::Source);
    // Samples of a session left streaming come first; the text arrives in pieces.
    const QByteArray reply = bytesOf(steady(device, 1e-3, 3)) + text;
    QString error;
    QVERIFY(!Ppk2Calibration::isComplete(reply.left(reply.size() - 2)));
    QVERIFY(!Ppk2Calibration::parse(reply.left(reply.size() - 2), &error));
    QVERIFY(Ppk2Calibration::isComplete(reply));
    const std::optional<Ppk2Calibration> parsed = Ppk2Calibration::parse(reply, &error);
    QVERIFY2(parsed, qPrintable(error));
    QCOMPARE(parsed->vddMillivolts, 1800);
    QCOMPARE(parsed->mode, 2);
    for (int range = 0; range < Ppk2::rangeCount; ++range) {
        const size_t r = size_t(range);
        for (const auto &family : {std::make_pair(parsed->r, device.calibration().r), std::make_pair(parsed->gs, device.calibration().gs),
                                   std::make_pair(parsed->gi, device.calibration().gi), std::make_pair(parsed->o, device.calibration().o),
                                   std::make_pair(parsed->s, device.calibration().s), std::make_pair(parsed->i, device.calibration().i),
                                   std::make_pair(parsed->ug, device.calibration().ug)})
            QVERIFY(qAbs(family.first[r] - family.second[r]) <= 1e-12 * qMax(1.0, qAbs(family.second[r])));
    }

    // An unset constant (nan), a zero shunt and a missing key keep the nominal values.
    QByteArray sparse = text;
    sparse.replace(QByteArray("R2: ") + QByteArray::number(device.calibration().r[2], 'f', 20), "R2: 0.00000000000000000000");
    sparse.replace(QByteArray("GS4: ") + QByteArray::number(device.calibration().gs[4], 'f', 20), "GS4: -nan");
    sparse.replace(QByteArray("O1: ") + QByteArray::number(device.calibration().o[1], 'f', 20) + '\n', "");
    const std::optional<Ppk2Calibration> defaults = Ppk2Calibration::parse(sparse, &error);
    QVERIFY2(defaults, qPrintable(error));
    QCOMPARE(defaults->r[2], Ppk2Calibration().r[2]);
    QCOMPARE(defaults->gs[4], 1.0);
    QCOMPARE(defaults->o[1], 0.0);
    QCOMPARE(defaults->r[3], device.calibration().r[3]);

    QByteArray broken = text;
    broken.replace("VDD: 1800", "VDD: 18OO");
    QVERIFY(!Ppk2Calibration::parse(broken, &error));
    QVERIFY2(error.contains(QLatin1String("VDD")), qPrintable(error));
}

void Ppk2ProtocolTest::convertsTheNotesWorkedExample()
{
    Ppk2Calibration calibration;
    calibration.r[2] = 10.42;
    calibration.gs[2] = 15.2;
    calibration.gi[2] = 0.9647;
    calibration.o[2] = 59.8;
    calibration.s[2] = 5.0e-6;
    calibration.i[2] = 3.3e-5;
    const Decoded decoded = decode(QByteArray::fromHex("0e829405"), calibration);
    QCOMPARE(decoded.samples.size(), 1);
    QCOMPARE(decoded.samples.first().range, 2);
    QVERIFY(qAbs(decoded.samples.first().unfiltered - 2.1993e-3) < 1e-7);
    QVERIFY(Ppk2Calibration().amperes(526, 2, 3.3) / 2.1993e-3 - 1 > 0.03);   // the nominal constants, some 3.5 % high
}

void Ppk2ProtocolTest::decodesKnownCurrentsInEachRange_data()
{
    QTest::addColumn<double>("amperes");
    QTest::addColumn<int>("range");
    QTest::newRow("range 0, 20 µA") << 20e-6 << 0;
    QTest::newRow("range 1, 200 µA") << 200e-6 << 1;
    QTest::newRow("range 2, 2.2 mA") << 2.2e-3 << 2;
    QTest::newRow("range 3, 20 mA") << 20e-3 << 3;
    QTest::newRow("range 4, 300 mA") << 300e-3 << 4;
}

void Ppk2ProtocolTest::decodesKnownCurrentsInEachRange()
{
    QFETCH(double, amperes);
    QFETCH(int, range);
    const Ppk2Device device;
    const QByteArray bytes = bytesOf(steady(device, amperes, 100, 0, 1.8));
    const Decoded decoded = decode(bytes, device.calibration(), 1.8);
    QCOMPARE(decoded.samples.size(), 100);
    QCOMPARE(decoded.samples.first().range, range);
    // Within one step of the ADC field, a quarter percent or so.
    const double step = 4 * Ppk2Calibration::voltsPerCount / device.calibration().r[size_t(range)];
    QVERIFY2(qAbs(meanOf(decoded.samples) - amperes) < step, qPrintable(QString::number(meanOf(decoded.samples))));
    // A host that took the nominal constants would be well off in the top range.
    if (range == 4)
        QVERIFY(qAbs(meanOf(decode(bytes, Ppk2Calibration(), 1.8).samples) / amperes - 1) > 0.2);
}

void Ppk2ProtocolTest::countsLostSamplesAcrossTheCountersWrap()
{
    const Ppk2Device device;
    // From counter 50, past 63 to 0, then 10 samples never arrive.
    QList<quint32> words = steady(device, 1e-3, 30, 50);
    words += steady(device, 1e-3, 40, (50 + 30 + 10) & 63);
    const Decoded decoded = decode(bytesOf(words), device.calibration());
    QCOMPARE(decoded.samples.size(), 70);
    QCOMPARE(decoded.lost, qint64(10));
    QCOMPARE(decoded.samples.at(29).position, qint64(29));
    QCOMPARE(decoded.samples.at(30).position, qint64(40));   // the lost ones keep their places
    QCOMPARE(decoded.realignments, 0);
}

// What a box owes by the host's clock, over a campaign of days: 2^32
// samples pass after 11.9 hours, and the product of nanoseconds and the
// rate after 25.6.
void Ppk2ProtocolTest::countsTheSamplesDuePastTwoToTheThirtyTwo_data()
{
    QTest::addColumn<qint64>("nanoseconds");
    QTest::addColumn<qint64>("samples");
    const qint64 hour = 3600LL * 1000000000;
    QTest::newRow("one second") << 1000000000LL << 100000LL;
    QTest::newRow("a hair under a sample") << 9999LL << 0LL;
    QTest::newRow("12 hours, past 2^32 samples") << 12 * hour << 4320000000LL;
    QTest::newRow("30 hours") << 30 * hour << 10800000000LL;
    QTest::newRow("30 days and a half sample") << 720 * hour + 5000 << 259200000000LL;
}

void Ppk2ProtocolTest::countsTheSamplesDuePastTwoToTheThirtyTwo()
{
    QFETCH(qint64, nanoseconds);
    QFETCH(qint64, samples);
    QCOMPARE(Ppk2::samplesIn(nanoseconds), samples);
}

void Ppk2ProtocolTest::aGarbledCounterLosesNothing()
{
    const Ppk2Device device;
    QList<quint32> words = steady(device, 1e-3, 40);
    words[20] ^= 0x1f << 18;   // its counter bits flipped, the rest intact
    words[21] ^= 0x01 << 18;
    const Decoded decoded = decode(bytesOf(words), device.calibration());
    QCOMPARE(decoded.samples.size(), 40);
    QCOMPARE(decoded.lost, qint64(0));
    QCOMPARE(decoded.samples.last().position, qint64(39));
}

void Ppk2ProtocolTest::aLostByteIsRealignedNeverReadAsAHugeCurrent_data()
{
    QTest::addColumn<int>("lostByte");
    for (int byte = 0; byte < 4; ++byte)
        QTest::newRow(qPrintable(QStringLiteral("byte %1 of a word").arg(byte))) << 400 * 4 + byte;
    QTest::newRow("the first byte of all") << 0;
}

void Ppk2ProtocolTest::aLostByteIsRealignedNeverReadAsAHugeCurrent()
{
    QFETCH(int, lostByte);
    const Ppk2Device device;
    // Logic inputs that change, so that a shifted word's counter bits are not all alike.
    QList<quint32> words;
    for (int i = 0; i < 1000; ++i)
        words << device.word(20e-3, i & 63, 3.3, quint8(i * 37));
    QByteArray bytes = bytesOf(words);
    bytes.remove(lostByte, 1);
    for (quint32 seed = 1; seed <= 20; ++seed) {
        const Decoded decoded = decode(bytes, device.calibration(), 3.3, seed);
        QVERIFY(decoded.samples.size() >= 990);
        // At the very start nothing is given out yet to count the loss from.
        QVERIFY(lostByte == 0 || (decoded.lost >= 1 && decoded.lost <= 3));
        const double worst = farthestFrom(20e-3, decoded.samples);
        QVERIFY2(qAbs(worst - 20e-3) < 1e-3, qPrintable(QString::number(worst)));
        QVERIFY(lostByte == 0 || decoded.samples.last().position == 999);
    }
    // Logic inputs that never change give every shifted word the same counter,
    // which fits the count at some phase of it: at every phase, none is taken.
    for (int first = 0; first < 64; ++first) {
        QByteArray constant = bytesOf(steady(device, 20e-3, 1000, first));
        constant.remove(lostByte, 1);
        const Decoded decoded = decode(constant, device.calibration(), 3.3, quint32(first + 1));
        QVERIFY2((lostByte == 0 || (decoded.lost >= 1 && decoded.lost <= 3)) && decoded.samples.size() >= 990,
                 qPrintable(QStringLiteral("phase %1: %2 lost, %3 taken").arg(first).arg(decoded.lost).arg(decoded.samples.size())));
        const double worst = farthestFrom(20e-3, decoded.samples);
        QVERIFY2(qAbs(worst - 20e-3) < 1e-3, qPrintable(QStringLiteral("phase %1: %2").arg(first).arg(worst)));
    }
}

void Ppk2ProtocolTest::theFilterTakesAOneSampleSwitchTransient_data()
{
    QTest::addColumn<double>("before");   // amperes, 50 samples
    QTest::addColumn<int>("beforeRange");
    QTest::addColumn<double>("after");    // 50 more, in another range
    QTest::addColumn<int>("afterRange");
    QTest::addColumn<double>("spike");    // the first sample after the switch
    QTest::newRow("up, range 1 to 2") << 400e-6 << 1 << 600e-6 << 2 << 3e-3;
    QTest::newRow("down, range 2 to 1") << 3e-3 << 2 << 100e-6 << 1 << 450e-6;
}

void Ppk2ProtocolTest::theFilterTakesAOneSampleSwitchTransient()
{
    QFETCH(double, before);
    QFETCH(int, beforeRange);
    QFETCH(double, after);
    QFETCH(int, afterRange);
    QFETCH(double, spike);
    const Ppk2Device device;
    QList<quint32> words;
    for (int i = 0; i < 50; ++i)
        words << device.word(before, beforeRange, i & 63, 3.3, 0);
    words << device.word(spike, afterRange, 50, 3.3, 0);
    for (int i = 51; i < 100; ++i)
        words << device.word(after, afterRange, i & 63, 3.3, 0);
    const Decoded decoded = decode(bytesOf(words), device.calibration());
    QCOMPARE(decoded.samples.size(), 100);
    const Ppk2Sample &atSwitch = decoded.samples.at(50);
    QVERIFY(qAbs(atSwitch.unfiltered / spike - 1) < 0.01);   // the unfiltered samples keep the spike
    QVERIFY2(qAbs(atSwitch.amperes / spike - 1) > 0.2, qPrintable(QString::number(atSwitch.amperes)));   // the readings do not
    // Past the filter's few samples, samples come through as they are.
    QCOMPARE(decoded.samples.at(60).amperes, decoded.samples.at(60).unfiltered);
    QCOMPARE(decoded.samples.at(10).amperes, decoded.samples.at(10).unfiltered);
}

void Ppk2ProtocolTest::findsEachBoxsDataPortByItsUsbIdentity()
{
    using Ppk2Ports::UsbPort;
    // Two boxes, each a data port (interface 0) and a shell (interface 2),
    // listed in no particular order, beside a serial adapter and a board.
    const UsbPort firstShell {"/dev/ttyACM1", 0x1915, 0xc00a, "C1A2", 2};
    const UsbPort firstData {"/dev/ttyACM0", 0x1915, 0xc00a, "C1A2", 0};
    const UsbPort secondData {"/dev/ttyACM3", 0x1915, 0xc00a, "E77F", 0};
    const UsbPort secondShell {"/dev/ttyACM2", 0x1915, 0xc00a, "E77F", 2};
    const UsbPort adapter {"/dev/ttyUSB0", 0x0403, 0x6001, "FT1", 0};
    const UsbPort board {"/dev/ttyACM4", 0x0483, 0x374b, "066D", 2};
    const UsbPort builtIn {"/dev/ttyS0", -1, -1, QString(), 0};
    QCOMPARE(Ppk2Ports::dataPortsAmong({firstShell, adapter, firstData, builtIn, board}), QStringList {"/dev/ttyACM0"});
    const QStringList both = Ppk2Ports::dataPortsAmong({secondShell, firstShell, adapter, secondData, firstData});
    QCOMPARE(both, QStringList({"/dev/ttyACM0", "/dev/ttyACM3"}));

    QString error;
    QCOMPARE(Ppk2Ports::theOnlyBox({"/dev/ttyACM0"}, &error), std::optional<QString>("/dev/ttyACM0"));
    QVERIFY(!Ppk2Ports::theOnlyBox(both, &error));
    QCOMPARE(error, QStringLiteral("2 Power Profiler Kit IIs are connected (/dev/ttyACM0, /dev/ttyACM3): name one, ppk2:PORT"));
    QVERIFY(!Ppk2Ports::theOnlyBox({}, &error));
    QCOMPARE(error, QStringLiteral("no Power Profiler Kit II is connected (USB 1915:c00a)"));
}

QTEST_GUILESS_MAIN(Ppk2ProtocolTest)
#include "tst_ppk2protocol.moc"
