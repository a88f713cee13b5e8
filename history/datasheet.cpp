#include "history/datasheet.h"

#include "meter/readings.h"

#include <QMap>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <tuple>

namespace {

void addOnce(QStringList *list, const QString &item)
{
    if (!item.isEmpty() && !list->contains(item))
        *list << item;
}

DatasheetEntry entryOf(const QList<const DatasheetPoint *> &perBoard)
{
    const DatasheetPoint &first = *perBoard.first();
    DatasheetEntry entry;
    entry.index = first.index;
    entry.mode = first.mode;
    entry.voltageKey = first.voltageKey;
    entry.temperatureC = first.temperatureC;
    QList<double> means;
    for (const DatasheetPoint *point : perBoard) {
        entry.boards << point->boardId;
        means << point->mean;
    }
    entry.boards.sort();
    double sum = 0;
    for (double mean : qAsConst(means))
        sum += mean;
    entry.typical = sum / means.size();
    const auto [lowest, highest] = std::minmax_element(means.cbegin(), means.cend());
    entry.lowest = *lowest;
    entry.highest = *highest;
    if (means.size() > 1) {
        double squares = 0;
        for (double mean : qAsConst(means))
            squares += (mean - entry.typical) * (mean - entry.typical);
        entry.stdev = std::sqrt(squares / (means.size() - 1));
    }
    return entry;
}

} // namespace

QString DatasheetEntry::boardsText() const
{
    return QStringLiteral("%1 board%2: %3").arg(boards.size()).arg(boards.size() == 1 ? "" : "s", boards.join(QStringLiteral(", ")));
}

bool DatasheetColumn::operator==(const DatasheetColumn &other) const
{
    return ResultRow::temperatureKeyOf(temperatureC) == ResultRow::temperatureKeyOf(other.temperatureC) && voltageKey == other.voltageKey;
}

bool DatasheetColumn::operator<(const DatasheetColumn &other) const
{
    return std::make_pair(ResultRow::temperatureKeyOf(temperatureC), voltageKey) < std::make_pair(ResultRow::temperatureKeyOf(other.temperatureC), other.voltageKey);
}

QString DatasheetColumn::text() const
{
    const QString volts = voltageKey == ResultRow::noVoltage ? QStringLiteral("Vdd not recorded")
                                                             : QStringLiteral("Vdd = %1").arg(ResultRow::voltageText(voltageKey));
    return temperatureC ? QStringLiteral("T = %1\u00a0°C, %2").arg(Numbers::format(*temperatureC), volts) : volts;
}

QList<DatasheetColumn> Datasheet::columns() const
{
    QList<DatasheetColumn> found;
    for (const DatasheetEntry &entry : table) {
        if (!found.contains(DatasheetColumn::of(entry)))
            found << DatasheetColumn::of(entry);
    }
    std::sort(found.begin(), found.end());
    return found;
}

QList<QPair<int, QString>> Datasheet::modes() const
{
    QList<QPair<int, QString>> found;   // the table is sorted by mode
    for (const DatasheetEntry &entry : table) {
        if (found.isEmpty() || found.last().first != entry.index)
            found << qMakePair(entry.index, entry.mode);
    }
    return found;
}

const DatasheetEntry *Datasheet::find(int index, const DatasheetColumn &column) const
{
    const auto at = std::find_if(table.cbegin(), table.cend(), [&](const DatasheetEntry &entry) {
        return entry.index == index && DatasheetColumn::of(entry) == column;
    });
    return at == table.cend() ? nullptr : &*at;
}

Datasheet Datasheet::of(const QList<DatasheetPoint> &newestFirst)
{
    // A board's newest run wins at each mode, voltage and temperature.
    using Cell = std::tuple<int, int, int>;   // index, temperature, voltage
    QMap<Cell, QList<const DatasheetPoint *>> cells;
    QSet<QString> taken;
    QSet<QString> unnamed;
    Datasheet sheet;
    for (const DatasheetPoint &point : newestFirst) {
        if (point.boardId.isEmpty()) {
            unnamed.insert(point.runId);
            continue;
        }
        const Cell cell {point.index, ResultRow::temperatureKeyOf(point.temperatureC), point.voltageKey};
        const QString seen = QStringLiteral("%1|%2|%3|%4").arg(point.boardId).arg(point.index)
                                 .arg(std::get<1>(cell)).arg(point.voltageKey);
        if (taken.contains(seen))
            continue;
        taken.insert(seen);
        cells[cell] << &point;
        addOnce(&sheet.meters, point.meterIdentity);
        const QJsonValue nplc = point.settings.value(QStringLiteral("nplc"));
        addOnce(&sheet.integrationTimes, nplc.isDouble() ? Numbers::format(nplc.toDouble()) : QString());
        addOnce(&sheet.firmware, point.firmware);
        addOnce(&sheet.boards, point.boardId);
        if (!sheet.from.isValid() || point.started < sheet.from)
            sheet.from = point.started;
        if (!sheet.to.isValid() || point.started > sheet.to)
            sheet.to = point.started;
    }
    for (const auto &perBoard : qAsConst(cells))
        sheet.table << entryOf(perBoard);
    sheet.boards.sort();
    sheet.runsWithoutBoard = unnamed.size();
    return sheet;
}
