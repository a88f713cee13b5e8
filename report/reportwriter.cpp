#include "report/reportwriter.h"

#include "report/sweepreport.h"

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

void ReportWriter::write(const QString &folder)
{
    next = folder;
    if (!running.isRunning())
        startNext();
}

bool ReportWriter::isIdle() const
{
    return !running.isRunning() && next.isEmpty();
}

void ReportWriter::whenIdle(std::function<void()> done)
{
    if (isIdle())
        done();
    else
        waiting << std::move(done);
}

QString ReportWriter::lastError() const
{
    return failure;
}

void ReportWriter::startNext()
{
    const QString folder = next;
    next.clear();
    running.setFuture(QtConcurrent::run([folder] {
        QString error;
        SweepReport::rebuild(folder, &error);
        return error;
    }));
}

void ReportWriter::finishOne()
{
    failure = running.result();
    if (!next.isEmpty()) {
        startNext();
        return;
    }
    for (const auto &done : std::exchange(waiting, {}))
        done();
}
