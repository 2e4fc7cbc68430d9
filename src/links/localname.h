#pragma once

#include <QString>

// Local file names that come from outside the program (a download list's
// lines, the entries of a price archive): they may only name files in a
// given folder and its subfolders.
namespace LocalName
{
    // The name as a clean relative path with "/" between its parts ("\"
    // counts as "/" too, and empty and "." parts are dropped), or an empty
    // text when it would leave the folder: an absolute path, a drive letter,
    // a name beginning with ":" (a resource name to the toolkit), a ".."
    // part, or nothing left. Parts that a Windows folder cannot hold as they
    // are refuse the name on every system, so a list means the same files
    // everywhere: device names (CON, NUL, COM1, also "nul.txt"), a stream
    // ("name:stream"), a trailing dot or blank, control characters and
    // < > " | ? *. A UNC path (\\server\share\x) is absolute.
    QString confined(const QString &name);

    // The full path of `name` inside `folder`, with the subfolders it needs
    // made. Empty when the name is not confined, a subfolder cannot be made,
    // a subfolder on the way is a link (checked before any is made), or the
    // name itself is a link or a folder.
    QString resolve(const QString &folder, const QString &name);
}
