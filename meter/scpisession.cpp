#include "meter/scpisession.h"

#include <QRegularExpression>

namespace {

constexpr int errorQueueLimit = 20;

// A line as a message may quote it: printable, and not too long.
QString quoted(const QByteArray &line)
{
    static const QRegularExpression unprintable(QStringLiteral("[^\\x20-\\x7e]"));
    QString text = QString::fromLatin1(line.left(80).constData(), std::min(80, int(line.size())));
    return text.replace(unprintable, QStringLiteral("?")) + (line.size() > 80 ? QStringLiteral("…") : QString());
}

} // namespace

ScpiSession::ScpiSession(std::unique_ptr<MeterLink> instrumentLink, const QString &instrumentName, const QString &errorQueueQuery,
                         QObject *parent)
    : QObject(parent)
    , link(std::move(instrumentLink))
    , instrument(instrumentName)
    , errorQuery(errorQueueQuery)
{
    deadline.setSingleShot(true);
    // A coarse timer may fire 5% early; an instrument is given its whole time.
    deadline.setTimerType(Qt::PreciseTimer);
    connect(&deadline, &QTimer::timeout, this, &ScpiSession::missDeadline);
    advanceTimer.setSingleShot(true);
    connect(&advanceTimer, &QTimer::timeout, this, &ScpiSession::advance);
    connect(link.get(), &MeterLink::opened, this, &ScpiSession::linkOpened);
    connect(link.get(), &MeterLink::linesReceived, this, &ScpiSession::takeLines);
    connect(link.get(), &MeterLink::failed, this, &ScpiSession::linkFailed);
}

bool ScpiSession::isNoError(const QByteArray &reply)
{
    const QByteArray code = reply.split(',').first().trimmed();
    bool ok = false;
    return code.toInt(&ok) == 0 && ok;
}

void ScpiSession::run(std::deque<Step> queued, std::function<void()> done)
{
    steps = std::move(queued);
    whenDone = std::move(done);
    operating = true;
    advanceTimer.start(0);
}

void ScpiSession::abort()
{
    // Only a reply still on its way makes the link untrustworthy.
    if (state == State::AwaitingReply || state == State::Connecting)
        link->discardLateReplies();
    clear();
}

void ScpiSession::close(const QStringList &closingCommands)
{
    if (state == State::AwaitingReply || state == State::Connecting)
        link->discardLateReplies();
    clear();
    state = State::Closing;
    closing = closingCommands;
    closing.removeAll(QString());
    if (closing.isEmpty() || !everOpened) {
        link->close();
        finishClosing();
    } else if (link->isOpen()) {
        sendClosingCommands();
    } else {
        deadline.start(connectDeadline);
        link->open();
    }
}

void ScpiSession::advance()
{
    if (state == State::Closing) {
        sendClosingCommands();
        return;
    }
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
            if (commandPause > 0) {
                advanceTimer.start(commandPause);
                return;
            }
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

void ScpiSession::takeLines(const QList<QByteArray> &lines)
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
    if (lines.size() > 1) {
        failure = QStringLiteral("%1 answered %2 with %3 lines, one was asked for").arg(instrument, answered.command).arg(lines.size());
    } else if (lines.first().contains('\0')) {
        failure = QStringLiteral("%1's answer to %2 holds a NUL byte: \"%3\"").arg(instrument, answered.command, quoted(lines.first()));
    }
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
    advanceTimer.start(0);
}

void ScpiSession::linkOpened()
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

void ScpiSession::linkFailed(const QString &reason)
{
    if (state == State::Closing)
        finishClosing();
    else
        fail(QStringLiteral("%1; check %2").arg(reason, link->whatToCheck()));
}

void ScpiSession::missDeadline()
{
    switch (state) {
    case State::Connecting:
        link->discardLateReplies();
        fail(QStringLiteral("%1 at %2 did not answer a connection within %3 s; check %4")
                 .arg(instrument, link->description()).arg(connectDeadline / 1000).arg(link->whatToCheck()));
        break;
    case State::AwaitingReply: {
        const QString reason = QStringLiteral("%1 did not answer %2 within %3 s; check %4")
                                   .arg(instrument, query.command).arg(query.deadline / 1000.0, 0, 'f', 1).arg(link->whatToCheck());
        link->discardLateReplies();
        fail(reason);
        break;
    }
    case State::Closing:
        link->close();
        finishClosing();
        break;
    case State::Idle:
        break;
    }
}

void ScpiSession::fail(const QString &reason)
{
    const bool busy = operating || state != State::Idle;
    clear();
    if (busy)
        emit failed(reason);
}

QString ScpiSession::readErrorQueue(const QString &failure, const QStringList &found)
{
    const QString everything = found.isEmpty() ? failure
                                               : QStringLiteral("%1; the %2 reports: %3").arg(failure, instrument, found.join(QLatin1String("; ")));
    if (errorQuery.isEmpty() || found.size() >= errorQueueLimit)
        return everything;
    whenDone = nullptr;
    steps = {};
    steps.push_back({errorQuery, [this, failure, found, everything](const QByteArray &reply) {
                         return isNoError(reply) ? everything
                                                 : readErrorQueue(failure, QStringList(found) << QString::fromLatin1(reply).trimmed());
                     }, queryDeadline});
    return QString();
}

void ScpiSession::warnOfStray(const QByteArray &line)
{
    if (warned || state == State::Closing)
        return;
    warned = true;
    emit warning(QStringLiteral("%1 sent \"%2\" when nothing was asked; ignored").arg(instrument, quoted(line)));
}

void ScpiSession::sendClosingCommands()
{
    while (!closing.isEmpty()) {
        link->writeLine(closing.takeFirst().toLatin1());
        if (commandPause > 0 && !closing.isEmpty()) {
            advanceTimer.start(commandPause);
            return;
        }
    }
    link->close();
    finishClosing();
}

void ScpiSession::finishClosing()
{
    if (state != State::Closing)
        return;
    state = State::Idle;
    deadline.stop();
    QTimer::singleShot(0, this, &ScpiSession::closed);
}

void ScpiSession::clear()
{
    state = State::Idle;
    deadline.stop();
    advanceTimer.stop();
    steps.clear();
    whenDone = nullptr;
    query = Step();
    operating = false;
}
