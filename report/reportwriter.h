#ifndef REPORTWRITER_H
#define REPORTWRITER_H

#include <QFutureWatcher>
#include <QObject>

#include <functional>

// Rewrites a folder's chart and report from its files on a pool thread, so
// that drawing and encoding them never holds up a sweep or its window.
// Requests that come while one is written are folded into the newest, which
// is written next.
class ReportWriter : public QObject
{
    Q_OBJECT

public:
    explicit ReportWriter(QObject *parent = nullptr);
    ~ReportWriter() override;

    void write(const QString &folder);
    bool isIdle() const;
    // Runs `done` once every request so far is written: now, or later from the event loop.
    void whenIdle(std::function<void()> done);
    QString lastError() const;   // why the latest write failed; empty when it succeeded

private:
    void startNext();
    void finishOne();

    QFutureWatcher<QString> running;
    QString next;   // the folder to write next, if any
    QString failure;
    QList<std::function<void()>> waiting;
};

#endif // REPORTWRITER_H
