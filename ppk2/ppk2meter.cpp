#include "ppk2/ppk2meter.h"

#include <QLocale>

#include <cmath>

namespace {

// Samples that stop coming for this long (checked as often): the box is
// gone or stuck.
constexpr int silentMilliseconds = 2000;

} // namespace

Ppk2Meter::Ppk2Meter(std::shared_ptr<Ppk2Box> sharedBox, bool ampereMode, QObject *parent)
    : Meter(parent)
    , box(std::move(sharedBox))
    , ampere(ampereMode)
{
    watchdog.setSingleShot(true);
    watchdog.setInterval(silentMilliseconds);
    // Restarted only when it runs out, not at each of 100,000 samples a second.
    connect(&watchdog, &QTimer::timeout, this, [this] {
        if (measuredSamples != samplesAtWatch) {
            samplesAtWatch = measuredSamples;
            watchdog.start();
            return;
        }
        measuring = false;
        emit failed(QStringLiteral("the Power Profiler Kit II sent no samples for %1 s").arg(silentMilliseconds / 1000));
    });
    live.setInterval(200);
    connect(&live, &QTimer::timeout, this, [this] {
        const QVector<TraceBin> bins = recorder.newBins();
        if (!bins.isEmpty())
            emit binsTaken(bins);
        const QVector<ModeEvent> events = recorder.newEvents();
        if (!events.isEmpty())
            emit eventsTaken(events);
    });
    connect(box.get(), &Ppk2Box::failed, this, [this](const QString &reason) {
        watchdog.stop();
        measuring = false;
        emit failed(reason);
    });
}

void Ppk2Meter::start()
{
    box->whenOpen(this, [this] { beginSampling(); });
}

void Ppk2Meter::beginSampling()
{
    if (ampere) {
        box->setMode(Ppk2::PowerMode::Ampere);
        box->setPower(true);
    }
    box->setSink([this](const Ppk2Sample &sample) { take(sample); });
    box->startSampling();
    emit ready(box->identity());
}

void Ppk2Meter::configure(const MeterSettings &settings)
{
    asked = settings;
    recorder.setEventSources(settings.events);
    if (settings.range && !rangeNoted) {
        rangeNoted = true;
        emit warning(QStringLiteral("the Power Profiler Kit II chooses its ranges itself; the range asked for is left"));
    }
    QTimer::singleShot(0, this, &Meter::configured);
}

void Ppk2Meter::startCapture(const QString &binsPath, const QString &rawPath)
{
    QString error;
    refused = false;
    if (!recorder.begin(binsPath, rawPath, &error))
        QTimer::singleShot(0, this, [this, error] { emit failed(error); });
    else
        live.start();
}

void Ppk2Meter::measure()
{
    recorder.beginReadings();
    readings.clear();
    windowSamples = std::max<qint64>(1, std::llround(asked.nplc * samplesPerCycle));
    inWindow = 0;
    windowSum = 0;
    measuring = true;
    samplesAtWatch = measuredSamples;
    watchdog.start();
}

void Ppk2Meter::readBefore()
{
    Reading reading;
    double sum = 0;
    for (int i = 0; i < recentCount; ++i)
        sum += recent[size_t(i)];
    reading.amperes = recentCount > 0 ? sum / recentCount : 0;
    reading.overload = recentCount == 0;   // no sample yet: nothing to hold the mode against
    reading.arrivedAt = Readings::now();
    QTimer::singleShot(0, this, [this, reading] { emit before(reading); });
}

void Ppk2Meter::take(const Ppk2Sample &sample)
{
    recent[size_t(recentAt)] = sample.amperes;
    recentAt = (recentAt + 1) % int(recent.size());
    recentCount = std::min(recentCount + 1, int(recent.size()));
    if (refused || !recorder.isRecording())
        return;
    if (sample.unfiltered > highestSample || sample.unfiltered < lowestSample) {
        refused = true;
        measuring = false;
        watchdog.stop();
        live.stop();
        emit failed(QStringLiteral("the Power Profiler Kit II sent a sample of %1, outside what it measures (%2 to %3): "
                                   "its stream is misframed, or the port is shared")
                        .arg(Readings::formatAmperes(sample.unfiltered), Readings::formatAmperes(lowestSample),
                             Readings::formatAmperes(highestSample)));
        return;
    }
    recorder.add(sample.position, sample.amperes, sample.unfiltered, sample.logic);
    if (!measuring)
        return;
    ++measuredSamples;
    windowSum += sample.amperes;
    if (++inWindow < windowSamples)
        return;
    Reading reading;
    reading.amperes = windowSum / double(inWindow);
    reading.arrivedAt = Readings::now();
    readings << reading;
    inWindow = 0;
    windowSum = 0;
    if (readings.size() < asked.samples)
        return;
    measuring = false;
    watchdog.stop();
    live.stop();
    if (recorder.isRecording()) {
        double sum = 0;
        for (const Reading &one : qAsConst(readings))
            sum += one.amperes;
        QString error;
        const std::optional<ModeCapture> capture = recorder.finish(sum / readings.size(), &error);
        if (!capture) {
            emit failed(error);
            return;
        }
        emit captured(*capture);
    }
    emit measured(readings);
}

void Ppk2Meter::finish()
{
    live.stop();
    watchdog.stop();
    measuring = false;
    // Over some seconds a host's clock is reference enough for a shortfall of 1 %.
    const qint64 due = box->samplesDue();
    const Ppk2Stream &stream = box->stream();
    const qint64 counted = stream.received() + stream.lostSamples() + stream.invalidSamples();
    if (due > 2 * Ppk2::samplesPerSecond && counted < due - due / 100) {
        note = QStringLiteral("the Power Profiler Kit II sent %1 % fewer samples than its rate over the sweep (%2 of %3); "
                              "it drops whole blocks unseen by its counter when the USB is busy")
                   .arg(QLocale::c().toString(100.0 * double(due - counted) / double(due), 'f', 1))
                   .arg(counted).arg(due);
    }
    connect(box.get(), &Ppk2Box::closed, this, &Meter::finished);
    box->close();
}

void Ppk2Meter::abort()
{
    live.stop();
    watchdog.stop();
    measuring = false;
}
