#ifndef HISTORYOPTIONS_H
#define HISTORYOPTIONS_H

#include "history/history.h"

#include <QCommandLineOption>
#include <QString>

#include <array>
#include <memory>
#include <optional>

class QCommandLineParser;

// What the commands that read the history share: --history, the filters
// on runs, and their refusals.
namespace HistoryOptions {

extern const QCommandLineOption historyOption;
extern const std::array<QCommandLineOption, 4> filterOptions;   // --board, --firmware, --tag, --since

// A command's failure, said on its behalf: exit 2.
int refuse(const QString &command, const QString &reason);
// The history the options choose; a command that reads one cannot do
// without it, and never makes one where there is none.
std::unique_ptr<History> openHistory(const QCommandLineParser &parser, QString *error, History::Access access = History::Access::Read);
// The filters given; --board only where the command takes it.
std::optional<RunFilter> filterOf(const QCommandLineParser &parser, QString *error);

} // namespace HistoryOptions

#endif // HISTORYOPTIONS_H
