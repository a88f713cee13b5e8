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

void ScpiMeter::measure()
{
    auto readings = std::make_shared<QList<Reading>>();
    const int samples = settings.samples;
    session.run({{profile.read, [readings, samples, this](const QByteArray &reply) {
                      Readings::Parsed parsed = Readings::parseReply(reply);
                      if (!parsed.error.isEmpty())
                          return session.readErrorQueue(parsed.error, {});
                      if (parsed.readings.size() != samples) {
                          return session.readErrorQueue(QStringLiteral("meter answered %1 readings to %2, %3 were asked for")
                                                            .arg(parsed.readings.size()).arg(profile.read).arg(samples), {});
                      }
                      const qint64 arrived = Readings::now();
                      for (Reading &reading : parsed.readings)
                          reading.arrivedAt = arrived;
                      *readings = parsed.readings;
                      return QString();
                  }, deadlineFor(settings.nplc, settings.samples)}},
                [this, readings] { emit measured(*readings); });
}

// One reading: the sample count set to one for it and back after, where the
// meter has a sample count to set.
void ScpiMeter::readBefore()
{
    const auto countOf = [this](int samples) {
        return QString(profile.sampleCount).replace(QLatin1String("{samples}"), QString::number(samples));
    };
    const bool counted = !profile.sampleCount.isEmpty() && settings.samples != 1;
    auto taken = std::make_shared<Reading>();
    std::deque<ScpiSession::Step> steps;
    if (counted)
        steps.push_back({countOf(1), nullptr, 0});
    steps.push_back({profile.read, [taken, this](const QByteArray &reply) {
                         const Readings::Parsed parsed = Readings::parseReply(reply);
                         if (!parsed.error.isEmpty() || parsed.readings.isEmpty())
                             return session.readErrorQueue(parsed.error.isEmpty() ? QStringLiteral("meter answered no reading")
                                                                                  : parsed.error, {});
                         *taken = parsed.readings.first();
                         taken->arrivedAt = Readings::now();
                         return QString();
                     }, deadlineFor(settings.nplc, 1)});
    if (counted)
        steps.push_back({countOf(settings.samples), nullptr, 0});
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
