#include "results/spanmeasure.h"

#include "meter/readings.h"

#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <cmath>

std::optional<SpanMeasure> SpanMeasure::ofBins(const QVector<TraceBin> &bins, double binSeconds, double originS, double fromS,
                                               double toS)
{
    // The bins whose middles lie in the span: a bin is not split.
    const int first = std::max(0, int(std::lround((fromS - originS) / binSeconds)));
    const int last = std::min(int(bins.size()), int(std::lround((toS - originS) / binSeconds)));
    SpanMeasure measure;
    measure.fromS = originS + first * binSeconds;
    measure.toS = originS + last * binSeconds;
    double sum = 0;
    int filled = 0;
    for (int i = first; i < last; ++i) {
        const TraceBin &bin = bins.at(i);
        if (bin.empty())
            continue;
        sum += bin.mean;
        measure.peak = filled == 0 ? bin.max : std::max(measure.peak, bin.max);
        ++filled;
    }
    if (filled == 0)
        return std::nullopt;
    measure.mean = sum / filled;
    return measure;
}

std::optional<SpanMeasure> SpanMeasure::ofSamples(const QString &path, int samplesPerSecond, double fromS, double toS, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    const qint64 first = std::max<qint64>(0, std::llround(fromS * samplesPerSecond));
    const qint64 last = std::min(file.size() / 4, std::llround(toS * samplesPerSecond));
    if (last <= first || !file.seek(first * 4))
        return std::nullopt;
    const QByteArray bytes = file.read((last - first) * 4);
    SpanMeasure measure;
    measure.fromS = double(first) / samplesPerSecond;
    measure.toS = double(first + bytes.size() / 4) / samplesPerSecond;
    measure.fromSamples = true;
    double sum = 0;
    qint64 taken = 0;
    for (int at = 0; at + 4 <= bytes.size(); at += 4) {
        const float value = qFromLittleEndian<float>(bytes.constData() + at);
        if (std::isnan(value))
            continue;
        sum += value;
        measure.peak = taken == 0 ? value : std::max(measure.peak, double(value));
        ++taken;
    }
    if (taken == 0)
        return std::nullopt;
    measure.mean = sum / double(taken);
    return measure;
}

QString SpanMeasure::text(const std::optional<double> &volts) const
{
    QString line = QStringLiteral("%1 from %2: mean %3, peak %4, charge %5")
                       .arg(Readings::formatSi(seconds(), QStringLiteral("s")), Readings::formatSi(fromS, QStringLiteral("s")),
                            Readings::formatAmperes(mean), Readings::formatAmperes(peak), Readings::formatSi(chargeC(), QStringLiteral("C")));
    if (volts)
        line += QStringLiteral(", energy %1").arg(Readings::formatSi(chargeC() * *volts, QStringLiteral("J")));
    return line;
}
