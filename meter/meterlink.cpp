#include "meter/meterlink.h"

#include "meter/serialmeterlink.h"
#include "meter/tcpmeterlink.h"
#include "meter/usbtmcmeterlink.h"

QList<QByteArray> LineFramer::feed(const QByteArray &bytes)
{
    partial += bytes;
    QList<QByteArray> lines;
    int end;
    while ((end = partial.indexOf('\n')) >= 0) {
        QByteArray line = partial.left(end);
        if (line.endsWith('\r'))
            line.chop(1);
        lines << line;
        partial.remove(0, end + 1);
    }
    return lines;
}

void LineFramer::clear()
{
    partial.clear();
}

void MeterLink::deliver(const QByteArray &bytes)
{
    for (const QByteArray &line : framer.feed(bytes))
        emit lineReceived(line);
}

void MeterLink::forgetPartialReply()
{
    framer.clear();
}

std::unique_ptr<MeterLink> MeterLink::create(const MeterAddress &address)
{
    switch (address.kind) {
    case MeterAddress::Tcp:
        return std::make_unique<TcpMeterLink>(address.host, address.port);
    case MeterAddress::Serial:
        return std::make_unique<SerialMeterLink>(address.device, address.baudRate);
    case MeterAddress::Usbtmc:
        return std::make_unique<UsbtmcMeterLink>(address.device);
    case MeterAddress::Manual:
        break;
    }
    return nullptr;
}
