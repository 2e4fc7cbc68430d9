#include "benchregistry.h"

#include <cstdio>
#include <ctime>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include "cp1251.h"
#include "priceloader.h"
#include "textfile.h"

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

double Stopwatch::processCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1000.0 + double(now.tv_nsec) / 1e6;
}

QString cpuText(double ordixCpuMs, double sqliteCpuMs)
{
    return QStringLiteral("ordix_cpu_ms=%1 sqlite_cpu_ms=%2 cpu_ratio=%3")
        .arg(number(ordixCpuMs), number(sqliteCpuMs),
             QString::number(sqliteCpuMs > 0 ? ordixCpuMs / sqliteCpuMs : 0, 'f', 3));
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
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    if (fields.size() < 2)
        return 0;
    return fields[1].toLongLong() * sysconf(_SC_PAGESIZE);
}

qint64 peakResidentBytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong() * 1024;
    }
    return 0;
}

bool resetPeakResident()
{
    // "5" resets the peak resident size to the present one (Linux 4.0 on).
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (!clear.open(QIODevice::WriteOnly))
        return false;
    return clear.write("5") == 1 && clear.flush();
}

void writeOldPriceFile(const QString &from, const QString &to)
{
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "ordix-bench: cannot read %s\n", qPrintable(from));
        std::exit(1);
    }
    QFile out(to);
    if (!out.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "ordix-bench: cannot write %s\n", qPrintable(to));
        std::exit(1);
    }
    int priceColumn = -1;
    QByteArray buffer;
    qint64 number = 0;
    while (!in.atEnd()) {
        QByteArray line = in.readLine();
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        if (number == 0) {
            const QList<QByteArray> names = line.split('|');
            for (int i = 0; i < names.size(); ++i) {
                if (Cp1251::decode(names.at(i)) == u"Цена")
                    priceColumn = i;
            }
        } else if (priceColumn >= 0 && (number % 7 == 0 || number % 11 == 0)) {
            QList<QByteArray> fields = line.split('|');
            if (priceColumn < fields.size()) {
                const double price = fields.at(priceColumn).toDouble();
                fields[priceColumn] = QByteArray::number(price * (number % 7 == 0 ? 0.95 : 1.03), 'f', 2);
                line = fields.join('|');
            }
        }
        ++number;
        buffer += line;
        buffer += "\r\n";
        if (buffer.size() > (1 << 20)) {
            out.write(buffer);
            buffer.clear();
        }
    }
    out.write(buffer);
}

void loadWithRealLoader(PriceSession &session, const QString &path)
{
    session.workspace.setPrompts(&session.prompts);
    session.workspace.setProgress(&session.progress);
    const QString previous = QDir::currentPath();
    QDir::setCurrent(QFileInfo(path).absolutePath());
    PriceLoader::loadFile(session.workspace, path);
    QDir::setCurrent(previous);
}
