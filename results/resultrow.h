#ifndef RESULTROW_H
#define RESULTROW_H

#include "meter/readings.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>

#include <climits>
#include <optional>

// A reading and when it came: seconds from the mode's command to the arrival
// of the reply that carried it.
struct Sample
{
    double seconds = 0;
    Reading reading;
};

// A mode's limits on its mean current; either bound may be missing.
struct Limits
{
    std::optional<double> min;
    std::optional<double> max;
};

// What a mode was measured with, as results.json records it beside its row.
struct RowSettings
{
    std::optional<double> range;   // none: auto
    double nplc = 1;
    double settleSeconds = 2;
    int samplesAsked = 10;
    double bootSeconds = 0.5;

    bool operator==(const RowSettings &other) const;
    bool operator!=(const RowSettings &other) const { return !(*this == other); }
    QString text() const;   // "range 1 µA, NPLC 10, settle 5 s, 10 readings, boot 0.5 s"
    void addTo(QJsonObject &row) const;
    static std::optional<RowSettings> fromJson(const QJsonObject &row);
};

// How a table marks a row: a failure in red, a doubt in amber.
enum class RowMark { Plain, Failed, Doubtful };

// One finished mode, as a row of results.csv.
struct ResultRow
{
    int index = 0;
    QString mode;
    QString startedUtc;
    int samples = 0;
    std::optional<double> mean, min, max, stdev;
    int overloads = 0;
    std::optional<double> powerW, coremark, coremarkPerMa, limitMin, limitMax;
    QString verdict;   // PASS, FAIL, ENTRY? (the current did not change after the command) or empty
    QString boardReply;
    std::optional<double> vddV;            // the supply's readback, or the voltage given without a supply unit
    std::optional<double> supplySetV;      // what a supply unit was set to; in results.json only
    std::optional<double> temperatureC;    // as the operator gave it, not measured
    std::optional<RowSettings> settings;   // in results.json only; none in older folders
    // What a meter that samples fast records of the mode; none for other meters.
    std::optional<double> peakA;           // the highest sample from the command to the end of the readings
    std::optional<double> chargeC;         // over the readings' window
    std::optional<double> energyJ;         // the charge at the supply voltage, where one is known
    std::optional<double> settledAfterS;   // from the command until the current stays within 10 % of the mean
    std::optional<qint64> lostSamples;     // numbered by the meter, never received
    // How the board was seen to take the mode: a reading just before its
    // command, where the entry was checked, and, for a CoreMark mode whose
    // report never came, how long it was waited for (in results.json only).
    std::optional<double> beforeA;
    bool entryChecked = false;             // in results.json only
    std::optional<double> reportMissingAfterS;
    // The events of the run's first event source in the readings' window:
    // whole ones, their rate, the mean charge of one, and the mean current
    // between them (the window's charge without its events over its time
    // without them); none without events asked for.
    std::optional<int> events;
    std::optional<double> eventRateHz, eventChargeC, betweenEventsA;
    QString eventSource;                   // which source they are of; in results.json only
    std::optional<double> windowS;         // the readings' window of a fast meter; in results.json only

    // The row of a measured mode: statistics over the readings that are no
    // overloads, the power at the supply voltage, the CoreMark score found in
    // the board's reply, and the verdict of the mean against the limits.
    static ResultRow measured(int index, const QDateTime &started, const QList<Sample> &samples,
                              const QByteArray &boardReply, const Limits &limits, std::optional<double> vddVolts);
    // The cells that follow from the others: power, CoreMark per mA and the
    // verdict: FAIL by its limits or for a CoreMark report that never came,
    // else ENTRY? where the checked entry saw no change, else PASS by its limits.
    void derive(std::optional<double> supplyVolts);
    // FAIL or ENTRY?: the mode fails the run.
    bool failsTheRun() const;
    // Red for FAIL, amber for ENTRY?.
    RowMark mark() const;
    // Why the verdict is FAIL or ENTRY?, every reason there is; empty otherwise.
    QString verdictReason() const;
    // The mean lies within max(3 standard deviations, 2 %) of the reading
    // before the command: the board most likely did not take it.
    bool entryUnchanged() const;
    // Why there is no mean: "every reading an overload" or "no current
    // measured"; empty when there is one.
    QString missingCurrent() const;
    // The limit the mean broke: "mean 9.79 mA above the maximum 9.50 mA"; empty where it broke none.
    QString limitBroken() const;

    // The voltage the mode was measured at, to 0.01 V, in hundredths of a
    // volt: what the supply unit was set to, else the voltage recorded;
    // noVoltage where there is none. A folder holds a row per mode and voltage.
    int voltageKey() const;
    static int voltageKeyOf(const std::optional<double> &volts);
    static constexpr int noVoltage = -1;
    // The temperature as given, to 0.01 °C, in hundredths; noTemperature where there is none.
    int temperatureKey() const { return temperatureKeyOf(temperatureC); }
    static int temperatureKeyOf(const std::optional<double> &celsius);
    static constexpr int noTemperature = INT_MIN;
    // "RUN-while (1) Range 1, 80MHz", with " at 1.80 V" where rows differ by
    // voltage and ", 25 °C" where they differ by temperature (and the row has them).
    QString modeAt(bool withVoltage, bool withTemperature = false) const;
    // The same after the mode's index: "13 RUN-while (1) Range 1, 80MHz at 1.80 V".
    QString pointName(bool withVoltage, bool withTemperature = false) const;
    // The name a verdict goes by, with every condition the row has, so that
    // names are unique within a run and alike in every file that gives them.
    QString verdictName() const { return pointName(true, true); }
    static QString voltageText(int key);   // "1.80 V"
    // " at 1.80 V, 25 °C": the conditions given, those that are none left out.
    static QString conditionsText(int voltageKey, int temperatureKey);
    // The voltages rows were measured at, in the order they first come.
    static QList<int> voltageKeys(const QList<ResultRow> &rows);
    // Whether rows are told apart by their voltage: measured at more than one.
    static bool severalVoltages(const QList<ResultRow> &rows) { return voltageKeys(rows).size() > 1; }
    static bool severalTemperatures(const QList<ResultRow> &rows);
    // Whether this row stands for the same point as `other`, the only row it
    // is ever compared with: the same mode at the same voltage and
    // temperature (or both without one).
    bool samePoint(const ResultRow &other) const;

    static const QStringList header;
    static const QStringList entryHeader;        // of folders from before the events' columns
    static const QStringList captureHeader;      // of folders from before the entry check's column
    static const QStringList conditionsHeader;   // of folders from before the fast meter's columns
    static const QStringList olderHeader;        // of folders from before the supply's columns
    static const QList<QStringList> headers;     // every one of them, newest first
    QStringList fields() const;
    // A row read back; empty with the reason where a cell is not what its column holds.
    static std::optional<ResultRow> fromFields(const QStringList &fields, QString *error);
    QJsonObject toJson() const;
};

Q_DECLARE_METATYPE(Sample)
Q_DECLARE_METATYPE(ResultRow)

#endif // RESULTROW_H
