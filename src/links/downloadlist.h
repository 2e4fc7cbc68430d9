#pragma once

#include <QString>
#include <QStringList>

class Workspace;

// The download-list service that the catalogue plug-in calls: fetches a list
// of files from the supplier's web server into the current folder through
// the download action, one progress hundred per line, and tells which files
// arrived. A list comes as text or as the name of a list file (a text file of
// lines: a file that is not text, such as a picture, is an item to fetch, not
// a list); a list file is deleted when every line was done, or keeps the
// lines not reached after a stop, and the lines that failed go to
// "<list file>.err".
class DownloadList final
{
public:
    // Runs the list in `*list` (the list text or a list file's name) with
    // `caption` in the progress window, replaces `*list` with the results
    // (one "local" or "local=tag" line per file that arrived, each followed
    // by a line feed) and returns the number of files that arrived.
    static int run(Workspace &workspace, QString *list, const QString &caption);

    // The price address up to and including its last "/" or "\"; empty when
    // it has neither.
    static QString baseAddress(const QString &url);
    // Lines split at CR, LF or CR LF; a final line end adds no empty line.
    static QStringList splitLines(const QString &text);

    // One list line taken apart: "a" (local name from the address), "a=b"
    // and "a=t=b" (tag t); the address made absolute with the base unless it
    // begins with "http://".
    struct Line
    {
        QString address;
        QString localName;
        QString tag;
        bool hasTag = false;
    };
    static Line parseLine(const QString &line, const QString &base);
};
