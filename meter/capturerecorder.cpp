#include "meter/capturerecorder.h"

#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace {

// Settled: every bin from there on within this share of the readings' mean.
constexpr double settledShare = 0.10;

} // namespace

CaptureRecorder::CaptureRecorder(int samplesPerSecond)
    : rate(samplesPerSecond)
    , samplesPerBin(std::max(1, int(std::lround(samplesPerSecond * ModeCapture::binSeconds))))
{
}

CaptureRecorder::~CaptureRecorder() = default;

void CaptureRecorder::setEventSources(const QList<EventSource> &sources)
{
    events = sources.isEmpty() ? nullptr : std::make_unique<EventFinder>(sources, rate);
}

bool CaptureRecorder::begin(const QString &binsPath, const QString &rawPath, QString *error)
{
    capture = ModeCapture();
    capture.binsPath = binsPath;
    fresh.clear();
    readingsPending = false;
    readingsFrom = -1;
    binSum = 0;
    binCount = 0;
    current = TraceBin::none();
    raw.reset();
    rawFailed = false;
    bins.close();
    bins.setFileName(binsPath);
    binsFailed = false;
    if (!bins.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        *error = QStringLiteral("cannot write %1: %2").arg(binsPath, bins.errorString());
        return false;
    }
    if (!rawPath.isEmpty()) {
        raw = std::make_unique<QFile>(rawPath);
        if (!raw->open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            *error = QStringLiteral("cannot write %1: %2").arg(rawPath, raw->errorString());
            raw.reset();
            return false;
        }
    }
    state = State::Starting;
    return true;
}

void CaptureRecorder::beginReadings()
{
    readingsPending = true;
}

void CaptureRecorder::add(qint64 position, double filtered, double unfiltered, quint8 logic)
{
    if (state == State::Idle)
        return;
    if (state == State::Starting) {
        state = State::Recording;
        first = position;
        last = position - 1;
        bin = 0;
        if (events)
            events->begin(position);
    }
    // Samples the meter numbered and never sent keep their places.
    for (qint64 missing = last + 1; missing < position; ++missing)
        writeRaw(std::numeric_limits<float>::quiet_NaN());
    capture.lostSamples += position - last - 1;
    last = position;
    writeRaw(float(unfiltered));
    if (readingsPending) {
        readingsPending = false;
        readingsFrom = position;
    }
    // Events on the samples as they came: the filter at range switches
    // would smooth away the edges that events begin and end with.
    if (events && readingsFrom >= 0)
        events->add(position, unfiltered, logic);
    const qint64 at = (position - first) / samplesPerBin;
    while (bin < at)
        closeBin();
    binSum += filtered;
    ++binCount;
    current.logic |= logic;
    current.min = std::min(current.empty() ? filtered : current.min, filtered);
    current.max = std::max(current.empty() ? filtered : current.max, filtered);
    capture.peak = std::max(capture.peak, filtered);
}

void CaptureRecorder::closeBin()
{
    if (binCount > 0)
        current.mean = binSum / binCount;
    fresh << current;
    if (!binsFailed)
        binsFailed = bins.write(reinterpret_cast<const char *>(&current), sizeof current) != sizeof current;
    ++capture.binCount;
    current = TraceBin::none();
    binSum = 0;
    binCount = 0;
    ++bin;
}

void CaptureRecorder::writeRaw(float value)
{
    if (!raw || rawFailed)
        return;
    char bytes[4];
    qToLittleEndian(value, bytes);
    rawFailed = raw->write(bytes, 4) != 4;
}

QVector<TraceBin> CaptureRecorder::newBins()
{
    return std::exchange(fresh, {});
}

QVector<ModeEvent> CaptureRecorder::newEvents()
{
    return events ? events->newEvents() : QVector<ModeEvent>();
}

// The last bin off the readings' mean, read back from the bins' file; -1 if none.
std::optional<qint64> CaptureRecorder::lastBinOff(double readingsMean, QString *error)
{
    QFile file(capture.binsPath);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(capture.binsPath, file.errorString());
        return std::nullopt;
    }
    qint64 lastOff = -1;
    QVector<TraceBin> chunk(4096);
    const qint64 chunkBytes = chunk.size() * qint64(sizeof(TraceBin));
    for (qint64 at = 0; at < capture.binCount;) {
        const qint64 got = file.read(reinterpret_cast<char *>(chunk.data()), chunkBytes);
        if (got <= 0 || got % sizeof(TraceBin)) {
            *error = QStringLiteral("cannot read %1: it ends early").arg(capture.binsPath);
            return std::nullopt;
        }
        for (qint64 i = 0; i < got / qint64(sizeof(TraceBin)); ++i, ++at) {
            const TraceBin &one = chunk.at(int(i));
            if (!one.empty() && std::abs(one.mean - readingsMean) > settledShare * std::abs(readingsMean))
                lastOff = at;
        }
    }
    return lastOff;
}

std::optional<ModeCapture> CaptureRecorder::finish(double readingsMean, QString *error)
{
    if (binCount > 0)
        closeBin();
    state = State::Idle;
    capture.spanSamples = last < first ? 0 : last - first + 1;
    const qint64 window = readingsFrom < 0 ? 0 : last - readingsFrom + 1;
    capture.windowSeconds = double(window) / rate;
    capture.charge = readingsMean * capture.windowSeconds;
    if (events)
        events->finish(capture);
    if (!bins.flush() || binsFailed) {
        *error = QStringLiteral("cannot write %1: %2").arg(capture.binsPath, bins.errorString());
        return std::nullopt;
    }
    bins.close();
    const qint64 readingsBin = readingsFrom < 0 ? capture.binCount : (readingsFrom - first) / samplesPerBin;
    const std::optional<qint64> lastOff = lastBinOff(readingsMean, error);
    if (!lastOff)
        return std::nullopt;
    if (*lastOff + 1 <= readingsBin)
        capture.settledAfter = (*lastOff + 1) * ModeCapture::binSeconds;
    if (raw) {
        const bool whole = !rawFailed && raw->flush();
        const QString why = raw->errorString();
        const QString path = raw->fileName();
        raw.reset();
        if (!whole) {
            *error = QStringLiteral("cannot write %1: %2").arg(path, why);
            return std::nullopt;
        }
    }
    return capture;
}
