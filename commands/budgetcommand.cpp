#include "commands/budgetcommand.h"

#include "budget/budgetsources.h"
#include "commands/commandline.h"
#include "commands/exitcodes.h"
#include "commands/historyoptions.h"
#include "report/budgetreport.h"

#include <QCommandLineParser>
#include <QFile>

namespace {

using HistoryOptions::refuse;

const QString command = QStringLiteral("budget");

// A number option within its bounds; none where it is not given.
bool numberOption(const QCommandLineParser &parser, const QString &name, double lowest, double highest, std::optional<double> *value,
                  QString *error)
{
    if (!parser.isSet(name))
        return true;
    const std::optional<double> parsed = Numbers::parse(parser.value(name));
    if (!parsed || *parsed < lowest || *parsed > highest) {
        *error = QStringLiteral("--%1 takes a number from %2 to %3, not \"%4\"")
                     .arg(name, Numbers::format(lowest), Numbers::format(highest), parser.value(name));
        return false;
    }
    *value = parsed;
    return true;
}

} // namespace

int budgetCommand(const QStringList &arguments)
{
    const QString usage = QStringLiteral(
        "pellmora-sweep budget PROFILE [--from DIR | --board ID [--firmware LABEL] [--tag KEY=VALUE]... [--history L]]\n"
        "                      [--vdd VOLTS] [--battery MAH] [--battery-shelf-years N] [--derate FRACTION] [--out DIR]");
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Costs a product's repeating period in the board's modes (PROFILE) with the currents measured in a results\n"
        "folder (--from) or, per mode, in the board's newest completed run in the history. Writes budget.csv,\n"
        "budget.svg, budget.png and budget.html in DIR, whose path goes to standard output.\n"
        "PROFILE lines: period_s = 10; MODE = rest | TIME (0.005 s, 5 ms) | DUTY (1 s / 60 s, 2 %);\n"
        "event MODE SOURCE = RATE (0.1 /s, 6 /min), SOURCE as --events named it (D0, current). '#' begins a comment.\n"
        "Exit status: 0 written, 2 bad input: a profile line (named as PROFILE:LINE), a mode or events not\n"
        "measured, an unreadable folder or history."));
    parser.addPositionalArgument(QStringLiteral("PROFILE"), QStringLiteral("The product's period in the board's modes."));
    parser.addOption({QStringLiteral("from"), QStringLiteral("A results folder to take the currents from."), QStringLiteral("DIR")});
    parser.addOption(HistoryOptions::historyOption);
    for (const QCommandLineOption &option : HistoryOptions::filterOptions) {
        if (!option.names().contains(QStringLiteral("since")))
            parser.addOption(option);
    }
    parser.addOption({QStringLiteral("vdd"), QStringLiteral("The supply voltage whose modes are taken, and the power's (default: "
                                                            "the one the modes were measured at)."), QStringLiteral("VOLTS")});
    parser.addOption({QStringLiteral("battery"), QStringLiteral("A battery's capacity, for the product's life."), QStringLiteral("MAH")});
    parser.addOption({QStringLiteral("battery-shelf-years"), QStringLiteral("How long it keeps its charge; a longer life is shown "
                                                                            "as that (default: 10)."), QStringLiteral("YEARS")});
    parser.addOption({QStringLiteral("derate"), QStringLiteral("The share of the capacity the product can use (default: 0.8)."),
                      QStringLiteral("FRACTION")});
    parser.addOption({QStringLiteral("out"), QStringLiteral("Where to write (default: budget-YYYYMMDD-HHMMSS here)."), QStringLiteral("DIR")});
    int status = 0;
    if (!CommandLine::parse(parser, arguments, 1, usage, &status))
        return status;

    QString error;
    std::optional<double> vdd, capacity, shelf, derate;
    if (!numberOption(parser, QStringLiteral("vdd"), 0.5, 6, &vdd, &error)
        || !numberOption(parser, QStringLiteral("battery"), 1e-3, 1e9, &capacity, &error)
        || !numberOption(parser, QStringLiteral("battery-shelf-years"), 0.01, 100, &shelf, &error)
        || !numberOption(parser, QStringLiteral("derate"), 0.01, 1, &derate, &error))
        return refuse(command, error);
    const bool fromFolder = parser.isSet(QStringLiteral("from"));
    if (fromFolder == parser.isSet(QStringLiteral("board")))
        return refuse(command, QStringLiteral("give --from DIR, a results folder, or --board ID, for the board's newest runs in the history"));
    if (fromFolder && (parser.isSet(QStringLiteral("firmware")) || parser.isSet(QStringLiteral("tag")) || parser.isSet(QStringLiteral("history"))))
        return refuse(command, QStringLiteral("--firmware, --tag and --history choose runs of the history; --from takes a folder"));

    const QString profilePath = parser.positionalArguments().first();
    QFile profileFile(profilePath);
    if (!profileFile.open(QIODevice::ReadOnly | QIODevice::Text))
        return refuse(command, QStringLiteral("cannot read %1: %2").arg(profilePath, profileFile.errorString()));
    const QString profileText = QString::fromUtf8(profileFile.readAll());
    const std::optional<BudgetProfile> profile = BudgetProfile::parse(profileText, profilePath, &error);
    if (!profile)
        return refuse(command, error);

    const std::optional<int> voltageKey = vdd ? std::optional<int>(ResultRow::voltageKeyOf(vdd)) : std::nullopt;
    std::optional<QMap<int, BudgetSource>> sources;
    if (fromFolder) {
        sources = BudgetSources::fromFolder(parser.value(QStringLiteral("from")), voltageKey, &error);
    } else {
        const std::optional<RunFilter> filter = HistoryOptions::filterOf(parser, &error);
        std::unique_ptr<History> history = filter ? HistoryOptions::openHistory(parser, &error) : nullptr;
        QList<int> modes;
        for (const BudgetProfile::Line &line : profile->lines) {
            if (!modes.contains(line.mode))
                modes << line.mode;
        }
        if (history)
            sources = BudgetSources::fromHistory(*history, *filter, modes, voltageKey, &error);
    }
    if (!sources)
        return refuse(command, error);
    const std::optional<Budget> budget = Budget::compute(*profile, *sources, vdd, profilePath, &error);
    if (!budget)
        return refuse(command, error);
    std::optional<BudgetBattery> battery;
    if (capacity)
        battery = BudgetBattery {*capacity, derate.value_or(0.8), shelf.value_or(10)};
    const std::optional<QString> out = CommandLine::outputFolder(parser.value(QStringLiteral("out")), command, &error);
    if (!out || !BudgetReport::write(*out, *budget, profileText, battery, &error))
        return refuse(command, error);
    CommandLine::say(stdout, *out);
    return ExitCode::allPassed;
}
