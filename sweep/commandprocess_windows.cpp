#include "sweep/commandprocess.h"

#include <windows.h>
#include <tlhelp32.h>

namespace {

// The first thread of a process started suspended, let go.
void resume(DWORD processId)
{
    const HANDLE threads = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (threads == INVALID_HANDLE_VALUE)
        return;
    THREADENTRY32 entry {};
    entry.dwSize = sizeof entry;
    for (bool more = Thread32First(threads, &entry); more; more = Thread32Next(threads, &entry)) {
        if (entry.th32OwnerProcessID != processId)
            continue;
        if (const HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID)) {
            ResumeThread(thread);
            CloseHandle(thread);
        }
    }
    CloseHandle(threads);
}

} // namespace

CommandProcess::CommandProcess(QObject *parent)
    : QProcess(parent)
{
    // Started suspended, so that it is in its job before it can start anything.
    setCreateProcessArgumentsModifier([](QProcess::CreateProcessArguments *arguments) {
        arguments->flags |= CREATE_SUSPENDED;
    });
    connect(this, &QProcess::started, this, [this] {
        job = CreateJobObjectW(nullptr, nullptr);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits {};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (job)
            SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
        const HANDLE process = OpenProcess(PROCESS_SET_QUOTA | PROCESS_TERMINATE, FALSE, DWORD(processId()));
        if (job && process)
            AssignProcessToJobObject(job, process);
        if (process)
            CloseHandle(process);
        resume(DWORD(processId()));
    });
}

CommandProcess::~CommandProcess()
{
    endGroup();
}

// The line as typed, to cmd, which takes the rest of its own line as the command.
void CommandProcess::startShell(const QString &command)
{
    setProgram(QStringLiteral("cmd.exe"));
    setNativeArguments(QStringLiteral("/d /c ") + command);
    start();
}

void CommandProcess::endGroup()
{
    if (job) {
        TerminateJobObject(job, 1);
        CloseHandle(job);
        job = nullptr;
    }
    waitForFinished(1000);
}
