#include "supply/supplyprofile.h"

#include "meter/profilefile.h"
#include "meter/readings.h"

namespace {

bool setChannel(SupplyProfile &profile, const QString &value)
{
    bool ok = false;
    profile.channel = value.toInt(&ok);
    return ok && profile.channel >= 1 && profile.channel <= 99;
}

bool addClosing(SupplyProfile &profile, const QString &value)
{
    profile.closeGiven = true;
    profile.onClose.append(value);
    return true;
}

const std::map<QString, ProfileFile::Key<SupplyProfile>> &keys()
{
    using ProfileFile::appended;
    using ProfileFile::command;
    const QString channel = QStringLiteral("{channel}");
    static const std::map<QString, ProfileFile::Key<SupplyProfile>> table = {
        {QStringLiteral("identify"), {command(&SupplyProfile::identify), {channel}}},
        {QStringLiteral("clear"), {command(&SupplyProfile::clear), {channel}}},
        {QStringLiteral("set_current_limit"), {command(&SupplyProfile::setCurrentLimit), {"{amps}", channel}}},
        {QStringLiteral("set_voltage"), {command(&SupplyProfile::setVoltage), {"{volts}", channel}}},
        {QStringLiteral("output_on"), {command(&SupplyProfile::outputOn), {channel}}},
        {QStringLiteral("output_off"), {command(&SupplyProfile::outputOff), {channel}}},
        {QStringLiteral("measure_voltage"), {command(&SupplyProfile::measureVoltage), {channel}}},
        {QStringLiteral("measure_current"), {command(&SupplyProfile::measureCurrent), {channel}}},
        {QStringLiteral("error_query"), {command(&SupplyProfile::errorQuery), {channel}}},
        {QStringLiteral("on_connect"), {appended(&SupplyProfile::onConnect), {channel}}},
        {QStringLiteral("on_close"), {&addClosing, {channel}}},
        {QStringLiteral("channel"), {&setChannel, {}}},
    };
    return table;
}

} // namespace

std::optional<SupplyProfile> SupplyProfile::load(const QString &path, QString *error)
{
    std::optional<SupplyProfile> loaded = ProfileFile::load(path, QStringLiteral("supply profile"), keys(), error);
    if (loaded && (loaded->setVoltage.isEmpty() || loaded->outputOn.isEmpty())) {
        *error = QStringLiteral("%1: set_voltage and output_on are needed to power the board").arg(path);
        return std::nullopt;
    }
    return loaded;
}

QString SupplyProfile::filled(const QString &command, double volts, double amps) const
{
    QString text = command;
    text.replace(QLatin1String("{volts}"), Numbers::format(volts));
    text.replace(QLatin1String("{amps}"), Numbers::format(amps));
    text.replace(QLatin1String("{channel}"), QString::number(channel));
    return text;
}

QStringList SupplyProfile::closing() const
{
    QStringList commands;
    for (const QString &command : closeGiven ? onClose : QStringList {outputOff})
        commands << filled(command);
    return commands;
}
