#ifndef METERSIMULATOR_H
#define METERSIMULATOR_H

#include <QByteArray>
#include <QObject>
#include <QRandomGenerator>
#include <QStringList>

#include <functional>
#include <optional>

class QTcpServer;

// Answers the SCPI of a bench multimeter measuring DC current, as a generic
// one does: *IDN?, *RST, *CLS, CONF:CURR:DC, CURR:DC:NPLC, SAMP:COUN, READ?,
// MEAS:CURR:DC? and SYST:ERR?. CONF resets integration time and sample count,
// and an unknown command goes to the error queue. The current comes from a
// function, so the readings follow whatever it measures.
class ScpiResponder
{
public:
    explicit ScpiResponder(std::function<double()> current);

    // The reply to one command line, or nothing for a command without one.
    std::optional<QByteArray> answer(const QByteArray &line);

private:
    void reset();
    QByteArray readings(int count);

    std::function<double()> current;
    std::optional<double> range;   // none: auto range
    double nplc = 10;
    int samples = 1;
    QStringList errors;
    QRandomGenerator noise {20261207};
};

// An instrument's raw SCPI socket on a TCP port of 127.0.0.1: each line
// that comes in is answered by a function, which keeps the instrument's
// state, so that its settings and error queue outlive a connection.
class ScpiServer : public QObject
{
    Q_OBJECT

public:
    using Answer = std::function<std::optional<QByteArray>(const QByteArray &line)>;
    explicit ScpiServer(Answer answer, QObject *parent = nullptr);

    // 0 takes a free port; false when the port cannot be had.
    bool listen(quint16 port);
    quint16 port() const;

    // A command line's header, upper case ("VOLT"), and its argument ("3.3").
    static QByteArray headerOf(const QByteArray &line);
    static QByteArray argumentOf(const QByteArray &line);
    // A number as instruments write them: 3.30000000E+00.
    static QByteArray number(double value);

private:
    void accept();

    Answer answer;
    QTcpServer *server;
};

// The meter's responder on its socket, as a LAN meter.
class MeterSimulator : public ScpiServer
{
    Q_OBJECT

public:
    explicit MeterSimulator(std::function<double()> current, QObject *parent = nullptr);

private:
    ScpiResponder responder;
};

#endif // METERSIMULATOR_H
