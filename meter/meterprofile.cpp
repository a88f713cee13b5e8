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

// A number key: what it takes, and where it goes.
std::function<bool(MeterProfile &, const QString &)> number(double lowest, double highest, std::function<void(MeterProfile &, double)> set)
{
    return [=](MeterProfile &profile, const QString &value) {
        const std::optional<double> parsed = Numbers::parse(value);
        if (!parsed || *parsed < lowest || *parsed > highest)
            return false;
        set(profile, *parsed);
        return true;
    };
}

std::function<bool(MeterProfile &, const QString &)> whole(int lowest, int highest, std::function<void(MeterProfile &, int)> set)
{
    return [=](MeterProfile &profile, const QString &value) {
        bool ok = false;
        const int parsed = value.toInt(&ok);
        if (!ok || parsed < lowest || parsed > highest)
            return false;
        set(profile, parsed);
        return true;
    };
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
        {QStringLiteral("readings_per_read"), {whole(1, 1000000, [](MeterProfile &p, int n) { p.readingsPerRead = n; }), {}}},
        {QStringLiteral("command_delay_ms"), {whole(0, 10000, [](MeterProfile &p, int ms) { p.commandDelayMs = ms; }), {}}},
        {QStringLiteral("overload_above"), {number(1, 1e300, [](MeterProfile &p, double v) { p.overloadAbove = v; }), {}}},
        {QStringLiteral("read_timeout_s"), {number(0.1, 3600, [](MeterProfile &p, double s) { p.readTimeoutSeconds = s; }), {}}},
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
    // Without a sample count each read gives what the meter gives; a sweep
    // that took one read for the readings asked for would fail on every mode.
    if (profile.sampleCount.isEmpty() && !profile.readingsPerRead) {
        *error = QStringLiteral("%1: samples is empty, so say how many readings each read gives (readings_per_read = 1)").arg(path);
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
    samplesCommand.replace(QLatin1String("{samples}"), QString::number(readingsPerReadFor(samples)));

    QStringList commands;
    for (const QString &line : {clear, configure, integrationCommand, samplesCommand}) {
        if (!line.isEmpty())
            commands << line;
    }
    return commands;
}

int MeterProfile::readingsPerReadFor(int samples) const
{
    if (sampleCount.isEmpty())
        return readingsPerRead.value_or(1);
    return std::min(samples, readingsPerRead.value_or(samples));
}
