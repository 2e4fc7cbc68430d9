// The quick order from the clipboard: 100,000 and 1,000,000 pasted lines
// ("code<TAB>quantity", one code in twenty not in the list, one line in ten
// repeating an earlier code) parsed and put into an empty order, against
// SQLite looking each code up in the price table and upserting the order
// line. Both read the same codes; the order's line count is compared. Each
// side is the best of three rounds.

#include <sqlite3.h>

#include "benchregistry.h"
#include "orderlifecycle.h"
#include "quickorder.h"
#include "scriptedprompts.h"
#include "standardactions.h"
#include "workspace.h"

namespace
{
    struct Pasted
    {
        qint32 code = 0;
        qint32 quantity = 0;
    };

    std::vector<Pasted> makePaste(const std::vector<qint32> &codes, qsizetype lines)
    {
        std::vector<Pasted> paste;
        paste.reserve(size_t(lines));
        for (qsizetype i = 0; i < lines; ++i) {
            qint32 code = 0;
            if (i % 10 == 9 && i > 0)
                code = paste.at(size_t(i / 2)).code; // a code met before
            else if (i % 20 == 3)
                code = 2000000000 - qint32(i); // not in the list
            else
                code = codes.at(size_t((i * 7919) % qsizetype(codes.size())));
            paste.push_back({code, qint32(1 + i % 5)});
        }
        return paste;
    }

    double sqlitePasteMs(const std::vector<qint32> &codes, const std::vector<Pasted> &paste, qint64 *lines,
                         double *cpuMs)
    {
        sqlite3 *db = nullptr;
        sqlite3_open(":memory:", &db);
        sqlite3_exec(db, "CREATE TABLE price(Code INTEGER PRIMARY KEY, Name TEXT, Price REAL)", nullptr, nullptr,
                     nullptr);
        sqlite3_exec(db,
                     "CREATE TABLE orders(Code INTEGER PRIMARY KEY, Name TEXT, Count INTEGER, Price REAL, Sum REAL)",
                     nullptr, nullptr, nullptr);
        sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
        sqlite3_stmt *insert = nullptr;
        sqlite3_prepare_v2(db, "INSERT OR REPLACE INTO price VALUES(?, 'x', 10.5)", -1, &insert, nullptr);
        for (const qint32 code : codes) {
            sqlite3_bind_int(insert, 1, code);
            sqlite3_step(insert);
            sqlite3_reset(insert);
        }
        sqlite3_finalize(insert);
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);

        Stopwatch watch;
        sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
        sqlite3_stmt *upsert = nullptr;
        sqlite3_prepare_v2(
            db,
            "INSERT INTO orders SELECT Code, Name, ?2, Price, Price * ?2 FROM price WHERE Code = ?1 "
            "ON CONFLICT(Code) DO UPDATE SET Count = Count + excluded.Count, Sum = Price * (Count + excluded.Count)",
            -1, &upsert, nullptr);
        for (const Pasted &line : paste) {
            sqlite3_bind_int(upsert, 1, line.code);
            sqlite3_bind_int(upsert, 2, line.quantity);
            sqlite3_step(upsert);
            sqlite3_reset(upsert);
        }
        sqlite3_finalize(upsert);
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        const double ms = watch.ms();
        *cpuMs = watch.cpuMs();

        sqlite3_stmt *count = nullptr;
        sqlite3_prepare_v2(db, "SELECT COUNT(*) FROM orders", -1, &count, nullptr);
        if (sqlite3_step(count) == SQLITE_ROW)
            *lines = sqlite3_column_int64(count, 0);
        sqlite3_finalize(count);
        sqlite3_close(db);
        return ms;
    }

    void runPaste(BenchContext &context)
    {
        if (context.codes.empty())
            return;
        for (const qsizetype lines : {qsizetype(100000), qsizetype(1000000)}) {
            const std::vector<Pasted> paste = makePaste(context.codes, lines);
            QString text;
            text.reserve(lines * 16);
            for (const Pasted &line : paste)
                text +=
                    QString::number(line.code) + QLatin1Char('\t') + QString::number(line.quantity) + QLatin1Char('\n');

            // Each side the best of three rounds, every round on a fresh
            // window state, so that one busy moment of the machine does not
            // decide the ratio.
            double ordixMs = 0;
            double ordixCpuMs = 0;
            qint64 orderLines = 0;
            double sqliteMs = 0;
            double sqliteCpuMs = 0;
            qint64 sqliteLines = 0;
            for (int round = 0; round < 3; ++round) {
                PriceSession session;
                Workspace &workspace = session.workspace;
                StandardActions::install(workspace);
                OrderLifecycle::installActions(workspace);
                loadWithRealLoader(session, context.priceFile);

                session.prompts.setClipboardText(text);
                Stopwatch watch;
                QuickOrder::pasteFromClipboard(workspace);
                const double ms = watch.ms();
                if (round == 0 || ms < ordixMs) {
                    ordixMs = ms;
                    ordixCpuMs = watch.cpuMs();
                }
                orderLines = workspace.order().isActive() ? workspace.order().rowCount() : 0;

                double cpuMs = 0;
                const double peerMs = sqlitePasteMs(context.codes, paste, &sqliteLines, &cpuMs);
                if (round == 0 || peerMs < sqliteMs) {
                    sqliteMs = peerMs;
                    sqliteCpuMs = cpuMs;
                }
            }
            reportRatio(QStringLiteral("paste_%1k").arg(lines / 1000), ordixMs, sqliteMs,
                        QStringLiteral("lines=%1 order_lines=%2 same=%3 ordix_cpu_ms=%4 sqlite_cpu_ms=%5")
                            .arg(lines)
                            .arg(orderLines)
                            .arg(orderLines == sqliteLines ? "yes" : "no")
                            .arg(qRound(ordixCpuMs))
                            .arg(qRound(sqliteCpuMs)));
        }
    }

    const BenchRegistrar pasteRegistrar(QStringLiteral("paste"), 75, &runPaste);
}
