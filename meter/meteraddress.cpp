#include "meter/meteraddress.h"

#include <QHostAddress>
#include <QRegularExpression>

namespace {

constexpr quint16 scpiSocketPort = 5025;
constexpr qint32 defaultBaudRate = 9600;

bool parseTcp(const QString &rest, MeterAddress &address)
{
    // [v6]:port, [v6], host:port or host
    static const QRegularExpression form(QStringLiteral("^(?:\\[([0-9A-Fa-f:.]+)\\]|([^:\\[\\]]+))(?::(\\d{1,5}))?$"));
    const QRegularExpressionMatch match = form.match(rest);
    if (!match.hasMatch())
        return false;
    const bool bracketed = !match.captured(1).isEmpty();
    address.host = bracketed ? match.captured(1) : match.captured(2);
    if (bracketed && QHostAddress(address.host).protocol() != QAbstractSocket::IPv6Protocol)
        return false;
    const uint port = match.captured(3).isEmpty() ? scpiSocketPort : match.captured(3).toUInt();
    if (port == 0 || port > 65535)
        return false;
    address.port = quint16(port);
    return true;
}

bool parseSerial(const QString &rest, MeterAddress &address)
{
    static const QRegularExpression form(QStringLiteral("^([^@]+)(?:@(\\d{1,7}))?$"));
    const QRegularExpressionMatch match = form.match(rest);
    if (!match.hasMatch())
        return false;
    address.device = match.captured(1);
    address.baudRate = match.captured(2).isEmpty() ? defaultBaudRate : match.captured(2).toInt();
    return address.baudRate > 0;
}

#ifndef Q_OS_WIN
bool parseUsbtmc(const QString &rest, MeterAddress &address)
{
    if (!rest.startsWith(QLatin1Char('/')))
        return false;
    address.device = rest;
    return true;
}
#endif

} // namespace

QString MeterAddress::acceptedForms()
{
#ifdef Q_OS_WIN
    return QStringLiteral("tcp:HOST[:PORT] (tcp:[::1]:5025 for IPv6), serial:COMn[@BAUD], ppk2:COMn, ppk2:auto, manual");
#else
    return QStringLiteral("tcp:HOST[:PORT] (tcp:[::1]:5025 for IPv6), serial:PORT[@BAUD], usbtmc:/dev/usbtmcN, ppk2:PORT, ppk2:auto, manual");
#endif
}

std::optional<MeterAddress> MeterAddress::parse(const QString &text, QString *error)
{
    MeterAddress address;
    const int colon = text.indexOf(QLatin1Char(':'));
    const QString scheme = text.left(colon);
    const QString rest = text.mid(colon + 1);
    bool ok = false;
    if (text == QLatin1String("manual")) {
        address.kind = Manual;
        ok = true;
    } else if (colon > 0 && scheme == QLatin1String("tcp")) {
        address.kind = Tcp;
        ok = parseTcp(rest, address);
    } else if (colon > 0 && scheme == QLatin1String("serial")) {
        address.kind = Serial;
        ok = parseSerial(rest, address);
    } else if (colon > 0 && scheme == QLatin1String("usbtmc")) {
#ifdef Q_OS_WIN
        // Linux's usbtmc driver has no counterpart here.
        if (error)
            *error = QStringLiteral("usbtmc: is Linux's USB meter driver; on Windows give the meter's LAN address (tcp:HOST) "
                                    "or its serial port (serial:COMn)");
        return std::nullopt;
#else
        address.kind = Usbtmc;
        ok = parseUsbtmc(rest, address);
#endif
    } else if (colon > 0 && scheme == QLatin1String("ppk2")) {
        address.kind = Ppk2;
        address.device = rest;
        ok = !rest.isEmpty();
    }
    if (ok)
        return address;
    if (error)
        *error = QStringLiteral("malformed meter address \"%1\"; use one of: %2").arg(text, acceptedForms());
    return std::nullopt;
}
