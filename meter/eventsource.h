#ifndef EVENTSOURCE_H
#define EVENTSOURCE_H

#include <QList>
#include <QString>

#include <optional>

// Where a mode's events come from: an interval in which a digital input of
// a fast meter is high (D0 to D7, raised by the firmware or a fixture
// around what it does), or one in which the current stays above a
// threshold for at least `minSeconds`, gaps shorter than `gapSeconds`
// bridged.
struct EventSource
{
    enum class Kind { Pin, Current };
    Kind kind = Kind::Pin;
    int pin = 0;
    double thresholdA = 0;
    double minSeconds = 20e-6;
    double gapSeconds = 100e-6;

    static constexpr int pins = 8;

    // As files name it: "D0", or "current" (a run has one current source at most).
    QString name() const;
    // As --events takes it: "D0", or "current:0.0001,min=20us,gap=100us".
    QString text() const;
    bool operator==(const EventSource &other) const;

    // One --events value: "D0,D2" (pins), or "current:AMPS[,min=TIME][,gap=TIME]"
    // with times as "20us", "0.1ms", "1e-5s".
    static std::optional<QList<EventSource>> parse(const QString &text, QString *error);
    // Every --events value of a run, no source twice.
    static std::optional<QList<EventSource>> parseAll(const QStringList &values, QString *error);
};

#endif // EVENTSOURCE_H
