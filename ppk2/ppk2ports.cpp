#include "ppk2/ppk2ports.h"

#include "ppk2/ppk2protocol.h"

#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSerialPortInfo>

namespace {

// The USB interface a serial port is, as Linux gives it; other systems
// list a box's data port first.
int interfaceNumber(const QSerialPortInfo &port)
{
    QFile number(QStringLiteral("/sys/class/tty/%1/device/bInterfaceNumber").arg(port.portName()));
    bool ok = false;
    const int value = number.open(QIODevice::ReadOnly) ? number.readAll().trimmed().toInt(&ok, 16) : 0;
    return ok ? value : 0;
}

} // namespace

namespace Ppk2Ports {

QStringList dataPortsAmong(const QList<UsbPort> &ports)
{
    // By serial number: each box once, at its lowest interface.
    QMap<QString, UsbPort> boxes;
    for (const UsbPort &port : ports) {
        if (port.vendorId != Ppk2::vendorId || port.productId != Ppk2::productId)
            continue;
        const QString box = port.serialNumber.isEmpty() ? port.location : port.serialNumber;
        if (!boxes.contains(box) || port.interfaceNumber < boxes.value(box).interfaceNumber)
            boxes.insert(box, port);
    }
    QStringList found;
    for (const UsbPort &port : qAsConst(boxes))
        found << port.location;
    return found;
}

QStringList dataPorts()
{
    QList<UsbPort> ports;
    for (const QSerialPortInfo &port : QSerialPortInfo::availablePorts()) {
        ports << UsbPort {port.systemLocation(), port.hasVendorIdentifier() ? port.vendorIdentifier() : -1,
                          port.hasProductIdentifier() ? port.productIdentifier() : -1, port.serialNumber(), interfaceNumber(port)};
    }
    return dataPortsAmong(ports);
}

std::optional<QString> theOnlyBox(const QStringList &found, QString *error)
{
    if (found.size() == 1)
        return found.first();
    *error = found.isEmpty() ? QStringLiteral("no Power Profiler Kit II is connected (USB %1:%2)")
                                   .arg(Ppk2::vendorId, 4, 16, QLatin1Char('0')).arg(Ppk2::productId, 4, 16, QLatin1Char('0'))
                             : QStringLiteral("%1 Power Profiler Kit IIs are connected (%2): name one, ppk2:PORT")
                                   .arg(found.size()).arg(found.join(QLatin1String(", ")));
    return std::nullopt;
}

QString canonicalPort(const QString &port)
{
#ifdef Q_OS_WIN
    const QLatin1String device("\\\\.\\");
    return (port.startsWith(device) ? port.mid(device.size()) : port).toUpper();
#else
    const QString location = port.startsWith(QLatin1Char('/')) ? port : QStringLiteral("/dev/") + port;
    const QString canonical = QFileInfo(location).canonicalFilePath();
    return canonical.isEmpty() ? location : canonical;
#endif
}

bool resolve(MeterAddress &address, QString *error)
{
    if (address.kind != MeterAddress::Ppk2)
        return true;
    if (address.device != QLatin1String("auto")) {
        address.device = canonicalPort(address.device);
        return true;
    }
    const std::optional<QString> port = theOnlyBox(dataPorts(), error);
    if (port)
        address.device = canonicalPort(*port);
    return port.has_value();
}

} // namespace Ppk2Ports
