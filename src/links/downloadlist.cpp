#include "downloadlist.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#include "downloadaction.h"
#include "localname.h"
#include "ordixerror.h"
#include "progressreporter.h"
#include "textfile.h"
#include "workspace.h"

namespace
{
    qsizetype lastSeparator(const QString &text)
    {
        return qMax(text.lastIndexOf(QLatin1Char('/')), text.lastIndexOf(QLatin1Char('\\')));
    }

    // A list file is Windows-1251 text in lines: no zero byte, no control
    // character but TAB, CR and LF, no byte the code page leaves undefined.
    // A picture or any other download named like a list is none.
    bool isTextList(const QString &path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        const QByteArray bytes = file.readAll();
        for (const char c : bytes) {
            const auto byte = static_cast<unsigned char>(c);
            if ((byte < 0x20 && byte != '\t' && byte != '\r' && byte != '\n') || byte == 0x7F || byte == 0x98)
                return false;
        }
        return true;
    }
}

QString DownloadList::baseAddress(const QString &url)
{
    return url.left(lastSeparator(url) + 1);
}

QStringList DownloadList::splitLines(const QString &text)
{
    QStringList lines;
    qsizetype start = 0;
    const qsizetype size = text.size();
    qsizetype i = 0;
    while (i < size) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            lines.append(text.mid(start, i - start));
            if (c == QLatin1Char('\r') && i + 1 < size && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            start = i + 1;
        }
        ++i;
    }
    if (start < size)
        lines.append(text.mid(start));
    return lines;
}

DownloadList::Line DownloadList::parseLine(const QString &line, const QString &base)
{
    Line parsed;
    const qsizetype equals = line.indexOf(QLatin1Char('='));
    if (equals < 0) {
        parsed.address = line;
    } else {
        parsed.address = line.left(equals);
        const QString rest = line.mid(equals + 1);
        const qsizetype second = rest.indexOf(QLatin1Char('='));
        if (second < 0) {
            parsed.localName = rest;
        } else {
            parsed.hasTag = true;
            parsed.tag = rest.left(second);
            parsed.localName = rest.mid(second + 1);
        }
    }
    if (!parsed.address.startsWith(QLatin1String("http://")))
        parsed.address.prepend(base);
    if (parsed.localName.isEmpty())
        parsed.localName = parsed.address.mid(lastSeparator(parsed.address) + 1);
    return parsed;
}

int DownloadList::run(Workspace &workspace, QString *list, const QString &caption)
{
    DownloadAction *download = DownloadAction::find(workspace);
    if (!download)
        throw OrdixError(QStringLiteral("The download action is not available"));

    const QString base = baseAddress(workspace.settings().url);
    const QString source = *list;
    QStringList lines;
    QString listFile;
    if (source.contains(QLatin1Char('\n')) || source.contains(QLatin1Char('\r')) || !QFileInfo(source).isFile()
        || !isTextList(source)) {
        // The text itself is the list (a single item that names a file that
        // is no list, such as a picture fetched again, included).
        lines = splitLines(source);
    } else {
        listFile = QFileInfo(source).absoluteFilePath();
        lines = TextFile::readLines(listFile);
    }
    const int count = int(lines.size());

    ProgressReporter &progress = workspace.progress();
    progress.startProgress(caption, 0, 100 * count);
    const QString folder = QDir::currentPath();
    QString results;
    QStringList failed;
    int succeeded = 0;
    int processed = 0;
    for (int i = 0; i < count; ++i) {
        const Line line = parseLine(lines.at(i), base);
        // A name from a list never leads out of the current folder.
        const QString target = line.localName.isEmpty() ? QString() : LocalName::resolve(folder, line.localName);
        download->setUrl(line.address);
        download->setFileName(target);
        download->setEnabled(!line.address.isEmpty() && !target.isEmpty());
        download->setItemNumber(i);
        progress.stepProgress(100 * i);

        bool arrived = false;
        {
            workspace.setCurrentDownloadURL(line.address);
            const auto clear = qScopeGuard([&workspace] { workspace.setCurrentDownloadURL(QString()); });
            arrived = download->execute();
        }
        if (arrived) {
            ++succeeded;
            results += line.localName;
            if (line.hasTag)
                results += QLatin1Char('=') + line.tag;
            results += QLatin1Char('\n');
        } else {
            failed.append(lines.at(i));
        }
        if (download->itemNumber() > count)
            break; // stopped with Escape: this line is not done
        processed = i + 1;
    }
    progress.stepProgress(100 * count + 1);
    *list = results;

    if (!listFile.isEmpty()) {
        try {
            if (processed == count) {
                if (QFileInfo::exists(listFile) && !QFile::remove(listFile))
                    throw OrdixError(QStringLiteral("Невозможно удалить файл списка %1").arg(listFile));
            } else {
                // The lines as they were read, so that the list reads the
                // same way next time.
                TextFile::writeLines(listFile, lines.mid(processed));
            }
            if (!failed.isEmpty())
                TextFile::writeLines(listFile + QStringLiteral(".err"), failed);
        } catch (const OrdixError &error) {
            workspace.actions().reportError(error.message());
        }
    }
    return succeeded;
}
