#ifndef USBTMCMETERLINK_H
#define USBTMCMETERLINK_H

#include "meter/meterlink.h"

#include <QFutureWatcher>

// A meter behind the Linux usbtmc driver: each write() is one message, and a
// read() returns the whole reply or fails at the driver's timeout. The read
// blocks, so it runs on a pool thread and its reply is handed back here.
class UsbtmcMeterLink : public MeterLink
{
    Q_OBJECT

public:
    explicit UsbtmcMeterLink(const QString &devicePath, QObject *parent = nullptr);
    ~UsbtmcMeterLink() override;

    void open() override;
    void close() override;
    bool isOpen() const override;
    // A line with a '?' is a query: its reply is read at once.
    void writeLine(const QByteArray &line) override;
    void discardLateReplies() override;
    QString description() const override;

    // The driver takes no less than 100 ms.
    void setReplyTimeout(int milliseconds) override;

private:
    struct Reply
    {
        QByteArray bytes;
        int error = 0;
    };
    void takeReply();

    QString devicePath;
    int fd = -1;
    QFutureWatcher<Reply> pendingRead;
    int replyTimeout = 1000;
};

#endif // USBTMCMETERLINK_H
