#ifndef TRACEFILE_H
#define TRACEFILE_H

#include "results/modetrace.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// trace.csv, a row for each 1 ms bin of each mode: index,t_s,mean_a,min_a,max_a,logic
// (vdd_v after index where the run had several voltages; the three currents
// empty where no sample came in the bin; logic the digital inputs high in the
// bin, bit n = Dn, 0 to 255, which files from before it lack). A long mode's rows outgrow memory,
// so the file is only ever streamed, in and out.
namespace TraceFile {

extern const QStringList header;

// A mode's bins as a meter's recorder left them in their own file.
struct Addition
{
    int index = 0;
    int voltageKey = ResultRow::noVoltage;
    QString binsPath;
    qint64 binCount = 0;
};

// The file at `path` again, through a temporary file renamed over it: its
// rows of the modes `keep` takes, then those of `added` with its trace,
// thinned, to *addedTrace. No file is made where there was none and nothing
// is added.
bool rewrite(const QString &path, bool byVoltage, const std::function<bool(int index, int voltageKey)> &keep,
             const Addition *added, ModeTrace *addedTrace, QString *error);

// Every mode's trace, thinned; none where there is no such file.
std::optional<QList<ModeTrace>> read(const QString &path, QString *error);

} // namespace TraceFile

#endif // TRACEFILE_H
