#include "commands/reportcommands.h"

#include "commands/commandline.h"
#include "commands/exitcodes.h"
#include "report/comparison.h"
#include "report/sweepreport.h"
#include "results/resultsfolder.h"
#include "settings/settingrules.h"

#include <QCommandLineParser>
#include <QJsonValue>

namespace {

using CommandLine::say;

std::optional<double> positiveNumber(const QCommandLineParser &parser, const QString &option, double lowest)
{
    const std::optional<double> value = Numbers::parse(parser.value(option));
    return value && *value > lowest ? value : std::nullopt;
}

} // namespace

int reportCommand(const QStringList &arguments)
{
    const QString usage = QStringLiteral("pellmora-sweep report DIR [--battery-mah CAPACITY] [--battery-shelf-years YEARS]");
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Rebuilds chart.svg, chart.png and report.html from DIR/results.csv."));
    parser.addOption({QStringLiteral("battery-mah"), QStringLiteral("A battery's capacity, for the battery life column."),
                      QStringLiteral("CAPACITY")});
    parser.addOption({QStringLiteral("battery-shelf-years"),
                      QStringLiteral("How long the battery keeps its charge on the shelf (default: as the run recorded, else 10)."),
                      QStringLiteral("YEARS")});
    int status = 0;
    if (!CommandLine::parse(parser, arguments, 1, usage, &status))
        return status;
    const QString folder = parser.positionalArguments().first();
    ReportContext context = ReportContext::fromFolder(folder);
    QString error;
    if (parser.isSet(QStringLiteral("battery-mah"))) {
        context.batteryMah = SettingRules::batteryMah.parse(parser.value(QStringLiteral("battery-mah")), QStringLiteral("--battery-mah"), &error);
        if (!context.batteryMah) {
            say(stderr, QStringLiteral("pellmora-sweep report: ") + error);
            return ExitCode::badInput;
        }
    }
    if (parser.isSet(QStringLiteral("battery-shelf-years"))) {
        const auto years = SettingRules::shelfYears.parse(parser.value(QStringLiteral("battery-shelf-years")),
                                                          QStringLiteral("--battery-shelf-years"), &error);
        if (!years) {
            say(stderr, QStringLiteral("pellmora-sweep report: ") + error);
            return ExitCode::badInput;
        }
        context.shelfYears = *years;
    }
    QStringList warnings;
    const auto rows = SweepReport::rowsOf(folder, context, &warnings, &error);
    for (const QString &warning : warnings)
        say(stderr, QStringLiteral("pellmora-sweep report: warning: ") + warning);
    if (!rows || !SweepReport::write(folder, *rows, context, &error)) {
        say(stderr, QStringLiteral("pellmora-sweep report: ") + error);
        return ExitCode::badInput;
    }
    return ExitCode::allPassed;
}

int compareCommand(const QStringList &arguments)
{
    const QString usage = QStringLiteral("pellmora-sweep compare DIR_A DIR_B [--out DIR] [--threshold FACTOR]");
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Compares two results folders mode by mode (DIR_A before, DIR_B after) and writes compare.csv,\n"
        "compare.svg, compare.png and compare.html. Prints the modes whose mean changed by more than\n"
        "FACTOR either way. Exit status: 0 none changed, 1 some changed, 2 a missing or malformed folder."));
    parser.addOption({QStringLiteral("out"), QStringLiteral("Where to write (default: compare-YYYYMMDD-HHMMSS here)."),
                      QStringLiteral("DIR")});
    parser.addOption({QStringLiteral("threshold"), QStringLiteral("The factor of change that counts (default: 1.2)."),
                      QStringLiteral("FACTOR"), QStringLiteral("1.2")});
    int status = 0;
    if (!CommandLine::parse(parser, arguments, 2, usage, &status))
        return status;
    const std::optional<double> threshold = positiveNumber(parser, QStringLiteral("threshold"), 1);
    if (!threshold) {
        say(stderr, QStringLiteral("pellmora-sweep compare: --threshold takes a factor above 1, such as 1.2"));
        return ExitCode::badInput;
    }
    QString error;
    const auto comparison = Comparison::of(parser.positionalArguments().at(0), parser.positionalArguments().at(1),
                                           *threshold, &error);
    if (!comparison) {
        say(stderr, QStringLiteral("pellmora-sweep compare: ") + error);
        return ExitCode::badInput;
    }
    const std::optional<QString> out = CommandLine::outputFolder(parser.value(QStringLiteral("out")), QStringLiteral("compare"), &error);
    if (!out || !comparison->write(*out, &error)) {
        say(stderr, QStringLiteral("pellmora-sweep compare: ") + error);
        return ExitCode::badInput;
    }
    for (const ComparedMode &mode : comparison->modes()) {
        const auto amperes = [](const std::optional<double> &value) {
            return value ? Readings::formatAmperes(*value) : QStringLiteral("none");
        };
        if (mode.lostItsCurrent()) {
            say(stdout, QStringLiteral("changed  %1 %2  current lost  (%3 -> %4)").arg(mode.index).arg(mode.mode)
                            .arg(amperes(mode.before), mode.afterMissing));
        } else if (comparison->changed(mode)) {
            say(stdout, QStringLiteral("changed  %1 %2  ratio %3  (%4 -> %5)").arg(mode.index).arg(mode.mode)
                            .arg(QLocale::c().toString(*mode.ratio(), 'f', 2), amperes(mode.before), amperes(mode.after)));
        } else if (!mode.inBefore || !mode.inAfter) {
            say(stdout, QStringLiteral("%1  %2 %3  (%4 -> %5)").arg(mode.inBefore ? QStringLiteral("only before") : QStringLiteral("only after"))
                            .arg(mode.index).arg(mode.mode, amperes(mode.before), amperes(mode.after)));
        }
    }
    return comparison->changedModes().isEmpty() ? ExitCode::allPassed : ExitCode::someFailed;
}
