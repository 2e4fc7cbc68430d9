#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include "recordtable.h"

// The schema datapacket file: field definitions and no rows, written before a
// table is defined from it and removed when the table is closed.
namespace SchemaFile
{
    // The exact bytes (Windows-1251, CR LF) for these fields.
    QByteArray serialize(const QList<FieldDef> &fields);
    // A relative name resolves in this folder instead of the current one
    // while it is set (the command-line program keeps its schema files in a
    // private temporary folder); an empty folder ends that.
    void setFolder(const QString &folder);
    QString location(const QString &path);
    // Writes the file, replacing any file of that name; a link in its place
    // is replaced, never written through. Throws OrdixError with a clear
    // text when it cannot be written.
    void write(const QString &path, const QList<FieldDef> &fields);
    // Reads the field definitions back; throws on a file that is no schema.
    QList<FieldDef> read(const QString &path);
    // Removes the file when it exists.
    void remove(const QString &path);
}
