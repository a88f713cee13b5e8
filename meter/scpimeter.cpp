#include "meter/scpimeter.h"

#include <QRegularExpression>

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

// A line as a message may quote it: printable, and not too long.
QString quoted(const QByteArray &line)
{
    static const QRegularExpression unprintable(QStringLiteral("[^\\x20-\\x7e]"));
    QString text = QString::fromLatin1(line.left(80).constData(), std::min(80, int(line.size())));
    return text.replace(unprintable, QStringLiteral("?")) + (line.size() > 80 ? QStringLiteral("…") : QString());
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
    advanceTimer.setSingleShot(true);
    advanceTimer.setInterval(0);
    connect(&advanceTimer, &QTimer::timeout, this, &ScpiMeter::advance);
    connect(link.get(), &MeterLink::opened, this, &ScpiMeter::linkOpened);
    connect(link.get(), &MeterLink::linesReceived, this, &ScpiMeter::takeLines);
    connect(link.get(), &MeterLink::failed, this, &ScpiMeter::linkFailed);
}

int ScpiMeter::deadlineFor(double nplc, int samples)
{
    const double needed = samples * nplc * powerLineCycleSeconds * 2;
    return int(std::ceil((2 * needed + 1) * 1000));
}

void ScpiMeter::start()
{
    std::deque<Step> connecting;
    for (const QString &command : profile.onConnect)
        connecting.push_back({command, nullptr, 0});
    auto identity = std::make_shared<QString>();
    connecting.push_back({profile.identify, [identity](const QByteArray &reply) {
                              *identity = QString::fromLatin1(reply).trimmed();
                              return QString();
                          }, deadlineFor(0, 0)});
    run(std::move(connecting), [this, identity] { emit ready(*identity); });
}

void ScpiMeter::configure(const MeterSettings &wanted)
{
    settings = wanted;
    warned = false;
    std::deque<Step> configuring;
    for (const QString &command : profile.configuration(settings.range, settings.nplc, settings.samples))
        configuring.push_back({command, nullptr, 0});
    configuring.push_back({profile.errorQuery, [this](const QByteArray &reply) {
                               return isNoError(reply) ? QString()
                                                       : readErrorQueue(QStringLiteral("meter refused its configuration"),
                                                                        {QString::fromLatin1(reply).trimmed()});
                           }, deadlineFor(0, 0)});
    run(std::move(configuring), [this] { emit configured(); });
}

void ScpiMeter::measure()
{
    auto readings = std::make_shared<QList<Reading>>();
    const int samples = settings.samples;
    run({{profile.read, [readings, samples, this](const QByteArray &reply) {
              Readings::Parsed parsed = Readings::parseReply(reply);
              if (!parsed.error.isEmpty())
                  return readErrorQueue(parsed.error, {});
              if (parsed.readings.size() != samples) {
                  return readErrorQueue(QStringLiteral("meter answered %1 readings to %2, %3 were asked for")
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

void ScpiMeter::finish()
{
    // A meter busy with a query is cleared first: its link is dropped (a
    // USBTMC device cleared) and a new one carries the closing commands.
    if (state == State::AwaitingReply || state == State::Connecting)
        link->discardLateReplies();
    clear();
    state = State::Closing;
    if (profile.onClose.isEmpty() || !everOpened) {
        link->close();
        closed();
    } else if (link->isOpen()) {
        sendClosingCommands();
    } else {
        deadline.start(connectDeadline);
        link->open();
    }
}

void ScpiMeter::abort()
{
    // Only a reply still on its way makes the link untrustworthy.
    if (state == State::AwaitingReply || state == State::Connecting)
        link->discardLateReplies();
    clear();
}

void ScpiMeter::run(std::deque<Step> queued, std::function<void()> done)
{
    steps = std::move(queued);
    whenDone = std::move(done);
    operating = true;
    advanceTimer.start();
}

void ScpiMeter::advance()
{
    if (state != State::Idle)
        return;
    if (!link->isOpen()) {
        state = State::Connecting;
        deadline.start(connectDeadline);
        link->open();
        return;
    }
    // Whatever came unasked is not the answer to what is asked next.
    for (const QByteArray &line : link->drain())
        warnOfStray(line);
    while (!steps.empty()) {
        Step step = std::move(steps.front());
        steps.pop_front();
        if (step.command.isEmpty())
            continue;
        if (!step.onReply) {
            link->writeLine(step.command.toLatin1());
            continue;
        }
        // Before the query: the USBTMC link starts reading as it writes.
        link->setReplyTimeout(step.deadline);
        link->writeLine(step.command.toLatin1());
        query = std::move(step);
        state = State::AwaitingReply;
        deadline.start(query.deadline);
        return;
    }
    operating = false;
    if (auto done = std::exchange(whenDone, nullptr))
        done();
}

void ScpiMeter::takeLines(const QList<QByteArray> &lines)
{
    if (state != State::AwaitingReply) {
        for (const QByteArray &line : lines)
            warnOfStray(line);
        return;
    }
    deadline.stop();
    state = State::Idle;
    const Step answered = std::exchange(query, Step());
    QString failure;
    if (lines.size() > 1)
        failure = QStringLiteral("meter answered %1 with %2 lines, one was asked for").arg(answered.command).arg(lines.size());
    else if (lines.first().contains('\0'))
        failure = QStringLiteral("meter's answer to %1 holds a NUL byte: \"%2\"").arg(answered.command, quoted(lines.first()));
    if (!failure.isEmpty()) {
        link->discardLateReplies();
        fail(failure);
        return;
    }
    failure = answered.onReply(lines.first());
    if (!failure.isEmpty()) {
        fail(failure);
        return;
    }
    advanceTimer.start();
}

void ScpiMeter::linkOpened()
{
    deadline.stop();
    everOpened = true;
    if (state == State::Closing) {
        sendClosingCommands();
    } else if (state == State::Connecting) {
        state = State::Idle;
        advance();
    }
}

void ScpiMeter::linkFailed(const QString &reason)
{
    if (state == State::Closing)
        closed();
    else
        fail(reason);
}

void ScpiMeter::missDeadline()
{
    switch (state) {
    case State::Connecting:
        link->discardLateReplies();
        fail(QStringLiteral("meter at %1 did not answer a connection within %2 s")
                 .arg(link->description()).arg(connectDeadline / 1000));
        break;
    case State::AwaitingReply: {
        const QString reason = QStringLiteral("meter did not answer %1 within %2 s")
                                   .arg(query.command).arg(query.deadline / 1000.0, 0, 'f', 1);
        link->discardLateReplies();
        fail(reason);
        break;
    }
    case State::Closing:
        link->close();
        closed();
        break;
    case State::Idle:
        break;
    }
}

void ScpiMeter::fail(const QString &reason)
{
    const bool busy = operating || state != State::Idle;
    clear();
    if (busy)
        emit failed(reason);
}

// Asks the meter for its error queue until it is empty (at most 20 times),
// then fails with the failure and every error the meter listed. Without a
// query for it, the failure stands at once.
QString ScpiMeter::readErrorQueue(const QString &failure, const QStringList &found)
{
    const QString everything = found.isEmpty() ? failure
                                               : QStringLiteral("%1; the meter reports: %2").arg(failure, found.join(QLatin1String("; ")));
    if (profile.errorQuery.isEmpty() || found.size() >= errorQueueLimit)
        return everything;
    whenDone = nullptr;
    steps = {};
    steps.push_back({profile.errorQuery, [this, failure, found, everything](const QByteArray &reply) {
                         return isNoError(reply) ? everything
                                                 : readErrorQueue(failure, QStringList(found) << QString::fromLatin1(reply).trimmed());
                     }, deadlineFor(0, 0)});
    return QString();
}

void ScpiMeter::warnOfStray(const QByteArray &line)
{
    if (warned || state == State::Closing)
        return;
    warned = true;
    emit warning(QStringLiteral("meter sent \"%1\" when nothing was asked; ignored").arg(quoted(line)));
}

void ScpiMeter::sendClosingCommands()
{
    for (const QString &command : profile.onClose)
        link->writeLine(command.toLatin1());
    link->close();
    closed();
}

void ScpiMeter::closed()
{
    if (state != State::Closing)
        return;
    state = State::Idle;
    deadline.stop();
    QTimer::singleShot(0, this, &Meter::finished);
}

void ScpiMeter::clear()
{
    state = State::Idle;
    deadline.stop();
    advanceTimer.stop();
    steps.clear();
    whenDone = nullptr;
    query = Step();
    operating = false;
}
