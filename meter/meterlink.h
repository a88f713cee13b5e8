#ifndef METERLINK_H
#define METERLINK_H

#include "meter/meteraddress.h"

#include <QByteArray>
#include <QList>
#include <QObject>

#include <memory>

// Splits what a meter sends into reply lines: LF ends a line, a CR before it
// is dropped. Each byte is looked at once, and a line may not grow past
// longestLine, which is far above any list of readings.
class LineFramer
{
public:
    static constexpr int longestLine = 64 * 1024;

    // The complete lines in what has arrived so far; *overflow when a line
    // grew past the longest (what was held of it is dropped).
    QList<QByteArray> feed(const QByteArray &bytes, bool *overflow);
    void clear();

private:
    QByteArray partial;
};

// A line-oriented link to a meter that never blocks the event loop: lines
// go out with an LF; what comes back is handed over as the complete lines of
// each read. A link that fails says why through failed() and stays closed
// until it is opened again.
class MeterLink : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // A link for a tcp, serial or usbtmc address (not for manual).
    static std::unique_ptr<MeterLink> create(const MeterAddress &address);

    virtual void open() = 0;             // then opened() or failed()
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    virtual void writeLine(const QByteArray &line) = 0;
    // Takes in whatever has arrived and not been handed over yet, and drops
    // it: the complete lines are returned, a partial one is forgotten.
    virtual QList<QByteArray> drain() = 0;
    // Forgets any reply still on its way, so a late one is not taken as the
    // answer to the next query: a socket or serial line is dropped, a USBTMC
    // device cleared. open() again before the next line.
    virtual void discardLateReplies() = 0;
    virtual QString description() const = 0;
    // What to look at when the instrument does not answer over this link.
    virtual QString whatToCheck() const = 0;
    // Only the USBTMC driver times replies itself; the others are timed by
    // the caller. Set before the query is written.
    virtual void setReplyTimeout(int milliseconds) { Q_UNUSED(milliseconds) }

signals:
    void opened();
    void linesReceived(const QList<QByteArray> &lines);   // the complete lines of one read
    void failed(const QString &reason);

protected:
    // What a link read: its complete lines go out through linesReceived().
    void deliver(const QByteArray &bytes);
    // The complete lines in what a link read while draining.
    QList<QByteArray> frameDrained(const QByteArray &bytes);
    void forgetPartialReply();

private:
    bool frame(const QByteArray &bytes, QList<QByteArray> *lines);

    LineFramer framer;
    bool flooded = false;
};

#endif // METERLINK_H
