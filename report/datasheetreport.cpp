#include "report/datasheetreport.h"

#include "meter/readings.h"
#include "report/htmlpage.h"
#include "results/atomicfile.h"
#include "results/csv.h"

#include <QDir>
#include <QLocale>

#include <algorithm>

namespace {

const QChar noBreak(0x00a0);

// A column group: one temperature and one voltage.
struct Condition
{
    std::optional<double> temperatureC;
    int voltageKey = ResultRow::noVoltage;

    bool operator==(const Condition &other) const
    {
        return temperatureC == other.temperatureC && voltageKey == other.voltageKey;
    }
    bool operator<(const Condition &other) const
    {
        return std::make_pair(temperatureC.value_or(-1e9), voltageKey)
            < std::make_pair(other.temperatureC.value_or(-1e9), other.voltageKey);
    }
    static Condition of(const DatasheetEntry &entry) { return {entry.temperatureC, entry.voltageKey}; }

    QString text() const
    {
        const QString volts = voltageKey == ResultRow::noVoltage ? QStringLiteral("Vdd not recorded")
                                                                 : QStringLiteral("Vdd = %1").arg(ResultRow::voltageText(voltageKey));
        return temperatureC ? QStringLiteral("T = %1%2°C, %3").arg(Numbers::format(*temperatureC)).arg(noBreak).arg(volts) : volts;
    }
};

QString amperes(double value)
{
    return Readings::formatAmperes(value, noBreak);
}

QString dates(const Datasheet &sheet)
{
    const auto day = [](const QDateTime &time) { return time.toUTC().toString(QStringLiteral("yyyy-MM-dd")); };
    return day(sheet.from) == day(sheet.to) ? day(sheet.from) : day(sheet.from) + QStringLiteral(" to ") + day(sheet.to);
}

} // namespace

namespace DatasheetReport {

QByteArray csv(const Datasheet &sheet)
{
    QString text = Csv::row({"index", "mode", "vdd_v", "temperature_c", "boards", "typ_a", "min_a", "max_a", "stdev_a"});
    for (const DatasheetEntry &entry : sheet.entries()) {
        const QString volts = entry.voltageKey == ResultRow::noVoltage ? QString()
                                                                       : QLocale::c().toString(entry.voltageKey / 100.0, 'f', 2);
        text += Csv::row({QString::number(entry.index), entry.mode, volts, Csv::number(entry.temperatureC),
                          QString::number(entry.boards.size()), Csv::number(entry.typical), Csv::number(entry.lowest),
                          Csv::number(entry.highest), Csv::number(entry.stdev)});
    }
    return text.toUtf8();
}

QByteArray html(const Datasheet &sheet, const QList<QPair<QString, QString>> &about)
{
    QList<Condition> conditions;
    QList<int> modes;
    QMap<int, QString> modeNames;
    for (const DatasheetEntry &entry : sheet.entries()) {
        if (!conditions.contains(Condition::of(entry)))
            conditions << Condition::of(entry);
        if (!modes.contains(entry.index))
            modes << entry.index;
        modeNames.insert(entry.index, entry.mode);
    }
    std::sort(conditions.begin(), conditions.end());
    std::sort(modes.begin(), modes.end());

    QList<HtmlCell> groups {{QStringLiteral("#"), 1, 2}, {QStringLiteral("Power mode"), 1, 2}};
    QList<HtmlCell> typMax;
    for (const Condition &condition : qAsConst(conditions)) {
        groups << HtmlCell {condition.text(), 2};
        typMax << HtmlCell {QStringLiteral("Typ")} << HtmlCell {QStringLiteral("Max")};
    }
    QList<QList<HtmlCell>> rows;
    bool anyFew = false;
    for (int index : qAsConst(modes)) {
        QList<HtmlCell> row {{QString::number(index)}, {modeNames.value(index)}};
        for (const Condition &condition : qAsConst(conditions)) {
            const QList<DatasheetEntry> &entries = sheet.entries();
            const auto found = std::find_if(entries.cbegin(), entries.cend(), [&](const DatasheetEntry &entry) {
                return entry.index == index && Condition::of(entry) == condition;
            });
            if (found == entries.cend()) {
                row << HtmlCell {QStringLiteral("—")} << HtmlCell {QStringLiteral("—")};
                continue;
            }
            const int boards = found->boards.size();
            const QString title = QStringLiteral("%1 board%2: %3").arg(boards).arg(boards == 1 ? "" : "s", found->boards.join(", "));
            const QString mark = found->tooFewBoards() ? QStringLiteral(" *") : QString();
            anyFew = anyFew || found->tooFewBoards();
            row << HtmlCell {amperes(found->typical) + mark, 1, 1, found->tooFewBoards(), title}
                << HtmlCell {amperes(found->highest) + mark, 1, 1, found->tooFewBoards(), title};
        }
        rows << row;
    }

    HtmlPage page(QStringLiteral("Current consumption"));
    page.table({groups, typMax}, rows);
    QStringList notes {QStringLiteral("Typ is the mean of the boards' mean currents, Max the highest board's mean; each board "
                                      "counts once, with its newest completed run at that voltage and temperature.")};
    if (anyFew)
        notes << QStringLiteral("* Fewer than %1 boards: a maximum over so few parts is not a maximum.")
                     .arg(DatasheetEntry::fewestBoards);
    notes << QStringLiteral("Temperatures are as the operator recorded them, not measured; Vdd is the voltage the supply "
                            "unit was set to, or the one recorded.");
    page.notes(notes);
    page.heading(QStringLiteral("Conditions"));
    QList<QPair<QString, QString>> facts = about;
    facts << qMakePair(QStringLiteral("Meter"), sheet.meters.join(QStringLiteral("; ")))
          << qMakePair(QStringLiteral("Integration time, power-line cycles"), sheet.integrationTimes.join(QStringLiteral(", ")))
          << qMakePair(QStringLiteral("Firmware"), sheet.firmware.join(QStringLiteral(", ")))
          << qMakePair(QStringLiteral("Runs started"), dates(sheet))
          << qMakePair(QStringLiteral("Boards"), QStringLiteral("%1: %2").arg(sheet.boards.size()).arg(sheet.boards.join(", ")));
    facts.erase(std::remove_if(facts.begin(), facts.end(), [](const auto &fact) { return fact.second.isEmpty(); }), facts.end());
    page.facts(facts);
    return page.html();
}

bool write(const QString &folder, const Datasheet &sheet, const QList<QPair<QString, QString>> &about, QString *error)
{
    const QDir out(folder);
    return saveAtomically(out.filePath(QStringLiteral("table.csv")), csv(sheet), error)
        && saveAtomically(out.filePath(QStringLiteral("table.html")), html(sheet, about), error);
}

} // namespace DatasheetReport
