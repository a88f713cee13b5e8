#include "sweepwindow/modetable.h"

#include "board/powermodes.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QScrollBar>

namespace {

const ModePlan defaultPlan {{std::nullopt, 1, 10}, 2};

QString optionalNumber(const std::optional<double> &value)
{
    return value ? Numbers::format(*value) : QString();
}

} // namespace

ModeTable::ModeTable(QWidget *parent)
    : QTableWidget(PowerModes::count(), ColumnCount, parent)
{
    setHorizontalHeaderLabels({tr("Measure"), tr("Mode"), tr("Range (A)"), tr("NPLC"), tr("Settle (s)"), tr("Readings"),
                               tr("Min (A)"), tr("Max (A)")});
    verticalHeader()->hide();
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
        setPlanRow(mode, defaultPlan);
    }
    resizeColumnsToContents();
    // Room for a current in amperes as the files write it.
    for (int column : {Range, LimitMin, LimitMax})
        setColumnWidth(column, std::max(columnWidth(column), fontMetrics().horizontalAdvance(QStringLiteral("0.0000015")) + 12));
    // Wide enough for every column, the modes' names in full.
    setMinimumWidth(horizontalHeader()->length() + verticalScrollBar()->sizeHint().width() + 2 * frameWidth());
    connect(this, &QTableWidget::itemChanged, this, &ModeTable::edited);
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

std::optional<QMap<int, ModePlan>> ModeTable::plan(QString *error) const
{
    QMap<int, ModePlan> plan;
    for (int mode = 0; mode < rowCount(); ++mode) {
        ModePlan modePlan;
        const auto range = SweepInput::parseRange(text(mode, Range));
        const auto nplc = Numbers::parse(text(mode, Nplc));
        const auto settle = Numbers::parse(text(mode, Settle));
        const auto samples = Numbers::parse(text(mode, Samples));
        const QList<QPair<bool, Column>> checks = {
            {bool(range), Range}, {nplc && *nplc > 0 && *nplc <= 100, Nplc}, {settle && *settle >= 0, Settle},
            {samples && *samples >= 1 && *samples <= 1000 && *samples == int(*samples), Samples},
        };
        for (const auto &check : checks) {
            if (!check.first) {
                *error = tr("mode %1: %2 \"%3\" is not valid").arg(mode).arg(horizontalHeaderItem(check.second)->text(),
                                                                           text(mode, check.second));
                return std::nullopt;
            }
        }
        plan.insert(mode, {{*range, *nplc, int(*samples)}, *settle});
    }
    return plan;
}

std::optional<QMap<int, Limits>> ModeTable::limits(QString *error) const
{
    QMap<int, Limits> limits;
    for (int mode = 0; mode < rowCount(); ++mode) {
        Limits bounds;
        for (Column column : {LimitMin, LimitMax}) {
            if (text(mode, column).isEmpty())
                continue;
            const std::optional<double> bound = Numbers::parse(text(mode, column));
            if (!bound) {
                *error = tr("mode %1: limit \"%2\" is not a current in amperes").arg(mode).arg(text(mode, column));
                return std::nullopt;
            }
            (column == LimitMin ? bounds.min : bounds.max) = bound;
        }
        if (bounds.min || bounds.max)
            limits.insert(mode, bounds);
    }
    return limits;
}

bool ModeTable::loadPlan(const QString &path, QString *error)
{
    const auto loaded = SweepInput::loadPlan(path, defaultPlan, error);
    if (!loaded)
        return false;
    for (auto mode = loaded->cbegin(); mode != loaded->cend(); ++mode)
        setPlanRow(mode.key(), mode.value());
    return true;
}

bool ModeTable::savePlan(const QString &path, QString *error) const
{
    const auto modes = plan(error);
    return modes && SweepInput::savePlan(path, *modes, error);
}

bool ModeTable::loadLimits(const QString &path, QString *error)
{
    const auto loaded = SweepInput::loadLimits(path, error);
    if (!loaded)
        return false;
    for (int mode = 0; mode < rowCount(); ++mode) {
        const Limits bounds = loaded->value(mode);
        setText(mode, LimitMin, optionalNumber(bounds.min));
        setText(mode, LimitMax, optionalNumber(bounds.max));
    }
    return true;
}

bool ModeTable::saveLimits(const QString &path, QString *error) const
{
    const auto bounds = limits(error);
    return bounds && SweepInput::saveLimits(path, *bounds, error);
}

QStringList ModeTable::cells() const
{
    QStringList all;
    for (int mode = 0; mode < rowCount(); ++mode) {
        for (int column = Range; column < ColumnCount; ++column)
            all << text(mode, Column(column));
    }
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

void ModeTable::adoptSampleDefault(int samples)
{
    const QString other = samples == 1 ? QStringLiteral("10") : QStringLiteral("1");
    for (int mode = 0; mode < rowCount(); ++mode) {
        if (text(mode, Samples) != other)
            return;   // set by hand: kept
    }
    for (int mode = 0; mode < rowCount(); ++mode)
        setText(mode, Samples, QString::number(samples));
}

QString ModeTable::text(int row, Column column) const
{
    return item(row, column)->text().trimmed();
}

void ModeTable::setText(int row, Column column, const QString &text)
{
    item(row, column)->setText(text);
}

void ModeTable::setPlanRow(int mode, const ModePlan &modePlan)
{
    setText(mode, Range, modePlan.meter.range ? Numbers::format(*modePlan.meter.range) : QStringLiteral("auto"));
    setText(mode, Nplc, Numbers::format(modePlan.meter.nplc));
    setText(mode, Settle, Numbers::format(modePlan.settleSeconds));
    setText(mode, Samples, QString::number(modePlan.meter.samples));
}
