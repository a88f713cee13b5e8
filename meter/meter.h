#ifndef METER_H
#define METER_H

#include "meter/eventsource.h"
#include "meter/modecapture.h"
#include "meter/readings.h"

#include <QObject>

#include <optional>

// How a meter measures one mode.
struct MeterSettings
{
    std::optional<double> range;   // amperes; none for auto range
    double nplc = 1;               // integration time in power-line cycles
    int samples = 10;              // separate readings per trigger
    QList<EventSource> events;     // where a fast meter finds events in the readings' window
};

// A current meter as the sweep drives it. Every operation answers with one
// signal, or with failed(); none blocks the event loop.
class Meter : public QObject
{
    Q_OBJECT

public:
    explicit Meter(QObject *parent = nullptr)
        : QObject(parent)
    {
        qRegisterMetaType<QList<Reading>>();
        qRegisterMetaType<ModeCapture>();
        qRegisterMetaType<QVector<TraceBin>>();
        qRegisterMetaType<QVector<ModeEvent>>();
    }

    virtual void start() = 0;                                  // ready() with its identity
    virtual void configure(const MeterSettings &settings) = 0; // configured()
    virtual void measure() = 0;                                // measured()
    // One reading of the current as it is, just before a mode's command, so
    // that the sweep sees whether the command changed it; a meter that cannot
    // take one at once (read by hand) says so and is never asked.
    virtual bool readsBefore() const { return false; }
    // Whether it reports digital inputs and samples fast enough to find
    // events (MeterSettings::events); only such a meter is given sources.
    virtual bool findsEvents() const { return false; }
    virtual void readBefore() { }                              // before()
    // The mode's command has just gone out: a meter that samples fast
    // records the mode from here, its bins to `binsPath` (and, given a raw
    // path, every sample to it), and says captured() before measured().
    // Others have nothing to do.
    virtual void startCapture(const QString &binsPath, const QString &rawPath) { Q_UNUSED(binsPath) Q_UNUSED(rawPath) }
    // Once finished: what the run's report should say of the meter over the
    // whole sweep, such as samples it failed to send; empty for most.
    virtual QString sweepNote() const { return QString(); }
    virtual void finish() = 0;                                 // finished(), never failed()
    // Stops waiting for whatever is under way; no signal follows.
    virtual void abort() = 0;

signals:
    void ready(const QString &identity);
    void configured();
    void measured(const QList<Reading> &readings);
    void before(const Reading &reading);
    void captured(const ModeCapture &capture);
    void binsTaken(const QVector<TraceBin> &bins);   // a fast meter's latest milliseconds, for a live view
    void eventsTaken(const QVector<ModeEvent> &events);   // and the events found in them
    void failed(const QString &reason);
    void finished();
    void warning(const QString &text);   // something odd that changes no result
};

#endif // METER_H
