#ifndef SWEEPSETTINGS_H
#define SWEEPSETTINGS_H

#include "meter/meter.h"
#include "meter/meteraddress.h"
#include "meter/meterprofile.h"
#include "results/resultrow.h"
#include "results/runfacts.h"
#include "supply/supplyprofile.h"

#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

// How the board is reset before each mode.
struct ResetStrategy
{
    enum Kind { Prompt, None, Command, Dtr, Rts, Power };   // Power: the supply unit's output off and on
    Kind kind = Prompt;
    QString command;   // for Command

    static std::optional<ResetStrategy> parse(const QString &text, QString *error);
    QString text() const;
    // A command that signals a process by its id (kill -USR1 27081), which
    // by another day some other process may hold.
    bool namesAProcessId() const;
    // As files and reports show it: a command may hold credentials, so it is not repeated.
    QString recordedText() const;
};

// One mode's measurement.
struct ModePlan
{
    MeterSettings meter;
    double settleSeconds = 2;
};

// A mode's row of a plan: what it sets; an empty cell keeps the default.
struct PlanRow
{
    std::optional<std::optional<double>> range;   // set: auto (none) or amperes
    std::optional<double> nplc;
    std::optional<double> settleSeconds;
    std::optional<int> samples;
    std::optional<bool> entryCheck;   // off for a mode meant to draw the board's idle current

    ModePlan over(const ModePlan &defaults) const;

    // The plan file's cells after the index, in its order; each cell's reason
    // lands at its place in `reasons`, empty where the cell is valid.
    static const QStringList columns;
    static PlanRow parse(const QStringList &cells, QStringList *reasons);
    QStringList cells() const;
};

// Limits from their two cells, min_a and max_a; reasons as for a plan row.
Limits parseLimits(const QStringList &cells, QStringList *reasons);
QStringList limitCells(const Limits &limits);

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
    QMap<int, PlanRow> plan;              // per mode, from a plan file or the window's table
    QString planPath;
    QMap<int, Limits> limits;
    QString limitsPath;
    ResetStrategy reset;
    double bootSeconds = 0.5;
    double replyTimeoutSeconds = 60;
    std::optional<double> supplyVolts;    // without a supply unit: the board's voltage, for the power column
    std::optional<MeterAddress> supplyUnit;   // a programmable supply that powers the board
    QString supplyUnitText;
    SupplyProfile supplyProfile;
    QString supplyProfilePath;
    QList<double> unitVoltages;           // with a supply unit: each in turn, the outer loop
    double currentLimit = 0.1;
    double offSeconds = 0.5;              // a power reset's time with the output off
    bool meterIsSupply = false;           // the supply unit reads the current too
    std::optional<double> temperature;    // in °C, as given
    std::optional<double> batteryMah;
    double batteryShelfYears = 10;        // a battery life past it is no battery life
    QString note;                         // the operator's, for the report and the history
    QString boardId;                      // empty: the USB serial number of the board's port, where there is one
    QString firmware;                     // a label such as a version or git describe
    QMap<QString, QString> tags;
    QString outputFolder;                 // empty: a new sweep-YYYYMMDD-HHMMSS in outputParent
    QString outputParent = QStringLiteral(".");
    bool resume = false;
    bool rawSamples = false;              // a fast meter's every sample, to raw/
    bool entryCheck = true;               // each mode's current held against a reading before its command

    // A mode without a row of the plan is measured with the defaults.
    ModePlan planFor(int mode) const
    {
        const auto row = plan.constFind(mode);
        return row == plan.cend() ? defaults : row->over(defaults);
    }
    // Whether a mode's entry is checked: for the run, and not turned off for the mode.
    bool entryCheckFor(int mode) const
    {
        const auto row = plan.constFind(mode);
        return entryCheck && (row == plan.cend() || row->entryCheck.value_or(true));
    }
    // The readings per mode when none are given: one typed, ten read.
    static int defaultSamples(const std::optional<MeterAddress> &meter);

    // Why these settings cannot be measured with the meter's profile, or empty.
    QString checkAgainstProfile() const;
    // The current is read by a Power Profiler Kit II, as meter or as supply unit and meter.
    bool measuresWithBox() const;
    // Why --events cannot be had, or empty: only such a box finds events.
    QString checkEvents() const;
    // Why the supply settings do not fit together, or empty: a voltage list,
    // a power reset and the supply as meter all need a supply unit.
    QString checkSupply() const;
    // The voltages every mode is measured at, in order: the unit's list, or
    // the one voltage given without a unit (or none).
    QList<std::optional<double>> voltages() const;

    // As results.json records them.
    QJsonObject toJson() const;
    // The first setting that changes a measurement and differs from what a
    // folder recorded (its settings and its rows), or empty when none does.
    QString differenceFrom(const QJsonObject &recorded, const QList<ResultRow> &rows) const;
    // What a mode is measured with, as its row records it.
    RowSettings rowSettings(int mode) const;
    // A resumed run is the run it was: an identity option given (board id,
    // firmware, note, tags) must be what the run recorded, and one omitted is
    // taken from it. False, with the first that differs named, otherwise.
    bool keepIdentityOf(const RunFacts &recorded, QString *difference);
};

#endif // SWEEPSETTINGS_H
