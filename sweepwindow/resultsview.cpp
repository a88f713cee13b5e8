#include "sweepwindow/resultsview.h"

#include "report/comparison.h"
#include "report/sweepreport.h"
#include "sweepwindow/chartview.h"

#include <QHeaderView>
#include <QTableWidget>

namespace {

QString si(const std::optional<double> &value, const char *unit)
{
    return value ? Readings::formatSi(*value, QLatin1String(unit)) : QString();
}

} // namespace

ResultsView::ResultsView(QWidget *parent)
    : QSplitter(Qt::Vertical, parent)
    , grid(new QTableWidget(this))
    , view(new ChartView(this))
{
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->verticalHeader()->hide();
    addWidget(grid);
    addWidget(view);
    setStretchFactor(1, 1);
}

void ResultsView::showRows(const QList<ResultRow> &rows)
{
    QList<QStringList> cells;
    QList<bool> flagged;
    for (const ResultRow &row : rows) {
        cells << QStringList {QString::number(row.index), row.mode, SweepReport::meanCell(row), si(row.min, "A"), si(row.max, "A"),
                              si(row.stdev, "A"), si(row.powerW, "W"),
                              row.coremark ? QLocale::c().toString(*row.coremark, 'f', 2) : QString(), row.verdict};
        flagged << (row.verdict == QLatin1String("FAIL"));
    }
    fill({tr("#"), tr("Mode"), tr("Mean"), tr("Min"), tr("Max"), tr("Std dev"), tr("Power"), tr("CoreMark"), tr("Verdict")},
         cells, flagged);
    view->setChart(SweepReport::chart(rows));
}

void ResultsView::showComparison(const Comparison &comparison)
{
    QList<QStringList> cells;
    QList<bool> flagged;
    for (const ComparedMode &mode : comparison.modes()) {
        const std::optional<double> ratio = mode.ratio();
        cells << QStringList {QString::number(mode.index), mode.mode, si(mode.before, "A"), si(mode.after, "A"),
                              ratio ? QStringLiteral("\u00d7%1").arg(QLocale::c().toString(*ratio, 'f', 2)) : QString()};
        flagged << comparison.changed(mode);
    }
    fill({tr("#"), tr("Mode"), tr("Mean before"), tr("Mean after"), tr("After / before")}, cells, flagged);
    view->setChart(comparison.chart());
}

void ResultsView::clear()
{
    grid->clear();
    grid->setRowCount(0);
    grid->setColumnCount(0);
    view->clear();
}

void ResultsView::fill(const QStringList &header, const QList<QStringList> &rows, const QList<bool> &flagged)
{
    grid->clear();
    grid->setColumnCount(header.size());
    grid->setHorizontalHeaderLabels(header);
    grid->setRowCount(rows.size());
    for (int row = 0; row < rows.size(); ++row) {
        for (int column = 0; column < rows.at(row).size(); ++column) {
            auto *item = new QTableWidgetItem(rows.at(row).at(column));
            item->setTextAlignment(column == 1 ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignRight | Qt::AlignVCenter);
            if (flagged.value(row))
                item->setForeground(QColor(0xc0, 0x1c, 0x1c));
            grid->setItem(row, column, item);
        }
    }
    grid->resizeColumnsToContents();
    grid->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    if (!rows.isEmpty())
        grid->scrollToBottom();
}
