#include "sweepwindow/historyview.h"

#include "board/powermodes.h"
#include "history/folderimport.h"
#include "report/datasheetreport.h"
#include "report/trendreport.h"
#include "settings/settingrules.h"
#include "sweepwindow/chartview.h"
#include "sweepwindow/reasonlabel.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QTabWidget>
#include <QUrl>
#include <QVBoxLayout>

namespace {

QString tagsText(const QMap<QString, QString> &tags)
{
    QStringList pairs;
    for (auto tag = tags.cbegin(); tag != tags.cend(); ++tag)
        pairs << tag.key() + QLatin1Char('=') + tag.value();
    return pairs.join(QLatin1String(", "));
}

QLineEdit *filterField(const QString &name, const QString &placeholder)
{
    auto *field = new QLineEdit;
    field->setObjectName(name);
    field->setPlaceholderText(placeholder);
    return field;
}

} // namespace

HistoryView::HistoryView(QWidget *parent)
    : QWidget(parent)
    , board(filterField(QStringLiteral("historyBoard"), tr("any")))
    , firmware(filterField(QStringLiteral("historyFirmware"), tr("any")))
    , tag(filterField(QStringLiteral("historyTag"), tr("KEY=VALUE, …")))
    , since(filterField(QStringLiteral("historySince"), tr("YYYY-MM-DD")))
    , modes(filterField(QStringLiteral("historyModes"), tr("all, or such as 0-7,15")))
    , said(new ReasonLabel)
    , runs(new QTableWidget)
    , trend(new ChartView)
    , datasheet(new QTableWidget)
    , showButton(new QPushButton(tr("Show results")))
    , reportButton(new QPushButton(tr("Open report")))
    , compareButton(new QPushButton(tr("Compare two")))
{
    setObjectName(QStringLiteral("history"));
    // Two rows of label and field pairs, each field as wide as the others.
    auto *filters = new QGridLayout;
    const QList<QPair<QString, QLineEdit *>> fields {{tr("Board"), board}, {tr("Firmware"), firmware}, {tr("Tags"), tag},
                                                     {tr("Since"), since}, {tr("Trend of modes"), modes}};
    for (int i = 0; i < fields.size(); ++i) {
        auto *label = new QLabel(fields.at(i).first);
        label->setBuddy(fields.at(i).second);
        filters->addWidget(label, i / 3, (i % 3) * 2);
        filters->addWidget(fields.at(i).second, i / 3, (i % 3) * 2 + 1);
        filters->setColumnStretch((i % 3) * 2 + 1, 1);
    }
    auto *refreshButton = new QPushButton(tr("Refresh"));
    refreshButton->setObjectName(QStringLiteral("historyRefresh"));
    filters->addWidget(refreshButton, 1, 5);

    runs->setObjectName(QStringLiteral("historyRuns"));
    runs->setEditTriggers(QAbstractItemView::NoEditTriggers);
    runs->setSelectionBehavior(QAbstractItemView::SelectRows);
    runs->setSelectionMode(QAbstractItemView::ExtendedSelection);
    runs->verticalHeader()->hide();
    runs->setColumnCount(8);
    runs->setHorizontalHeaderLabels({tr("Started (UTC)"), tr("Outcome"), tr("Board"), tr("Firmware"), tr("Tags"), tr("Modes"),
                                     tr("FAIL"), tr("Folder")});
    runs->horizontalHeader()->setStretchLastSection(true);

    showButton->setObjectName(QStringLiteral("historyShow"));
    reportButton->setObjectName(QStringLiteral("historyReport"));
    compareButton->setObjectName(QStringLiteral("historyCompare"));
    compareButton->setToolTip(tr("Select two runs: the older is the one before"));
    auto *importButton = new QPushButton(tr("Import folder…"));
    importButton->setToolTip(tr("Bring a results folder measured without the history into it"));
    auto *actions = new QHBoxLayout;
    for (QPushButton *button : {showButton, reportButton, compareButton, importButton})
        actions->addWidget(button);
    actions->addStretch();

    datasheet->setObjectName(QStringLiteral("historyDatasheet"));
    datasheet->setEditTriggers(QAbstractItemView::NoEditTriggers);
    datasheet->verticalHeader()->hide();
    datasheet->verticalHeader()->setDefaultSectionSize(datasheet->fontMetrics().lineSpacing() + 8);
    auto *saveTable = new QPushButton(tr("Save table…"));
    saveTable->setToolTip(tr("Write the datasheet table as table.csv and table.html in a folder"));
    auto *views = new QTabWidget;
    views->addTab(trend, tr("Trend"));
    views->addTab(datasheet, tr("Datasheet table"));
    // Beside the table's tab, where it belongs, and out of the row of run actions.
    views->setCornerWidget(saveTable);
    auto *split = new QSplitter(Qt::Vertical);
    split->addWidget(runs);
    split->addWidget(views);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    said->setObjectName(QStringLiteral("historyReason"));
    layout->addWidget(said);
    layout->addWidget(split, 1);
    layout->addLayout(actions);

    for (QLineEdit *field : {board, firmware, tag, since, modes})
        connect(field, &QLineEdit::returnPressed, this, &HistoryView::refresh);
    connect(refreshButton, &QPushButton::clicked, this, &HistoryView::refresh);
    connect(runs, &QTableWidget::itemSelectionChanged, this, &HistoryView::updateButtons);
    connect(runs, &QTableWidget::itemDoubleClicked, this, [this] {
        if (resultsActions && selectedRuns().size() == 1)
            emit showRequested(selectedRuns().first().folder);
    });
    connect(showButton, &QPushButton::clicked, this, [this] { emit showRequested(selectedRuns().first().folder); });
    connect(reportButton, &QPushButton::clicked, this, &HistoryView::openReport);
    connect(compareButton, &QPushButton::clicked, this, &HistoryView::compareSelected);
    connect(importButton, &QPushButton::clicked, this, &HistoryView::importFolder);
    connect(saveTable, &QPushButton::clicked, this, &HistoryView::saveDatasheet);
    updateButtons();
}

void HistoryView::setLocation(const QString &option)
{
    location = option;
}

QString HistoryView::reason() const
{
    return said->reason();
}

void HistoryView::setResultsActionsEnabled(bool enabled)
{
    resultsActions = enabled;
    updateButtons();
}

std::optional<RunFilter> HistoryView::filter(QString *why) const
{
    RunFilter chosen;
    chosen.boardId = board->text().trimmed();
    chosen.firmware = firmware->text().trimmed();
    const auto tags = SettingRules::parseTags(tag->text().split(QLatin1Char(','), Qt::SkipEmptyParts), why);
    if (!tags)
        return std::nullopt;
    chosen.tags = *tags;
    if (!since->text().trimmed().isEmpty()) {
        chosen.since = QDate::fromString(since->text().trimmed(), Qt::ISODate);
        if (!chosen.since.isValid()) {
            *why = tr("Since takes a day as YYYY-MM-DD.");
            return std::nullopt;
        }
    }
    return chosen;
}

// The runs and the trend, both from one look at the history.
void HistoryView::refresh()
{
    QString why;
    const std::optional<RunFilter> chosen = filter(&why);
    std::optional<QList<int>> modeList = QList<int>();
    if (chosen && !modes->text().trimmed().isEmpty())
        modeList = SettingRules::parseModes(modes->text(), &why);
    std::unique_ptr<History> history;
    if (chosen && modeList) {
        history = History::openChosen(location, &why);
        if (!history && why.isEmpty())
            why = tr("The history is turned off (none).");
    }
    const auto entries = history ? history->runs(*chosen, shownRuns, &why) : std::nullopt;
    // Unless a board is named, the trend is the newest run's board's: boards
    // are not to be read off one chart together.
    RunFilter trendFilter = chosen ? *chosen : RunFilter();
    if (entries && trendFilter.boardId.isEmpty()) {
        const auto named = std::find_if(entries->cbegin(), entries->cend(), [](const RunEntry &run) { return !run.facts.boardId.isEmpty(); });
        if (named != entries->cend())
            trendFilter.boardId = named->facts.boardId;
    }
    const auto points = entries ? history->trend(trendFilter, *modeList, &why) : std::nullopt;
    const auto sheetPoints = points ? history->datasheetPoints(*chosen, *modeList, &why) : std::nullopt;
    if (!sheetPoints) {
        said->say(why);
        return;
    }
    fill(*entries);
    const auto chart = std::make_shared<TrendChart>(TrendReport::chart(*points));
    trend->setChart(chart);
    sheet = Datasheet::of(*sheetPoints);
    sheetFilter = *chosen;
    fillDatasheet();
    const QString listed = entries->size() == shownRuns ? tr("The %1 newest runs of %2.").arg(shownRuns).arg(history->location())
                         : entries->size() == 1           ? tr("1 run in %1.").arg(history->location())
                                                          : tr("%1 runs in %2.").arg(entries->size()).arg(history->location());
    const QString unnamed = sheet.runsWithoutBoard == 0 ? QString()
                          : sheet.runsWithoutBoard == 1 ? tr(" The datasheet table leaves out 1 run without a board id.")
                                                        : tr(" The datasheet table leaves out %1 runs without a board id.").arg(sheet.runsWithoutBoard);
    QString trendSaid;
    if (trendFilter.boardId != chosen->boardId)
        trendSaid = tr(" The trend shows board %1, the newest run's; name a board to see another.").arg(trendFilter.boardId);
    if (chart->modeCount() > PowerModes::count())
        trendSaid += tr(" The trend has %1 lines, too many to tell apart: choose its modes in \"Trend of modes\".").arg(chart->modeCount());
    said->say(listed + unnamed + trendSaid, false);
}

void HistoryView::fill(const QList<RunEntry> &entries)
{
    shown = entries;
    runs->clearContents();
    runs->setRowCount(entries.size());
    for (int row = 0; row < entries.size(); ++row) {
        const RunEntry &run = entries.at(row);
        const QStringList cells {run.facts.started.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm")), run.facts.outcome,
                                 run.facts.boardId, run.facts.firmware, tagsText(run.facts.tags), QString::number(run.modes),
                                 QString::number(run.fails), QDir::toNativeSeparators(run.folder)};
        for (int column = 0; column < cells.size(); ++column) {
            auto *item = new QTableWidgetItem(cells.at(column));
            if (run.fails > 0)
                item->setForeground(QColor(0xc0, 0x1c, 0x1c));
            item->setToolTip(tr("Run %1").arg(run.facts.runId) + (run.facts.note.isEmpty() ? QString() : QLatin1Char('\n') + run.facts.note));
            runs->setItem(row, column, item);
        }
    }
    runs->resizeColumnsToContents();
    updateButtons();
}

// A row per mode and, per temperature and voltage, its typical and maximum
// current across boards; fewer boards than a maximum needs are marked.
void HistoryView::fillDatasheet()
{
    const QList<DatasheetColumn> columns = sheet.columns();
    const QList<QPair<int, QString>> modesShown = sheet.modes();
    QStringList header {tr("Mode")};
    for (const DatasheetColumn &column : columns)
        header << tr("Typ\n%1").arg(column.text()) << tr("Max\n%1").arg(column.text());
    datasheet->clear();
    datasheet->setColumnCount(header.size());
    datasheet->setHorizontalHeaderLabels(header);
    datasheet->setRowCount(modesShown.size());
    for (int row = 0; row < modesShown.size(); ++row) {
        datasheet->setItem(row, 0, new QTableWidgetItem(QStringLiteral("%1  %2").arg(modesShown.at(row).first).arg(modesShown.at(row).second)));
        for (int column = 0; column < columns.size(); ++column) {
            const DatasheetEntry *entry = sheet.find(modesShown.at(row).first, columns.at(column));
            for (int side = 0; side < 2; ++side) {
                auto *item = new QTableWidgetItem(entry ? Readings::formatAmperes(side == 0 ? entry->typical : entry->highest)
                                                           + (entry->tooFewBoards() ? QStringLiteral(" *") : QString())
                                                        : QStringLiteral("—"));
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
                if (entry) {
                    item->setToolTip(entry->boardsText() + (entry->tooFewBoards()
                                                                ? tr("\nFewer than %1 boards: not a maximum over parts.")
                                                                      .arg(DatasheetEntry::fewestBoards)
                                                                : QString()));
                    if (entry->tooFewBoards())
                        item->setForeground(QColor(0x8a, 0x5a, 0x00));
                }
                datasheet->setItem(row, 1 + column * 2 + side, item);
            }
        }
    }
    datasheet->resizeColumnsToContents();
}

void HistoryView::saveDatasheet()
{
    if (sheet.isEmpty()) {
        said->say(tr("No completed run matches: there is no table to save."));
        return;
    }
    const QString folder = QFileDialog::getExistingDirectory(this, tr("Save the datasheet table in"));
    if (folder.isEmpty())
        return;
    QString error;
    if (DatasheetReport::write(folder, sheet, sheetFilter.described(), &error))
        said->say(tr("Saved table.csv and table.html in %1.").arg(QDir::toNativeSeparators(folder)), false);
    else
        said->say(error);
}

QList<RunEntry> HistoryView::selectedRuns() const
{
    QList<RunEntry> chosen;
    for (const QModelIndex &row : runs->selectionModel()->selectedRows())
        chosen << shown.value(row.row());
    return chosen;
}

void HistoryView::updateButtons()
{
    const int selected = runs->selectionModel()->selectedRows().size();
    showButton->setEnabled(resultsActions && selected == 1);
    reportButton->setEnabled(selected == 1);
    compareButton->setEnabled(resultsActions && selected == 2);
}

void HistoryView::openReport()
{
    const QString report = QDir(selectedRuns().first().folder).filePath(QStringLiteral("report.html"));
    if (!QFileInfo::exists(report)) {
        said->say(tr("%1 is not there any more.").arg(QDir::toNativeSeparators(report)));
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(report));
}

void HistoryView::compareSelected()
{
    QList<RunEntry> pair = selectedRuns();
    std::sort(pair.begin(), pair.end(), [](const RunEntry &a, const RunEntry &b) { return a.facts.started < b.facts.started; });
    emit compareRequested(pair.first().folder, pair.last().folder);
}

void HistoryView::importFolder()
{
    const QString folder = QFileDialog::getExistingDirectory(this, tr("Import results into the history"));
    if (folder.isEmpty())
        return;
    QString why;
    const std::unique_ptr<History> history = History::openChosen(location, &why);
    if (!history) {
        said->say(why.isEmpty() ? tr("The history is turned off (none).") : why);
        return;
    }
    QString result;
    const bool failed = FolderImport::import(*history, folder, {}, &result) == FolderImport::Result::Failed;
    refresh();
    said->say(result, failed);
}
