#ifndef COMMANDLINE_H
#define COMMANDLINE_H

#include <QString>
#include <QStringList>

#include <cstdio>
#include <memory>
#include <optional>

class QCommandLineParser;

// What the commands share: their messages, options and folders.
namespace CommandLine {

// A line to standard output or standard error.
void say(FILE *stream, const QString &line);

// Parses a command's options and its `positionals` arguments (-1: at least
// one); false with the exit status to return, after --help or a usage error.
bool parse(QCommandLineParser &parser, const QStringList &arguments, int positionals, const QString &usage, int *status);

// A word as a POSIX shell takes it back: as it is where it holds nothing
// the shell would read, else in single quotes (on Windows, cmd's double quotes).
QString shellQuoted(const QString &word);

// The folder given, made where missing, or a new PREFIX-YYYYMMDD-HHMMSS here.
std::optional<QString> outputFolder(const QString &given, const QString &prefix, QString *error);

} // namespace CommandLine

#endif // COMMANDLINE_H
