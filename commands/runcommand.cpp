#include "commands/runcommand.h"

#include "board/powermodes.h"
#include "commands/commandline.h"
#include "commands/exitcodes.h"
#include "commands/terminalprompts.h"
#include "history/history.h"
#include "ppk2/ppk2ports.h"
#include "ppk2/ppk2protocol.h"
#include "report/junitfile.h"
#include "report/reportwriter.h"
#include "report/verdicts.h"
#include "settings/planfiles.h"
#include "settings/settingrules.h"
#include "sweep/sweep.h"
#include "sweep/terminationsignals.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <algorithm>
#include <cstdio>

namespace {

void say(const QString &line)
{
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
}

struct Option
{
    const char *name;
    const char *valueName;
    const char *description;
};

const Option options[] = {
    {"port", "PORT", "The board's serial port: a listed name (ttyACM0, COM3) or a device path."},
    {"modes", "LIST", "Modes to measure, in this order: indexes and ranges such as 0-7,15 (default: all 18)."},
    {"meter", "ADDRESS", "tcp:HOST[:PORT], serial:PORT[@BAUD], usbtmc:/dev/usbtmcN, ppk2:PORT or ppk2:auto (a Power Profiler "
                         "Kit II), manual, supply (the supply unit) or none (default: manual)."},
    {"meter-profile", "FILE", "Commands and habits of a meter of another dialect; docs/meter-profiles has one per dialect."},
    {"samples", "N", "Readings per mode (default: 10, 1 with manual)."},
    {"settle", "SECONDS", "Wait between the mode's command and the readings (default: 2)."},
    {"range", "auto|AMPS", "The meter's range (default: auto)."},
    {"nplc", "N", "Integration time in power-line cycles (default: 1)."},
    {"plan", "FILE", "CSV index,range,nplc,settle_s,samples[,entry_check]: per-mode settings; empty cells keep the defaults."},
    {"reset", "HOW", "prompt, none, command:CMD, dtr, rts, or power (the supply unit's output off and on): how the board is "
                     "reset before each mode (default: prompt)."},
    {"boot", "SECONDS", "Wait after the reset (default: 0.5)."},
    {"reply-timeout", "SECONDS", "Wait for a CoreMark mode's report (default: 60); a mode without one has failed."},
    {"entry-check", "on|off", "Hold each mode's mean against a reading taken just before its command: a mode whose current "
                              "did not change is ENTRY?, and fails the run (default: on; a plan's entry_check column turns "
                              "it off per mode)."},
    {"supply", "VOLTS", "The board's supply voltage, for the power column; with --supply-unit, the voltages to set, "
                        "such as 1.8,3.3, each for every mode in turn."},
    {"supply-unit", "ADDRESS", "A programmable supply or SMU that powers the board: tcp:, serial: or usbtmc:, as for --meter, "
                               "or a Power Profiler Kit II in source mode, ppk2:PORT or ppk2:auto."},
    {"supply-profile", "FILE", "Command strings for a supply of another dialect."},
    {"current-limit", "AMPS", "The supply unit's current limit (default: 0.1)."},
    {"off-time", "SECONDS", "With --reset power, how long the output stays off (default: 0.5)."},
    {"temperature", "CELSIUS", "The temperature the board is measured at, recorded as given."},
    {"battery-mah", "CAPACITY", "A battery's capacity, for the battery life in the report."},
    {"battery-shelf-years", "YEARS", "How long the battery keeps its charge on the shelf; a longer life is shown as that (default: 10)."},
    {"note", "TEXT", "A note for the report, such as what was changed on the board."},
    {"limits", "FILE", "CSV index,min_a,max_a: limits on each mode's mean current."},
    {"out", "DIR", "The results folder (default: sweep-YYYYMMDD-HHMMSS here)."},
    {"history", "LOCATION", "The run history: a file, postgresql://[USER@]HOST[:PORT]/DATABASE, or none "
                            "(default: $PELLMORA_HISTORY, else ~/.local/share/pellmora/history.sqlite, on Windows %LOCALAPPDATA%\\pellmora\\history.sqlite)."},
    {"board-id", "ID", "The board, as the history tells boards apart (default: the USB serial number of its port)."},
    {"firmware", "LABEL", "The firmware's label, such as a version or git describe."},
    {"junit", "FILE", "Also write the limits' verdicts as JUnit XML, for a CI server."},
};

// Turns the command line into settings; false with the reason where it cannot.
class SettingsReader
{
public:
    explicit SettingsReader(const QCommandLineParser &parser)
        : parser(parser)
    {
    }

    bool read(SweepSettings &settings, QString *error)
    {
        settings.port = parser.value(QStringLiteral("port"));
        if (settings.port.isEmpty())
            return refuse(error, QStringLiteral("--port is required"));
        settings.modes.clear();
        for (int mode = 0; mode < PowerModes::count(); ++mode)
            settings.modes << mode;
        if (parser.isSet(QStringLiteral("modes"))) {
            const auto modes = SettingRules::parseModes(parser.value(QStringLiteral("modes")), error);
            if (!modes)
                return false;
            settings.modes = *modes;
        }
        if (!readMeter(settings, error) || !readSupply(settings, error) || !readDefaults(settings, error)
            || !readFiles(settings, error))
            return false;
        const QString unmeasurable = settings.checkAgainstProfile();
        if (!unmeasurable.isEmpty())
            return refuse(error, unmeasurable);
        const auto reset = ResetStrategy::parse(parser.isSet(QStringLiteral("reset")) ? parser.value(QStringLiteral("reset"))
                                                                                    : QStringLiteral("prompt"), error);
        if (!reset)
            return false;
        settings.reset = *reset;
        const QString unsupplied = settings.checkSupply();
        if (!unsupplied.isEmpty())
            return refuse(error, unsupplied);
        const auto events = EventSource::parseAll(parser.values(QStringLiteral("events")), error);
        if (!events)
            return false;
        settings.defaults.meter.events = *events;
        const QString eventless = settings.checkEvents();
        if (!eventless.isEmpty())
            return refuse(error, eventless);
        settings.resume = parser.isSet(QStringLiteral("resume"));
        settings.rawSamples = parser.isSet(QStringLiteral("raw"));
        if (parser.isSet(QStringLiteral("entry-check"))) {
            const auto entryCheck = SettingRules::parseSwitch(parser.value(QStringLiteral("entry-check")), QStringLiteral("--entry-check"), error);
            if (!entryCheck)
                return false;
            settings.entryCheck = *entryCheck;
        }
        settings.outputFolder = parser.value(QStringLiteral("out"));
        settings.note = parser.value(QStringLiteral("note"));
        settings.boardId = parser.value(QStringLiteral("board-id"));
        settings.firmware = parser.value(QStringLiteral("firmware"));
        const auto tags = SettingRules::parseTags(parser.values(QStringLiteral("tag")), error);
        if (!tags)
            return false;
        settings.tags = *tags;
        if (settings.resume && settings.outputFolder.isEmpty())
            return refuse(error, QStringLiteral("--resume needs --out, the folder to continue"));
        return true;
    }

private:
    static bool refuse(QString *error, const QString &why)
    {
        *error = why;
        return false;
    }

    bool number(const char *name, const NumberRule &rule, double &value, QString *error) const
    {
        const QString option = QLatin1String(name);
        if (!parser.isSet(option))
            return true;
        const std::optional<double> parsed = rule.parse(parser.value(option), QStringLiteral("--") + option, error);
        if (parsed)
            value = *parsed;
        return parsed.has_value();
    }

    bool optionalNumber(const char *name, const NumberRule &rule, std::optional<double> &value, QString *error) const
    {
        double number = 0;
        if (!this->number(name, rule, number, error))
            return false;
        if (parser.isSet(QLatin1String(name)))
            value = number;
        return true;
    }

    bool readMeter(SweepSettings &settings, QString *error) const
    {
        settings.meterText = parser.isSet(QStringLiteral("meter")) ? parser.value(QStringLiteral("meter")) : QStringLiteral("manual");
        settings.meterIsSupply = settings.meterText == QLatin1String("supply");
        if (settings.meterText == QLatin1String("none") || settings.meterIsSupply) {
            settings.meter.reset();
        } else {
            settings.meter = MeterAddress::parse(settings.meterText, error);
            if (!settings.meter || !Ppk2Ports::resolve(*settings.meter, error))
                return false;
            if (settings.meter->kind == MeterAddress::Ppk2)
                settings.meterText = QStringLiteral("ppk2:") + settings.meter->device;
        }
        if (parser.isSet(QStringLiteral("meter-profile"))) {
            settings.profilePath = parser.value(QStringLiteral("meter-profile"));
            const auto profile = MeterProfile::load(settings.profilePath, error);
            if (!profile)
                return false;
            settings.profile = *profile;
        }
        return true;
    }

    // The supply unit, its profile and limits, and the voltages: a list
    // with a unit, one voltage for the power column without.
    bool readSupply(SweepSettings &settings, QString *error) const
    {
        if (parser.isSet(QStringLiteral("supply-unit"))) {
            settings.supplyUnitText = parser.value(QStringLiteral("supply-unit"));
            settings.supplyUnit = MeterAddress::parse(settings.supplyUnitText, error);
            if (!settings.supplyUnit || !Ppk2Ports::resolve(*settings.supplyUnit, error))
                return false;
            if (settings.supplyUnit->kind == MeterAddress::Ppk2)
                settings.supplyUnitText = QStringLiteral("ppk2:") + settings.supplyUnit->device;
            if (settings.supplyUnit->kind == MeterAddress::Manual)
                return refuse(error, QStringLiteral("--supply-unit takes tcp:, serial: or usbtmc:, not manual"));
        }
        if (parser.isSet(QStringLiteral("supply-profile"))) {
            settings.supplyProfilePath = parser.value(QStringLiteral("supply-profile"));
            const auto profile = SupplyProfile::load(settings.supplyProfilePath, error);
            if (!profile)
                return false;
            settings.supplyProfile = *profile;
        }
        QStringList voltages = parser.value(QStringLiteral("supply")).split(QLatin1Char(','));
        voltages.erase(std::remove_if(voltages.begin(), voltages.end(), [](const QString &item) { return item.trimmed().isEmpty(); }),
                       voltages.end());
        if (!settings.supplyUnit) {
            for (const char *unitOnly : {"current-limit", "off-time", "supply-profile"}) {
                if (parser.isSet(QLatin1String(unitOnly)))
                    return refuse(error, QStringLiteral("--%1 needs --supply-unit").arg(QLatin1String(unitOnly)));
            }
            if (voltages.size() > 1)
                return refuse(error, QStringLiteral("--supply takes one voltage without --supply-unit; a list needs a supply unit to set it"));
            return optionalNumber("supply", SettingRules::supplyVolts, settings.supplyVolts, error);
        }
        if (!voltages.isEmpty()) {
            const auto unitVoltages = SettingRules::parseVoltages(parser.value(QStringLiteral("supply")), QStringLiteral("--supply"), error);
            if (!unitVoltages)
                return false;
            settings.unitVoltages = *unitVoltages;
        }
        if (!number("current-limit", SettingRules::currentLimit, settings.currentLimit, error)
            || !number("off-time", SettingRules::offSeconds, settings.offSeconds, error))
            return false;
        return settings.supplyUnit->kind != MeterAddress::Ppk2 || readPpk2Supply(settings, error);
    }

    // The Power Profiler Kit II sources 0.8 to 5 V, has no current limit and takes no profile.
    bool readPpk2Supply(const SweepSettings &settings, QString *error) const
    {
        for (const char *unitOnly : {"current-limit", "supply-profile"}) {
            if (parser.isSet(QLatin1String(unitOnly)))
                return refuse(error, QStringLiteral("--%1 does not apply to a Power Profiler Kit II").arg(QLatin1String(unitOnly)));
        }
        for (double volts : settings.unitVoltages) {
            if (volts < Ppk2::lowestMillivolts / 1000.0 || volts > Ppk2::highestMillivolts / 1000.0)
                return refuse(error, QStringLiteral("--supply with a Power Profiler Kit II takes voltages from 0.8 to 5 V, not %1")
                                         .arg(Numbers::format(volts)));
        }
        return true;
    }

    bool readDefaults(SweepSettings &settings, QString *error) const
    {
        ModePlan &defaults = settings.defaults;
        double samples = SweepSettings::defaultSamples(settings.meter);
        if (!number("samples", SettingRules::samples, samples, error)
            || !number("settle", SettingRules::settleSeconds, defaults.settleSeconds, error)
            || !number("nplc", SettingRules::nplc, defaults.meter.nplc, error)
            || !number("boot", SettingRules::bootSeconds, settings.bootSeconds, error)
            || !number("reply-timeout", SettingRules::replyTimeoutSeconds, settings.replyTimeoutSeconds, error)
            || !optionalNumber("battery-mah", SettingRules::batteryMah, settings.batteryMah, error)
            || !number("battery-shelf-years", SettingRules::shelfYears, settings.batteryShelfYears, error)
            || !optionalNumber("temperature", SettingRules::temperature, settings.temperature, error))
            return false;
        defaults.meter.samples = int(samples);
        if (parser.isSet(QStringLiteral("range"))) {
            const auto range = SettingRules::parseRange(parser.value(QStringLiteral("range")), QStringLiteral("--range"), error);
            if (!range)
                return false;
            defaults.meter.range = *range;
        }
        return true;
    }

    bool readFiles(SweepSettings &settings, QString *error) const
    {
        if (parser.isSet(QStringLiteral("plan"))) {
            settings.planPath = parser.value(QStringLiteral("plan"));
            const auto plan = PlanFiles::loadPlan(settings.planPath, error);
            if (!plan)
                return false;
            settings.plan = *plan;
        }
        if (parser.isSet(QStringLiteral("limits"))) {
            settings.limitsPath = parser.value(QStringLiteral("limits"));
            const auto limits = PlanFiles::loadLimits(settings.limitsPath, error);
            if (!limits)
                return false;
            settings.limits = *limits;
        }
        return true;
    }

    const QCommandLineParser &parser;
};

// "[3/36] 4 STOP2 at 1.80 V  mean ..."; the voltage where a supply unit sets several.
QString progressLine(int position, int count, const ResultRow &row, bool withVoltage, double secondsLeft)
{
    QString line = QStringLiteral("[%1/%2] %3 ").arg(position).arg(count).arg(row.pointName(withVoltage));
    if (row.mean) {
        line += QStringLiteral(" mean %1  min %2  max %3").arg(Readings::formatAmperes(*row.mean),
                                                                Readings::formatAmperes(*row.min),
                                                                Readings::formatAmperes(*row.max));
    } else {
        line += QLatin1Char(' ') + row.missingCurrent();
    }
    if (row.coremark)
        line += QStringLiteral("  CoreMark %1").arg(Numbers::format(*row.coremark));
    if (!row.verdict.isEmpty())
        line += QStringLiteral("  ") + row.verdict;
    if (row.failsTheRun())
        line += QStringLiteral(" (%1)").arg(row.verdictReason());
    if (position < count) {
        const int minutes = int(secondsLeft / 60 + 0.5);
        line += minutes >= 1 ? QStringLiteral("  (about %1 min left)").arg(minutes)
                             : QStringLiteral("  (about %1 s left)").arg(int(secondsLeft + 0.5));
    }
    return line;
}

// Asks the terminal what the sweep needs and reports its progress.
class TerminalFrontEnd : public QObject
{
public:
    TerminalFrontEnd(Sweep &sweep, bool quiet, const QString &junit, const QStringList &arguments)
        : sweep(sweep)
        , junit(junit)
        , arguments(arguments)
    {
        connect(&sweep, &Sweep::resetWanted, this, [this](int index) {
            prompts.ask(QStringLiteral("press the board's reset button for %1, then Enter\n").arg(PowerModes::describe(index)),
                        [this](const QString &) { this->sweep.resetDone(); });
        });
        connect(&sweep, &Sweep::readingWanted, this, &TerminalFrontEnd::askReading);
        connect(&prompts, &TerminalPrompts::endOfInput, &sweep, &Sweep::endOfInput);
        connect(&sweep, &Sweep::warning, this, [](const QString &text) { say(QStringLiteral("warning: ") + text); });
        if (!quiet) {
            connect(&sweep, &Sweep::meterIdentified, this, [](const QString &identity) { say(QStringLiteral("meter: ") + identity); });
            const bool severalVoltages = sweep.settingsInUse().voltages().size() > 1;
            connect(&sweep, &Sweep::modeFinished, this, [severalVoltages](int position, int count, const ResultRow &row, double left) {
                say(progressLine(position, count, row, severalVoltages, left));
            });
        }
        // The chart and report are drawn beside the next mode; the end waits for them.
        connect(&sweep, &Sweep::recorded, this, [this] { report.write(this->sweep.folderPath()); });
        connect(&sweep, &Sweep::finished, this, [this](Sweep::Outcome outcome, const QString &message) {
            prompts.cancel();
            report.whenIdle([this, outcome, message] { finish(outcome, message); });
        });
        // The signal's number makes the exit status.
        watchTerminationSignals(this, [this](int signal) {
            stoppingSignal = signal;
            this->sweep.stop();
        });
    }

    int run()
    {
        sweep.start();
        QCoreApplication::exec();
        return status;
    }

private:
    void finish(Sweep::Outcome outcome, QString message)
    {
        if (outcome == Sweep::Completed && !report.lastError().isEmpty()) {
            outcome = Sweep::Failed;
            message = report.lastError();
        }
        QString error;
        if (!junit.isEmpty() && !JUnitFile::write(junit, Verdicts::ofLimits(sweep.rows()), &error) && outcome == Sweep::Completed) {
            outcome = Sweep::Failed;
            message = error;
        }
        if (!message.isEmpty())
            say(QStringLiteral("pellmora-sweep: ") + message);
        // Stopped with finished modes kept: how to go on, exactly.
        if (outcome == Sweep::Stopped && !sweep.rows().isEmpty())
            say(QStringLiteral("pellmora-sweep: to go on: ") + resumeCommand());
        if (!sweep.historyFailure().isEmpty()) {
            say(QStringLiteral("pellmora-sweep: the history missed part of this run (%1); bring it in with: "
                               "pellmora-sweep import %2").arg(sweep.historyFailure(), sweep.folderPath()));
        }
        status = outcome == Sweep::Completed ? (sweep.anyFailed() ? ExitCode::someFailed : ExitCode::allPassed)
               : outcome == Sweep::Failed    ? ExitCode::benchFailed
                                             : ExitCode::signalBase + stoppingSignal;
        QCoreApplication::exit(status);
    }

    void askReading(int index, int number, int of)
    {
        prompts.ask(QStringLiteral("%1, reading %2 of %3: ").arg(PowerModes::describe(index)).arg(number).arg(of),
                    [this, index, number, of](const QString &typed) {
                        const QString refused = sweep.enterReading(typed);
                        if (!refused.isEmpty()) {
                            say(refused);
                            askReading(index, number, of);
                        }
                    });
    }

    // This run's command line, with --resume and its folder.
    QString resumeCommand() const
    {
        QStringList line {QStringLiteral("pellmora-sweep"), QStringLiteral("run")};
        bool outGiven = false;
        for (const QString &argument : arguments.mid(1)) {   // after "run"
            outGiven = outGiven || argument == QLatin1String("--out") || argument.startsWith(QLatin1String("--out="));
            if (argument != QLatin1String("--resume"))
                line << argument;
        }
        if (!outGiven)
            line << QStringLiteral("--out") << sweep.folderPath();
        line << QStringLiteral("--resume");
        QStringList quoted;
        for (const QString &word : qAsConst(line))
            quoted << CommandLine::shellQuoted(word);
        return quoted.join(QLatin1Char(' '));
    }

    Sweep &sweep;
    QString junit;
    QStringList arguments;
    TerminalPrompts prompts;
    ReportWriter report;
    int status = ExitCode::benchFailed;
    int stoppingSignal = 0;
};

} // namespace

int runSweepCommand(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Measures the board's power modes one after the other and writes the results folder.\n"
        "Exit status: 0 all passed, 1 a FAIL or ENTRY? verdict, 2 bad usage or input (nothing sent or written),\n"
        "3 the board or the meter failed (finished modes kept), 128+N stopped by signal N."));
    parser.addHelpOption();
    for (const Option &option : options)
        parser.addOption({QLatin1String(option.name), QLatin1String(option.description), QLatin1String(option.valueName)});
    parser.addOption({QStringLiteral("tag"), QStringLiteral("KEY=VALUE recorded with the run in the history; repeatable."),
                      QStringLiteral("KEY=VALUE")});
    parser.addOption({QStringLiteral("resume"), QStringLiteral("Continue into an existing --out folder, skipping its finished modes.")});
    parser.addOption({QStringLiteral("raw"), QStringLiteral("With a Power Profiler Kit II, also every sample to raw/ as 32-bit floats.")});
    parser.addOption({QStringLiteral("events"),
                      QStringLiteral("With a Power Profiler Kit II, events in each mode's readings: D0[,D1...] (a digital input high), "
                                     "or current:AMPS[,min=20us][,gap=100us] (the current above AMPS); to events.csv; repeatable."),
                      QStringLiteral("SOURCES")});
    parser.addOption({QStringLiteral("quiet"), QStringLiteral("No progress lines.")});
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    if (!parser.parse(arguments) || !parser.positionalArguments().isEmpty()) {
        say(QStringLiteral("pellmora-sweep run: %1 (see pellmora-sweep run --help)")
                .arg(parser.errorText().isEmpty() ? QStringLiteral("unexpected argument") : parser.errorText()));
        return ExitCode::badInput;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(parser.helpText().replace(QLatin1String("pellmora-sweep [options]"),
                                             QLatin1String("pellmora-sweep run [options]")).toLocal8Bit().constData(), stdout);
        return ExitCode::allPassed;
    }
    SweepSettings settings;
    QString error;
    if (!SettingsReader(parser).read(settings, &error)) {
        say(QStringLiteral("pellmora-sweep run: ") + error);
        return ExitCode::badInput;
    }
    std::unique_ptr<History> history = History::openChosen(parser.value(QStringLiteral("history")), &error);
    if (!error.isEmpty()) {
        say(QStringLiteral("pellmora-sweep run: ") + error);
        return ExitCode::badInput;
    }
    Sweep sweep(settings, std::move(history));
    if (!sweep.prepare(&error)) {
        say(QStringLiteral("pellmora-sweep run: ") + error);
        return ExitCode::badInput;
    }
    return TerminalFrontEnd(sweep, parser.isSet(QStringLiteral("quiet")), parser.value(QStringLiteral("junit")), arguments).run();
}
