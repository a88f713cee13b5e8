#ifndef SERIALLINK_H
#define SERIALLINK_H

#include <QByteArray>
#include <QString>

class QSerialPort;

// The board's firmware listens at 9600 8N1 without flow control and takes
// one command per line: the mode number in ASCII decimal, then a carriage return.
namespace SerialLink {

// Names the port, applies the fixed line settings and opens it for reading and writing.
bool open(QSerialPort &port, const QString &portName);

QByteArray modeCommand(int modeIndex);

// A board that is unplugged leaves the port "open" and flooding read errors;
// closing it on such an error keeps the program idle and lets the next write fail.
void closeOnLineFailure(QSerialPort *port);

} // namespace SerialLink

#endif // SERIALLINK_H
