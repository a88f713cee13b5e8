#ifndef BUDGETCOMMAND_H
#define BUDGETCOMMAND_H

#include <QStringList>

// pellmora-sweep budget: a product's repeating day in the board's modes,
// costed with currents measured in a results folder or the history.
int budgetCommand(const QStringList &arguments);

#endif // BUDGETCOMMAND_H
