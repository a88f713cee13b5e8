#ifndef REPORTCOMMANDS_H
#define REPORTCOMMANDS_H

#include <QStringList>

// pellmora-sweep report DIR [--battery-mah CAPACITY]: rebuilds DIR's chart and report.
int reportCommand(const QStringList &arguments);

// pellmora-sweep compare DIR_A DIR_B [--out DIR] [--threshold FACTOR]
int compareCommand(const QStringList &arguments);

#endif // REPORTCOMMANDS_H
