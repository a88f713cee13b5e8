#ifndef PPK2METER_H
#define PPK2METER_H

#include "meter/capturerecorder.h"
#include "meter/meter.h"
#include "ppk2/ppk2box.h"

#include <QTimer>

#include <array>
#include <memory>

// The Power Profiler Kit II as the sweep's meter. It samples from its start
// to its finish, never stopping between modes; a reading is the mean of the
// samples over the integration time, NPLC × 20 ms (one cycle of 50 Hz), so
// NPLC 1 is 2,000 samples. It switches its ranges itself, so a range asked
// for is noted and left. In ampere mode it switches its series path on once,
// at the start: off between modes it would cut the board's power. From each
// mode's command to the end of its readings it records the waveform. Over
// the whole sweep it holds the samples it received against its nominal rate:
// whole blocks it drops on a busy USB leave its counter none the wiser. A
// sample no box can give (a misframed stream) fails the mode it falls in.
class Ppk2Meter : public Meter
{
    Q_OBJECT

public:
    // `ampereMode`: in series with the board's own supply; otherwise the box
    // is also the supply unit, which sets its mode and power.
    Ppk2Meter(std::shared_ptr<Ppk2Box> box, bool ampereMode, QObject *parent = nullptr);

    void start() override;
    void configure(const MeterSettings &settings) override;
    void measure() override;
    // The mean of the last 10 ms before the command, from the stream as it comes.
    bool readsBefore() const override { return true; }
    bool findsEvents() const override { return true; }
    void readBefore() override;
    void startCapture(const QString &binsPath, const QString &rawPath) override;
    void finish() override;
    void abort() override;
    QString sweepNote() const override { return note; }

    static constexpr int samplesPerCycle = Ppk2::samplesPerSecond / 50;
    // The box measures up to 1 A, and below zero only by its offset.
    static constexpr double highestSample = 1.2;
    static constexpr double lowestSample = -1e-3;

private:
    void beginSampling();
    void take(const Ppk2Sample &sample);

    std::shared_ptr<Ppk2Box> box;
    bool ampere;
    MeterSettings asked;
    bool rangeNoted = false;
    bool measuring = false;
    bool refused = false;       // this capture held a sample no box gives
    qint64 windowSamples = 0;   // per reading
    qint64 inWindow = 0;
    double windowSum = 0;
    QList<Reading> readings;
    QTimer watchdog;            // samples that stop coming
    qint64 measuredSamples = 0;
    qint64 samplesAtWatch = 0;  // when the watchdog last started
    QTimer live;                // the latest milliseconds, five times a second
    CaptureRecorder recorder {Ppk2::samplesPerSecond};
    std::array<double, Ppk2::samplesPerSecond / 100> recent {};   // the latest 10 ms, as a ring
    int recentCount = 0;
    int recentAt = 0;
    QString note;
};

#endif // PPK2METER_H
