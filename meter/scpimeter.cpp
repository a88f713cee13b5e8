#include "meter/scpimeter.h"

#include <cmath>

namespace {

constexpr int errorQueueLimit = 20;
constexpr double powerLineCycleSeconds = 0.020;

// "+0,"No error"" and "0" both mean an empty error queue.
bool isNoError(const QByteArray &reply)
{
    const QByteArray code = reply.split(',').first().trimmed();
    bool ok = false;
    return code.toInt(&ok) == 0 && ok;
}

} // namespace

ScpiMeter::ScpiMeter(std::unique_ptr<MeterLink> meterLink, const MeterProfile &meterProfile, QObject *parent)
    : Meter(parent)
    , link(std::move(meterLink))
    , profile(meterProfile)
{
    deadline.setSingleShot(true);
    // A coarse timer may fire 5% early; a meter is given its whole time.
    deadline.setTimerType(Qt::PreciseTimer);
    connect(&deadline, &QTimer::timeout, this, &ScpiMeter::missDeadline);
    connect(link.get(), &MeterLink::opened, this, [this] {
        connecting = false;
        next();
    });
    connect(link.get(), &MeterLink::lineReceived, this, &ScpiMeter::takeLine);
    connect(link.get(), &MeterLink::failed, this, &ScpiMeter::fail);
}

int ScpiMeter::deadlineFor(double nplc, int samples)
{
    const double needed = samples * nplc * powerLineCycleSeconds * 2;
    return int(std::ceil((2 * needed + 1) * 1000));
}

void ScpiMeter::start()
{
    std::deque<Step> steps;
    for (const QString &command : profile.onConnect)
        steps.push_back({command, nullptr, 0});
    auto identity = std::make_shared<QString>();
    steps.push_back({profile.identify, [identity](const QByteArray &reply) {
                         *identity = QString::fromLatin1(reply).trimmed();
                         return QString();
                     }, deadlineFor(0, 0)});
    run(std::move(steps), [this, identity] { emit ready(*identity); });
}

void ScpiMeter::configure(const MeterSettings &wanted)
{
    settings = wanted;
    std::deque<Step> steps;
    for (const QString &command : profile.configuration(settings.range, settings.nplc, settings.samples))
        steps.push_back({command, nullptr, 0});
    steps.push_back({profile.errorQuery, [this](const QByteArray &reply) {
                         if (!isNoError(reply))
                             readErrorQueue(QStringLiteral("meter refused its configuration"),
                                            {QString::fromLatin1(reply).trimmed()});
                         return QString();
                     }, deadlineFor(0, 0)});
    run(std::move(steps), [this] { emit configured(); });
}

void ScpiMeter::measure()
{
    auto readings = std::make_shared<QList<Reading>>();
    const int samples = settings.samples;
    run({{profile.read, [readings, samples, this](const QByteArray &reply) {
              const Readings::Parsed parsed = Readings::parseReply(reply);
              if (!parsed.error.isEmpty())
                  return parsed.error;
              if (parsed.readings.size() != samples) {
                  return QStringLiteral("meter answered %1 readings to %2, %3 were asked for")
                      .arg(parsed.readings.size()).arg(profile.read).arg(samples);
              }
              *readings = parsed.readings;
              return QString();
          }, deadlineFor(settings.nplc, settings.samples)}},
        [this, readings] { emit measured(*readings); });
}

void ScpiMeter::finish()
{
    stop();
    if (link->isOpen()) {
        for (const QString &command : profile.onClose)
            link->writeLine(command.toLatin1());
        link->close();
    }
    QTimer::singleShot(0, this, &Meter::finished);
}

void ScpiMeter::abort()
{
    // Only a reply still on its way makes the link untrustworthy.
    const bool replyPending = awaiting.has_value();
    stop();
    if (replyPending)
        link->discardLateReplies();
}

void ScpiMeter::run(std::deque<Step> steps, std::function<void()> done)
{
    queue = std::move(steps);
    whenDone = std::move(done);
    next();
}

void ScpiMeter::next()
{
    if (!link->isOpen()) {
        if (!connecting) {
            connecting = true;
            link->open();
        }
        return;
    }
    while (!queue.empty()) {
        Step step = std::move(queue.front());
        queue.pop_front();
        if (step.command.isEmpty())
            continue;
        link->writeLine(step.command.toLatin1());
        if (step.onReply) {
            link->setReplyTimeout(step.deadline);
            deadline.start(step.deadline);
            awaiting = std::move(step);
            return;
        }
    }
    if (whenDone) {
        auto done = std::move(whenDone);
        whenDone = nullptr;
        done();
    }
}

void ScpiMeter::takeLine(const QByteArray &line)
{
    if (!awaiting)
        return;   // chatter between queries answers nothing
    deadline.stop();
    const Step step = std::move(*awaiting);
    awaiting.reset();
    const QString error = step.onReply(line);
    if (!error.isEmpty())
        readErrorQueue(error, {});
    next();
}

void ScpiMeter::missDeadline()
{
    const QString command = awaiting ? awaiting->command : QString();
    const double seconds = awaiting ? awaiting->deadline / 1000.0 : 0;
    stop();
    link->discardLateReplies();
    emit failed(QStringLiteral("meter did not answer %1 within %2 s").arg(command).arg(seconds, 0, 'f', 1));
}

void ScpiMeter::fail(const QString &reason)
{
    const bool busy = awaiting || whenDone || connecting;
    stop();
    if (busy)
        emit failed(reason);
}

// Asks the meter for its error queue until it is empty (at most 20 times),
// then fails with the failure and every error the meter listed.
void ScpiMeter::readErrorQueue(const QString &failure, const QStringList &found)
{
    queue.clear();
    const auto failWithAll = [this, failure, found] {
        emit failed(found.isEmpty() ? failure
                                    : QStringLiteral("%1; the meter reports: %2").arg(failure, found.join(QLatin1String("; "))));
    };
    if (found.size() >= errorQueueLimit) {
        whenDone = failWithAll;
        return;
    }
    queue.push_back({profile.errorQuery, [this, failure, found, failWithAll](const QByteArray &reply) {
                         if (isNoError(reply))
                             whenDone = failWithAll;
                         else
                             readErrorQueue(failure, QStringList(found) << QString::fromLatin1(reply).trimmed());
                         return QString();
                     }, deadlineFor(0, 0)});
}

void ScpiMeter::stop()
{
    deadline.stop();
    queue.clear();
    whenDone = nullptr;
    awaiting.reset();
    connecting = false;
}
