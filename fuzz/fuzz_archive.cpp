// Unpacks arbitrary bytes as a price archive (zip, tar, 7z, rar, ...) into a
// folder: nothing is written outside it, whatever the entries' names ("../",
// absolute, resource names), links and hard links, and every file reported
// as unpacked is there.
#include <cstdint>

#include <QDir>

#include "archiveunpacker.h"
#include "fuzzsupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QDir root(Fuzz::folder().path());
    static const bool made = [&root] {
        root.mkpath(QStringLiteral("inside"));
        QFile::link(root.path(), root.filePath(QStringLiteral("inside/up")));
        return true;
    }();
    (void)made;
    Fuzz::writeFile(QStringLiteral("archive.bin"), Fuzz::bytes(data, size));
    const QString inside = QDir(root.filePath(QStringLiteral("inside"))).canonicalPath();

    const ArchiveUnpacker::Result result =
        ArchiveUnpacker::unpack(root.filePath(QStringLiteral("archive.bin")), inside);
    for (const QString &file : result.files) {
        if (!QFileInfo(QDir(inside).filePath(file)).isFile())
            Fuzz::fail("fuzz_archive", "a file reported as unpacked is not there");
    }
    const QStringList besides = root.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    if (besides != QStringList({QStringLiteral("archive.bin"), QStringLiteral("inside")}))
        Fuzz::fail("fuzz_archive", "something was written beside the folder");
    for (const QString &entry :
         QDir(inside).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System)) {
        if (entry == QLatin1String("up"))
            continue;
        const QString path = QDir(inside).filePath(entry);
        if (QFileInfo(path).isSymLink())
            Fuzz::fail("fuzz_archive", "a link was unpacked");
        if (QFileInfo(path).isDir())
            QDir(path).removeRecursively();
        else
            QFile::remove(path);
    }
    return 0;
}
