#include "results/runfacts.h"

#include <QSysInfo>

namespace {

QString utc(const QDateTime &time)
{
    return time.isValid() ? time.toUTC().toString(Qt::ISODate) : QString();
}

} // namespace

RunFacts RunFacts::startingNow(const QString &boardSerial, const QString &note)
{
    RunFacts facts;
    facts.started = QDateTime::currentDateTimeUtc();
    facts.ended = facts.started;
    facts.utcOffsetSeconds = QDateTime::currentDateTime().offsetFromUtc();
    facts.host = QSysInfo::machineHostName();
    facts.boardSerial = boardSerial;
    facts.note = note;
    return facts;
}

void RunFacts::addTo(QJsonObject &document) const
{
    document.insert(QStringLiteral("meter_identity"), meterIdentity);
    document.insert(QStringLiteral("run"), QJsonObject {
        {"started_utc", utc(started)}, {"ended_utc", utc(ended)}, {"utc_offset_s", utcOffsetSeconds},
        {"host", host}, {"board_serial", boardSerial}, {"note", note},
    });
}

RunFacts RunFacts::of(const QJsonObject &document)
{
    const QJsonObject run = document.value(QStringLiteral("run")).toObject();
    RunFacts facts;
    facts.started = QDateTime::fromString(run.value(QStringLiteral("started_utc")).toString(), Qt::ISODate);
    facts.ended = QDateTime::fromString(run.value(QStringLiteral("ended_utc")).toString(), Qt::ISODate);
    facts.utcOffsetSeconds = run.value(QStringLiteral("utc_offset_s")).toInt();
    facts.host = run.value(QStringLiteral("host")).toString();
    facts.boardSerial = run.value(QStringLiteral("board_serial")).toString();
    facts.note = run.value(QStringLiteral("note")).toString();
    facts.meterIdentity = document.value(QStringLiteral("meter_identity")).toString();
    return facts;
}
