#include "supply/scpisupply.h"

ScpiSupply::ScpiSupply(std::unique_ptr<MeterLink> link, const SupplyProfile &supplyProfile, QObject *parent)
    : Supply(parent)
    , session(std::move(link), QStringLiteral("supply"), supplyProfile.filled(supplyProfile.errorQuery))
    , profile(supplyProfile)
{
    connect(&session, &ScpiSession::failed, this, &Supply::failed);
    connect(&session, &ScpiSession::warning, this, &Supply::warning);
    connect(&session, &ScpiSession::closed, this, &Supply::finished);
}

void ScpiSupply::start()
{
    std::deque<ScpiSession::Step> connecting;
    for (const QString &command : profile.onConnect)
        connecting.push_back({profile.filled(command), nullptr, 0});
    auto identity = std::make_shared<QString>();
    connecting.push_back({profile.filled(profile.identify), [identity](const QByteArray &reply) {
                              *identity = QString::fromLatin1(reply).trimmed();
                              return QString();
                          }, ScpiSession::queryDeadline});
    session.run(std::move(connecting), [this, identity] { emit ready(*identity); });
}

ScpiSession::Step ScpiSupply::errorCheck(const QString &what)
{
    return {profile.filled(profile.errorQuery), [this, what](const QByteArray &reply) {
                return ScpiSession::isNoError(reply) ? QString()
                                                     : session.readErrorQueue(QStringLiteral("supply refused %1").arg(what),
                                                                              {QString::fromLatin1(reply).trimmed()});
            }, ScpiSession::queryDeadline};
}

void ScpiSupply::apply(double volts, double amps)
{
    session.warnAgain();
    std::deque<ScpiSession::Step> steps;
    for (const QString &command : {profile.clear, profile.setCurrentLimit, profile.setVoltage, profile.outputOn})
        steps.push_back({profile.filled(command, volts, amps), nullptr, 0});
    steps.push_back(errorCheck(QStringLiteral("%1 V with a limit of %2").arg(Numbers::format(volts), Readings::formatAmperes(amps))));
    session.run(std::move(steps), [this] { emit applied(); });
}

void ScpiSupply::switchOff()
{
    session.run({{profile.filled(profile.outputOff), nullptr, 0}, errorCheck(QStringLiteral("to switch its output off"))},
                [this] { emit switchedOff(); });
}

ScpiSession::Step ScpiSupply::numberQuery(const QString &command, std::function<void(const Reading &)> take)
{
    const QString filled = profile.filled(command);
    return {filled, [this, filled, take](const QByteArray &reply) {
                const Readings::Parsed parsed = Readings::parseReply(reply);
                if (!parsed.error.isEmpty())
                    return session.readErrorQueue(QStringLiteral("supply's answer to %1: %2").arg(filled, parsed.error), {});
                if (parsed.readings.size() != 1) {
                    return session.readErrorQueue(QStringLiteral("supply answered %1 numbers to %2, one was asked for")
                                                      .arg(parsed.readings.size()).arg(filled), {});
                }
                Reading reading = parsed.readings.first();
                reading.arrivedAt = Readings::now();
                take(reading);
                return QString();
            }, ScpiSession::queryDeadline};
}

void ScpiSupply::measureVoltage()
{
    if (profile.measureVoltage.isEmpty()) {
        QMetaObject::invokeMethod(this, [this] { emit voltageMeasured(std::nullopt); }, Qt::QueuedConnection);
        return;
    }
    auto volts = std::make_shared<std::optional<double>>();
    session.run({numberQuery(profile.measureVoltage, [volts](const Reading &reading) {
                    if (!reading.overload)
                        *volts = reading.amperes;   // a number, whatever its unit
                })},
                [this, volts] {
                    if (*volts)
                        emit voltageMeasured(*volts);
                    else
                        emit failed(QStringLiteral("supply read its voltage as an overload"));
                });
}

void ScpiSupply::measureCurrent()
{
    auto current = std::make_shared<Reading>();
    session.run({numberQuery(profile.measureCurrent, [current](const Reading &reading) { *current = reading; })},
                [this, current] { emit currentMeasured(*current); });
}

void ScpiSupply::finish()
{
    session.close(profile.closing());
}

void ScpiSupply::abort()
{
    session.abort();
}
