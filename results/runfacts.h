#ifndef RUNFACTS_H
#define RUNFACTS_H

#include <QDateTime>
#include <QJsonObject>
#include <QString>

// Who ran a sweep, where and when, as results.json records it.
struct RunFacts
{
    QDateTime started;          // UTC
    QDateTime ended;            // UTC: when the folder was last written
    int utcOffsetSeconds = 0;   // of the bench's local time when it started
    QString host;
    QString boardSerial;        // the USB serial number of the board's port, where the platform reports one
    QString note;               // the operator's
    QString meterIdentity;      // the meter's *IDN? answer

    // A sweep starting now on this host.
    static RunFacts startingNow(const QString &boardSerial, const QString &note);
    void addTo(QJsonObject &document) const;
    static RunFacts of(const QJsonObject &document);
};

#endif // RUNFACTS_H
