#include "commands/historyoptions.h"

#include "commands/commandline.h"
#include "commands/exitcodes.h"
#include "settings/settingrules.h"

#include <QCommandLineParser>

namespace HistoryOptions {

const QCommandLineOption historyOption {
    QStringLiteral("history"),
    QStringLiteral("The run history: a file or postgresql://[USER@]HOST[:PORT]/DATABASE "
                   "(default: $PELLMORA_HISTORY, else ~/.local/share/pellmora/history.sqlite, on Windows %LOCALAPPDATA%\\pellmora\\history.sqlite)."),
    QStringLiteral("LOCATION")};

const std::array<QCommandLineOption, 4> filterOptions = {{
    {QStringLiteral("board"), QStringLiteral("Only this board's runs."), QStringLiteral("ID")},
    {QStringLiteral("firmware"), QStringLiteral("Only runs of this firmware label."), QStringLiteral("LABEL")},
    {QStringLiteral("tag"), QStringLiteral("Only runs with this tag; repeatable, all must hold."), QStringLiteral("KEY=VALUE")},
    {QStringLiteral("since"), QStringLiteral("Only runs started on this day (UTC) or later."), QStringLiteral("YYYY-MM-DD")},
}};

// A command's failure, said on its behalf.
int refuse(const QString &command, const QString &reason)
{
    CommandLine::say(stderr, QStringLiteral("pellmora-sweep %1: %2").arg(command, reason));
    return ExitCode::badInput;
}

// The history the options choose; a command that reads one cannot do
// without it, and never makes one where there is none.
std::unique_ptr<History> openHistory(const QCommandLineParser &parser, QString *error, History::Access access)
{
    std::unique_ptr<History> history = History::openChosen(parser.value(historyOption), error, access);
    if (!history && error->isEmpty())
        *error = QStringLiteral("there is no history to read with --history none");
    return history;
}

std::optional<RunFilter> filterOf(const QCommandLineParser &parser, QString *error)
{
    RunFilter filter;
    // The table takes no --board: it is across boards.
    if (parser.optionNames().contains(QStringLiteral("board")))
        filter.boardId = parser.value(QStringLiteral("board"));
    filter.firmware = parser.value(QStringLiteral("firmware"));
    const auto tags = SettingRules::parseTags(parser.values(QStringLiteral("tag")), error);
    if (!tags)
        return std::nullopt;
    filter.tags = *tags;
    if (parser.isSet(QStringLiteral("since"))) {
        filter.since = QDate::fromString(parser.value(QStringLiteral("since")), Qt::ISODate);
        if (!filter.since.isValid()) {
            *error = QStringLiteral("--since takes a day as YYYY-MM-DD, not \"%1\"").arg(parser.value(QStringLiteral("since")));
            return std::nullopt;
        }
    }
    return filter;
}

} // namespace HistoryOptions
