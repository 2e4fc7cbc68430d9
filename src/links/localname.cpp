#include "localname.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace LocalName
{
    QString confined(const QString &name)
    {
        QString text = name;
        text.replace(QLatin1Char('\\'), QLatin1Char('/'));
        if (text.startsWith(QLatin1Char('/')))
            return QString();
        if (text.size() >= 2 && text.at(1) == QLatin1Char(':') && text.at(0).isLetter())
            return QString();
        QStringList parts;
        for (const QString &part : text.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
            if (part == QLatin1String("."))
                continue;
            if (part == QLatin1String(".."))
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
        const QDir rootDir(root);
        const QString path = rootDir.filePath(relative);
        const QString parent = QFileInfo(path).path();
        if (!rootDir.mkpath(parent))
            return QString();
        const QString canonicalParent = QFileInfo(parent).canonicalFilePath();
        if (canonicalParent != root && !canonicalParent.startsWith(root + QLatin1Char('/')))
            return QString();
        const QFileInfo target(path);
        if (target.isSymLink() || target.isDir())
            return QString();
        return path;
    }
}
