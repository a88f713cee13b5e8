#include "report/reportwriter.h"

#include <QtConcurrent>

ReportWriter::ReportWriter(QObject *parent)
    : QObject(parent)
{
    connect(&running, &QFutureWatcher<QString>::finished, this, &ReportWriter::finishOne);
}

ReportWriter::~ReportWriter()
{
    running.waitForFinished();
}

void ReportWriter::write(const QString &folder, const QList<ResultRow> &rows, const ReportContext &context)
{
    next = Request {folder, rows, context};
    if (!running.isRunning())
        startNext();
}

bool ReportWriter::isIdle() const
{
    return !running.isRunning() && !next;
}

QString ReportWriter::lastError() const
{
    return failure;
}

void ReportWriter::startNext()
{
    const Request request = *next;
    next.reset();
    running.setFuture(QtConcurrent::run([request] {
        QString error;
        SweepReport::write(request.folder, request.rows, request.context, &error);
        return error;
    }));
}

void ReportWriter::finishOne()
{
    const QString error = running.result();
    if (!error.isEmpty())
        failure = error;
    if (next) {
        startNext();
        return;
    }
    emit idle();
}
