#include "stalelock.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QSysInfo>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>

#include <signal.h>
#endif

namespace
{
    bool processRunning(qint64 pid)
    {
#ifdef Q_OS_WIN
        HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(pid));
        if (!process)
            return ::GetLastError() == ERROR_ACCESS_DENIED;
        DWORD code = 0;
        const bool running = ::GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
        ::CloseHandle(process);
        return running;
#else
        return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
#endif
    }
}

bool StaleLock::ownerRunning(const QString &lockPath)
{
    const QLockFile lock(lockPath);
    qint64 pid = 0;
    QString host;
    QString application;
    if (!lock.getLockInfo(&pid, &host, &application) || pid <= 0)
        return QFileInfo::exists(lockPath);
    if (!host.isEmpty() && host != QSysInfo::machineHostName())
        return true;
    return processRunning(pid);
}

bool StaleLock::remove(const QString &lockPath)
{
    QLockFile lock(lockPath);
    qint64 pid = 0;
    // Only the program's own kind of lock, never another program's file of
    // a similar name.
    if (!lock.getLockInfo(&pid, nullptr, nullptr) || ownerRunning(lockPath))
        return false;
    // Taken over (which removes the stale file under Qt's own guard against
    // a second remover) and let go.
    lock.setStaleLockTime(0);
    if (!lock.tryLock(0))
        return false;
    lock.unlock();
    return true;
}

void StaleLock::removeIn(const QString &folder, const QString &pattern)
{
    const QStringList names = QDir(folder).entryList({pattern}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names)
        remove(QDir(folder).filePath(name));
}
