// Reads arbitrary bytes as a download list and places every line's local
// name as the download would: nothing is made outside the list's folder,
// and every place given lies inside it.
#include <cstdint>

#include <QDir>

#include "cp1251.h"
#include "downloadlist.h"
#include "fuzzsupport.h"
#include "localname.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QDir root(Fuzz::folder().path());
    static const bool made = [&root] {
        // A link beside the folder and one inside it, both to the outside.
        root.mkpath(QStringLiteral("inside/sub"));
        QFile::link(root.path(), root.filePath(QStringLiteral("inside/up")));
        QFile::link(QStringLiteral("/"), root.filePath(QStringLiteral("inside/sub/top")));
        return true;
    }();
    (void)made;
    const QString inside = QDir(root.filePath(QStringLiteral("inside"))).canonicalPath();
    const QStringList outsideBefore =
        root.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);

    const QString text = Cp1251::decode(QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(size)));
    for (const QString &line : DownloadList::splitLines(text)) {
        const DownloadList::Line parsed = DownloadList::parseLine(line, QStringLiteral("http://h/data/"));
        const QString path = LocalName::resolve(inside, parsed.localName);
        if (!path.isEmpty() && !path.startsWith(inside + QLatin1Char('/')))
            Fuzz::fail("fuzz_downloadlist", "a local name resolved outside the folder");
    }

    if (root.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System) != outsideBefore)
        Fuzz::fail("fuzz_downloadlist", "something was made beside the folder");
    // Whatever was made inside goes again; the links stay.
    for (const QString &entry :
         QDir(inside).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System)) {
        if (entry != QLatin1String("sub") && entry != QLatin1String("up"))
            QDir(QDir(inside).filePath(entry)).removeRecursively();
    }
    return 0;
}
