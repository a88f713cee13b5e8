#include "sweep/sweep.h"

#include "board/coremarkreport.h"
#include "board/powermodes.h"
#include "board/seriallink.h"
#include "meter/meterlink.h"
#include "meter/scpimeter.h"
#include "meter/typedmeter.h"
#include "sweep/boardreset.h"

#include <QDir>

namespace {

// What a board may send during one mode; a CoreMark report is under 1 KiB.
constexpr int replyLimit = 64 * 1024;

} // namespace

Sweep::Sweep(const SweepSettings &sweepSettings, QObject *parent)
    : QObject(parent)
    , settings(sweepSettings)
    , folder(sweepSettings.outputFolder)
{
    qRegisterMetaType<Sample>();
    qRegisterMetaType<ResultRow>();
    wait.setSingleShot(true);
    // Settle and boot times are minimums; a coarse timer may end them 5% early.
    wait.setTimerType(Qt::PreciseTimer);
    connect(&wait, &QTimer::timeout, this, [this] {
        auto step = std::move(whenWaited);
        whenWaited = nullptr;
        if (step)
            step();
    });
    connect(&board, &QSerialPort::readyRead, this, &Sweep::collectReply);
    connect(&board, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError error) {
        if (running && (error == QSerialPort::ReadError || error == QSerialPort::ResourceError || error == QSerialPort::WriteError))
            // Queued: the port is not to be closed inside its own notification.
            QTimer::singleShot(0, this, [this, why = board.errorString()] { fail(QStringLiteral("board's port failed: %1").arg(why)); });
    });

    if (settings.meter && settings.meter->kind == MeterAddress::Manual) {
        typedMeter = new TypedMeter;
        meter.reset(typedMeter);
        connect(typedMeter, &TypedMeter::readingWanted, this, [this](int number, int of) { emit readingWanted(mode, number, of); });
    } else if (settings.meter) {
        meter = std::make_unique<ScpiMeter>(MeterLink::create(*settings.meter), settings.profile);
    }
    if (meter) {
        connect(meter.get(), &Meter::configured, this, &Sweep::resetBoard);
        connect(meter.get(), &Meter::measured, this, &Sweep::takeReadings);
        connect(meter.get(), &Meter::failed, this, &Sweep::fail);
    }
    reset = new BoardReset(settings.reset, &board, this);
    connect(reset, &BoardReset::wanted, this, [this] { emit resetWanted(mode); });
    connect(reset, &BoardReset::done, this, [this] { after(settings.bootSeconds, &Sweep::sendCommand); });
    connect(reset, &BoardReset::failed, this, &Sweep::fail);
}

Sweep::~Sweep() = default;

bool Sweep::prepare(QString *error)
{
    if (folder.hasResults() && !settings.resume) {
        *error = QStringLiteral("%1 already holds results; use --resume to continue it, or another folder").arg(folder.path());
        return false;
    }
    if (settings.resume && folder.hasResults() && !folder.load(error))
        return false;
    if (!SerialLink::open(board, settings.port)) {
        *error = QStringLiteral("cannot open the board's port %1: %2").arg(settings.port, board.errorString());
        return false;
    }
    for (int index : settings.modes) {
        bool done = false;
        for (const ResultRow &row : folder.rows())
            done = done || row.index == index;
        if (!done)
            pending << index;
    }
    count = pending.size() + folder.rows().size();
    position = folder.rows().size();
    return true;
}

void Sweep::start()
{
    running = true;
    sinceStart.start();
    if (!QDir().mkpath(folder.path())) {
        end(Failed, QStringLiteral("cannot create %1").arg(folder.path()));
        return;
    }
    if (!meter) {
        nextMode();
        return;
    }
    connect(meter.get(), &Meter::ready, this, [this](const QString &identity) {
        meterIdentity = identity;
        emit meterIdentified(identity);
        nextMode();
    });
    meter->start();
}

void Sweep::resetDone()
{
    reset->pressed();
}

QString Sweep::enterReading(const QString &typed)
{
    return typedMeter ? typedMeter->enter(typed) : QStringLiteral("the meter is not read by hand");
}

void Sweep::endOfInput()
{
    if (typedMeter)
        typedMeter->endOfInput();
    if (running && settings.reset.kind == ResetStrategy::Prompt)
        fail(QStringLiteral("end of input while waiting for the board's reset"));
}

void Sweep::stop()
{
    if (running)
        end(Stopped, mode >= 0 ? QStringLiteral("stopped during %1; the finished modes are kept").arg(currentModeText())
                               : QStringLiteral("stopped"));
}

QString Sweep::folderPath() const
{
    return folder.path();
}

QList<ResultRow> Sweep::rows() const
{
    return folder.rows();
}

bool Sweep::anyFailed() const
{
    for (const ResultRow &row : folder.rows()) {
        if (row.verdict == QLatin1String("FAIL"))
            return true;
    }
    return false;
}

void Sweep::nextMode()
{
    if (pending.isEmpty()) {
        end(Completed, QString());
        return;
    }
    mode = pending.takeFirst();
    ++position;
    samples.clear();
    reply.clear();
    modeStartedAt = QDateTime::currentDateTimeUtc();
    emit modeStarted(position, count, mode);
    if (meter)
        meter->configure(settings.planFor(mode).meter);   // then resetBoard()
    else
        resetBoard();
}

void Sweep::resetBoard()
{
    reset->start();   // then sendCommand() after the boot time
}

void Sweep::sendCommand()
{
    reply.clear();
    const QByteArray command = SerialLink::modeCommand(mode);
    if (board.write(command) != command.size() || !board.flush()) {
        fail(QStringLiteral("cannot send the mode's command: %1").arg(board.errorString()));
        return;
    }
    sinceCommand.start();
    after(settings.planFor(mode).settleSeconds, &Sweep::measure);
}

void Sweep::measure()
{
    if (meter)
        meter->measure();   // then takeReadings()
    else
        awaitCoreMark();
}

void Sweep::takeReadings(const QList<Reading> &readings)
{
    const double seconds = sinceCommand.nsecsElapsed() / 1e9;
    for (const Reading &reading : readings) {
        samples << Sample {seconds, reading};
        emit sampleTaken(mode, samples.last());
    }
    // A typed meter hands over each reading as it is typed.
    awaitCoreMark();
}

void Sweep::awaitCoreMark()
{
    if (!PowerModes::find(mode)->runsCoreMark || CoreMarkReport::isComplete(reply)) {
        record();
        return;
    }
    awaitingCoreMark = true;
    whenWaited = [this] {
        awaitingCoreMark = false;
        emit warning(QStringLiteral("%1: no CoreMark report within %2 s").arg(currentModeText()).arg(settings.replyTimeoutSeconds));
        record();
    };
    wait.start(int(settings.replyTimeoutSeconds * 1000));
}

void Sweep::collectReply()
{
    reply += board.read(replyLimit - reply.size());
    board.readAll();   // past the limit: dropped
    // The report may come before the readings are taken; then it is kept for them.
    if (awaitingCoreMark && CoreMarkReport::isComplete(reply)) {
        awaitingCoreMark = false;
        wait.stop();
        whenWaited = nullptr;
        record();
    }
}

void Sweep::record()
{
    const ResultRow row = ResultRow::measured(mode, modeStartedAt, samples, reply, settings.limits.value(mode),
                                              settings.supplyVolts);
    folder.add(row, samples);
    QString error;
    if (!folder.write(settings.toJson(), meterIdentity, &error)) {
        fail(error);
        return;
    }
    emit recorded();
    ++modesTimed;
    const double perMode = sinceStart.elapsed() / 1000.0 / modesTimed;
    emit modeFinished(position, count, row, perMode * pending.size());
    mode = -1;
    nextMode();
}

void Sweep::fail(const QString &reason)
{
    if (running)
        end(Failed, mode >= 0 ? QStringLiteral("%1: %2").arg(currentModeText(), reason) : reason);
}

void Sweep::end(Outcome outcome, const QString &message)
{
    running = false;
    awaitingCoreMark = false;
    wait.stop();
    whenWaited = nullptr;
    reset->cancel();
    // Finished once the meter has its closing commands.
    const auto announce = [this, outcome, message] { emit finished(outcome, message); };
    if (!meter) {
        QTimer::singleShot(0, this, announce);
        return;
    }
    meter->abort();
    connect(meter.get(), &Meter::finished, this, announce);
    meter->finish();
}

void Sweep::after(double seconds, void (Sweep::*step)())
{
    whenWaited = [this, step] { (this->*step)(); };
    wait.start(int(seconds * 1000));
}

QString Sweep::currentModeText() const
{
    return PowerModes::describe(mode);
}
