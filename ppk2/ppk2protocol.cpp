#include "ppk2/ppk2protocol.h"

#include <QList>
#include <QLocale>

#include <algorithm>
#include <cmath>

namespace Ppk2 {

namespace {

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray command;
    for (int value : values)
        command.append(char(value));
    return command;
}

} // namespace

QByteArray start()
{
    return bytes({AverageStart});
}

QByteArray stop()
{
    return bytes({AverageStop});
}

QByteArray metadataRequest()
{
    return bytes({GetMetadata});
}

QByteArray powerMode(PowerMode mode)
{
    return bytes({SetPowerMode, int(mode)});
}

QByteArray regulator(int millivolts)
{
    const int clamped = std::clamp(millivolts, lowestMillivolts, highestMillivolts);
    return bytes({RegulatorSet, clamped >> 8, clamped & 0xff});
}

QByteArray deviceRunning(bool on)
{
    return bytes({DeviceRunningSet, on ? 1 : 0});
}

qint64 samplesIn(qint64 nanoseconds)
{
    // Whole seconds apart: nanoseconds times the rate passes 2^63 after 25.6 hours.
    constexpr qint64 second = 1000000000;
    return nanoseconds / second * samplesPerSecond + nanoseconds % second * samplesPerSecond / second;
}

} // namespace Ppk2

namespace {

const QByteArray firstKey("Calibrated:");
const QByteArray endLine("\nEND\n");

// The families of per-range values, by the letters their keys begin with.
struct Family
{
    const char *prefix;
    Ppk2Calibration::PerRange Ppk2Calibration::*values;
};

const Family families[] = {
    {"R", &Ppk2Calibration::r},  {"GS", &Ppk2Calibration::gs}, {"GI", &Ppk2Calibration::gi}, {"O", &Ppk2Calibration::o},
    {"S", &Ppk2Calibration::s},  {"I", &Ppk2Calibration::i},   {"UG", &Ppk2Calibration::ug},
};

} // namespace

bool Ppk2Calibration::isComplete(const QByteArray &reply)
{
    const int first = reply.indexOf(firstKey);
    return first >= 0 && reply.indexOf(endLine, first) >= 0;
}

std::optional<Ppk2Calibration> Ppk2Calibration::parse(const QByteArray &reply, QString *error)
{
    // Samples of a session left streaming may come before the text.
    const int first = reply.indexOf(firstKey);
    const int end = first < 0 ? -1 : reply.indexOf(endLine, first);
    if (end < 0) {
        *error = QStringLiteral("the metadata has no end (\"END\") yet");
        return std::nullopt;
    }
    Ppk2Calibration calibration;
    const QLocale c = QLocale::c();
    for (const QByteArray &line : reply.mid(first, end - first).split('\n')) {
        const int colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QString key = QString::fromLatin1(line.left(colon)).trimmed();
        const QString text = QString::fromLatin1(line.mid(colon + 1)).trimmed();
        bool ok = false;
        const double value = c.toDouble(text, &ok);
        if (!ok || std::isnan(value)) {
            if (text.contains(QLatin1String("nan"), Qt::CaseInsensitive))
                continue;   // an unset constant: the nominal one stands
            *error = QStringLiteral("the metadata's %1 is not a number: \"%2\"").arg(key, text);
            return std::nullopt;
        }
        if (key == QLatin1String("VDD")) {
            calibration.vddMillivolts = int(value);
        } else if (key == QLatin1String("mode")) {
            calibration.mode = int(value);
        } else {
            for (const Family &family : families) {
                const QString prefix = QLatin1String(family.prefix);
                bool isIndex = false;
                const int range = key.mid(prefix.size()).toInt(&isIndex);
                if (key.startsWith(prefix) && isIndex && key.size() == prefix.size() + 1 && range >= 0 && range < Ppk2::rangeCount
                    && !(family.values == &Ppk2Calibration::r && value == 0))
                    (calibration.*family.values)[size_t(range)] = value;
            }
        }
    }
    return calibration;
}

double Ppk2Calibration::amperes(int adcField, int range, double vddVolts) const
{
    const size_t at = size_t(range);
    const double x = (4.0 * adcField - o[at]) * voltsPerCount / r[at];
    return ug[at] * (x * (gs[at] * x + gi[at]) + s[at] * vddVolts + i[at]);
}
