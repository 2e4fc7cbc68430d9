#pragma once

#include <memory>

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>
#include <QtTest>

#include <archive.h>
#include <archive_entry.h>

// One member of a zip file a test writes.
struct ZipPart
{
    QString name;
    QByteArray data;
};

// Writes the members, in their order, as a zip file; encrypted with
// `passphrase` when one is given.
inline void writeZipFile(const QString &path, const QList<ZipPart> &parts, const char *passphrase = nullptr)
{
    std::unique_ptr<archive, int (*)(archive *)> writer(archive_write_new(), archive_write_free);
    archive *a = writer.get();
    archive_write_set_format_zip(a);
    if (passphrase) {
        QCOMPARE(archive_write_set_options(a, "zip:encryption=zipcrypt"), ARCHIVE_OK);
        archive_write_set_passphrase(a, passphrase);
    }
    QCOMPARE(archive_write_open_filename(a, QFile::encodeName(path).constData()), ARCHIVE_OK);
    for (const ZipPart &p : parts) {
        std::unique_ptr<archive_entry, void (*)(archive_entry *)> entry(archive_entry_new(), archive_entry_free);
        archive_entry_set_pathname_utf8(entry.get(), p.name.toUtf8().constData());
        archive_entry_set_filetype(entry.get(), AE_IFREG);
        archive_entry_set_perm(entry.get(), 0644);
        archive_entry_set_size(entry.get(), p.data.size());
        QCOMPARE(archive_write_header(a, entry.get()), ARCHIVE_OK);
        QCOMPARE(archive_write_data(a, p.data.constData(), size_t(p.data.size())), la_ssize_t(p.data.size()));
    }
    QCOMPARE(archive_write_close(a), ARCHIVE_OK);
}
