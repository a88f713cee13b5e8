#ifndef EVENTSFILE_H
#define EVENTSFILE_H

#include "meter/modecapture.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// events.csv: a row per event of each mode's readings window,
// index,vdd_v,source,n,partial,start_s,duration_s,charge_c,energy_j,peak_a,
// times from the mode's command, energy where the voltage is known.
namespace EventsFile {

extern const QStringList header;

// An event of a folder's mode.
struct Row
{
    int index = 0;
    std::optional<double> vddV;
    ModeEvent event;
};

QStringList fields(int index, const std::optional<double> &vddV, const ModeEvent &event);
// The events of one mode at one recorded voltage, as results.csv's row has them.
QVector<ModeEvent> of(const QList<Row> &rows, int index, const std::optional<double> &vddV);
// Every row; none where the folder has no such file.
std::optional<QList<Row>> read(const QString &path, QString *error);

// The events of one mode and source, as a report sums them up: whole ones
// (partial ones counted apart), their rate over the window, and the mean,
// least and most of their durations and charges.
struct Summary
{
    QString source;
    int whole = 0;
    int partial = 0;
    std::optional<double> rateHz;
    double durationMean = 0, durationMin = 0, durationMax = 0;
    double chargeMean = 0, chargeMin = 0, chargeMax = 0;
};
// Per source, in the order they first come; the window's length gives the rate.
QList<Summary> summarize(const QVector<ModeEvent> &events, const std::optional<double> &windowSeconds);

} // namespace EventsFile

#endif // EVENTSFILE_H
