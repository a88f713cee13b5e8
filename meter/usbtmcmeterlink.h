#ifndef USBTMCMETERLINK_H
#define USBTMCMETERLINK_H

#include "meter/meterlink.h"

#include <memory>

// A meter behind the Linux usbtmc driver: each write() is one message, and a
// read() returns the whole reply or fails at the driver's timeout. The read
// blocks, so it runs on a thread of its own and hands its reply back here.
// Nothing waits for a read: one that is no longer wanted keeps the device
// open until it returns, and its reply is dropped.
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
    QList<QByteArray> drain() override;
    void discardLateReplies() override;
    QString description() const override;
    QString whatToCheck() const override;

    // The driver takes no less than 100 ms.
    void setReplyTimeout(int milliseconds) override;

private:
    struct Device;
    struct Mailbox;
    void takeReply(quint64 read, const QByteArray &bytes, int error);

    QString devicePath;
    std::shared_ptr<Device> device;
    std::shared_ptr<Mailbox> mailbox;
    quint64 reads = 0;   // the number of the read whose reply is wanted
    int replyTimeout = 1000;
};

#endif // USBTMCMETERLINK_H
