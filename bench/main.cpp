// ordix-bench: the record table engine against SQLite :memory: on a generated
// price list. Usage: ordix-bench [--rows N]
#include <algorithm>
#include <cstdio>

#include <QCoreApplication>
#include <QStringList>

#include "benchregistry.h"
#include "pricegenerator.h"

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    BenchContext ctx;

    const QStringList args = app.arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--rows") && i + 1 < args.size()) {
            bool ok = false;
            ctx.rows = args[++i].toLongLong(&ok);
            if (!ok || ctx.rows < 1 || ctx.rows > 20000000) {
                std::fprintf(stderr, "ordix-bench: --rows needs a number from 1 to 20000000\n");
                return 2;
            }
        } else {
            std::fprintf(stderr, "usage: ordix-bench [--rows N]\n");
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
    for (const BenchEntry &entry : entries)
        entry.run(ctx);
    return 0;
}
