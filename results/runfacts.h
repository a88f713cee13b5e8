#ifndef RUNFACTS_H
#define RUNFACTS_H

#include <QDateTime>
#include <QJsonObject>
#include <QMap>
#include <QString>

// Who ran a sweep, where and when, on which board and firmware, and how it
// ended, as results.json records it.
struct RunFacts
{
    QString runId;              // a UUID; it also names the run in the history
    QDateTime started;          // UTC
    QDateTime ended;            // UTC: when the folder was last written
    int utcOffsetSeconds = 0;   // of the bench's local time when it started
    QString outcome;            // running, completed, failed or stopped; empty in older folders
    QString host;
    QString user;
    QString boardSerial;        // the USB serial number of the board's port, where the platform reports one
    QString boardId;            // the board as the history tells boards apart
    QString firmware;
    QMap<QString, QString> tags;
    QString note;               // the operator's
    QString meterIdentity;      // the meter's *IDN? answer
    QString supplyIdentity;     // the supply unit's, where one powers the board
    QString meterNote;          // what the meter says of the whole sweep, such as samples it lost unseen

    // A sweep starting now on this host.
    static RunFacts startingNow(const QString &boardSerial, const QString &note);
    static QString newRunId();
    void addTo(QJsonObject &document) const;
    static RunFacts of(const QJsonObject &document);
};

#endif // RUNFACTS_H
