#include "results/runfacts.h"

#include <QJsonObject>
#include <QSysInfo>
#include <QUuid>

#ifndef Q_OS_WIN
#include <pwd.h>
#include <unistd.h>
#endif

namespace {

QString utc(const QDateTime &time)
{
    return time.isValid() ? time.toUTC().toString(Qt::ISODate) : QString();
}

// The login's name, as every record of who ran something gives it.
QString loginName()
{
#ifdef Q_OS_WIN
    return qEnvironmentVariable("USERNAME");
#else
    const passwd *entry = getpwuid(geteuid());
    return entry ? QString::fromLocal8Bit(entry->pw_name) : qEnvironmentVariable("USER");
#endif
}

} // namespace

QString RunFacts::newRunId()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

RunFacts RunFacts::startingNow(const QString &boardSerial, const QString &note)
{
    RunFacts facts;
    facts.runId = newRunId();
    facts.outcome = QStringLiteral("running");
    facts.user = loginName();
    facts.boardId = boardSerial;
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
    QJsonObject tagged;
    for (auto tag = tags.cbegin(); tag != tags.cend(); ++tag)
        tagged.insert(tag.key(), tag.value());
    document.insert(QStringLiteral("run_id"), runId);
    document.insert(QStringLiteral("meter_identity"), meterIdentity);
    if (!supplyIdentity.isEmpty())
        document.insert(QStringLiteral("supply_identity"), supplyIdentity);
    if (!meterNote.isEmpty())
        document.insert(QStringLiteral("meter_note"), meterNote);
    document.insert(QStringLiteral("run"), QJsonObject {
        {"started_utc", utc(started)}, {"ended_utc", utc(ended)}, {"utc_offset_s", utcOffsetSeconds},
        {"outcome", outcome}, {"host", host}, {"user", user}, {"board_serial", boardSerial}, {"board_id", boardId},
        {"firmware", firmware}, {"tags", tagged}, {"note", note},
    });
}

RunFacts RunFacts::of(const QJsonObject &document)
{
    const QJsonObject run = document.value(QStringLiteral("run")).toObject();
    RunFacts facts;
    facts.started = QDateTime::fromString(run.value(QStringLiteral("started_utc")).toString(), Qt::ISODate);
    facts.ended = QDateTime::fromString(run.value(QStringLiteral("ended_utc")).toString(), Qt::ISODate);
    facts.utcOffsetSeconds = run.value(QStringLiteral("utc_offset_s")).toInt();
    facts.runId = document.value(QStringLiteral("run_id")).toString();
    facts.outcome = run.value(QStringLiteral("outcome")).toString();
    facts.host = run.value(QStringLiteral("host")).toString();
    facts.user = run.value(QStringLiteral("user")).toString();
    facts.boardSerial = run.value(QStringLiteral("board_serial")).toString();
    facts.boardId = run.value(QStringLiteral("board_id")).toString();
    facts.firmware = run.value(QStringLiteral("firmware")).toString();
    const QJsonObject tagged = run.value(QStringLiteral("tags")).toObject();
    for (auto tag = tagged.constBegin(); tag != tagged.constEnd(); ++tag)
        facts.tags.insert(tag.key(), tag.value().toString());
    facts.note = run.value(QStringLiteral("note")).toString();
    facts.meterIdentity = document.value(QStringLiteral("meter_identity")).toString();
    facts.supplyIdentity = document.value(QStringLiteral("supply_identity")).toString();
    facts.meterNote = document.value(QStringLiteral("meter_note")).toString();
    return facts;
}
