#ifndef RESULTSFIXTURE_H
#define RESULTSFIXTURE_H

#include "meter/modecapture.h"
#include "results/resultrow.h"
#include "results/runfacts.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QVector>
#include <QString>

#include <optional>

class History;

// Results folders as a sweep leaves them, made without a bench: for tests of
// what reads them (the history, its check and trend, the window's views).
namespace ResultsFixture {

// A mode row of ten readings; no mean where none was measured.
ResultRow row(int index, std::optional<double> mean, int overloads = 0, const QString &verdict = QString());
// The same at a supply voltage a supply unit set (readback a hair off it)
// and a temperature; NaN: none.
ResultRow rowAt(int index, double mean, double volts, double celsius = qQNaN());

// A completed run's folder holding these rows; false with the reason where it cannot be written.
bool writeFolder(const QString &path, const QString &boardId, const QDateTime &started, const QList<ResultRow> &rows,
                 const QString &runId, QString *error);
// A run's folder as its facts and settings say, holding these rows.
bool writeFolder(const QString &path, const RunFacts &facts, const QJsonObject &settings, const QList<ResultRow> &rows,
                 QString *error);

// The same with each mode's events (by index), as a fast meter found them:
// events.csv holds them, results.json each row's window.
bool writeFolder(const QString &path, const RunFacts &facts, const QJsonObject &settings, const QList<ResultRow> &rows,
                 const QMap<int, QVector<ModeEvent>> &events, QString *error);

// A run of this board in the history, with these rows; its run id.
QString recordRun(History &history, const QString &boardId, const QDateTime &started, const QString &outcome,
                  const QList<ResultRow> &rows);

// A day of this month at ten o'clock, UTC.
QDateTime day(int number);

} // namespace ResultsFixture

#endif // RESULTSFIXTURE_H
