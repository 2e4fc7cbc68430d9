// Coordinating an order with the price list: every order line looked up by
// its code in the loaded list, re-priced and its price row marked, against
// SQLite joining the same order to the same price rows.

#include <QFile>
#include <QVariantList>

#include <sqlite3.h>

#include "benchregistry.h"
#include "cp1251.h"
#include "orderlifecycle.h"
#include "ordertable.h"
#include "scriptedprompts.h"
#include "standardactions.h"
#include "textfile.h"
#include "workspace.h"

namespace
{
    struct OrderLine
    {
        qint32 code = 0;
        qint32 count = 0;
    };

    // The order: codes spread over the whole list, one line in twenty with a
    // code the list does not have.
    std::vector<OrderLine> makeOrder(const std::vector<qint32> &codes, size_t orderLines)
    {
        std::vector<OrderLine> lines;
        if (codes.empty())
            return lines;
        const size_t wanted = std::min<size_t>(orderLines, codes.size());
        const size_t step = std::max<size_t>(1, codes.size() / wanted);
        for (size_t i = 0; i < wanted; ++i) {
            const qint32 code = i % 20 == 19 ? -1 - qint32(i) : codes.at((i * step + i % step) % codes.size());
            lines.push_back({code, qint32(1 + i % 9)});
        }
        return lines;
    }

    bool exec(sqlite3 *db, const char *sql)
    {
        char *error = nullptr;
        if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
            std::fprintf(stderr, "coordinate: SQLite: %s\n", error ? error : "?");
            sqlite3_free(error);
            return false;
        }
        return true;
    }

    // The price file in an SQLite :memory: table keyed by its code, and the
    // order beside it. Not timed.
    sqlite3 *sqliteTables(const QString &path, const std::vector<OrderLine> &order)
    {
        sqlite3 *db = nullptr;
        sqlite3_open(":memory:", &db);
        exec(db,
             "CREATE TABLE price(Code INTEGER PRIMARY KEY, Name TEXT, CatalogID TEXT, ProductionOf TEXT,"
             " Pack TEXT, Price REAL, Flag INTEGER, Grp TEXT, Analogue TEXT)");
        exec(db,
             "CREATE TABLE orders(Line INTEGER PRIMARY KEY, Flag INTEGER, Code INTEGER, Name TEXT,"
             " CatalogID TEXT, Producer TEXT, Count INTEGER, Price REAL, Sum REAL)");
        exec(db, "BEGIN");
        sqlite3_stmt *insert = nullptr;
        sqlite3_prepare_v2(db, "INSERT OR REPLACE INTO price VALUES(?,?,?,?,?,?,?,?,?)", -1, &insert, nullptr);
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        const QList<QByteArray> lines = TextFile::splitLines(file.readAll());
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArrayView line(lines.at(i));
            int position = 1;
            int column = 0;
            while (position <= line.size() && column < 9) {
                const QByteArray utf8 = Cp1251::decode(SplitField(line, position, '|')).toUtf8();
                sqlite3_bind_text(insert, column + 1, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
                ++column;
            }
            sqlite3_step(insert);
            sqlite3_reset(insert);
        }
        sqlite3_finalize(insert);
        sqlite3_prepare_v2(db,
                           "INSERT INTO orders(Flag, Code, Name, CatalogID, Producer, Count, Price, Sum)"
                           " VALUES(0, ?, 'x', '', '', ?, 0, 0)",
                           -1, &insert, nullptr);
        for (const OrderLine &line : order) {
            sqlite3_bind_int(insert, 1, line.code);
            sqlite3_bind_int(insert, 2, line.count);
            sqlite3_step(insert);
            sqlite3_reset(insert);
        }
        sqlite3_finalize(insert);
        exec(db, "COMMIT");
        return db;
    }

    // The same work as the coordination: take name, availability, price,
    // OEM number and maker of every found line, mark the price rows, total
    // the found lines.
    double sqliteCoordinateMs(sqlite3 *db, double *total, double *cpuMs)
    {
        Stopwatch watch;
        exec(db, "BEGIN");
        exec(db,
             "UPDATE orders SET Name = p.Name, Flag = CASE WHEN p.Flag >= 5 THEN p.Flag - 5 ELSE p.Flag END,"
             " Price = p.Price, Sum = p.Price * orders.Count, CatalogID = p.CatalogID, Producer = p.ProductionOf"
             " FROM price AS p WHERE p.Code = orders.Code");
        exec(db, "UPDATE price SET Flag = Flag + 5 WHERE Flag < 5 AND Code IN (SELECT Code FROM orders)");
        sqlite3_stmt *sum = nullptr;
        sqlite3_prepare_v2(db, "SELECT total(o.Sum) FROM orders AS o JOIN price AS p ON p.Code = o.Code", -1, &sum,
                           nullptr);
        if (sqlite3_step(sum) == SQLITE_ROW)
            *total = sqlite3_column_double(sum, 0);
        sqlite3_finalize(sum);
        exec(db, "COMMIT");
        *cpuMs = watch.cpuMs();
        return watch.ms();
    }

    void runCoordinateOf(BenchContext &context, size_t orderLines)
    {
        const std::vector<OrderLine> order = makeOrder(context.codes, orderLines);

        PriceSession session;
        Workspace &workspace = session.workspace;
        ScriptedPrompts &prompts = session.prompts;
        StandardActions::install(workspace);
        OrderLifecycle::installActions(workspace);
        loadWithRealLoader(session, context.priceFile);

        OrderTable::startNew(workspace);
        RecordTable &table = workspace.order();
        table.suspendViews();
        for (const OrderLine &line : order)
            table.appendRow(
                QVariantList{0, line.code, QStringLiteral("x"), QString(), QString(), line.count, 0.0, 0.0});
        table.resumeViews();

        prompts.queueAnswer(UserPrompts::Answer::Yes);
        Stopwatch watch;
        OrderLifecycle::coordinateOrder(workspace);
        const double ordixMs = watch.ms();
        const double ordixCpuMs = watch.cpuMs();

        int found = 0;
        for (int r = 0; r < table.rowCount(); ++r) {
            if (table.stringAt(r, OrderTable::Name) != QLatin1String("x"))
                ++found;
        }

        sqlite3 *db = sqliteTables(context.priceFile, order);
        double sqliteTotal = 0;
        double sqliteCpuMs = 0;
        const double sqliteMs = sqliteCoordinateMs(db, &sqliteTotal, &sqliteCpuMs);
        sqlite3_close(db);

        const bool same = qAbs(sqliteTotal - workspace.document().total()) <= 1e-6 * qMax(1.0, qAbs(sqliteTotal));
        reportRatio(orderLines == 10000 ? QStringLiteral("coordinate")
                                        : QStringLiteral("coordinate_%1k").arg(orderLines / 1000),
                    ordixMs, sqliteMs,
                    QStringLiteral("lines=%1 found=%2 totals=%3 ordix_cpu_ms=%4 sqlite_cpu_ms=%5")
                        .arg(order.size())
                        .arg(found)
                        .arg(same ? "same" : "differ")
                        .arg(qRound(ordixCpuMs))
                        .arg(qRound(sqliteCpuMs)));
    }

    // 10,000 order lines ("coordinate") and 100,000 ("coordinate_100k").
    void runCoordinate(BenchContext &context)
    {
        for (const size_t orderLines : {size_t(10000), size_t(100000)})
            runCoordinateOf(context, orderLines);
    }

    const BenchRegistrar coordinateRegistrar(QStringLiteral("coordinate"), 70, &runCoordinate);
}
