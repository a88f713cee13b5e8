#include "meter/meterprofile.h"

#include "meter/profilefile.h"
#include "meter/readings.h"

namespace {

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

const std::map<QString, ProfileFile::Key<MeterProfile>> &keys()
{
    using ProfileFile::appended;
    using ProfileFile::command;
    static const std::map<QString, ProfileFile::Key<MeterProfile>> table = {
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

} // namespace

std::optional<MeterProfile> MeterProfile::load(const QString &path, QString *error)
{
    std::optional<MeterProfile> loaded = ProfileFile::load(path, QStringLiteral("meter profile"), keys(), error);
    if (!loaded)
        return std::nullopt;
    const MeterProfile &profile = *loaded;
    if (profile.read.isEmpty()) {
        *error = QStringLiteral("%1: read is empty, so no reading would ever be asked for").arg(path);
        return std::nullopt;
    }
    if (profile.configureRange.contains(QLatin1String("{range_index}")) && profile.ranges.isEmpty()) {
        *error = QStringLiteral("%1: {range_index} needs a ranges line").arg(path);
        return std::nullopt;
    }
    return loaded;
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
