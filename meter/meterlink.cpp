#include "meter/meterlink.h"

#include "meter/serialmeterlink.h"
#include "meter/tcpmeterlink.h"
#ifndef Q_OS_WIN
#include "meter/usbtmcmeterlink.h"
#endif

#include <QTimer>

QList<QByteArray> LineFramer::feed(const QByteArray &bytes, bool *overflow)
{
    *overflow = false;
    QList<QByteArray> lines;
    int start = 0;
    for (int end = bytes.indexOf('\n'); end >= 0; end = bytes.indexOf('\n', start)) {
        QByteArray line = partial + bytes.mid(start, end - start);
        partial.clear();
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.size() > longestLine) {
            *overflow = true;
            return lines;
        }
        lines << line;
        start = end + 1;
    }
    partial += bytes.mid(start);
    if (partial.size() > longestLine) {
        partial.clear();
        *overflow = true;
    }
    return lines;
}

void LineFramer::clear()
{
    partial.clear();
}

bool MeterLink::frame(const QByteArray &bytes, QList<QByteArray> *lines)
{
    if (flooded)
        return false;
    bool overflow = false;
    *lines = framer.feed(bytes, &overflow);
    if (!overflow)
        return true;
    // Everything up to the next open is ignored. Dropped from the event
    // loop: a transport is not closed inside its own notification.
    flooded = true;
    QTimer::singleShot(0, this, [this] {
        discardLateReplies();
        emit failed(QStringLiteral("meter at %1 sent a line longer than %2 KiB").arg(description()).arg(LineFramer::longestLine / 1024));
    });
    return false;
}

void MeterLink::deliver(const QByteArray &bytes)
{
    QList<QByteArray> lines;
    if (frame(bytes, &lines) && !lines.isEmpty())
        emit linesReceived(lines);
}

QList<QByteArray> MeterLink::frameDrained(const QByteArray &bytes)
{
    QList<QByteArray> lines;
    frame(bytes, &lines);
    framer.clear();
    return lines;
}

void MeterLink::forgetPartialReply()
{
    framer.clear();
    flooded = false;
}

std::unique_ptr<MeterLink> MeterLink::create(const MeterAddress &address)
{
    switch (address.kind) {
    case MeterAddress::Tcp:
        return std::make_unique<TcpMeterLink>(address.host, address.port);
    case MeterAddress::Serial:
        return std::make_unique<SerialMeterLink>(address.device, address.baudRate);
    case MeterAddress::Usbtmc:
#ifdef Q_OS_WIN
        break;   // refused as an address here
#else
        return std::make_unique<UsbtmcMeterLink>(address.device);
#endif
    case MeterAddress::Manual:
    case MeterAddress::Ppk2:   // speaks no SCPI: the box has its own driver
        break;
    }
    return nullptr;
}
