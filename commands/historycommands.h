#ifndef HISTORYCOMMANDS_H
#define HISTORYCOMMANDS_H

#include <QStringList>

// pellmora-sweep history, import, trend, table and check: the run history
// listed, filled from results folders, drawn over time, made a datasheet's
// table across boards, and held against a new run.
int historyCommand(const QStringList &arguments);
int importCommand(const QStringList &arguments);
int trendCommand(const QStringList &arguments);
int tableCommand(const QStringList &arguments);
int checkCommand(const QStringList &arguments);

#endif // HISTORYCOMMANDS_H
