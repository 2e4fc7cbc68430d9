#include "layoutstore.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QStandardPaths>

#include "atomicfile.h"
#include "layoutguess.h"
#include "ordixerror.h"
#include "safefilename.h"

QString LayoutStore::defaultFolder()
{
    const QString forced = qEnvironmentVariable("ORDIX_LAYOUT_DIR");
    if (!forced.isEmpty())
        return forced;
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/ordix/layouts");
}

LayoutStore::LayoutStore(const QString &folder)
    : m_folder(folder)
{ }

ImportLayout LayoutStore::load(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw OrdixError(QStringLiteral("Не удалось открыть файл столбцов %1: %2").arg(path, file.errorString()));
    // A layout is a few kilobytes; a large file is no layout.
    const QByteArray bytes = file.read(1024 * 1024);
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (document.isNull() || !document.isObject())
        throw OrdixError(QStringLiteral("Файл столбцов %1 не читается: %2").arg(path, error.errorString()));
    try {
        ImportLayout layout = ImportLayout::fromJson(document.object());
        if (layout.name.isEmpty())
            layout.name = QFileInfo(path).completeBaseName();
        return layout;
    } catch (const OrdixError &e) {
        throw OrdixError(QStringLiteral("%1: %2").arg(path, e.message()));
    }
}

QList<ImportLayout> LayoutStore::layouts(QStringList *problems) const
{
    QList<ImportLayout> result;
    const QDir dir(m_folder);
    const QStringList files = dir.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name);
    for (const QString &name : files) {
        try {
            result.append(load(dir.filePath(name)));
        } catch (const OrdixError &e) {
            if (problems)
                problems->append(e.message());
        }
    }
    return result;
}

QString LayoutStore::save(const ImportLayout &layout) const
{
    if (layout.name.trimmed().isEmpty())
        throw OrdixError(QStringLiteral("У столбцов прайс-листа нет названия"));
    if (!QDir().mkpath(m_folder))
        throw OrdixError(QStringLiteral("Не удалось создать папку %1").arg(m_folder));
    QString base = MakeSafeFileName(layout.name.trimmed());
    base.replace(QLatin1Char('.'), QLatin1Char('_'));
    const QString path = QDir(m_folder).filePath(base + QStringLiteral(".json"));
    AtomicFile file(path);
    const QByteArray bytes = QJsonDocument(layout.toJson()).toJson(QJsonDocument::Indented);
    if (!file.open() || !file.write(bytes) || !file.commit())
        throw OrdixError(QStringLiteral("Не удалось записать %1: %2").arg(path, file.errorString()));
    return path;
}

std::optional<ImportLayout> LayoutStore::byName(const QString &name) const
{
    for (const ImportLayout &layout : layouts()) {
        if (layout.name.compare(name, Qt::CaseInsensitive) == 0)
            return layout;
    }
    return std::nullopt;
}

std::optional<LayoutStore::Match> LayoutStore::match(const QStringList &header, const QString &sheet,
                                                     int columnCount) const
{
    const QByteArray fingerprint = ImportLayout::fingerprint(header, sheet, columnCount);
    const QList<ImportLayout> saved = layouts();
    for (const ImportLayout &layout : saved) {
        if (layout.fingerprint() == fingerprint) {
            Match m;
            m.layout = layout;
            m.exact = true;
            return m;
        }
    }
    // No exact one: the layout whose mapped header names the new header
    // holds the most of (at least half of them, and two).
    QStringList normalized;
    for (const QString &cell : header)
        normalized.append(ImportLayout::normalizedHeader(cell));
    int best = -1;
    double bestShare = 0;
    for (int i = 0; i < saved.size(); ++i) {
        const ImportLayout &layout = saved.at(i);
        int mapped = 0, found = 0;
        for (int c : layout.columns) {
            if (c < 0 || c >= layout.header.size())
                continue;
            ++mapped;
            if (normalized.contains(ImportLayout::normalizedHeader(layout.header.at(c))))
                ++found;
        }
        const double share = mapped > 0 ? double(found) / mapped : 0;
        if (found >= 2 && share >= 0.5 && share > bestShare) {
            bestShare = share;
            best = i;
        }
    }
    if (best < 0)
        return std::nullopt;
    Match m;
    m.layout = saved.at(best);
    m.complete = LayoutGuess::applyByHeader(m.layout, header, &m.changes);
    m.layout.sheet = sheet;
    m.layout.columnCount = columnCount;
    return m;
}
