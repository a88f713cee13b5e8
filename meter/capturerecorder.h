#ifndef CAPTURERECORDER_H
#define CAPTURERECORDER_H

#include "meter/eventfinder.h"
#include "meter/modecapture.h"

#include <QFile>
#include <QString>

#include <memory>

// Folds a fast meter's samples into a mode's capture as they come: the 1 ms
// envelope, the peak, the charge over the readings' window, the samples
// lost by their places on the meter's clock, the events of the readings'
// window where sources are given, and, given a file, every sample as it
// came, lost ones as NaN. It holds no sample, and no bin beyond those not
// yet taken by newBins(): the bins go to their own file.
class CaptureRecorder
{
public:
    explicit CaptureRecorder(int samplesPerSecond);
    ~CaptureRecorder();

    // Where events come from, for every capture from the next on; none: no events.
    void setEventSources(const QList<EventSource> &sources);

    // From the next sample on, the bins to `binsPath`; empty raw path: no
    // file of samples. False, with why, where a file cannot be made.
    bool begin(const QString &binsPath, const QString &rawPath, QString *error);
    bool isRecording() const { return state != State::Idle; }
    // The readings' window begins with the next sample.
    void beginReadings();
    // `filtered` as the readings take it, `unfiltered` for the file;
    // `logic` the digital inputs, bit n = Dn.
    void add(qint64 position, double filtered, double unfiltered, quint8 logic = 0);
    // The capture, its settling judged against the readings' mean; empty,
    // with why, where a file could not be written whole.
    std::optional<ModeCapture> finish(double readingsMean, QString *error);
    // The bins closed since the last call, for a live view.
    QVector<TraceBin> newBins();
    // The events found since the last call, for a live view.
    QVector<ModeEvent> newEvents();

private:
    enum class State { Idle, Starting, Recording };
    void closeBin();
    void writeRaw(float value);
    std::optional<qint64> lastBinOff(double readingsMean, QString *error);

    int rate;
    int samplesPerBin;
    State state = State::Idle;
    bool readingsPending = false;
    qint64 first = 0;          // the position of the span's first sample
    qint64 last = -1;          // of its latest
    qint64 readingsFrom = -1;  // of the readings' first
    ModeCapture capture;
    qint64 bin = 0;            // the bin being filled
    QVector<TraceBin> fresh;   // closed since newBins() was last called
    double binSum = 0;
    int binCount = 0;
    TraceBin current = TraceBin::none();
    QFile bins;
    bool binsFailed = false;
    std::unique_ptr<QFile> raw;
    bool rawFailed = false;
    std::unique_ptr<EventFinder> events;
};

#endif // CAPTURERECORDER_H
