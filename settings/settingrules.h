#ifndef SETTINGRULES_H
#define SETTINGRULES_H

#include "meter/meterprofile.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

// The bounds of a number a sweep takes. They are the same wherever the
// number comes from: the command line, a plan or limits file, or the window.
struct NumberRule
{
    const char *expectation;   // "a number of seconds from 0 to 3600"
    double lowest;
    bool lowestAllowed;        // false: the number must lie above `lowest`
    double highest;
    bool whole;

    bool allows(double value) const;
    // The number in `text`, or empty with why not; `label` names the setting
    // as its source does (--settle, settle_s, Settle).
    std::optional<double> parse(const QString &text, const QString &label, QString *why) const;
};

namespace SettingRules {

extern const NumberRule samples;
extern const NumberRule settleSeconds;
extern const NumberRule bootSeconds;
extern const NumberRule replyTimeoutSeconds;
extern const NumberRule nplc;
extern const NumberRule rangeAmperes;
extern const NumberRule limitAmperes;
extern const NumberRule supplyVolts;      // what a supply unit may feed a board, and the voltage a run records
extern const NumberRule currentLimit;
extern const NumberRule offSeconds;
extern const NumberRule temperature;
extern const NumberRule batteryMah;
extern const NumberRule shelfYears;

// "auto", or a range in amperes.
std::optional<std::optional<double>> parseRange(const QString &text, const QString &label, QString *why);

// "0-7,15": indexes and spans of the power-mode list, each mode once, in the order given.
std::optional<QList<int>> parseModes(const QString &text, QString *why);

// Tags as KEY=VALUE, each key once (a later one wins); the key may not be empty.
std::optional<QMap<QString, QString>> parseTags(const QStringList &pairs, QString *why);

// "1.8,3.3": the voltages a supply unit is set to, in turn, each once and
// each within what it may feed a board.
std::optional<QList<double>> parseVoltages(const QString &text, const QString &label, QString *why);

// A mode index as a file's index column holds it.
std::optional<int> parseModeIndex(const QString &text, QString *why);
// "on" or "off", as a switch is given on the command line and in files.
std::optional<bool> parseSwitch(const QString &text, const QString &label, QString *why);

// Why the meter cannot be set to this range (above the largest its profile
// lists), or empty when it can.
QString checkRange(const std::optional<double> &range, const MeterProfile &profile);

} // namespace SettingRules

#endif // SETTINGRULES_H
