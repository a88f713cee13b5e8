#include "meter/meterprofile.h"

#include "meter/readings.h"

#include <QFile>
#include <QRegularExpression>
#include <QTextStream>

#include <functional>
#include <map>

namespace {

using Setter = std::function<bool(MeterProfile &, const QString &)>;

Setter command(QString MeterProfile::*field)
{
    return [field](MeterProfile &profile, const QString &value) {
        profile.*field = value;
        return true;
    };
}

Setter appended(QStringList MeterProfile::*field)
{
    return [field](MeterProfile &profile, const QString &value) {
        (profile.*field).append(value);
        return true;
    };
}

bool setRanges(MeterProfile &profile, const QString &value)
{
    profile.ranges.clear();
    for (const QString &field : value.split(QLatin1Char(','))) {
        const std::optional<double> range = Numbers::parse(field);
        if (!range || *range <= 0 || (!profile.ranges.isEmpty() && *range <= profile.ranges.last()))
            return false;
        profile.ranges.append(*range);
    }
    return true;
}

// A key's setter, and the placeholders its command has filled in.
struct Key
{
    Setter set;
    QStringList placeholders;
};

const std::map<QString, Key> &keys()
{
    static const std::map<QString, Key> table = {
        {QStringLiteral("identify"), {command(&MeterProfile::identify), {}}},
        {QStringLiteral("clear"), {command(&MeterProfile::clear), {}}},
        {QStringLiteral("configure_auto"), {command(&MeterProfile::configureAuto), {}}},
        {QStringLiteral("configure_range"), {command(&MeterProfile::configureRange), {"{range}", "{range_index}"}}},
        {QStringLiteral("nplc"), {command(&MeterProfile::integration), {"{nplc}"}}},
        {QStringLiteral("samples"), {command(&MeterProfile::sampleCount), {"{samples}"}}},
        {QStringLiteral("error_query"), {command(&MeterProfile::errorQuery), {}}},
        {QStringLiteral("read"), {command(&MeterProfile::read), {}}},
        {QStringLiteral("ranges"), {&setRanges, {}}},
        {QStringLiteral("on_connect"), {appended(&MeterProfile::onConnect), {}}},
        {QStringLiteral("on_close"), {appended(&MeterProfile::onClose), {}}},
    };
    return table;
}

// A placeholder that the key's command does not have filled in would reach the meter as it stands.
QString unknownPlaceholder(const QString &command, const QStringList &known)
{
    static const QRegularExpression placeholder(QStringLiteral("\\{[^}]*\\}"));
    for (auto match = placeholder.globalMatch(command); match.hasNext();) {
        const QString found = match.next().captured();
        if (!known.contains(found))
            return found;
    }
    return QString();
}

} // namespace

std::optional<MeterProfile> MeterProfile::load(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *error = QStringLiteral("cannot read meter profile %1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    MeterProfile profile;
    QTextStream stream(&file);
    for (int lineNumber = 1; !stream.atEnd(); ++lineNumber) {
        const QString line = stream.readLine().trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const int equals = line.indexOf(QLatin1Char('='));
        const auto key = keys().find(line.left(equals).trimmed());
        const QString value = line.mid(equals + 1).trimmed();
        if (equals < 0 || key == keys().end() || !key->second.set(profile, value)) {
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
    if (profile.read.isEmpty()) {
        *error = QStringLiteral("%1: read is empty, so no reading would ever be asked for").arg(path);
        return std::nullopt;
    }
    if (profile.configureRange.contains(QLatin1String("{range_index}")) && profile.ranges.isEmpty()) {
        *error = QStringLiteral("%1: {range_index} needs a ranges line").arg(path);
        return std::nullopt;
    }
    return profile;
}

QStringList MeterProfile::configuration(std::optional<double> range, double nplc, int samples) const
{
    QString configure = configureAuto;
    if (range) {
        // The smallest of the meter's ranges that holds the one asked for.
        int index = ranges.size() - 1;
        for (int i = ranges.size() - 1; i >= 0 && ranges.at(i) >= *range; --i)
            index = i;
        configure = configureRange;
        configure.replace(QLatin1String("{range}"), Numbers::format(*range));
        configure.replace(QLatin1String("{range_index}"), QString::number(index));
    }
    QString integrationCommand = integration;
    integrationCommand.replace(QLatin1String("{nplc}"), Numbers::format(nplc));
    QString samplesCommand = sampleCount;
    samplesCommand.replace(QLatin1String("{samples}"), QString::number(samples));

    QStringList commands;
    for (const QString &line : {clear, configure, integrationCommand, samplesCommand}) {
        if (!line.isEmpty())
            commands << line;
    }
    return commands;
}
