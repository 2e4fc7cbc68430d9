#pragma once

#include <QString>

// Starts `file` as a program (a name without a folder is looked up on the
// search path), in `workingFolder` (empty: the current folder), with the
// program's environment, its output going where the program's own goes and
// no input. With a wait time other than 0 it waits for the program's end, at
// most that many milliseconds (-1: without limit); the user interface
// repaints meanwhile but takes no input. A program still running after the
// wait goes on by itself. Returns -1 when the program could not be started,
// otherwise 0. (The window show mode of the Windows original has no meaning
// here.)
int RunAndWait(const QString &file, int waitMilliseconds, const QString &workingFolder);
