// ordix-bench: the record table engine against SQLite :memory: on a generated
// price list. Usage: ordix-bench [--rows N] [--only NAME,...] | --growth N,N,... | --rows N --generate FILE
#include <algorithm>
#include <cstdio>

#include <QCoreApplication>
#ifdef ORDIX_BENCH_WINDOW
#include <QApplication>
#endif
#include <QStringList>

#include "benchregistry.h"
#include "pricegenerator.h"

int runGrowth(const QList<qint64> &sizes);
qint64 writeSupplierXlsx(const QString &from, const QString &to, qint64 limit);
void writeSupplierCsv(const QString &from, const QString &to);
#ifdef ORDIX_BENCH_WINDOW
int runPeakChild(const QString &kind, const QString &folder);
#endif

namespace
{
    // The offscreen platform's notes would mix with the measured lines;
    // only real errors pass.
    void quietMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
    {
        if (type == QtCriticalMsg || type == QtFatalMsg)
            std::fprintf(stderr, "ordix-bench: %s\n", message.toLocal8Bit().constData());
    }
}

int main(int argc, char **argv)
{
    qInstallMessageHandler(quietMessages);
#ifdef ORDIX_BENCH_WINDOW
    // The window's benchmark runs the real main window, offscreen.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
#else
    QCoreApplication app(argc, argv);
#endif
    BenchContext ctx;

    const QStringList args = app.arguments();
#ifdef ORDIX_BENCH_WINDOW
    // One load measured in a process of its own (see window_load_peak).
    if (args.size() == 4 && args[1] == QLatin1String("--peak-child"))
        return runPeakChild(args[2], args[3]);
#endif
    QStringList only;
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--rows") && i + 1 < args.size()) {
            bool ok = false;
            ctx.rows = args[++i].toLongLong(&ok);
            if (!ok || ctx.rows < 1 || ctx.rows > 20000000) {
                std::fprintf(stderr, "ordix-bench: --rows needs a number from 1 to 20000000\n");
                return 2;
            }
        } else if (args[i] == QLatin1String("--only") && i + 1 < args.size()) {
            // Only the named benchmarks (and "load", which the others need).
            only = args[++i].split(QLatin1Char(','));
            only << QStringLiteral("load");
        } else if (args[i] == QLatin1String("--generate") && i + 1 < args.size()) {
            // Only writes the list of --rows rows (given before) to the file,
            // for profiling the program on it; a name ending in ".xlsx" or
            // ".csv" gets the list as the import benchmark's workbook or text.
            std::vector<qint32> codes;
            qint64 bytes = 0;
            const QString target = args[++i];
            const bool csv = target.endsWith(QLatin1String(".csv"));
            if (!csv && !target.endsWith(QLatin1String(".xlsx"))) {
                generatePriceFile(target, ctx.rows, &codes, &bytes);
                return 0;
            }
            const QString text = ctx.workDir.filePath(QStringLiteral("ZOLT.TXT"));
            generatePriceFile(text, ctx.rows, &codes, &bytes);
            if (csv)
                writeSupplierCsv(text, target);
            else
                writeSupplierXlsx(text, target, ctx.rows);
            return 0;
        } else if (args[i] == QLatin1String("--growth") && i + 1 < args.size()) {
            QList<qint64> sizes;
            for (const QString &part : args[++i].split(QLatin1Char(','))) {
                bool ok = false;
                const qint64 n = part.toLongLong(&ok);
                if (!ok || n < 1 || n > 20000000) {
                    std::fprintf(stderr, "ordix-bench: --growth needs row counts from 1 to 20000000\n");
                    return 2;
                }
                sizes << n;
            }
            return runGrowth(sizes);
        } else {
            std::fprintf(
                stderr,
                "usage: ordix-bench [--rows N] [--only NAME,...] | --growth N,N,... | --rows N --generate FILE\n");
            return 2;
        }
    }
    if (!ctx.workDir.isValid()) {
        std::fprintf(stderr, "ordix-bench: no temporary folder\n");
        return 1;
    }

    ctx.priceFile = ctx.workDir.filePath(QStringLiteral("ZOLT.TXT"));
    generatePriceFile(ctx.priceFile, ctx.rows, &ctx.codes, &ctx.priceFileBytes);
    std::printf("# %lld rows, price file %.1f MB\n", static_cast<long long>(ctx.rows),
                double(ctx.priceFileBytes) / (1024.0 * 1024.0));

    auto entries = benchRegistry();
    std::stable_sort(entries.begin(), entries.end(),
                     [](const BenchEntry &a, const BenchEntry &b) { return a.order < b.order; });
    for (const BenchEntry &entry : entries) {
        if (only.isEmpty() || only.contains(entry.name))
            entry.run(ctx);
    }
    return 0;
}
