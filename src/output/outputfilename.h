#pragma once

#include <QString>

#include "ordixerror.h"

// The exports refuse a file name that the file system cannot hold exactly:
// the toolkit would cut a name at a zero character and write another file.
inline void checkOutputFileName(const QString &path)
{
    if (path.contains(QChar(0))) {
        QString shown = path;
        shown.replace(QChar(0), QLatin1Char('?'));
        throw OrdixError(QStringLiteral("Не удалось записать файл ") + shown
                         + QStringLiteral(": недопустимое имя файла"));
    }
}
