#include "archiveunpacker.h"

#include <memory>

#include <QFile>

#include <archive.h>
#include <archive_entry.h>

#include "atomicfile.h"
#include "cp1251.h"
#include "localname.h"

namespace
{
    struct ArchiveDeleter
    {
        void operator()(archive *a) const { archive_read_free(a); }
    };

    QString errorText(archive *a)
    {
        const char *text = archive_error_string(a);
        return text ? QString::fromLocal8Bit(text) : QStringLiteral("неизвестная ошибка");
    }

    QString entryName(archive_entry *entry)
    {
        if (const char *utf8 = archive_entry_pathname_utf8(entry))
            return QString::fromUtf8(utf8);
        if (const char *raw = archive_entry_pathname(entry))
            return Cp1251::decode(QByteArrayView(raw));
        return QString();
    }
}

ArchiveUnpacker::Result ArchiveUnpacker::unpack(const QString &archivePath, const QString &folder)
{
    Result result;
    std::unique_ptr<archive, ArchiveDeleter> reader(archive_read_new());
    archive *a = reader.get();
    archive_read_support_filter_all(a);
    archive_read_support_format_all(a);
    if (archive_read_open_filename(a, QFile::encodeName(archivePath).constData(), 65536) != ARCHIVE_OK) {
        result.error = errorText(a);
        return result;
    }

    archive_entry *entry = nullptr;
    for (;;) {
        const int status = archive_read_next_header(a, &entry);
        if (status == ARCHIVE_EOF)
            break;
        if (status < ARCHIVE_WARN) {
            result.error = errorText(a);
            return result;
        }
        if (archive_entry_filetype(entry) != AE_IFREG)
            continue;
        const QString name = entryName(entry);
        const QString path = LocalName::resolve(folder, name);
        if (path.isEmpty()) {
            result.skipped.append(name);
            continue;
        }
        AtomicFile file(path);
        if (!file.open()) {
            result.error = QStringLiteral("Невозможно записать файл %1: %2").arg(name, file.errorString());
            return result;
        }
        char buffer[65536];
        for (;;) {
            const la_ssize_t size = archive_read_data(a, buffer, sizeof buffer);
            if (size == 0)
                break;
            if (size < 0) {
                result.error = errorText(a);
                return result; // the file is not committed: nothing replaced
            }
            if (!file.write(buffer, size)) {
                result.error = QStringLiteral("Невозможно записать файл %1: %2").arg(name, file.errorString());
                return result;
            }
        }
        if (!file.commit()) {
            result.error = QStringLiteral("Невозможно записать файл %1: %2").arg(name, file.errorString());
            return result;
        }
        result.files.append(LocalName::confined(name));
    }
    if (result.files.isEmpty()) {
        result.error = QStringLiteral("в архиве нет файлов");
        return result;
    }
    result.ok = true;
    return result;
}
