#include "sweepwindow/resultsview.h"

#include "board/powermodes.h"
#include "report/comparison.h"
#include "report/waveformchart.h"
#include "sweepwindow/chartview.h"
#include "sweepwindow/waveformview.h"

#include <QHeaderView>
#include <QTableWidget>
#include <QTabWidget>

#include <algorithm>

namespace {

QString si(const std::optional<double> &value, const char *unit)
{
    return value ? Readings::formatSi(*value, QLatin1String(unit)) : QString();
}

// "13  RUN-while (1) Range 1, 80MHz", as the chart and the set-up's table name a mode.
QString modeText(int index, const QString &mode)
{
    return QStringLiteral("%1  %2").arg(index).arg(mode);
}

} // namespace

ResultsView::ResultsView(QWidget *parent)
    : QSplitter(Qt::Vertical, parent)
    , grid(new QTableWidget(this))
    , views(new QTabWidget(this))
    , view(new ChartView)
    , waveView(new WaveformView)
{
    setObjectName(QStringLiteral("results"));
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->verticalHeader()->hide();
    // Rows as low as their text allows, so that every mode fits without scrolling.
    grid->verticalHeader()->setDefaultSectionSize(grid->fontMetrics().lineSpacing() + 8);
    grid->setMinimumHeight(grid->verticalHeader()->defaultSectionSize() * 6);
    addWidget(grid);
    views->addTab(view, tr("Current per mode"));
    views->addTab(waveView, tr("Waveform"));
    views->setTabEnabled(1, false);
    addWidget(views);
    connect(grid, &QTableWidget::currentCellChanged, this, [this](int row) { showWaveformOf(row); });
    setStretchFactor(1, 1);
    const int tableHeight = grid->verticalHeader()->defaultSectionSize() * (PowerModes::count() + 1) + 2 * grid->frameWidth() + 4;
    setSizes({tableHeight, tableHeight});
}

void ResultsView::showRows(const QList<ResultRow> &rows, const ReportContext &context, const QList<ModeTrace> &traces,
                           const QString &folder)
{
    shownRows = rows;
    shownTraces = traces;
    shownFolder = folder;
    QString error;
    shownEvents = folder.isEmpty() ? QList<EventsFile::Row>() : ResultsFolder::readEvents(folder, &error).value_or(QList<EventsFile::Row>());
    // The standard deviation and readings are in each mean's tooltip, so that
    // every column fits beside the set-up.
    QStringList header {tr("Mode"), tr("Mean"), tr("Min"), tr("Max"), tr("Power"), tr("CoreMark"), tr("Verdict")};
    if (context.batteryMah)
        header << tr("Battery (%1 mAh)").arg(Numbers::format(*context.batteryMah));
    QList<QStringList> cells;
    QList<RowMark> marks;
    const bool severalVoltages = ResultRow::severalVoltages(rows);
    for (const ResultRow &row : rows) {
        QStringList line {modeText(row.index, row.modeAt(severalVoltages)), SweepReport::meanCell(row), si(row.min, "A"), si(row.max, "A"),
                          si(row.powerW, "W"),
                          row.coremark ? QLocale::c().toString(*row.coremark, 'f', 2) : QString(), row.verdict};
        if (context.batteryMah)
            line << (row.mean && *row.mean > 0 ? SweepReport::batteryLife(*context.batteryMah, *row.mean, context.shelfYears,
                                                                          QLatin1Char(' '), SweepReport::Room::Short)
                                               : QString());
        cells << line;
        marks << row.mark();
    }
    fill(header, cells, marks);
    for (int i = 0; i < rows.size(); ++i) {
        const ResultRow &row = rows.at(i);
        grid->item(i, 1)->setToolTip(tr("%1 readings, %2 overloads; standard deviation %3")
                                         .arg(row.samples).arg(row.overloads).arg(row.stdev ? si(row.stdev, "A") : tr("none")));
    }
    view->setChart(std::make_shared<CurrentChart>(SweepReport::chart(rows, context.facts)));
}

// A fast meter's waveform of the chosen row's mode, where it recorded one.
void ResultsView::showWaveformOf(int row)
{
    if (row < 0 || row >= shownRows.size())
        return;
    const ResultRow &chosen = shownRows.at(row);
    const auto trace = std::find_if(shownTraces.cbegin(), shownTraces.cend(), [&chosen](const ModeTrace &one) { return one.belongsTo(chosen); });
    if (trace == shownTraces.cend())
        return;
    const bool severalVoltages = ResultRow::severalVoltages(shownRows);
    const WaveformChart chart(chosen.pointName(severalVoltages), trace->bins, trace->binSeconds,
                              chosen.settings ? chosen.settings->settleSeconds : 0, 0,
                              EventsFile::of(shownEvents, chosen.index, chosen.vddV));
    // Where the run kept every sample (--raw), a short span is measured from them.
    const QString samples = shownFolder.isEmpty() ? QString()
        : ResultsFolder(shownFolder).rawSamplesPath(chosen.index, severalVoltages ? (chosen.supplySetV ? chosen.supplySetV : chosen.vddV)
                                                                                  : std::nullopt);
    waveView->showMode(chart, samples, chosen.vddV);
    views->setTabEnabled(1, true);
    views->setCurrentWidget(waveView);
}

void ResultsView::showLive(const QString &title, const QVector<TraceBin> &bins, double readingsFromSeconds, double originSeconds,
                           const QVector<ModeEvent> &events, const std::optional<double> &volts)
{
    // The first of a run's live view comes to the front; after that the operator chooses.
    if (!views->isTabEnabled(1)) {
        views->setTabEnabled(1, true);
        views->setCurrentWidget(waveView);
    }
    waveView->showLive(WaveformChart(title, bins, ModeCapture::binSeconds, readingsFromSeconds, originSeconds, events), volts);
}

void ResultsView::showComparison(const Comparison &comparison)
{
    shownRows.clear();
    shownTraces.clear();
    QList<QStringList> cells;
    QList<RowMark> marks;
    for (const ComparedMode &mode : comparison.modes()) {
        cells << QStringList {modeText(mode.index, mode.mode), si(mode.before, "A"), si(mode.after, "A"), mode.change()};
        marks << (comparison.changed(mode) ? RowMark::Failed : RowMark::Plain);
    }
    fill({tr("Mode"), tr("Mean before"), tr("Mean after"), tr("After / before")}, cells, marks);
    view->setChart(std::make_shared<CurrentChart>(comparison.chart()));
}

void ResultsView::clear()
{
    shownRows.clear();
    shownTraces.clear();
    shownEvents.clear();
    waveView->clear();
    views->setTabEnabled(1, false);
    grid->clear();
    grid->setRowCount(0);
    grid->setColumnCount(0);
    view->clear();
}

void ResultsView::fill(const QStringList &header, const QList<QStringList> &rows, const QList<RowMark> &marks)
{
    grid->clear();
    grid->setColumnCount(header.size());
    grid->setHorizontalHeaderLabels(header);
    grid->setRowCount(rows.size());
    for (int row = 0; row < rows.size(); ++row) {
        for (int column = 0; column < rows.at(row).size(); ++column) {
            auto *item = new QTableWidgetItem(rows.at(row).at(column));
            item->setTextAlignment(column == 0 ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignRight | Qt::AlignVCenter);
            const RowMark mark = marks.value(row, RowMark::Plain);
            if (mark != RowMark::Plain)
                item->setForeground(mark == RowMark::Failed ? QColor(0xc0, 0x1c, 0x1c) : QColor(0x9a, 0x62, 0x00));
            grid->setItem(row, column, item);
        }
    }
    // Columns that say nothing in any row (no supply, no CoreMark, no limits)
    // leave their room to the others; the modes' names show in full.
    for (int column = 1; column < header.size(); ++column) {
        const bool said = std::any_of(rows.cbegin(), rows.cend(), [column](const QStringList &row) { return !row.value(column).isEmpty(); });
        grid->setColumnHidden(column, !said && !rows.isEmpty());
    }
    grid->resizeColumnsToContents();
    grid->horizontalHeader()->setStretchLastSection(true);
    if (!rows.isEmpty())
        grid->scrollToBottom();
}
