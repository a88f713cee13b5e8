#ifndef RESULTROW_H
#define RESULTROW_H

#include "meter/readings.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>

#include <optional>

// A reading and when it came: seconds from the mode's command to the arrival
// of the reply that carried it.
struct Sample
{
    double seconds = 0;
    Reading reading;
};

// A mode's limits on its mean current; either bound may be missing.
struct Limits
{
    std::optional<double> min;
    std::optional<double> max;
};

// One finished mode, as a row of results.csv.
struct ResultRow
{
    int index = 0;
    QString mode;
    QString startedUtc;
    int samples = 0;
    std::optional<double> mean, min, max, stdev;
    int overloads = 0;
    std::optional<double> powerW, coremark, coremarkPerMa, limitMin, limitMax;
    QString verdict;   // PASS, FAIL or empty
    QString boardReply;

    // The row of a measured mode: statistics over the readings that are no
    // overloads, the power at the supply voltage, the CoreMark score found in
    // the board's reply, and the verdict of the mean against the limits.
    static ResultRow measured(int index, const QDateTime &started, const QList<Sample> &samples,
                              const QByteArray &boardReply, const Limits &limits, std::optional<double> supplyVolts);

    static const QStringList header;
    QStringList fields() const;
    // A row read back; empty with the reason where a cell is not what its column holds.
    static std::optional<ResultRow> fromFields(const QStringList &fields, QString *error);
    QJsonObject toJson() const;
};

Q_DECLARE_METATYPE(Sample)
Q_DECLARE_METATYPE(ResultRow)

#endif // RESULTROW_H
