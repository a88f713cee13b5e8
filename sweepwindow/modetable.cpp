#include "sweepwindow/modetable.h"

#include "board/powermodes.h"
#include "settings/planfiles.h"

#include <QHeaderView>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>

namespace {

const QColor invalidBackground(0xfd, 0xe2, 0xe2);

bool holdsCurrent(int column)
{
    return column == ModeTable::Range || column == ModeTable::LimitMin || column == ModeTable::LimitMax;
}

// A current as a file writes it, from what was typed: "400n" is "4e-07".
QString toFileNumber(const QString &typed, QString *why)
{
    if (typed.isEmpty() || typed == QLatin1String("auto"))
        return typed;
    const std::optional<double> amperes = Readings::parseTyped(typed, why);
    return amperes ? Numbers::format(*amperes) : typed;
}

QString fromFileNumber(const QString &cell)
{
    const std::optional<double> amperes = Numbers::parse(cell);
    return amperes ? Readings::formatSetting(*amperes, QStringLiteral("A")) : cell;
}

// An empty cell shows, in grey, the default it stands for.
class DefaultShowingDelegate : public QStyledItemDelegate
{
public:
    explicit DefaultShowingDelegate(ModeTable *table)
        : QStyledItemDelegate(table)
        , table(table)
    {
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::paint(painter, option, index);
        if (!index.data().toString().isEmpty())
            return;
        const QString shown = defaultText(index.column());
        if (shown.isEmpty())
            return;
        painter->save();
        painter->setPen(option.palette.color(QPalette::Disabled, QPalette::Text));
        painter->drawText(option.rect.adjusted(4, 0, -4, 0), Qt::AlignLeft | Qt::AlignVCenter, shown);
        painter->restore();
    }

private:
    QString defaultText(int column) const
    {
        const ModePlan defaults = table->defaults();
        switch (column) {
        case ModeTable::Range:
            return defaults.meter.range ? Readings::formatSetting(*defaults.meter.range, QStringLiteral("A")) : QStringLiteral("auto");
        case ModeTable::Nplc:
            return Numbers::format(defaults.meter.nplc);
        case ModeTable::Settle:
            return Numbers::format(defaults.settleSeconds);
        case ModeTable::Samples:
            return QString::number(defaults.meter.samples);
        default:
            return QString();
        }
    }

    const ModeTable *table;
};

} // namespace

ModeTable::ModeTable(QWidget *parent)
    : QTableWidget(PowerModes::count(), ColumnCount, parent)
{
    setHorizontalHeaderLabels({tr("Measure"), tr("Mode"), tr("Range"), tr("NPLC"), tr("Settle (s)"), tr("Readings"),
                               tr("Min"), tr("Max")});
    verticalHeader()->hide();
    setItemDelegate(new DefaultShowingDelegate(this));
    for (int mode = 0; mode < PowerModes::count(); ++mode) {
        auto *measure = new QTableWidgetItem;
        measure->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        measure->setCheckState(Qt::Checked);
        setItem(mode, Measure, measure);
        auto *name = new QTableWidgetItem(QStringLiteral("%1  %2").arg(mode).arg(PowerModes::name(mode)));
        name->setFlags(Qt::ItemIsEnabled);
        setItem(mode, Mode, name);
        for (int column = Range; column < ColumnCount; ++column)
            setItem(mode, column, new QTableWidgetItem);
    }
    resizeColumnsToContents();
    // Room for a current as one types it.
    for (int column : {Range, LimitMin, LimitMax})
        setColumnWidth(column, std::max(columnWidth(column), fontMetrics().horizontalAdvance(QStringLiteral("1.25 mA")) + 16));
    // As wide as every column where there is room; on a narrow screen the
    // mode's name and what follows scroll, the check boxes stay.
    fullWidth = horizontalHeader()->length() + verticalScrollBar()->sizeHint().width() + 2 * frameWidth();
    setMinimumWidth(columnWidth(Measure) + columnWidth(Mode) / 2 + verticalScrollBar()->sizeHint().width() + 2 * frameWidth());
    connect(this, &QTableWidget::itemChanged, this, [this] {
        if (checking)
            return;
        check();
        emit edited();
    });
}

void ModeTable::checkAll(bool checked)
{
    for (int mode = 0; mode < rowCount(); ++mode)
        item(mode, Measure)->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

QList<int> ModeTable::checkedModes() const
{
    QList<int> modes;
    for (int mode = 0; mode < rowCount(); ++mode) {
        if (item(mode, Measure)->checkState() == Qt::Checked)
            modes << mode;
    }
    return modes;
}

void ModeTable::setCheckedModes(const QList<int> &modes)
{
    for (int mode = 0; mode < rowCount(); ++mode)
        item(mode, Measure)->setCheckState(modes.contains(mode) ? Qt::Checked : Qt::Unchecked);
}

void ModeTable::setDefaults(const ModePlan &defaults)
{
    shownDefaults = defaults;
    viewport()->update();
}

int ModeTable::invalidCellCount() const
{
    return invalidCells;
}

QString ModeTable::summary() const
{
    if (invalidCells == 0)
        return QString();
    const QString cells = invalidCells == 1 ? tr("1 cell of the table is") : tr("%1 cells of the table are").arg(invalidCells);
    return tr("%1 not valid (marked in red; the reason is in each one's tooltip).").arg(cells);
}

std::optional<QMap<int, PlanRow>> ModeTable::plan() const
{
    if (invalidCells > 0)
        return std::nullopt;
    QMap<int, PlanRow> rows;
    QStringList reasons;
    for (int mode = 0; mode < rowCount(); ++mode) {
        const QStringList cells = fileCells(mode, Range, Samples, &reasons);
        if (cells.join(QString()).isEmpty())
            continue;
        rows.insert(mode, PlanRow::parse(cells, &reasons));
    }
    return rows;
}

std::optional<QMap<int, Limits>> ModeTable::limits() const
{
    if (invalidCells > 0)
        return std::nullopt;
    QMap<int, Limits> bounds;
    QStringList reasons;
    for (int mode = 0; mode < rowCount(); ++mode) {
        const Limits modeLimits = parseLimits(fileCells(mode, LimitMin, LimitMax, &reasons), &reasons);
        if (modeLimits.min || modeLimits.max)
            bounds.insert(mode, modeLimits);
    }
    return bounds;
}

bool ModeTable::loadPlan(const QString &path, QString *error)
{
    const auto loaded = PlanFiles::loadPlan(path, error);
    if (!loaded)
        return false;
    for (int mode = 0; mode < rowCount(); ++mode)
        setFileCells(mode, Range, loaded->value(mode).cells());
    return true;
}

bool ModeTable::savePlan(const QString &path, QString *error) const
{
    const auto rows = plan();
    if (!rows) {
        *error = summary();
        return false;
    }
    return PlanFiles::savePlan(path, *rows, error);
}

bool ModeTable::loadLimits(const QString &path, QString *error)
{
    const auto loaded = PlanFiles::loadLimits(path, error);
    if (!loaded)
        return false;
    for (int mode = 0; mode < rowCount(); ++mode)
        setFileCells(mode, LimitMin, limitCells(loaded->value(mode)));
    return true;
}

bool ModeTable::saveLimits(const QString &path, QString *error) const
{
    const auto bounds = limits();
    if (!bounds) {
        *error = summary();
        return false;
    }
    return PlanFiles::saveLimits(path, *bounds, error);
}

QStringList ModeTable::cells() const
{
    QStringList all;
    for (int mode = 0; mode < rowCount(); ++mode)
        all << rowCells(mode, Range, LimitMax);
    return all;
}

void ModeTable::setCells(const QStringList &cells)
{
    if (cells.size() != rowCount() * (ColumnCount - Range))
        return;
    int cell = 0;
    for (int mode = 0; mode < rowCount(); ++mode) {
        for (int column = Range; column < ColumnCount; ++column)
            setText(mode, Column(column), cells.at(cell++));
    }
}

QString ModeTable::text(int row, Column column) const
{
    return item(row, column)->text().trimmed();
}

void ModeTable::setText(int row, Column column, const QString &text)
{
    item(row, column)->setText(text);
}

QStringList ModeTable::rowCells(int row, Column first, Column last) const
{
    QStringList cells;
    for (int column = first; column <= last; ++column)
        cells << text(row, Column(column));
    return cells;
}

QStringList ModeTable::fileCells(int row, Column first, Column last, QStringList *reasons) const
{
    QStringList cells;
    reasons->clear();
    for (int column = first; column <= last; ++column) {
        QString why;
        cells << (holdsCurrent(column) ? toFileNumber(text(row, Column(column)), &why) : text(row, Column(column)));
        *reasons << why;
    }
    return cells;
}

void ModeTable::setFileCells(int row, Column first, const QStringList &cells)
{
    for (int i = 0; i < cells.size(); ++i) {
        const int column = first + i;
        setText(row, Column(column), holdsCurrent(column) ? fromFileNumber(cells.at(i)) : cells.at(i));
    }
}

// Checks every cell by the files' rules and marks each invalid one.
void ModeTable::check()
{
    checking = true;
    invalidCells = 0;
    for (int mode = 0; mode < rowCount(); ++mode) {
        QStringList typingReasons;
        QStringList planReasons;
        QStringList limitReasons;
        QStringList cells = fileCells(mode, Range, LimitMax, &typingReasons);
        PlanRow::parse(cells.mid(0, Samples - Range + 1), &planReasons);
        parseLimits(cells.mid(LimitMin - Range), &limitReasons);
        // The table has no entry_check column: a plan's cells up to samples.
        const QStringList ruleReasons = planReasons.mid(0, Samples - Range + 1) + limitReasons;
        for (int column = Range; column < ColumnCount; ++column) {
            const QString typing = typingReasons.at(column - Range);
            mark(mode, Column(column), typing.isEmpty() ? ruleReasons.at(column - Range) : typing);
        }
    }
    checking = false;
}

void ModeTable::mark(int row, Column column, const QString &reason)
{
    QTableWidgetItem *cell = item(row, column);
    cell->setToolTip(reason);
    cell->setBackground(reason.isEmpty() ? QBrush() : QBrush(invalidBackground));
    if (!reason.isEmpty())
        ++invalidCells;
}
