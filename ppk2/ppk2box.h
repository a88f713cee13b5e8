#ifndef PPK2BOX_H
#define PPK2BOX_H

#include "ppk2/ppk2protocol.h"
#include "ppk2/ppk2stream.h"

#include <QObject>
#include <QSerialPort>
#include <QTimer>

#include <functional>
#include <memory>

// One Power Profiler Kit II on its data port, as the meter and the supply
// unit share it. Opening stops a stream an earlier session may have left
// running, lets the line fall quiet, and reads the metadata (until its end,
// a few tries) for the calibration. Commands get no answer, so they are just
// written; sampling starts only when the box is not sampling, and the
// closing stop counts as done once the line is quiet. Samples go to the
// sink as they are decoded; nothing is kept.
class Ppk2Box : public QObject
{
    Q_OBJECT

public:
    explicit Ppk2Box(const QString &port, QObject *parent = nullptr);
    ~Ppk2Box() override;

    void open();    // opened(), or failed()
    // `then` once the box is open: at once, or after opening it; the meter
    // and the supply unit that share it each ask.
    void whenOpen(QObject *context, const std::function<void()> &then);
    QString identity() const;
    const Ppk2Calibration &calibration() const { return constants; }

    // Source mode powers the board itself; in ampere mode the box is in
    // series with the board's own supply. The power switch is the board's
    // supply in source mode and the series path in ampere mode.
    void setMode(Ppk2::PowerMode mode);
    void setVoltage(int millivolts);
    void setPower(bool on);

    void startSampling();   // sampling at once; a start while sampling is refused
    bool isSampling() const { return state == State::Sampling; }
    // Where samples go; the stream's counts (taken, lost) stay with the box.
    void setSink(const Ppk2Stream::Sink &sink) { deliver = sink; }
    const Ppk2Stream &stream() const { return *samples; }
    // The samples the box's clock says have been sent since sampling began.
    qint64 samplesDue() const;

    // Sampling stopped and the board's power off, where the box still answers; closed() after.
    void close();

    // Opens the box long enough to read its metadata, as a Test button does;
    // `done` gets its identity, or why it did not answer.
    static void identify(const QString &port, QObject *context, const std::function<void(bool answered, const QString &text)> &done);

    static constexpr int quietMilliseconds = 150;
    static constexpr int metadataMilliseconds = 2000;
    static constexpr int metadataTries = 3;

signals:
    void opened();
    void closed();
    void failed(const QString &reason);

private:
    enum class State { Closed, Opening, Draining, AwaitingMetadata, Ready, Sampling, Closing };

    void read();
    void quiet();
    void askForMetadata();
    void portFailed(QSerialPort::SerialPortError error);
    void write(const QByteArray &command);
    void fail(const QString &reason);

    QString portName;
    QSerialPort port;
    QTimer silence;        // restarted by every byte while the line is to fall quiet
    QTimer deadline;       // for the metadata, and for a line that never falls quiet
    State state = State::Closed;
    QByteArray metadata;
    int tries = 0;
    Ppk2Calibration constants;
    std::unique_ptr<Ppk2Stream> samples;
    Ppk2Stream::Sink deliver;
    int vddMillivolts = 3300;
    qint64 startedAt = 0;   // Readings::now() when sampling began
};

#endif // PPK2BOX_H
