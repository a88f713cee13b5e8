#ifndef METERADDRESS_H
#define METERADDRESS_H

#include <QString>

#include <optional>

// Where the current meter is, as a text address:
//   tcp:HOST[:PORT]      a raw SCPI socket (port 5025 by default; IPv6 in brackets)
//   serial:PORT[@BAUD]   a serial line, 8N1, 9600 baud by default
//   usbtmc:/dev/usbtmcN  the Linux USB test-and-measurement driver
//   manual               the operator types each reading
//   ppk2:PORT            a Power Profiler Kit II's data port, or ppk2:auto for the one connected
struct MeterAddress
{
    enum Kind { Tcp, Serial, Usbtmc, Manual, Ppk2 };

    Kind kind = Manual;
    QString host;        // tcp
    quint16 port = 0;    // tcp
    QString device;      // serial port name or path, usbtmc device path, ppk2 port or "auto"
    qint32 baudRate = 0; // serial

    // The address, or a message that shows the accepted forms.
    static std::optional<MeterAddress> parse(const QString &text, QString *error);
    static QString acceptedForms();
};

#endif // METERADDRESS_H
