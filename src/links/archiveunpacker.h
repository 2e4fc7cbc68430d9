#pragma once

#include <QString>
#include <QStringList>

// Unpacks a price archive that cannot run here (a Windows self-extracting
// program, a zip, 7z, rar or tar file) with libarchive. Only regular files
// are written, each replacing an earlier file of its name only once it is
// whole; entries whose names would leave the target folder are skipped.
class ArchiveUnpacker final
{
public:
    struct Result
    {
        bool ok = false;
        QStringList files;   // written, relative to the folder
        QStringList skipped; // names that would leave the folder
        QString error;       // why nothing usable came out
    };

    static Result unpack(const QString &archivePath, const QString &folder);
};
