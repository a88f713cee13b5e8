#ifndef REPORTWRITER_H
#define REPORTWRITER_H

#include "report/sweepreport.h"

#include <QFutureWatcher>
#include <QObject>

#include <optional>

// Rewrites a folder's chart and report on a pool thread, so that drawing and
// encoding them never holds up the sweep or its window. Requests that come
// while one is written are folded into the newest, which is written next.
class ReportWriter : public QObject
{
    Q_OBJECT

public:
    explicit ReportWriter(QObject *parent = nullptr);
    ~ReportWriter() override;

    void write(const QString &folder, const QList<ResultRow> &rows, const ReportContext &context);
    bool isIdle() const;
    QString lastError() const;   // of the last write that failed

signals:
    void idle();   // every request so far is written

private:
    struct Request
    {
        QString folder;
        QList<ResultRow> rows;
        ReportContext context;
    };
    void startNext();
    void finishOne();

    QFutureWatcher<QString> running;
    std::optional<Request> next;
    QString failure;
};

#endif // REPORTWRITER_H
