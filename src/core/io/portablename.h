#pragma once

#include <QString>

// What a Windows folder can hold under a name as it is. Names the program
// takes from outside (download lists, archive entries) follow these rules on
// every system, so that a list means the same files everywhere.
namespace PortableName
{
    // A name Windows keeps for a device: CON, PRN, AUX, NUL, COM0-9, LPT0-9,
    // CONIN$, CONOUT$, in any case, also with an extension ("nul.txt") or
    // blanks before it.
    bool isDeviceName(const QString &part);

    // One part of a path (no "/" or "\") that is not a device, names no
    // stream of another file ("name:stream"), holds no control character or
    // < > " | ? *, and does not end in a dot or a blank (Windows drops those,
    // so the file would land under another name).
    bool isPortablePart(const QString &part);
}
