#include "benchregistry.h"

#include <cstdio>
#include <malloc.h>
#include <unistd.h>

#include <QFile>

#include <sqlite3.h>

BenchContext::BenchContext() = default;

BenchContext::~BenchContext()
{
    if (db)
        sqlite3_close(db);
}

std::vector<BenchEntry> &benchRegistry()
{
    static std::vector<BenchEntry> entries;
    return entries;
}

BenchRegistrar::BenchRegistrar(const QString &name, int order, BenchFunction run)
{
    benchRegistry().push_back({name, order, std::move(run)});
}

namespace
{
    QString number(double value)
    {
        return QString::number(value, 'f', value < 10 ? 3 : 1);
    }
}

void reportRatio(const QString &name, double ordixMs, double sqliteMs, const QString &extra)
{
    const double ratio = sqliteMs > 0 ? ordixMs / sqliteMs : 0;
    QString line = QStringLiteral("%1 ordix_ms=%2 sqlite_ms=%3 ratio=%4")
                       .arg(name, number(ordixMs), number(sqliteMs), QString::number(ratio, 'f', 3));
    if (!extra.isEmpty())
        line += QLatin1Char(' ') + extra;
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

void reportRss(double ordixMb, double fileMb, const QString &extra)
{
    const double ratio = fileMb > 0 ? ordixMb / fileMb : 0;
    QString line = QStringLiteral("rss ordix_mb=%1 file_mb=%2 ratio=%3")
                       .arg(number(ordixMb), number(fileMb), QString::number(ratio, 'f', 3));
    if (!extra.isEmpty())
        line += QLatin1Char(' ') + extra;
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

qint64 residentBytes()
{
    malloc_trim(0);
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    if (fields.size() < 2)
        return 0;
    return fields[1].toLongLong() * sysconf(_SC_PAGESIZE);
}
