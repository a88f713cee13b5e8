#ifndef SCPISERVER_H
#define SCPISERVER_H

#include "simulator/pseudoterminal.h"

#include <QByteArray>
#include <QObject>

class QTcpServer;
class ScpiInstrument;

// Serves an instrument as its ports do: a raw SCPI socket on a TCP port of
// 127.0.0.1 and, on request, a serial line (a pseudo-terminal). Each line
// that comes in is a program message; a response the instrument takes time
// for is sent when it is ready, and a new message before then interrupts
// it (-410), as on a real instrument. The instrument keeps its state across
// connections and ports.
class ScpiServer : public QObject
{
    Q_OBJECT

public:
    explicit ScpiServer(ScpiInstrument &instrument, QObject *parent = nullptr);
    ~ScpiServer() override;

    // 0 takes a free port; false when the port cannot be had.
    bool listen(quint16 port);
    quint16 port() const;
    // A serial line of its own; false when no pseudo-terminal can be had.
    bool openSerial();
    QString serialPath() const { return serial.slavePath; }

private:
    class Channel;

    ScpiInstrument &instrument;
    QTcpServer *server;
    PseudoTerminal serial;
    Channel *serialChannel = nullptr;
    QByteArray serialOutput;
};

#endif // SCPISERVER_H
