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
    const QList<DatasheetColumn> columns = sheet.columns();
    QList<HtmlCell> groups {{QStringLiteral("#"), 1, 2}, {QStringLiteral("Power mode"), 1, 2}};
    QList<HtmlCell> typMax;
    for (const DatasheetColumn &column : columns) {
        groups << HtmlCell {column.text(), 2};
        typMax << HtmlCell {QStringLiteral("Typ")} << HtmlCell {QStringLiteral("Max")};
    }
    QList<QList<HtmlCell>> rows;
    bool anyFew = false;
    for (const auto &mode : sheet.modes()) {
        QList<HtmlCell> row {{QString::number(mode.first)}, {mode.second}};
        for (const DatasheetColumn &column : columns) {
            const DatasheetEntry *entry = sheet.find(mode.first, column);
            if (!entry) {
                row << HtmlCell {QStringLiteral("—")} << HtmlCell {QStringLiteral("—")};
                continue;
            }
            const QString mark = entry->tooFewBoards() ? QStringLiteral(" *") : QString();
            anyFew = anyFew || entry->tooFewBoards();
            row << HtmlCell {amperes(entry->typical) + mark, 1, 1, entry->tooFewBoards(), entry->boardsText()}
                << HtmlCell {amperes(entry->highest) + mark, 1, 1, entry->tooFewBoards(), entry->boardsText()};
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
