#ifndef PROFILEFILE_H
#define PROFILEFILE_H

#include <QFile>
#include <QRegularExpression>
#include <QStringList>
#include <QTextStream>

#include <functional>
#include <map>
#include <optional>

// The file an instrument's profile is written in: "key = command" lines,
// '#' comments, blank lines. Each key has a setter, and the placeholders its
// command has filled in; any other placeholder would reach the instrument
// as it stands, so it is refused with its line.
namespace ProfileFile {

template <typename Profile>
struct Key
{
    std::function<bool(Profile &, const QString &value)> set;
    QStringList placeholders;
};

// A key whose value replaces a command of the profile.
template <typename Profile>
std::function<bool(Profile &, const QString &)> command(QString Profile::*field)
{
    return [field](Profile &profile, const QString &value) {
        profile.*field = value;
        return true;
    };
}

// A key that may be given several times, each adding a command.
template <typename Profile>
std::function<bool(Profile &, const QString &)> appended(QStringList Profile::*field)
{
    return [field](Profile &profile, const QString &value) {
        (profile.*field).append(value);
        return true;
    };
}

inline QString unknownPlaceholder(const QString &command, const QStringList &known)
{
    static const QRegularExpression placeholder(QStringLiteral("\\{[^}]*\\}"));
    for (auto match = placeholder.globalMatch(command); match.hasNext();) {
        const QString found = match.next().captured();
        if (!known.contains(found))
            return found;
    }
    return QString();
}

// The profile a file describes, over the defaults; `kind` names it in messages ("meter profile").
template <typename Profile>
std::optional<Profile> load(const QString &path, const QString &kind, const std::map<QString, Key<Profile>> &keys, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *error = QStringLiteral("cannot read %1 %2: %3").arg(kind, path, file.errorString());
        return std::nullopt;
    }
    Profile profile;
    QTextStream stream(&file);
    for (int lineNumber = 1; !stream.atEnd(); ++lineNumber) {
        const QString line = stream.readLine().trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const int equals = line.indexOf(QLatin1Char('='));
        const auto key = keys.find(line.left(equals).trimmed());
        const QString value = line.mid(equals + 1).trimmed();
        if (equals < 0 || key == keys.end() || !key->second.set(profile, value)) {
            *error = QStringLiteral("%1:%2: not a profile line: %3").arg(path).arg(lineNumber).arg(line);
            return std::nullopt;
        }
        const QString unknown = unknownPlaceholder(value, key->second.placeholders);
        if (!unknown.isEmpty()) {
            *error = QStringLiteral("%1:%2: %3 is not filled in for %4; %5").arg(path).arg(lineNumber).arg(unknown, key->first,
                key->second.placeholders.isEmpty() ? QStringLiteral("it takes none")
                                                   : QStringLiteral("it takes ") + key->second.placeholders.join(QLatin1String(" and ")));
            return std::nullopt;
        }
    }
    return profile;
}

} // namespace ProfileFile

#endif // PROFILEFILE_H
