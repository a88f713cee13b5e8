#include "report/budgetreport.h"

#include "meter/readings.h"
#include "report/budgetchart.h"
#include "report/htmlpage.h"
#include "report/sweepreport.h"
#include "results/atomicfile.h"
#include "results/csv.h"

#include <QDir>
#include <QLocale>

namespace {

const QChar noBreak(0x00a0);

QString si(const std::optional<double> &value, const char *unit)
{
    return value ? Readings::formatSi(*value, QLatin1String(unit), noBreak) : QString();
}

} // namespace

namespace BudgetReport {

QByteArray csv(const Budget &budget)
{
    QString text = Csv::row(Budget::csvHeader);
    for (const QStringList &row : budget.csvRows())
        text += Csv::row(row);
    return text.toUtf8();
}

QString life(const Budget &budget, const BudgetBattery &battery)
{
    return SweepReport::batteryLife(battery.capacityMah * battery.derate, budget.averageA(), battery.shelfYears, noBreak);
}

bool write(const QString &folder, const Budget &budget, const QString &profileText, const std::optional<BudgetBattery> &battery,
           QString *error)
{
    const BudgetChart chart(budget);
    const QByteArray svg = chart.svg(chart.fileSize());
    if (!saveAtomically(QDir(folder).filePath(QStringLiteral("budget.csv")), csv(budget), error)
        || !saveAtomically(QDir(folder).filePath(QStringLiteral("budget.svg")), svg, error)
        || !saveAtomically(QDir(folder).filePath(QStringLiteral("budget.png")), chart.png(chart.fileSize()), error))
        return false;

    HtmlPage page(QStringLiteral("Energy budget: %1").arg(QDir(folder).dirName()));
    QList<QPair<QString, QString>> facts {
        {QStringLiteral("Average current"), si(budget.averageA(), "A")},
        {QStringLiteral("Average power"), budget.averageW() ? QStringLiteral("%1 at %2").arg(si(budget.averageW(), "W"), si(budget.volts, "V"))
                                                            : QStringLiteral("no single voltage: give --vdd")},
        {QStringLiteral("Period"), si(budget.periodSeconds, "s")},
        {QStringLiteral("Charge per period"), si(budget.chargeC, "C")},
    };
    if (battery) {
        facts << qMakePair(QStringLiteral("Battery life"),
                           QStringLiteral("%1 on %2%3mAh, %4 % of it used (shelf life %5 years)")
                               .arg(life(budget, *battery), Numbers::format(battery->capacityMah), noBreak,
                                    Numbers::format(battery->derate * 100), Numbers::format(battery->shelfYears)));
    }
    facts << qMakePair(QStringLiteral("Dominates"), budget.dominance());
    page.facts(facts);
    page.chart(svg);
    QList<QStringList> cells;
    for (const BudgetRow &row : budget.rows) {
        cells << QStringList {QString::number(row.index), row.mode, si(row.vddV, "V"), si(row.seconds, "s"),
                              row.seconds || !row.events ? si(row.meanA, "A") : QString(), si(row.chargeC, "C"),
                              QLocale::c().toString(row.share * 100, 'f', 1) + noBreak + QLatin1Char('%'), row.origin};
    }
    page.heading(QStringLiteral("Per period"));
    page.table({"Index", "Mode", "Vdd", "Time", "Current", "Charge", "Share", "Measured in"}, cells, {});
    QStringList notes {QStringLiteral("A mode with events in the profile is costed at its current between them, and its events "
                                      "at their measured mean charge, so that none is counted twice.")};
    page.notes(notes + budget.notes);
    page.preformatted(QStringLiteral("Profile"), profileText);
    return saveAtomically(QDir(folder).filePath(QStringLiteral("budget.html")), page.html(), error);
}

} // namespace BudgetReport
