#ifndef MODETABLE_H
#define MODETABLE_H

#include "settings/sweepsettings.h"

#include <QTableWidget>

// The 18 power modes to set a sweep up with: which to measure, and per mode
// the meter's range, integration time, settle time, readings and limits,
// edited in place and loaded from or saved to the command line's plan and
// limits files.
class ModeTable : public QTableWidget
{
    Q_OBJECT

public:
    enum Column { Measure, Mode, Range, Nplc, Settle, Samples, LimitMin, LimitMax, ColumnCount };

    explicit ModeTable(QWidget *parent = nullptr);

    void checkAll(bool checked);
    QList<int> checkedModes() const;
    void setCheckedModes(const QList<int> &modes);

    // Every mode's settings; empty with the first cell at fault where one is not valid.
    std::optional<QMap<int, ModePlan>> plan(QString *error) const;
    std::optional<QMap<int, Limits>> limits(QString *error) const;

    bool loadPlan(const QString &path, QString *error);
    bool savePlan(const QString &path, QString *error) const;
    bool loadLimits(const QString &path, QString *error);
    bool saveLimits(const QString &path, QString *error) const;

    // Every cell as text, for the saved settings, and back.
    QStringList cells() const;
    void setCells(const QStringList &cells);

    // Readings per mode where they still are the other meter kind's default.
    void adoptSampleDefault(int samples);

signals:
    void edited();

private:
    QString text(int row, Column column) const;
    void setText(int row, Column column, const QString &text);
    void setPlanRow(int mode, const ModePlan &modePlan);
};

#endif // MODETABLE_H
