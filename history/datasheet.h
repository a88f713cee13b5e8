#ifndef DATASHEET_H
#define DATASHEET_H

#include "history/history.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// A mode at one supply voltage and temperature, across boards: each board
// counts once, with its newest completed run's mean.
struct DatasheetEntry
{
    int index = 0;
    QString mode;
    int voltageKey = ResultRow::noVoltage;
    std::optional<double> temperatureC;
    QStringList boards;
    double typical = 0;           // the mean of the boards' means
    double lowest = 0, highest = 0;
    std::optional<double> stdev;  // sample (n - 1); none for one board

    // "Max" over fewer parts than this is no maximum.
    static constexpr int fewestBoards = 3;
    bool tooFewBoards() const { return boards.size() < fewestBoards; }
    // "2 boards: A, B"
    QString boardsText() const;
};

// A column group of the table: one temperature and one supply voltage.
struct DatasheetColumn
{
    std::optional<double> temperatureC;
    int voltageKey = ResultRow::noVoltage;

    static DatasheetColumn of(const DatasheetEntry &entry) { return {entry.temperatureC, entry.voltageKey}; }
    bool operator==(const DatasheetColumn &other) const;
    bool operator<(const DatasheetColumn &other) const;   // by temperature (none first), then voltage
    // "T = 25 °C, Vdd = 1.80 V"
    QString text() const;
};

// A datasheet's current-consumption table worked out from the history, and
// the conditions it was measured under.
class Datasheet
{
public:
    static Datasheet of(const QList<DatasheetPoint> &newestFirst);

    bool isEmpty() const { return table.isEmpty(); }
    // By mode, then temperature, then voltage.
    const QList<DatasheetEntry> &entries() const { return table; }
    // The table's layout: its column groups in order, and its modes by index with their names.
    QList<DatasheetColumn> columns() const;
    QList<QPair<int, QString>> modes() const;
    const DatasheetEntry *find(int index, const DatasheetColumn &column) const;

    // What the entries were taken from, each once, in order.
    QStringList meters, integrationTimes, firmware, boards;
    QDateTime from, to;
    // Runs with no board id, left out: they are no board, and two of them may be two boards.
    int runsWithoutBoard = 0;

private:
    QList<DatasheetEntry> table;
};

#endif // DATASHEET_H
