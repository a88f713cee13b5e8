#ifndef METERLINK_H
#define METERLINK_H

#include "meter/meteraddress.h"

#include <QByteArray>
#include <QObject>

#include <memory>

// Splits what a meter sends into reply lines: LF ends a line, a CR before it
// is dropped. Each transport feeds it the bytes it reads.
class LineFramer
{
public:
    // The complete lines in what has arrived so far.
    QList<QByteArray> feed(const QByteArray &bytes);
    void clear();

private:
    QByteArray partial;
};

// A line-oriented link to a meter that never blocks the event loop: lines
// go out with an LF, replies come back through lineReceived(). A link that
// fails says why through failed() and stays closed until it is opened again.
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
    // Forgets any reply still on its way, so a late one is not taken as the
    // answer to the next query: a socket or serial line is dropped, a USBTMC
    // device cleared. open() again before the next line.
    virtual void discardLateReplies() = 0;
    virtual QString description() const = 0;
    // Only the USBTMC driver times replies itself; the others are timed by
    // the caller.
    virtual void setReplyTimeout(int milliseconds) { Q_UNUSED(milliseconds) }

signals:
    void opened();
    void lineReceived(const QByteArray &line);
    void failed(const QString &reason);

protected:
    // What a link read: each complete line goes out through lineReceived().
    void deliver(const QByteArray &bytes);
    void forgetPartialReply();

private:
    LineFramer framer;
};

#endif // METERLINK_H
