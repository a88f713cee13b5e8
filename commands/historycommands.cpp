#include "commands/historycommands.h"

#include "commands/commandline.h"
#include "commands/exitcodes.h"
#include "commands/historyoptions.h"
#include "history/baselinecheck.h"
#include "history/folderimport.h"
#include "history/history.h"
#include "history/datasheet.h"
#include "report/datasheetreport.h"
#include "report/junitfile.h"
#include "report/trendreport.h"
#include "report/verdicts.h"
#include "results/atomicfile.h"
#include "results/csv.h"
#include "settings/settingrules.h"

#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>

namespace {

using CommandLine::say;
using HistoryOptions::filterOf;
using HistoryOptions::historyOption;
using HistoryOptions::openHistory;
using HistoryOptions::refuse;

// What trend and table read: the runs the filters take, the modes --modes
// chooses (none for all), and the history they come from.
struct HistoryQuery
{
    RunFilter filter;
    QList<int> modes;
    std::unique_ptr<History> history;
};

// Empty, with the refusal's exit status, where an option or the history is no good.
std::optional<HistoryQuery> queryOf(const QCommandLineParser &parser, const QString &command, int *status)
{
    QString error;
    HistoryQuery query;
    const std::optional<RunFilter> filter = filterOf(parser, &error);
    if (!filter) {
        *status = refuse(command, error);
        return std::nullopt;
    }
    query.filter = *filter;
    if (parser.isSet(QStringLiteral("modes"))) {
        const std::optional<QList<int>> modes = SettingRules::parseModes(parser.value(QStringLiteral("modes")), &error);
        if (!modes) {
            *status = refuse(command, QStringLiteral("--modes: ") + error);
            return std::nullopt;
        }
        query.modes = *modes;
    }
    query.history = openHistory(parser, &error);
    if (!query.history) {
        *status = refuse(command, error);
        return std::nullopt;
    }
    return query;
}

QString tagsText(const QMap<QString, QString> &tags)
{
    QStringList pairs;
    for (auto tag = tags.cbegin(); tag != tags.cend(); ++tag)
        pairs << tag.key() + QLatin1Char('=') + tag.value();
    return pairs.join(QLatin1Char(','));
}

// Columns as wide as their widest cell, two spaces apart.
QString table(const QStringList &header, const QList<QStringList> &rows)
{
    QList<int> widths;
    for (const QString &cell : header)
        widths << cell.size();
    for (const QStringList &row : rows) {
        for (int column = 0; column < row.size(); ++column)
            widths[column] = std::max(widths.at(column), int(row.at(column).size()));
    }
    QString text;
    for (const QStringList &row : QList<QStringList> {header} + rows) {
        QStringList cells;
        for (int column = 0; column < row.size(); ++column)
            cells << (column + 1 < row.size() ? row.at(column).leftJustified(widths.at(column)) : row.at(column));
        text += cells.join(QLatin1String("  ")) + QLatin1Char('\n');
    }
    return text;
}

QString listing(const QList<RunEntry> &runs, const QString &format)
{
    if (format == QLatin1String("json")) {
        QJsonArray array;
        for (const RunEntry &run : runs)
            array << run.toJson();
        return QString::fromUtf8(QJsonDocument(array).toJson());
    }
    QList<QStringList> rows;
    const auto time = [&format](const QDateTime &when) {
        return format == QLatin1String("csv") ? when.toUTC().toString(Qt::ISODate)
                                              : when.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    };
    for (const RunEntry &run : runs) {
        const RunFacts &facts = run.facts;
        rows << (format == QLatin1String("csv")
                     ? QStringList {facts.runId, time(facts.started), facts.ended.isValid() ? time(facts.ended) : QString(),
                                    facts.outcome, facts.host, facts.boardId, facts.firmware, tagsText(facts.tags), facts.note,
                                    QString::number(run.modes), QString::number(run.fails), run.folder}
                     : QStringList {facts.runId, time(facts.started), facts.outcome, facts.boardId, facts.firmware,
                                    tagsText(facts.tags), QString::number(run.modes), QString::number(run.fails), run.folder});
    }
    if (format == QLatin1String("csv")) {
        QString csv = Csv::row({"run_id", "started_utc", "ended_utc", "outcome", "host", "board_id", "firmware", "tags", "note",
                                "modes", "fails", "folder"});
        for (const QStringList &row : rows)
            csv += Csv::row(row);
        return csv;
    }
    return table({"RUN", "STARTED (UTC)", "OUTCOME", "BOARD", "FIRMWARE", "TAGS", "MODES", "FAIL", "FOLDER"}, rows);
}

void print(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

} // namespace

int historyCommand(const QStringList &arguments)
{
    const QString usage = QStringLiteral("pellmora-sweep history [--history L] [--board ID] [--firmware LABEL] [--tag KEY=VALUE] "
                                         "[--since YYYY-MM-DD] [--limit N] [--format table|csv|json]");
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Lists the runs of the history, newest first, those that match every filter given; with none, the\n"
        "table's or the CSV's header alone, or [] in JSON.\n"
        "Exit status: 0 listed, 2 bad input, an unreadable history or one that does not exist."));
    parser.addOption(historyOption);
    for (const QCommandLineOption &option : HistoryOptions::filterOptions)
        parser.addOption(option);
    parser.addOption({QStringLiteral("limit"), QStringLiteral("At most N runs; 0 for all (default: 20)."), QStringLiteral("N"),
                      QStringLiteral("20")});
    parser.addOption({QStringLiteral("format"), QStringLiteral("table, csv or json (default: table)."), QStringLiteral("FORMAT"),
                      QStringLiteral("table")});
    int status = 0;
    if (!CommandLine::parse(parser, arguments, 0, usage, &status))
        return status;
    const QString command = QStringLiteral("history");
    bool numeric = false;
    const int limit = parser.value(QStringLiteral("limit")).toInt(&numeric);
    if (!numeric || limit < 0)
        return refuse(command, QStringLiteral("--limit takes a count of runs, 0 for all"));
    const QString format = parser.value(QStringLiteral("format"));
    if (!QStringList {"table", "csv", "json"}.contains(format))
        return refuse(command, QStringLiteral("--format takes table, csv or json, not \"%1\"").arg(format));
    QString error;
    const std::optional<RunFilter> filter = filterOf(parser, &error);
    if (!filter)
        return refuse(command, error);
    const std::unique_ptr<History> history = openHistory(parser, &error);
    if (!history)
        return refuse(command, error);
    const auto runs = history->runs(*filter, limit, &error);
    if (!runs)
        return refuse(command, error);
    print(listing(*runs, format));
    return ExitCode::allPassed;
}

int importCommand(const QStringList &arguments)
{
    const QString usage = QStringLiteral("pellmora-sweep import DIR... [--history L] [--board-id ID] [--firmware LABEL] [--tag KEY=VALUE]");
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Brings results folders into the history as runs. The folder is the record of truth: a run the\n"
        "history holds in part or with other values is updated row by row, one that is the same is skipped.\n"
        "A folder is completed only when it says so and holds every mode at every voltage it was asked for.\n"
        "Exit status: 0 every folder is in the history, 2 some could not be."));
    parser.addOption(historyOption);
    parser.addOption({QStringLiteral("board-id"), QStringLiteral("The board the runs were measured on."), QStringLiteral("ID")});
    parser.addOption({QStringLiteral("firmware"), QStringLiteral("The firmware's label."), QStringLiteral("LABEL")});
    parser.addOption({QStringLiteral("tag"), QStringLiteral("A tag for every run; repeatable."), QStringLiteral("KEY=VALUE")});
    int status = 0;
    if (!CommandLine::parse(parser, arguments, -1, usage, &status))
        return status;
    const QString command = QStringLiteral("import");
    QString error;
    ImportOverrides overrides {parser.value(QStringLiteral("board-id")), parser.value(QStringLiteral("firmware")), {}};
    const auto tags = SettingRules::parseTags(parser.values(QStringLiteral("tag")), &error);
    if (!tags)
        return refuse(command, error);
    overrides.tags = *tags;
    const std::unique_ptr<History> history = openHistory(parser, &error, History::Access::Write);
    if (!history)
        return refuse(command, error);
    QMap<FolderImport::Result, int> counts;
    for (const QString &folder : parser.positionalArguments()) {
        QString said;
        const FolderImport::Result result = FolderImport::import(*history, folder, overrides, &said);
        ++counts[result];
        say(stderr, QStringLiteral("pellmora-sweep import: ") + said);
    }
    say(stderr, QStringLiteral("pellmora-sweep import: %1 imported, %2 updated, %3 already there, %4 failed")
                    .arg(counts.value(FolderImport::Result::Imported)).arg(counts.value(FolderImport::Result::Updated))
                    .arg(counts.value(FolderImport::Result::AlreadyThere)).arg(counts.value(FolderImport::Result::Failed)));
    return counts.value(FolderImport::Result::Failed) ? ExitCode::badInput : ExitCode::allPassed;
}

int trendCommand(const QStringList &arguments)
{
    const QString usage = QStringLiteral("pellmora-sweep trend [--history L] [--board ID] [--firmware LABEL] [--tag KEY=VALUE] "
                                         "[--modes LIST] [--since YYYY-MM-DD] [--out DIR]");
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Draws the mean current of each chosen mode over the matching runs, oldest first: trend.csv,\n"
        "trend.svg, trend.png and trend.html in DIR, whose path goes to standard output.\n"
        "Exit status: 0 written, 2 bad input, an unreadable history or one that does not exist, or no\n"
        "run that matches (nothing is drawn)."));
    parser.addOption(historyOption);
    for (const QCommandLineOption &option : HistoryOptions::filterOptions)
        parser.addOption(option);
    parser.addOption({QStringLiteral("modes"), QStringLiteral("Modes to draw, such as 0-7,15 (default: all)."), QStringLiteral("LIST")});
    parser.addOption({QStringLiteral("out"), QStringLiteral("Where to write (default: trend-YYYYMMDD-HHMMSS here)."),
                      QStringLiteral("DIR")});
    int status = 0;
    if (!CommandLine::parse(parser, arguments, 0, usage, &status))
        return status;
    const QString command = QStringLiteral("trend");
    const std::optional<HistoryQuery> query = queryOf(parser, command, &status);
    if (!query)
        return status;
    QString error;
    const auto points = query->history->trend(query->filter, query->modes, &error);
    if (!points)
        return refuse(command, error);
    if (points->isEmpty())
        return refuse(command, QStringLiteral("no runs in the history at %1 match").arg(query->history->location()));
    const std::optional<QString> out = CommandLine::outputFolder(parser.value(QStringLiteral("out")), command, &error);
    if (!out || !TrendReport::write(*out, *points, query->filter.described(), &error))
        return refuse(command, error);
    say(stdout, *out);
    return ExitCode::allPassed;
}

int tableCommand(const QStringList &arguments)
{
    const QString usage = QStringLiteral("pellmora-sweep table [--history L] [--firmware LABEL] [--tag KEY=VALUE] "
                                         "[--since YYYY-MM-DD] [--modes LIST] [--out DIR]");
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Builds a datasheet's current table across boards from the history: per mode, supply voltage (to\n"
        "0.01 V) and temperature, each board's newest completed run that measured the mode there, and\n"
        "their typical (mean), lowest, highest and standard deviation. A run with no board id is no board\n"
        "(two such runs may be two boards): it is left out, and how many were is said on standard error.\n"
        "Writes table.csv and table.html in DIR, whose path goes to standard output.\n"
        "Exit status: 0 written, 2 bad input, an unreadable history or one that does not exist, or\n"
        "nothing that matches."));
    parser.addOption(historyOption);
    for (const QCommandLineOption &option : HistoryOptions::filterOptions) {
        if (!option.names().contains(QStringLiteral("board")))
            parser.addOption(option);
    }
    parser.addOption({QStringLiteral("modes"), QStringLiteral("Modes to give, such as 0-7,15 (default: all)."), QStringLiteral("LIST")});
    parser.addOption({QStringLiteral("out"), QStringLiteral("Where to write (default: table-YYYYMMDD-HHMMSS here)."),
                      QStringLiteral("DIR")});
    int status = 0;
    if (!CommandLine::parse(parser, arguments, 0, usage, &status))
        return status;
    const QString command = QStringLiteral("table");
    const std::optional<HistoryQuery> query = queryOf(parser, command, &status);
    if (!query)
        return status;
    QString error;
    const auto points = query->history->datasheetPoints(query->filter, query->modes, &error);
    if (!points)
        return refuse(command, error);
    const Datasheet sheet = Datasheet::of(*points);
    if (sheet.runsWithoutBoard > 0) {
        say(stderr, QStringLiteral("pellmora-sweep table: %1 without a board id left out: record one with --board-id")
                        .arg(sheet.runsWithoutBoard == 1 ? QStringLiteral("1 run") : QStringLiteral("%1 runs").arg(sheet.runsWithoutBoard)));
    }
    if (sheet.isEmpty())
        return refuse(command, QStringLiteral("the history at %1 holds no completed run that matches").arg(query->history->location()));
    const std::optional<QString> out = CommandLine::outputFolder(parser.value(QStringLiteral("out")), command, &error);
    if (!out || !DatasheetReport::write(*out, sheet, query->filter.described(), &error))
        return refuse(command, error);
    say(stdout, *out);
    return ExitCode::allPassed;
}

int checkCommand(const QStringList &arguments)
{
    const QString usage = QStringLiteral("pellmora-sweep check DIR [--history L] [--baseline last|last-pass|median:N|RUN_ID] "
                                         "[--tolerance PERCENT] [--floor AMPS] [--require-baseline] [--junit FILE] [--markdown FILE]");
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Sets the results folder DIR against a baseline of the same board from the history.\n"
        "A row is compared only with its counterpart: the same mode at the same supply voltage (to 0.01 V)\n"
        "and the same temperature, or both without one. The baseline is chosen for each counterpart\n"
        "apart: the newest earlier completed run of the board that holds it (or the median of the N\n"
        "newest that do). A run with no board id is no board: it has no baseline unless --baseline names\n"
        "a run. A mode has changed when it moved by more than the tolerance or the floor, whichever is\n"
        "larger, either way; one that is FAIL by its limits, lost its current or turned to overloads has\n"
        "failed. A row with no counterpart has \"no baseline\": skipped, neither a pass nor a change. A\n"
        "mode the run was asked to measure at a voltage and holds no row of is \"not measured\", a\n"
        "failure, and a run that did not complete (failed, stopped, or killed while running) fails the check.\n"
        "The first line on standard error says how many completed runs of the board the history holds.\n"
        "Exit status: 0 none changed or failed, 1 some did, the run did not complete, or (with\n"
        "--require-baseline) a mode or the board has no baseline, 2 bad input, an unreadable history or\n"
        "one that does not exist."));
    parser.addOption(historyOption);
    parser.addOption({QStringLiteral("baseline"),
                      QStringLiteral("last (the newest completed run before DIR's), last-pass (the newest with no FAIL), "
                                     "median:N (per mode, the median of the N newest) or a run id (default: last)."),
                      QStringLiteral("BASELINE"), QStringLiteral("last")});
    parser.addOption({QStringLiteral("tolerance"), QStringLiteral("How far a mode may move, in percent (default: 20)."),
                      QStringLiteral("PERCENT"), QStringLiteral("20")});
    parser.addOption({QStringLiteral("floor"), QStringLiteral("The least change that counts, in amperes (default: 1e-8, 10 nA)."),
                      QStringLiteral("AMPS"), QStringLiteral("1e-8")});
    parser.addOption({QStringLiteral("require-baseline"),
                      QStringLiteral("Fail a mode with no baseline, and a run whose board has none: for a CI job, whose history "
                                     "must not go missing unseen.")});
    parser.addOption({QStringLiteral("junit"), QStringLiteral("Also write the verdicts as JUnit XML."), QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("markdown"), QStringLiteral("Also write every mode as a Markdown table."), QStringLiteral("FILE")});
    int status = 0;
    if (!CommandLine::parse(parser, arguments, 1, usage, &status))
        return status;
    const QString command = QStringLiteral("check");
    QString error;
    const std::optional<BaselineRule> rule = BaselineRule::parse(parser.value(QStringLiteral("baseline")), &error);
    if (!rule)
        return refuse(command, error);
    const std::optional<double> percent = Numbers::parse(parser.value(QStringLiteral("tolerance")));
    if (!percent || *percent < 0)
        return refuse(command, QStringLiteral("--tolerance takes a percentage, such as 20"));
    const std::optional<double> floor = Readings::parseTyped(parser.value(QStringLiteral("floor")), &error);
    if (!floor || *floor < 0)
        return refuse(command, QStringLiteral("--floor takes a current in amperes, such as 1e-8 or 10n"));
    const std::unique_ptr<History> history = openHistory(parser, &error);
    if (!history)
        return refuse(command, error);
    const QString folder = parser.positionalArguments().first();
    auto check = BaselineCheck::of(*history, folder, *rule, {*percent / 100, *floor}, &error);
    if (!check)
        return refuse(command, error);
    // What the gate could see, first: a history gone missing or emptied shows here.
    if (check->boardId().isEmpty()) {
        say(stderr, QStringLiteral("history %1: this run has no board id, so no runs of its board").arg(history->location()));
    } else {
        const std::optional<int> runs = history->completedRunCount(check->boardId(), check->runId(), &error);
        if (!runs)
            return refuse(command, error);
        say(stderr, QStringLiteral("history %1: %2 completed run%3 of board %4, this run left out")
                        .arg(history->location()).arg(*runs).arg(*runs == 1 ? "" : "s", check->boardId()));
    }
    if (parser.isSet(QStringLiteral("require-baseline")))
        check->requireBaselines();

    if (check->hasBaseline()) {
        say(stderr, QStringLiteral("pellmora-sweep check: against %1").arg(check->baselineText()));
    } else {
        say(stdout, QStringLiteral("no baseline for %1: nothing to compare")
                        .arg(check->boardId().isEmpty() ? QStringLiteral("a run with no board id")
                                                        : QStringLiteral("board ") + check->boardId()));
    }
    if (!check->ranWhole()) {
        say(stdout, QStringLiteral("run %1: %2 of %3 asked pairs measured")
                        .arg(check->runOutcome()).arg(check->measuredPoints()).arg(check->askedPoints()));
    }
    for (const CheckedMode &mode : check->modes()) {
        if (mode.counts()) {
            say(stdout, QStringLiteral("%1  %2  %3").arg(mode.verdict == CheckedMode::Changed ? QStringLiteral("changed")
                                                                                              : QStringLiteral("failed "),
                                                           mode.name(), mode.reason));
        }
    }
    if ((parser.isSet(QStringLiteral("junit"))
         && !JUnitFile::write(parser.value(QStringLiteral("junit")), Verdicts::ofCheck(*check), &error))
        || (parser.isSet(QStringLiteral("markdown"))
            && !saveAtomically(parser.value(QStringLiteral("markdown")), Verdicts::markdown(*check), &error)))
        return refuse(command, error);
    say(stderr, QStringLiteral("pellmora-sweep check: %1 of %2 modes changed or failed")
                    .arg(check->countingModes()).arg(check->modes().size()));
    return check->countingModes() > 0 || !check->ranWhole() ? ExitCode::someFailed : ExitCode::allPassed;
}
