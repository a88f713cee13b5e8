#ifndef PPK2PORTS_H
#define PPK2PORTS_H

#include "meter/meteraddress.h"

#include <QString>
#include <QStringList>

#include <optional>

// Finding a Power Profiler Kit II by its USB identity. A box shows two
// serial ports; the data port is its first function, the lower interface
// number (the other is a text shell).
namespace Ppk2Ports {

// A serial port as the system lists it.
struct UsbPort
{
    QString location;         // /dev/ttyACM0
    int vendorId = -1;        // -1: no USB device
    int productId = -1;
    QString serialNumber;
    int interfaceNumber = 0;
};

// The data port of each box among these, one per box.
QStringList dataPortsAmong(const QList<UsbPort> &ports);
// The data port of each box connected.
QStringList dataPorts();
// ppk2:auto: the one box among these data ports; empty, with why (none, or which ones), otherwise.
std::optional<QString> theOnlyBox(const QStringList &found, QString *error);
// One box whatever the spelling of its port: ttyACM0, /dev/ttyACM0 and a
// /dev/serial/by-id link name one device file (COM3 and \\.\COM3 one port).
QString canonicalPort(const QString &port);
// A box's address made its canonical port's, ppk2:auto the one box's; other addresses as they are.
bool resolve(MeterAddress &address, QString *error);

} // namespace Ppk2Ports

#endif // PPK2PORTS_H
