#include "sweep/sweep.h"

#include "board/coremarkreport.h"
#include "board/powermodes.h"
#include "board/seriallink.h"
#include "history/history.h"
#include "meter/typedmeter.h"
#include "supply/supply.h"
#include "supply/supplymeter.h"
#include "sweep/boardreset.h"
#include "sweep/instruments.h"

#include <QFileInfo>
#include <QLocale>
#include <QSerialPortInfo>

#include <algorithm>
#include <cmath>

namespace {

// What a board may send during one mode; a CoreMark report is under 1 KiB.
constexpr int replyLimit = 64 * 1024;
constexpr double powerLineCycleSeconds = 0.020;

// The ports a user may have meant, for a port that would not open.
QString portsHere()
{
    QStringList names;
    for (const QSerialPortInfo &port : QSerialPortInfo::availablePorts())
        names << port.portName();
    names.sort();
    return names.isEmpty() ? QStringLiteral("this machine has no serial ports")
                           : QStringLiteral("the serial ports here are %1").arg(names.join(QLatin1String(", ")));
}

} // namespace

Sweep::Sweep(const SweepSettings &sweepSettings, std::unique_ptr<History> runHistory, QObject *parent)
    : QObject(parent)
    , settings(sweepSettings)
    , history(std::move(runHistory))
{
    qRegisterMetaType<Sample>();
    qRegisterMetaType<ResultRow>();
    wait.setSingleShot(true);
    // Settle and boot times are minimums; a coarse timer may end them 5% early.
    wait.setTimerType(Qt::PreciseTimer);
    connect(&wait, &QTimer::timeout, this, [this] {
        if (auto step = std::exchange(whenWaited, nullptr))
            step();
    });
    connect(&board, &QSerialPort::readyRead, this, &Sweep::collectReply);
    connect(&board, &QSerialPort::errorOccurred, this, &Sweep::boardPortFailed);

    Instruments instruments = Instruments::of(settings);
    supply = std::move(instruments.supply);
    meter = std::move(instruments.meter);
    typedMeter = instruments.typedMeter;
    if (supply) {
        connect(supply.get(), &Supply::failed, this, &Sweep::fail);
        connect(supply.get(), &Supply::warning, this, [this](const QString &text) { emit warning(text); });
        connect(supply.get(), &Supply::applied, this, [this] {
            appliedVolts = volts;
            supplied();
        });
        connect(supply.get(), &Supply::switchedOff, this, [this] {
            appliedVolts.reset();
            supplied();
        });
        connect(supply.get(), &Supply::voltageMeasured, this, &Sweep::takeReadback);
    }
    if (typedMeter)
        connect(typedMeter, &TypedMeter::readingWanted, this, [this](int number, int of) { emit readingWanted(mode, number, of); });
    if (meter) {
        connect(meter.get(), &Meter::configured, this, &Sweep::resetBoard);
        connect(meter.get(), &Meter::measured, this, &Sweep::takeReadings);
        connect(meter.get(), &Meter::before, this, [this](const Reading &reading) {
            beforeCommand = reading.overload ? std::nullopt : std::optional<double>(reading.amperes);
            sendCommand();
        });
        connect(meter.get(), &Meter::captured, this, [this](const ModeCapture &taken) { capture = taken; });
        connect(meter.get(), &Meter::binsTaken, this, [this](const QVector<TraceBin> &bins) { emit binsTaken(mode, bins); });
        connect(meter.get(), &Meter::eventsTaken, this, [this](const QVector<ModeEvent> &events) { emit eventsTaken(mode, events); });
        connect(meter.get(), &Meter::failed, this, &Sweep::fail);
        connect(meter.get(), &Meter::warning, this, [this](const QString &text) {
            emit warning(mode >= 0 ? QStringLiteral("%1: %2").arg(PowerModes::describe(mode), text) : text);
        });
    }
    reset = new BoardReset(settings.reset, &board, this);
    connect(reset, &BoardReset::wanted, this, [this] { emit resetWanted(mode); });
    connect(reset, &BoardReset::done, this, [this] { after(settings.bootSeconds, &Sweep::readBefore); });
    connect(reset, &BoardReset::failed, this, &Sweep::fail);
}

Sweep::~Sweep() = default;

bool Sweep::prepare(QString *error)
{
    QString path = settings.outputFolder;
    const bool fresh = path.isEmpty();
    if (fresh) {
        const std::optional<QString> made = ResultsFolder::createFresh(settings.outputParent, QStringLiteral("sweep"), error);
        if (!made)
            return false;
        path = *made;
    }
    folder = std::make_unique<ResultsFolder>(path);
    if (folder->hasResults() && !settings.resume) {
        *error = QStringLiteral("%1 already holds results; use --resume to continue it, or another folder").arg(path);
        return false;
    }
    if (settings.resume && !folder->hasResults()) {
        *error = QStringLiteral("%1 holds no results.csv to resume").arg(path);
        return false;
    }
    if (!folder->claim(error, fresh))
        return false;
    if (settings.resume) {
        if (!folder->load(error))
            return false;
        QString difference = settings.differenceFrom(folder->recordedSettings(), folder->rows());
        if (difference.isEmpty())
            settings.keepIdentityOf(folder->recordedFacts(), &difference);
        if (!difference.isEmpty()) {
            *error = QStringLiteral("cannot resume %1: %2").arg(path, difference);
            return false;
        }
    }
    if (!SerialLink::open(board, settings.port)) {
        *error = QStringLiteral("cannot open the board's port %1: %2; %3").arg(settings.port, board.errorString(), portsHere());
        return false;
    }
    // The voltage is the outer loop, so that it changes as seldom as it can.
    // Without a supply unit there is one voltage, and a mode's row is its point.
    const QList<ResultRow> finished = folder->rows();
    for (const std::optional<double> &point : settings.voltages()) {
        const int key = point ? int(std::lround(*point * 100)) : ResultRow::noVoltage;
        for (int index : settings.modes) {
            const bool done = std::any_of(finished.cbegin(), finished.cend(), [&](const ResultRow &row) {
                return row.index == index && (!settings.supplyUnit || row.voltageKey() == key);
            });
            if (!done)
                pending << Point {index, point};
        }
    }
    count = settings.voltages().size() * settings.modes.size();
    position = count - pending.size();
    return !settings.rawSamples || folder->prepareRawSamples(error);
}

void Sweep::start()
{
    running = true;
    sinceStart.start();
    facts = RunFacts::startingNow(QSerialPortInfo(board).serialNumber(), settings.note);
    if (!settings.boardId.isEmpty())
        facts.boardId = settings.boardId;
    facts.firmware = settings.firmware;
    facts.tags = settings.tags;
    if (settings.resume) {
        // The same run goes on from when it started; the other files follow
        // results.csv again, and the chart and report are redrawn.
        const RunFacts earlier = folder->recordedFacts();
        if (!earlier.runId.isEmpty())
            facts.runId = earlier.runId;
        if (earlier.started.isValid())
            facts.started = earlier.started;
        facts.meterIdentity = earlier.meterIdentity;
        QString error;
        if (!folder->rewrite(settings.toJson(), facts, &error)) {
            end(Failed, error);
            return;
        }
        emit recorded();
    }
    recordRun();
    if (history) {
        for (const ResultRow &row : folder->rows()) {
            QString error;
            if (history && !history->recordMode(facts.runId, row, &error))
                letHistoryGo(error);
        }
    }
    if (!supply) {
        startMeter();
        return;
    }
    connect(supply.get(), &Supply::ready, this, [this](const QString &identity) {
        facts.supplyIdentity = identity;
        if (auto *supplyMeter = qobject_cast<SupplyMeter *>(meter.get()))
            supplyMeter->setIdentity(identity);
        startMeter();
    });
    supply->start();
}

void Sweep::startMeter()
{
    if (!meter) {
        nextMode();
        return;
    }
    connect(meter.get(), &Meter::ready, this, [this](const QString &identity) {
        facts.meterIdentity = identity;
        recordRun();
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
        end(Stopped, mode >= 0 ? QStringLiteral("stopped during %1; the finished modes are kept").arg(PowerModes::describe(mode))
                               : QStringLiteral("stopped"));
}

QString Sweep::folderPath() const
{
    return folder ? folder->path() : settings.outputFolder;
}

QList<ResultRow> Sweep::rows() const
{
    return folder ? folder->rows() : QList<ResultRow>();
}

QList<ModeTrace> Sweep::traces() const
{
    return folder ? folder->traces() : QList<ModeTrace>();
}

bool Sweep::anyFailed() const
{
    for (const ResultRow &row : rows()) {
        if (row.failsTheRun())
            return true;
    }
    return false;
}

void Sweep::nextMode()
{
    if (!running)
        return;
    if (pending.isEmpty()) {
        end(Completed, QString());
        return;
    }
    const Point point = pending.takeFirst();
    mode = point.index;
    volts = point.volts;
    vdd.reset();
    ++position;
    samples.clear();
    capture.reset();
    reply.clear();
    beforeCommand.reset();
    reportMissing = false;
    modeStartedAt = QDateTime::currentDateTimeUtc();
    emit modeStarted(position, count, mode);
    powerThePoint();
}

// A new voltage is set before the meter and the reset; a power reset sets
// it anew for every mode.
void Sweep::powerThePoint()
{
    if (!supply || settings.reset.kind == ResetStrategy::Power || appliedVolts == volts) {
        configureMeter();
        return;
    }
    whenSupplied = [this] { configureMeter(); };
    supply->apply(*volts, settings.currentLimit);
}

void Sweep::configureMeter()
{
    if (meter)
        meter->configure(settings.planFor(mode).meter);   // then resetBoard()
    else
        resetBoard();
}

void Sweep::resetBoard()
{
    if (settings.reset.kind != ResetStrategy::Power) {
        reset->start();   // then sendCommand() after the boot time
        return;
    }
    whenSupplied = [this] { after(settings.offSeconds, &Sweep::powerOn); };
    supply->switchOff();
}

void Sweep::powerOn()
{
    whenSupplied = [this] { after(settings.bootSeconds, &Sweep::readBefore); };
    supply->apply(*volts, settings.currentLimit);
}

void Sweep::supplied()
{
    if (auto step = std::exchange(whenSupplied, nullptr))
        step();
}

// The current as the board draws it before the command, for the entry check.
void Sweep::readBefore()
{
    if (meter && meter->readsBefore() && settings.entryCheckFor(mode))
        meter->readBefore();   // then sendCommand()
    else
        sendCommand();
}

void Sweep::sendCommand()
{
    reply.clear();
    const QByteArray command = SerialLink::modeCommand(mode);
    if (board.write(command) != command.size() || !board.flush()) {
        fail(QStringLiteral("cannot send the mode's command: %1").arg(board.errorString()));
        return;
    }
    commandSentAt = Readings::now();
    if (meter)
        meter->startCapture(folder->tracePartPath(), rawPath());
    after(settings.planFor(mode).settleSeconds, &Sweep::measure);
}

// None without --raw.
QString Sweep::rawPath() const
{
    if (!settings.rawSamples)
        return QString();
    return folder->rawSamplesPath(mode, settings.voltages().size() > 1 ? volts : std::nullopt);
}

void Sweep::measure()
{
    if (meter)
        meter->measure();   // then takeReadings()
    else
        readBack();
}

void Sweep::takeReadings(const QList<Reading> &readings)
{
    // Fewer readings than asked are never a finished mode, whatever the meter's dialect.
    const int asked = settings.planFor(mode).meter.samples;
    if (readings.size() != asked) {
        fail(QStringLiteral("meter gave %1 readings, %2 were asked for").arg(readings.size()).arg(asked));
        return;
    }
    // A fast meter's samples that never came: past a thousandth of the
    // mode's, its waveform and charge are no record of it.
    if (capture && capture->lostSamples * 1000 > capture->spanSamples) {
        fail(QStringLiteral("meter lost %1 of %2 samples (%3 %)")
                 .arg(capture->lostSamples).arg(capture->spanSamples)
                 .arg(QLocale::c().toString(100.0 * double(capture->lostSamples) / double(capture->spanSamples), 'f', 2)));
        return;
    }
    if (capture && capture->lostSamples > 0)
        emit warning(QStringLiteral("%1: meter lost %2 samples").arg(PowerModes::describe(mode)).arg(capture->lostSamples));
    for (const Reading &reading : readings) {
        samples << Sample {(reading.arrivedAt - commandSentAt) / 1e9, reading};
        emit sampleTaken(mode, samples.last());
    }
    readBack();
}

void Sweep::readBack()
{
    if (supply)
        supply->measureVoltage();   // then takeReadback()
    else
        takeReadback(volts);
}

// A supply that folds its output back when the board draws more than its
// limit reads less than it was set to; that mode is no measurement at the
// voltage it claims.
void Sweep::takeReadback(std::optional<double> readback)
{
    if (!running)
        return;
    if (supply && readback && std::abs(*readback - *volts) > 0.05 * *volts) {
        fail(QStringLiteral("supply reads %1 V, %2 V was set").arg(QLocale::c().toString(*readback, 'f', 2),
                                                                      QLocale::c().toString(*volts, 'f', 2)));
        return;
    }
    vdd = readback ? readback : volts;
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
        reportMissing = true;
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

void Sweep::boardPortFailed(QSerialPort::SerialPortError error)
{
    static const QList<QSerialPort::SerialPortError> lost = {QSerialPort::ReadError, QSerialPort::ResourceError,
                                                             QSerialPort::WriteError};
    if (!running || !lost.contains(error))
        return;
    // A line that hangs up leaves the system nothing apt to say ("Unknown
    // error", or the last ioctl's complaint), and the cause is always the same.
    // Queued: the port is not to be closed inside its own notification.
    QTimer::singleShot(0, this, [this] { fail(QStringLiteral("board's port failed: the port closed; is the board unplugged?")); });
}

// The first source's events in the row: whole ones, their rate, the mean
// charge of one, and the mean current of the window between them all.
void Sweep::addEvents(ResultRow &row, const ModeCapture &taken)
{
    const ModeCapture::EventTotals &first = taken.eventTotals.first();
    row.eventSource = first.source;
    row.events = first.whole;
    if (taken.windowSeconds > 0)
        row.eventRateHz = first.whole / taken.windowSeconds;
    if (first.whole > 0)
        row.eventChargeC = first.wholeChargeC / first.whole;
    const double between = taken.windowSeconds - first.seconds;
    if (between > 0)
        row.betweenEventsA = (taken.charge - first.chargeC) / between;
}

void Sweep::record()
{
    ResultRow row = ResultRow::measured(mode, modeStartedAt, samples, reply, settings.limits.value(mode), vdd);
    row.settings = settings.rowSettings(mode);
    row.supplySetV = supply ? volts : std::nullopt;
    row.temperatureC = settings.temperature;
    row.beforeA = beforeCommand;
    row.entryChecked = beforeCommand.has_value();
    row.reportMissingAfterS = reportMissing ? std::optional<double>(settings.replyTimeoutSeconds) : std::nullopt;
    if (capture) {
        row.peakA = capture->spanSamples > 0 ? std::optional<double>(capture->peak) : std::nullopt;
        row.chargeC = capture->charge;
        row.energyJ = vdd ? std::optional<double>(capture->charge * *vdd) : std::nullopt;
        row.settledAfterS = capture->settledAfter;
        row.lostSamples = capture->lostSamples;
        row.windowS = capture->windowSeconds;
        if (!capture->eventTotals.isEmpty())
            addEvents(row, *capture);
    }
    row.derive(vdd);
    QString error;
    facts.ended = QDateTime::currentDateTimeUtc();
    if (!folder->commit(row, samples, settings.toJson(), facts, &error, capture ? &*capture : nullptr)) {
        fail(error);
        return;
    }
    emit recorded();
    if (history && !history->recordMode(facts.runId, row, &error))
        letHistoryGo(error);
    ++modesTimed;
    expectedOfTimed += expectedSeconds(mode);
    emit modeFinished(position, count, row, secondsLeft());
    mode = -1;
    // The next mode's commands go out from the event loop, not from inside a reply's delivery.
    QTimer::singleShot(0, this, &Sweep::nextMode);
}

// The run's row in the history: made when the sweep starts, brought up to
// date when the meter has said who it is.
void Sweep::recordRun()
{
    if (!history)
        return;
    RunEntry entry;
    entry.facts = facts;
    entry.port = settings.port;
    entry.settings = settings.toJson();
    entry.folder = QFileInfo(folder->path()).absoluteFilePath();
    QString error;
    if (!history->beginRun(entry, &error))
        letHistoryGo(error);
}

// A history that fails midway is let go: the folder stays the record of
// truth, and `pellmora-sweep import` brings the run in later.
void Sweep::letHistoryGo(const QString &reason)
{
    historyLost = reason;
    history.reset();
    emit warning(QStringLiteral("%1; the sweep goes on in its folder").arg(reason));
}

void Sweep::fail(const QString &reason)
{
    if (running)
        end(Failed, mode >= 0 ? QStringLiteral("%1: %2").arg(PowerModes::describe(mode), reason) : reason);
}

void Sweep::end(Outcome outcome, const QString &message)
{
    running = false;
    awaitingCoreMark = false;
    wait.stop();
    whenWaited = nullptr;
    reset->cancel();
    // Finished once the meter has its closing commands, and the folder
    // records when the run ended.
    static const char *const outcomes[] = {"completed", "failed", "stopped"};
    facts.outcome = QLatin1String(outcomes[outcome]);
    const auto announce = [this, outcome, message] {
        Outcome ended = outcome;
        QString said = message;
        QString error;
        facts.ended = QDateTime::currentDateTimeUtc();
        facts.meterNote = meter ? meter->sweepNote() : QString();
        if (!facts.meterNote.isEmpty())
            emit warning(facts.meterNote);
        // The last write counts as every other: a folder that still says
        // "running" is no finished run.
        if (folder && !folder->rows().isEmpty()) {
            if (folder->rewrite(settings.toJson(), facts, &error)) {
                emit recorded();
            } else {
                ended = Failed;
                facts.outcome = QLatin1String(outcomes[Failed]);
                said = said.isEmpty() ? error : said + QStringLiteral("; then ") + error;
            }
        }
        if (history && !history->endRun(facts.runId, facts.outcome, facts.ended, &error))
            letHistoryGo(error);
        if (folder)
            folder->release();
        emit finished(ended, said);
    };
    whenSupplied = nullptr;
    // Each instrument gets its closing commands (the supply's switch the
    // board off); the end is announced once all have them.
    instrumentsClosing = (meter ? 1 : 0) + (supply ? 1 : 0);
    if (instrumentsClosing == 0) {
        QTimer::singleShot(0, this, announce);
        return;
    }
    const auto closed = [this, announce] {
        if (--instrumentsClosing == 0)
            announce();
    };
    if (meter) {
        meter->abort();
        connect(meter.get(), &Meter::finished, this, closed);
    }
    if (supply) {
        supply->abort();
        connect(supply.get(), &Supply::finished, this, closed);
    }
    if (meter)
        meter->finish();
    if (supply)
        supply->finish();
}

void Sweep::after(double seconds, void (Sweep::*step)())
{
    whenWaited = [this, step] { (this->*step)(); };
    wait.start(int(seconds * 1000));
}

// What a mode takes by its own settings: the boot wait, the settle time and
// the readings' integration.
double Sweep::expectedSeconds(int index) const
{
    const ModePlan plan = settings.planFor(index);
    const double readings = meter && !typedMeter ? plan.meter.samples * plan.meter.nplc * powerLineCycleSeconds : 0;
    const double powerCycle = settings.reset.kind == ResetStrategy::Power ? settings.offSeconds : 0;
    return powerCycle + settings.bootSeconds + plan.settleSeconds + readings;
}

// Each mode still to come by its own settings, plus what the finished modes
// took beyond theirs (resets, replies, typing), on average.
double Sweep::secondsLeft() const
{
    const double beyond = std::max(0.0, sinceStart.elapsed() / 1000.0 - expectedOfTimed) / std::max(1, modesTimed);
    double left = 0;
    for (const Point &point : pending)
        left += expectedSeconds(point.index) + beyond;
    return left;
}
