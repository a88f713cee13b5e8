#ifndef MODETABLE_H
#define MODETABLE_H

#include "settings/sweepsettings.h"

#include <QTableWidget>

// The 18 power modes to set a sweep up with: which to measure, and per mode
// the meter's range, integration time, settle time, readings and limits,
// edited in place and loaded from or saved to the command line's plan and
// limits files. An empty cell keeps the default, shown in grey, as an empty
// cell of a plan file does. Ranges and limits show as currents in SI units
// and take what the reading entry takes (400n, 10 uA, 0.25m, 1e-6); the
// files keep plain numbers. Every cell is checked by the rules the command
// line uses, and every invalid one is marked at once, its reason in its
// tooltip.
class ModeTable : public QTableWidget
{
    Q_OBJECT

public:
    enum Column { Measure, Mode, Range, Nplc, Settle, Samples, LimitMin, LimitMax, ColumnCount };

    explicit ModeTable(QWidget *parent = nullptr);

    // Every column, the modes' names in full; narrower, the table scrolls.
    QSize sizeHint() const override { return QSize(fullWidth, QTableWidget::sizeHint().height()); }

    void checkAll(bool checked);
    QList<int> checkedModes() const;
    void setCheckedModes(const QList<int> &modes);

    // What empty cells stand for.
    void setDefaults(const ModePlan &defaults);
    ModePlan defaults() const { return shownDefaults; }

    // The cells that are not valid, and one line that sums them up; empty when all are.
    int invalidCellCount() const;
    QString summary() const;

    // The rows that set something, and the limits; only when every cell is valid.
    std::optional<QMap<int, PlanRow>> plan() const;
    std::optional<QMap<int, Limits>> limits() const;

    bool loadPlan(const QString &path, QString *error);
    bool savePlan(const QString &path, QString *error) const;
    bool loadLimits(const QString &path, QString *error);
    bool saveLimits(const QString &path, QString *error) const;

    // Every cell as text, for the saved settings, and back.
    QStringList cells() const;
    void setCells(const QStringList &cells);

signals:
    void edited();

private:
    QString text(int row, Column column) const;
    void setText(int row, Column column, const QString &text);
    QStringList rowCells(int row, Column first, Column last) const;
    // The cells as files hold them; a current that cannot be read gets its reason.
    QStringList fileCells(int row, Column first, Column last, QStringList *reasons) const;
    void setFileCells(int row, Column first, const QStringList &cells);
    void check();
    void mark(int row, Column column, const QString &reason);

    ModePlan shownDefaults;
    int invalidCells = 0;
    bool checking = false;
    int fullWidth = 0;   // every column, the names in full
};

#endif // MODETABLE_H
