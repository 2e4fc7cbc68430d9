#include "localname.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include "portablename.h"

namespace LocalName
{
    QString confined(const QString &name)
    {
        QString text = name;
        text.replace(QLatin1Char('\\'), QLatin1Char('/'));
        // "/" is the root; ":" starts a name of the program's built-in
        // resources, which the toolkit would resolve elsewhere.
        if (text.startsWith(QLatin1Char('/')) || text.startsWith(QLatin1Char(':')))
            return QString();
        if (text.size() >= 2 && text.at(1) == QLatin1Char(':') && text.at(0).isLetter())
            return QString();
        QStringList parts;
        for (const QString &part : text.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
            if (part == QLatin1String("."))
                continue;
            if (part == QLatin1String("..") || !PortableName::isPortablePart(part))
                return QString();
            parts.append(part);
        }
        return parts.join(QLatin1Char('/'));
    }

    QString resolve(const QString &folder, const QString &name)
    {
        const QString relative = confined(name);
        if (relative.isEmpty())
            return QString();
        const QString root = QFileInfo(folder).canonicalFilePath();
        if (root.isEmpty())
            return QString();
        // Each folder on the way is checked before anything is created in
        // it: a link among them could lead outside the folder.
        const QStringList parts = relative.split(QLatin1Char('/'));
        QString path = root;
        for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
            path += QLatin1Char('/') + parts.at(i);
            const QFileInfo info(path);
            if (info.isSymLink())
                return QString();
            if (info.exists()) {
                if (!info.isDir())
                    return QString();
                continue;
            }
            if (!QDir().mkdir(path))
                return QString();
        }
        path += QLatin1Char('/') + parts.last();
        const QFileInfo target(path);
        if (target.isSymLink() || target.isDir())
            return QString();
        return path;
    }
}
