#include "history/historylocation.h"

#include <QDir>
#include <QRegularExpression>

std::optional<HistoryLocation> HistoryLocation::choose(const QString &option, QString *error)
{
    if (!option.isEmpty())
        return parse(option, error);
    const QString fromEnvironment = qEnvironmentVariable("PELLMORA_HISTORY");
    if (!fromEnvironment.isEmpty())
        return parse(fromEnvironment, error);
    HistoryLocation location;
    location.kind = Sqlite;
    location.path = defaultPath();
    return location;
}

std::optional<HistoryLocation> HistoryLocation::parse(const QString &text, QString *error)
{
    HistoryLocation location;
    if (text == QLatin1String("none"))
        return location;
    if (!text.contains(QLatin1String("://"))) {
        location.kind = Sqlite;
        location.path = text;
        return location;
    }
    // postgres:// as well, as PostgreSQL's own client takes both.
    static const QRegularExpression url(QStringLiteral("^postgres(?:ql)?://(?:([^:@/]+)@)?([^:@/]+)(?::(\\d{1,5}))?/([^/?#]+)$"));
    const QRegularExpressionMatch match = url.match(text);
    const int port = match.captured(3).isEmpty() ? 5432 : match.captured(3).toInt();
    if (!match.hasMatch() || port < 1 || port > 65535) {
        *error = text.contains(QLatin1Char('@')) && text.section(QLatin1Char('@'), 0, 0).count(QLatin1Char(':')) > 1
                     ? QStringLiteral("a history address holds no password; give it in PGPASSWORD or ~/.pgpass")
                     : QStringLiteral("\"%1\" is no history: give a file, postgresql://[USER@]HOST[:PORT]/DATABASE, or none")
                           .arg(text);
        return std::nullopt;
    }
    location.kind = Postgres;
    location.user = match.captured(1);
    location.host = match.captured(2);
    location.port = port;
    location.database = match.captured(4);
    return location;
}

QString HistoryLocation::defaultPath()
{
#ifdef Q_OS_WIN
    // %LOCALAPPDATA%: the machine's own, not roamed to others.
    const QString data = qEnvironmentVariable("LOCALAPPDATA", QDir::home().filePath(QStringLiteral("AppData/Local")));
    return QDir(QDir::fromNativeSeparators(data)).filePath(QStringLiteral("pellmora/history.sqlite"));
#else
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty())
        data = QDir::home().filePath(QStringLiteral(".local/share"));
    return QDir(data).filePath(QStringLiteral("pellmora/history.sqlite"));
#endif
}

QString HistoryLocation::text() const
{
    switch (kind) {
    case None:
        return QStringLiteral("none");
    case Sqlite:
        return path;
    case Postgres:
        return QStringLiteral("postgresql://%1%2:%3/%4").arg(user.isEmpty() ? QString() : user + QLatin1Char('@'), host)
            .arg(port).arg(database);
    }
    return QString();
}
