#ifndef SCPISESSION_H
#define SCPISESSION_H

#include "meter/meterlink.h"

#include <QTimer>

#include <deque>
#include <functional>
#include <memory>

// An SCPI conversation with one instrument over a link, as a session in one
// of four states: idle, connecting, awaiting the reply to a named query, or
// closing. Every connect and every query has a deadline, and an instrument
// that misses one is dropped. A line that comes when no query is pending is
// dropped with a warning, a reply of more lines than its query asks for is
// malformed, and the next command is sent from the event loop, never from
// inside the delivery of a line, so no late or stray line is ever taken for
// an answer. Meters and supplies each hold one.
class ScpiSession : public QObject
{
    Q_OBJECT

public:
    // What a reply means: why it is a failure, or an empty string to go on.
    using ReplyHandler = std::function<QString(const QByteArray &reply)>;
    struct Step
    {
        QString command;        // empty: not sent
        ReplyHandler onReply;   // none: a command without a reply
        int deadline = 0;
    };

    // `instrument` names it in messages ("meter", "supply"); `errorQuery`
    // reads its error queue, or is empty where it has none.
    ScpiSession(std::unique_ptr<MeterLink> link, const QString &instrument, const QString &errorQuery, QObject *parent = nullptr);

    // Sends the steps in order, connecting first where the link is closed,
    // then calls `done`; or says failed().
    void run(std::deque<Step> steps, std::function<void()> done);
    // For a reply handler that found a failure: asks for the error queue
    // until it is empty (at most 20 times) and fails with the failure and
    // every error listed. Returns the failure at once where there is no
    // error query, else an empty string while the queue is read.
    QString readErrorQueue(const QString &failure, const QStringList &found);
    // Stops waiting for whatever is under way; no signal follows.
    void abort();
    // Sends the closing commands where the instrument was ever reached,
    // clearing a busy one first (its link is dropped, a USBTMC device
    // cleared, and a new link carries them); then closed(), never failed().
    void close(const QStringList &closingCommands);
    // A pause after every command without a reply, for an instrument that
    // reads no input while it carries one out.
    void setCommandPause(int milliseconds) { commandPause = milliseconds; }
    // A stray line is warned about once until this is called again.
    void warnAgain() { warned = false; }
    QString description() const { return link->description(); }

    // "+0,"No error"" and "0" both mean an empty error queue.
    static bool isNoError(const QByteArray &reply);
    // For a query that measures nothing, such as *IDN? or SYST:ERR?.
    static constexpr int queryDeadline = 1000;
    static constexpr int connectDeadline = 5000;

signals:
    void failed(const QString &reason);
    void warning(const QString &text);
    void closed();

private:
    enum class State { Idle, Connecting, AwaitingReply, Closing };

    void advance();
    void takeLines(const QList<QByteArray> &lines);
    void linkOpened();
    void linkFailed(const QString &reason);
    void missDeadline();
    void fail(const QString &reason);
    void warnOfStray(const QByteArray &line);
    void sendClosingCommands();
    void finishClosing();
    void clear();

    std::unique_ptr<MeterLink> link;
    QString instrument;
    QString errorQuery;
    State state = State::Idle;
    std::deque<Step> steps;
    std::function<void()> whenDone;
    Step query;               // awaiting its reply
    QStringList closing;
    QTimer deadline;
    QTimer advanceTimer;      // sends what is next from the event loop
    bool operating = false;   // a run has not ended yet
    bool everOpened = false;
    bool warned = false;
    int commandPause = 0;
};

#endif // SCPISESSION_H
