#include "meter/meterprofile.h"

#include "meter/readings.h"

#include <QFile>
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

const std::map<QString, Setter> &keys()
{
    static const std::map<QString, Setter> table = {
        {QStringLiteral("identify"), command(&MeterProfile::identify)},
        {QStringLiteral("clear"), command(&MeterProfile::clear)},
        {QStringLiteral("configure_auto"), command(&MeterProfile::configureAuto)},
        {QStringLiteral("configure_range"), command(&MeterProfile::configureRange)},
        {QStringLiteral("nplc"), command(&MeterProfile::integration)},
        {QStringLiteral("samples"), command(&MeterProfile::sampleCount)},
        {QStringLiteral("error_query"), command(&MeterProfile::errorQuery)},
        {QStringLiteral("read"), command(&MeterProfile::read)},
        {QStringLiteral("ranges"), &setRanges},
        {QStringLiteral("on_connect"), appended(&MeterProfile::onConnect)},
        {QStringLiteral("on_close"), appended(&MeterProfile::onClose)},
    };
    return table;
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
        if (equals < 0 || key == keys().end() || !key->second(profile, line.mid(equals + 1).trimmed())) {
            *error = QStringLiteral("%1:%2: not a profile line: %3").arg(path).arg(lineNumber).arg(line);
            return std::nullopt;
        }
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
