#ifndef RUNCOMMAND_H
#define RUNCOMMAND_H

#include <QStringList>

// pellmora-sweep run ...: the terminal's front end over Sweep. Returns the exit status.
int runSweepCommand(const QStringList &arguments);

#endif // RUNCOMMAND_H
