#ifndef BUDGETVIEW_H
#define BUDGETVIEW_H

#include "budget/budget.h"

#include <QWidget>

class ChartView;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QTableWidget;
class ReasonLabel;

// A product's period in the board's modes, as a table over the results it
// is costed with (the run shown, or a folder chosen): the average
// current, the battery life and each line's share, updated as the table is
// typed in. Profiles are saved and loaded in the budget command's format.
class BudgetView : public QWidget
{
    Q_OBJECT

public:
    explicit BudgetView(QWidget *parent = nullptr);

    // The results folder the currents come from, read again now.
    void setFolder(const QString &folder);
    QString folder() const;
    // The table's profile as the budget command reads it.
    QString profileText() const;
    bool loadProfile(const QString &path, QString *error);
    bool saveProfile(const QString &path, QString *error) const;
    const std::optional<Budget> &budget() const { return costed; }

private:
    void recompute();
    void chooseFolder();
    void addRow(const QString &line = QString(), const QString &value = QString());

    QLineEdit *source;
    QLineEdit *period;
    QDoubleSpinBox *battery;
    QDoubleSpinBox *derate;
    QTableWidget *lines;
    ReasonLabel *reason;
    QLabel *summary;
    ChartView *chart;
    std::optional<Budget> costed;
};

#endif // BUDGETVIEW_H
