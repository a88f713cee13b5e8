#include "ppk2/ppk2box.h"

#include <QElapsedTimer>

namespace {

qint64 nowNanoseconds()
{
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    return clock.nsecsElapsed();
}

// A box that keeps streaming after a stop is not one to measure with.
constexpr int longestDrainMilliseconds = 3000;

} // namespace

Ppk2Box::Ppk2Box(const QString &portPath, QObject *parent)
    : QObject(parent)
    , portName(portPath)
    , samples(std::make_unique<Ppk2Stream>(constants, 3.3))
{
    silence.setSingleShot(true);
    silence.setInterval(quietMilliseconds);
    deadline.setSingleShot(true);
    connect(&port, &QSerialPort::readyRead, this, &Ppk2Box::read);
    connect(&port, &QSerialPort::errorOccurred, this, &Ppk2Box::portFailed);
    connect(&silence, &QTimer::timeout, this, &Ppk2Box::quiet);
    connect(&deadline, &QTimer::timeout, this, [this] {
        if (state == State::AwaitingMetadata && tries < metadataTries) {
            askForMetadata();
        } else if (state == State::AwaitingMetadata) {
            fail(QStringLiteral("the Power Profiler Kit II on %1 sent no complete metadata in %2 tries")
                     .arg(portName).arg(metadataTries));
        } else {
            fail(QStringLiteral("the Power Profiler Kit II on %1 does not stop streaming").arg(portName));
        }
    });
}

Ppk2Box::~Ppk2Box() = default;

QString Ppk2Box::identity() const
{
    return QStringLiteral("Power Profiler Kit II on %1").arg(portName);
}

void Ppk2Box::open()
{
    state = State::Opening;
    port.setPortName(portName);
    // The line settings are ignored by the box's USB serial port; these are its app's.
    port.setBaudRate(115200);
    if (!port.open(QIODevice::ReadWrite)) {
        fail(QStringLiteral("cannot open the Power Profiler Kit II's port %1: %2").arg(portName, port.errorString()));
        return;
    }
    port.setDataTerminalReady(true);
    // An earlier session may have left it streaming: stop, and wait for quiet.
    state = State::Draining;
    write(Ppk2::stop());
    silence.start();
    deadline.start(longestDrainMilliseconds);
}

void Ppk2Box::whenOpen(QObject *context, const std::function<void()> &then)
{
    if (state == State::Ready || state == State::Sampling) {
        then();
        return;
    }
    connect(this, &Ppk2Box::opened, context, then);
    if (state == State::Closed)
        open();
}

void Ppk2Box::read()
{
    const QByteArray bytes = port.readAll();
    switch (state) {
    case State::Sampling:
        samples->feed(bytes, deliver);
        return;
    case State::AwaitingMetadata:
        metadata += bytes;
        if (Ppk2Calibration::isComplete(metadata)) {
            deadline.stop();
            QString error;
            const std::optional<Ppk2Calibration> parsed = Ppk2Calibration::parse(metadata, &error);
            if (!parsed) {
                tries < metadataTries ? askForMetadata() : fail(QStringLiteral("the Power Profiler Kit II's %1").arg(error));
                return;
            }
            constants = *parsed;
            samples = std::make_unique<Ppk2Stream>(constants, constants.vddMillivolts / 1000.0);
            // Without the regulator set once, a board in ampere mode does not run.
            setVoltage(constants.vddMillivolts);
            state = State::Ready;
            emit opened();
        }
        return;
    case State::Draining:
    case State::Closing:
        silence.start();   // not quiet yet
        return;
    default:
        return;   // nothing is asked: what comes is dropped
    }
}

void Ppk2Box::quiet()
{
    deadline.stop();
    if (state == State::Draining) {
        state = State::AwaitingMetadata;
        tries = 0;
        askForMetadata();
    } else if (state == State::Closing) {
        samples->finish(deliver);
        write(Ppk2::deviceRunning(false));
        port.flush();
        port.close();
        state = State::Closed;
        emit closed();
    }
}

void Ppk2Box::askForMetadata()
{
    ++tries;
    metadata.clear();
    write(Ppk2::metadataRequest());
    deadline.start(metadataMilliseconds);
}

void Ppk2Box::setMode(Ppk2::PowerMode mode)
{
    write(Ppk2::powerMode(mode));
}

void Ppk2Box::setVoltage(int millivolts)
{
    vddMillivolts = qBound(Ppk2::lowestMillivolts, millivolts, Ppk2::highestMillivolts);
    samples->setVddVolts(vddMillivolts / 1000.0);
    write(Ppk2::regulator(vddMillivolts));
}

void Ppk2Box::setPower(bool on)
{
    write(Ppk2::deviceRunning(on));
}

void Ppk2Box::startSampling()
{
    if (state != State::Ready)
        return;   // never a start while it samples, or before it is ready
    samples->restart();
    state = State::Sampling;
    startedAt = nowNanoseconds();
    write(Ppk2::start());
}

qint64 Ppk2Box::samplesDue() const
{
    return state == State::Sampling ? Ppk2::samplesIn(nowNanoseconds() - startedAt) : 0;
}

void Ppk2Box::close()
{
    if (state == State::Closing)
        return;   // the meter and the supply unit share it: closed() comes once for both
    if (!port.isOpen()) {
        state = State::Closed;
        QTimer::singleShot(0, this, &Ppk2Box::closed);
        return;
    }
    state = State::Closing;
    write(Ppk2::stop());
    silence.start();
    deadline.start(longestDrainMilliseconds);
}

void Ppk2Box::identify(const QString &port, QObject *context, const std::function<void(bool, const QString &)> &done)
{
    auto *box = new Ppk2Box(port, context);
    connect(box, &Ppk2Box::opened, context, [box, done] {
        done(true, QStringLiteral("%1, source voltage %2 mV").arg(box->identity()).arg(box->calibration().vddMillivolts));
        box->close();
    });
    connect(box, &Ppk2Box::closed, box, &QObject::deleteLater);
    connect(box, &Ppk2Box::failed, context, [box, done](const QString &reason) {
        done(false, reason);
        box->deleteLater();
    });
    box->open();
}

void Ppk2Box::write(const QByteArray &command)
{
    if (port.isOpen())
        port.write(command);
}

void Ppk2Box::portFailed(QSerialPort::SerialPortError error)
{
    static const QList<QSerialPort::SerialPortError> lost = {QSerialPort::ReadError, QSerialPort::ResourceError,
                                                             QSerialPort::WriteError};
    if (!lost.contains(error) || state == State::Closed)
        return;
    // Queued: the port is not to be closed inside its own notification.
    QTimer::singleShot(0, this, [this] { fail(QStringLiteral("the Power Profiler Kit II's port closed; is it unplugged?")); });
}

void Ppk2Box::fail(const QString &reason)
{
    silence.stop();
    deadline.stop();
    const bool closing = state == State::Closing;
    port.close();
    state = State::Closed;
    // A box that goes away while closing is closed all the same.
    if (closing)
        emit closed();
    else
        emit failed(reason);
}
