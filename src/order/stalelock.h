#pragma once

#include <QString>

// Lock files (QLockFile) whose program has gone. A program that is killed
// leaves its locks behind; they are taken over or removed once nothing runs
// under the process they name on this machine. A lock of another machine, or
// one whose owner cannot be told, counts as held.
namespace StaleLock
{
    // Whether the program named in the lock file still runs (or may run).
    bool ownerRunning(const QString &lockPath);
    // Removes the lock file when its program has gone; false when it stays.
    bool remove(const QString &lockPath);
    // Removes the lock files in `folder` matching `pattern` (a wildcard such
    // as "*.lock") whose program has gone; files that are not locks of this
    // kind are left alone.
    void removeIn(const QString &folder, const QString &pattern);
}
