#ifndef SWEEPSETTINGS_H
#define SWEEPSETTINGS_H

#include "meter/meter.h"
#include "meter/meteraddress.h"
#include "meter/meterprofile.h"
#include "results/resultrow.h"

#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>

#include <optional>

// How the board is reset before each mode.
struct ResetStrategy
{
    enum Kind { Prompt, None, Command, Dtr, Rts };
    Kind kind = Prompt;
    QString command;   // for Command

    static std::optional<ResetStrategy> parse(const QString &text, QString *error);
    QString text() const;
};

// One mode's measurement, where a plan file may differ from the defaults.
struct ModePlan
{
    MeterSettings meter;
    double settleSeconds = 2;
};

// Everything a sweep needs to know, as the command line or the window gives it.
struct SweepSettings
{
    QString port;                         // as given: a listed name or a device path
    QList<int> modes;                     // indexes into the power-mode list, in sweep order
    std::optional<MeterAddress> meter;    // none: no current is measured
    QString meterText = QStringLiteral("manual");
    MeterProfile profile;
    QString profilePath;
    ModePlan defaults;
    QMap<int, ModePlan> plan;             // per mode, from a plan file
    QString planPath;
    QMap<int, Limits> limits;
    QString limitsPath;
    ResetStrategy reset;
    double bootSeconds = 0.5;
    double replyTimeoutSeconds = 60;
    std::optional<double> supplyVolts;
    std::optional<double> batteryMah;
    QString outputFolder;
    bool resume = false;

    ModePlan planFor(int mode) const { return plan.value(mode, defaults); }
    // As results.json records them.
    QJsonObject toJson() const;
};

namespace SweepInput {

// "0-7,15": indexes and ranges of the power-mode list, in the order given.
std::optional<QList<int>> parseModes(const QString &text, QString *error);

// index,range,nplc,settle_s,samples; an empty cell keeps the default.
std::optional<QMap<int, ModePlan>> loadPlan(const QString &path, const ModePlan &defaults, QString *error);
bool savePlan(const QString &path, const QMap<int, ModePlan> &plan, QString *error);

// index,min_a,max_a; either bound may be empty.
std::optional<QMap<int, Limits>> loadLimits(const QString &path, QString *error);
bool saveLimits(const QString &path, const QMap<int, Limits> &limits, QString *error);

// "auto" or a range in amperes.
std::optional<std::optional<double>> parseRange(const QString &text);

} // namespace SweepInput

#endif // SWEEPSETTINGS_H
