#include "commands/commandline.h"

#include "commands/exitcodes.h"
#include "results/resultsfolder.h"

#include <QCommandLineParser>
#include <QDir>
#include <QRegularExpression>

namespace CommandLine {

QString shellQuoted(const QString &word)
{
#ifdef Q_OS_WIN
    // As cmd and a program's own command line take it: in double quotes
    // where it holds a space or what cmd reads, a quote inside escaped.
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./:=,@+\\\\-]+$"));
    if (plain.match(word).hasMatch())
        return word;
    return QLatin1Char('"') + QString(word).replace(QLatin1String("\""), QLatin1String("\\\"")) + QLatin1Char('"');
#else
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./:=,@+%-]+$"));
    if (plain.match(word).hasMatch())
        return word;
    return QLatin1Char('\'') + QString(word).replace(QLatin1String("'"), QLatin1String("'\\''")) + QLatin1Char('\'');
#endif
}

void say(FILE *stream, const QString &line)
{
    std::fprintf(stream, "%s\n", line.toLocal8Bit().constData());
}

bool parse(QCommandLineParser &parser, const QStringList &arguments, int positionals, const QString &usage, int *status)
{
    parser.addHelpOption();
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    const int given = parser.parse(arguments) ? parser.positionalArguments().size() : 0;
    const bool rightCount = positionals < 0 ? given >= 1 : given == positionals;
    if (!parser.errorText().isEmpty() || (!parser.isSet(QStringLiteral("help")) && !rightCount)) {
        say(stderr, QStringLiteral("%1\nusage: %2").arg(parser.errorText().isEmpty() ? QStringLiteral("wrong number of arguments")
                                                                                    : parser.errorText(), usage));
        *status = ExitCode::badInput;
        return false;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        say(stdout, QStringLiteral("usage: %1\n\n%2").arg(usage, parser.helpText().section(QLatin1Char('\n'), 1)));
        *status = ExitCode::allPassed;
        return false;
    }
    return true;
}

std::optional<QString> outputFolder(const QString &given, const QString &prefix, QString *error)
{
    if (given.isEmpty())
        return ResultsFolder::createFresh(QStringLiteral("."), prefix, error);
    if (QDir().mkpath(given))
        return given;
    *error = QStringLiteral("cannot create the folder %1").arg(given);
    return std::nullopt;
}

} // namespace CommandLine
