#include "meter/scpimeter.h"

#include <cmath>

namespace {

constexpr double powerLineCycleSeconds = 0.020;

} // namespace

ScpiMeter::ScpiMeter(std::unique_ptr<MeterLink> meterLink, const MeterProfile &meterProfile, QObject *parent)
    : Meter(parent)
    , session(std::move(meterLink), QStringLiteral("meter"), meterProfile.errorQuery)
    , profile(meterProfile)
{
    connect(&session, &ScpiSession::failed, this, &Meter::failed);
    connect(&session, &ScpiSession::warning, this, &Meter::warning);
    connect(&session, &ScpiSession::closed, this, &Meter::finished);
    session.setCommandPause(profile.commandDelayMs);
}

int ScpiMeter::deadlineFor(double nplc, int samples)
{
    const double needed = samples * nplc * powerLineCycleSeconds * 2;
    return int(std::ceil((2 * needed + 1) * 1000));
}

void ScpiMeter::start()
{
    std::deque<ScpiSession::Step> connecting;
    for (const QString &command : profile.onConnect)
        connecting.push_back({command, nullptr, 0});
    auto identity = std::make_shared<QString>();
    connecting.push_back({profile.identify, [identity](const QByteArray &reply) {
                              *identity = QString::fromLatin1(reply).trimmed();
                              return QString();
                          }, ScpiSession::queryDeadline});
    session.run(std::move(connecting), [this, identity] { emit ready(*identity); });
}

void ScpiMeter::configure(const MeterSettings &wanted)
{
    settings = wanted;
    session.warnAgain();
    std::deque<ScpiSession::Step> configuring;
    for (const QString &command : profile.configuration(settings.range, settings.nplc, settings.samples))
        configuring.push_back({command, nullptr, 0});
    configuring.push_back({profile.errorQuery, [this](const QByteArray &reply) {
                               return ScpiSession::isNoError(reply)
                                   ? QString()
                                   : session.readErrorQueue(QStringLiteral("meter refused its configuration"),
                                                            {QString::fromLatin1(reply).trimmed()});
                           }, ScpiSession::queryDeadline});
    session.run(std::move(configuring), [this] { emit configured(); });
}

// The readings asked for, in as many reads as the meter needs for them.
void ScpiMeter::measure()
{
    auto readings = std::make_shared<QList<Reading>>();
    const int samples = settings.samples;
    const int perRead = profile.readingsPerReadFor(samples);
    std::deque<ScpiSession::Step> reads;
    for (int taken = 0; taken < samples; taken += perRead) {
        reads.push_back({profile.read, [readings, perRead, this](const QByteArray &reply) {
                             QList<Reading> parsed;
                             const QString failure = readingsIn(reply, perRead, &parsed);
                             *readings += parsed;
                             return failure;
                         }, readDeadline(perRead)});
    }
    session.run(std::move(reads), [this, readings, samples] { emit measured(readings->mid(0, samples)); });
}

QString ScpiMeter::readingsIn(const QByteArray &reply, int expected, QList<Reading> *readings)
{
    const Readings::Parsed parsed = Readings::parseReply(reply, profile.overloadAbove);
    if (!parsed.error.isEmpty())
        return session.readErrorQueue(parsed.error, {});
    if (parsed.readings.size() != expected) {
        return session.readErrorQueue(QStringLiteral("meter answered %1 readings to %2, %3 were asked for")
                                          .arg(parsed.readings.size()).arg(profile.read).arg(expected), {});
    }
    const qint64 arrived = Readings::now();
    *readings = parsed.readings;
    for (Reading &reading : *readings)
        reading.arrivedAt = arrived;
    return QString();
}

int ScpiMeter::readDeadline(int readings) const
{
    return profile.readTimeoutSeconds ? int(std::ceil(*profile.readTimeoutSeconds * 1000)) : deadlineFor(settings.nplc, readings);
}

// One reading, the one nearest the command: the sample count set to one for
// it and back after, where the meter has one to set; else the last of a read.
void ScpiMeter::readBefore()
{
    const auto countOf = [this](int samples) {
        return QString(profile.sampleCount).replace(QLatin1String("{samples}"), QString::number(samples));
    };
    const int perRead = profile.readingsPerReadFor(settings.samples);
    const bool counted = !profile.sampleCount.isEmpty() && perRead != 1;
    const int expected = profile.sampleCount.isEmpty() ? perRead : 1;
    auto taken = std::make_shared<Reading>();
    std::deque<ScpiSession::Step> steps;
    if (counted)
        steps.push_back({countOf(1), nullptr, 0});
    steps.push_back({profile.read, [taken, expected, this](const QByteArray &reply) {
                         QList<Reading> parsed;
                         const QString failure = readingsIn(reply, expected, &parsed);
                         if (failure.isEmpty())
                             *taken = parsed.last();
                         return failure;
                     }, readDeadline(expected)});
    if (counted)
        steps.push_back({countOf(perRead), nullptr, 0});
    session.run(std::move(steps), [this, taken] { emit before(*taken); });
}

void ScpiMeter::finish()
{
    session.close(profile.onClose);
}

void ScpiMeter::abort()
{
    session.abort();
}
