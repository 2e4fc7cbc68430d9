// How the program's own loader and comparison grow with the list: the same
// steps at several row counts, each on a fresh workspace, and the factors
// between neighbouring counts against the factors of the rows.
#include <cstdio>

#include <QFile>

#include "benchregistry.h"
#include "pricecompare.h"
#include "pricegenerator.h"

namespace
{
    struct GrowthPoint
    {
        qint64 rows = 0;
        double loadMs = 0; // busy time
        double compareMs = 0;
        double loadWallMs = 0;
        double compareWallMs = 0;
    };

    QString joined(const QList<double> &values, int decimals)
    {
        QStringList texts;
        for (double v : values)
            texts << QString::number(v, 'f', decimals);
        return texts.join(QLatin1Char(','));
    }
}

int runGrowth(const QList<qint64> &sizes)
{
    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "ordix-bench: no temporary folder\n");
        return 1;
    }
    QList<GrowthPoint> points;
    for (qint64 rows : sizes) {
        const QString file = dir.filePath(QStringLiteral("ZOLT.TXT"));
        const QString oldFile = dir.filePath(QStringLiteral("ZOLT_OLD.TXT"));
        std::vector<qint32> codes;
        qint64 bytes = 0;
        generatePriceFile(file, rows, &codes, &bytes);
        codes = {};
        writeOldPriceFile(file, oldFile);

        // The best of three rounds of each step, each round on a fresh
        // workspace: one round mostly measures the machine's neighbours.
        GrowthPoint point;
        point.rows = rows;
        for (int round = 0; round < 3; ++round) {
            PriceSession session;
            Stopwatch load;
            loadWithRealLoader(session, file);
            const double loadCpu = load.cpuMs();
            const double loadWall = load.ms();
            Stopwatch compare;
            PriceCompare::compareWith(session.workspace, oldFile);
            const double compareCpu = compare.cpuMs();
            const double compareWall = compare.ms();
            if (round == 0 || loadCpu < point.loadMs) {
                point.loadMs = loadCpu;
                point.loadWallMs = loadWall;
            }
            if (round == 0 || compareCpu < point.compareMs) {
                point.compareMs = compareCpu;
                point.compareWallMs = compareWall;
            }
        }
        std::printf("growth_point rows=%lld file_mb=%.1f load_cpu_ms=%.1f compare_cpu_ms=%.1f load_ms=%.1f "
                    "compare_ms=%.1f\n",
                    static_cast<long long>(rows), double(bytes) / (1024.0 * 1024.0), point.loadMs, point.compareMs,
                    point.loadWallMs, point.compareWallMs);
        std::fflush(stdout);
        points.append(point);
        QFile::remove(file);
        QFile::remove(oldFile);
    }

    QList<double> rowFactors;
    QList<double> loadFactors;
    QList<double> compareFactors;
    double worst = 1.0;
    for (qsizetype i = 1; i < points.size(); ++i) {
        const double rowFactor = double(points[i].rows) / double(points[i - 1].rows);
        const double loadFactor = points[i].loadMs / points[i - 1].loadMs;
        const double compareFactor = points[i].compareMs / points[i - 1].compareMs;
        rowFactors << rowFactor;
        loadFactors << loadFactor;
        compareFactors << compareFactor;
        worst = std::max({worst, loadFactor / rowFactor, compareFactor / rowFactor});
    }
    std::printf(
        "growth rows_factor=%s load_factor=%s compare_factor=%s worst_per_row=%.3f note=\"busy-time factor between "
        "neighbouring row counts; linear growth gives the rows' factor (worst_per_row 1.0, goal at most "
        "1.25); each step the best of three rounds\"\n",
        qPrintable(joined(rowFactors, 1)), qPrintable(joined(loadFactors, 2)), qPrintable(joined(compareFactors, 2)),
        worst);
    std::fflush(stdout);
    return 0;
}
