#ifndef COMMANDPROCESS_H
#define COMMANDPROCESS_H

#include <QProcess>

// A command line run by the system's shell (/bin/sh -c, or cmd /c on
// Windows), with every process it starts held together: in a process group
// of its own on POSIX, so that a terminal's Ctrl+C reaches the sweep alone,
// which decides how it ends; in a job object on Windows. Ending it ends
// them all.
class CommandProcess : public QProcess
{
public:
    explicit CommandProcess(QObject *parent = nullptr);
    ~CommandProcess() override;

    void startShell(const QString &command);
    void endGroup();

protected:
#ifndef Q_OS_WIN
    void setupChildProcess() override;
#endif

private:
#ifdef Q_OS_WIN
    void *job = nullptr;   // the job object the command and its children run in
#endif
};

#endif // COMMANDPROCESS_H
