#ifndef METERPROFILE_H
#define METERPROFILE_H

#include "meter/readings.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The command strings a meter understands. The defaults are the generic SCPI
// set; a profile file replaces any of them for meters of other dialects.
// In the configuration commands {range} is the range in amperes, {range_index}
// its position in the profile's list of ranges, {nplc} the integration time in
// power-line cycles and {samples} the readings per trigger. Some meters
// need more than commands: a pause after each configuring command, another
// overload value, more time for a reading, or, without a sample count, a
// read repeated until it has given the readings asked for.
struct MeterProfile
{
    QString identify = QStringLiteral("*IDN?");
    QString clear = QStringLiteral("*CLS");
    QString configureAuto = QStringLiteral("CONF:CURR:DC AUTO");
    QString configureRange = QStringLiteral("CONF:CURR:DC {range}");
    QString integration = QStringLiteral("CURR:DC:NPLC {nplc}");
    QString sampleCount = QStringLiteral("SAMP:COUN {samples}");
    QString errorQuery = QStringLiteral("SYST:ERR?");
    QString read = QStringLiteral("READ?");
    QList<double> ranges;          // for {range_index}, ascending
    QStringList onConnect;         // sent once after connecting
    QStringList onClose;           // sent once at the end
    std::optional<int> readingsPerRead;   // none: as many as asked for
    int commandDelayMs = 0;               // after every command without a reply
    double overloadAbove = Readings::standardOverload;   // a reading this large or larger is an overload
    std::optional<double> readTimeoutSeconds;   // none: from the readings' time

    // A profile file: "key = command" lines, '#' comments; on_connect and
    // on_close may be given several times. An empty command is not sent.
    static std::optional<MeterProfile> load(const QString &path, QString *error);

    // The configuration commands, in the order a meter needs them: CONF
    // resets integration time and sample count, so it comes first.
    QStringList configuration(std::optional<double> range, double nplc, int samples) const;
    // What each read gives when `samples` readings are asked for: the
    // sample count set to them, or to readings_per_read where fewer; without
    // a sample count, readings_per_read. The reads repeat until they have
    // given as many, and the last's surplus is dropped.
    int readingsPerReadFor(int samples) const;
};

#endif // METERPROFILE_H
