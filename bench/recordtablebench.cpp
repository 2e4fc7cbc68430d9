// The record table engine against SQLite :memory: on the same rows: loading
// the price file, memory, the one-word name filter, ordering by name and
// exact look-ups by code.
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include <QFile>

#include <sqlite3.h>

#include "benchregistry.h"
#include "cp1251.h"
#include "ordixerror.h"
#include "recordtable.h"

namespace
{
    constexpr int kColumns = 9; // Код|Наименование|Артикул|Производитель|НормаУпаковки|Цена|Статус|Каталоги|Аналоги(Коды)

    QList<FieldDef> priceFields()
    {
        return {
            {QStringLiteral("AvailabilityFlag"), FieldType::I2, 0},
            {QStringLiteral("CODE"), FieldType::I4, 0},
            {QStringLiteral("Name"), FieldType::String, 200},
            {QStringLiteral("CatalogID"), FieldType::String, 100},
            {QStringLiteral("ProductionOf"), FieldType::String, 100},
            {QStringLiteral("Pack"), FieldType::String, 20},
            {QStringLiteral("Price"), FieldType::R8, 0},
            {QStringLiteral("Group"), FieldType::String, 200},
            {QStringLiteral("Analogue"), FieldType::String, 200},
            {QStringLiteral("OldPrice"), FieldType::R8, 0},
        };
    }

    QByteArray readWhole(const QString &path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "ordix-bench: cannot read %s\n", qPrintable(path));
            std::exit(1);
        }
        return file.readAll();
    }

    // Calls fn(columns) for every data line of the file (the header skipped),
    // the columns split at "|" as the price loader splits them.
    template<typename Fn>
    void forEachDataLine(const QByteArray &data, Fn &&fn)
    {
        const char *p = data.constData();
        const char *end = p + data.size();
        bool header = true;
        QByteArrayView columns[kColumns];
        while (p < end) {
            const char *nl = static_cast<const char *>(std::memchr(p, '\n', size_t(end - p)));
            const char *lineEnd = nl ? nl : end;
            const char *next = nl ? nl + 1 : end;
            if (lineEnd > p && lineEnd[-1] == '\r')
                --lineEnd;
            if (header) {
                header = false;
                p = next;
                continue;
            }
            int n = 0;
            const char *f = p;
            while (f < lineEnd && n < kColumns) {
                const char *bar = static_cast<const char *>(std::memchr(f, '|', size_t(lineEnd - f)));
                const char *fieldEnd = bar ? bar : lineEnd;
                columns[n++] = QByteArrayView(f, fieldEnd - f);
                f = bar ? bar + 1 : lineEnd;
            }
            for (int k = n; k < kColumns; ++k)
                columns[k] = QByteArrayView();
            fn(columns);
            p = next;
        }
    }

    // --- the engine ----------------------------------------------------------

    std::unique_ptr<RecordTable> loadEngine(const QString &path)
    {
        auto table = std::make_unique<RecordTable>(QStringLiteral("PriceDataSet"));
        table->open(priceFields());
        for (int f = 0; f < table->fieldCount() - 1; ++f) {
            table->addIndexDef(QStringLiteral("Pre") + table->field(f).name, table->field(f).name);
            table->addIndexDef(QStringLiteral("Rev") + table->field(f).name, table->field(f).name, true);
        }
        table->setDisplayFormat(6, QStringLiteral("# ### ##0.00 р."));
        table->setDisplayFormat(1, QStringLiteral("00000"));

        const QByteArray data = readWhole(path);
        table->suspendViews();
        QByteArrayView values[kColumns];
        forEachDataLine(data, [&](const QByteArrayView *c) {
            // File columns to fields: status, code, name, part number,
            // producer, pack, price, catalogues, analogues.
            values[0] = c[6];
            values[1] = c[0];
            values[2] = c[1];
            values[3] = c[2];
            values[4] = c[3];
            values[5] = c[4];
            values[6] = c[5];
            values[7] = c[7];
            values[8] = c[8];
            try {
                table->appendRowRaw(values, kColumns);
            } catch (const OrdixError &) {
                // a line that does not convert is dropped, as the loader does
            }
        });
        table->resumeViews();
        table->first();
        return table;
    }

    // --- SQLite ----------------------------------------------------------------

    void check(int rc, sqlite3 *db, const char *what)
    {
        if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
            std::fprintf(stderr, "ordix-bench: sqlite %s: %s\n", what, db ? sqlite3_errmsg(db) : "?");
            std::exit(1);
        }
    }

    void exec(sqlite3 *db, const char *sql)
    {
        check(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), db, sql);
    }

    // Windows-1251 to UTF-8, one table look-up per byte.
    class Utf8Converter
    {
    public:
        Utf8Converter()
        {
            for (int b = 0; b < 256; ++b)
                m_table[b] = QString(QChar(Cp1251::toUnicode(static_cast<unsigned char>(b)))).toStdString();
        }
        const std::string &convert(QByteArrayView bytes, std::string &out) const
        {
            out.clear();
            for (char ch : bytes)
                out += m_table[static_cast<unsigned char>(ch)];
            return out;
        }

    private:
        std::string m_table[256];
    };

    template<typename T>
    bool parseNumber(QByteArrayView text, T *value)
    {
        const char *b = text.data();
        const char *e = b + text.size();
        while (b < e && *b == ' ')
            ++b;
        const auto [ptr, ec] = std::from_chars(b, e, *value);
        return ec == std::errc() && ptr == e;
    }

    sqlite3 *loadSqlite(const QString &path)
    {
        sqlite3 *db = nullptr;
        check(sqlite3_open(":memory:", &db), db, "open");
        exec(db, "PRAGMA journal_mode=OFF");
        exec(db, "PRAGMA synchronous=OFF");
        exec(db, "CREATE TABLE price(Code INTEGER PRIMARY KEY, Status INTEGER, Name TEXT, CatalogID TEXT,"
                 " ProductionOf TEXT, Pack TEXT, Price REAL, Groups TEXT, Analogue TEXT)");
        sqlite3_stmt *insert = nullptr;
        check(sqlite3_prepare_v2(db, "INSERT INTO price VALUES(?1,?2,?3,?4,?5,?6,?7,?8,?9)", -1, &insert, nullptr), db,
              "prepare insert");

        const Utf8Converter utf8;
        std::string text[kColumns];
        const QByteArray data = readWhole(path);
        exec(db, "BEGIN");
        forEachDataLine(data, [&](const QByteArrayView *c) {
            qint64 code = 0;
            qint64 status = 0;
            double price = 0;
            if (!parseNumber(c[0], &code))
                return;
            sqlite3_bind_int64(insert, 1, code);
            if (parseNumber(c[6], &status))
                sqlite3_bind_int64(insert, 2, status);
            else
                sqlite3_bind_null(insert, 2);
            static const int textColumns[][2] = {{1, 3}, {2, 4}, {3, 5}, {4, 6}, {7, 8}, {8, 9}};
            for (const auto &tc : textColumns) {
                const std::string &s = utf8.convert(c[tc[0]], text[tc[0]]);
                sqlite3_bind_text(insert, tc[1], s.data(), int(s.size()), SQLITE_STATIC);
            }
            if (parseNumber(c[5], &price))
                sqlite3_bind_double(insert, 7, price);
            else
                sqlite3_bind_null(insert, 7);
            check(sqlite3_step(insert), db, "insert");
            sqlite3_reset(insert);
        });
        exec(db, "COMMIT");
        sqlite3_finalize(insert);
        return db;
    }

    // The case folding of the engine applied to UTF-8 text, for the folded
    // copy column that SQLite needs to find Cyrillic words in any case.
    void foldFunction(sqlite3_context *context, int, sqlite3_value **argv)
    {
        const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
        if (!text) {
            sqlite3_result_null(context);
            return;
        }
        const QByteArray folded = Cp1251::decode(Cp1251::folded(Cp1251::encode(QString::fromUtf8(text)))).toUtf8();
        sqlite3_result_text(context, folded.constData(), int(folded.size()), SQLITE_TRANSIENT);
    }

    qint64 sqliteCount(sqlite3 *db, const char *sql)
    {
        sqlite3_stmt *stmt = nullptr;
        check(sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr), db, sql);
        check(sqlite3_step(stmt), db, sql);
        const qint64 n = sqlite3_column_int64(stmt, 0);
        sqlite3_finalize(stmt);
        return n;
    }

    // --- the benchmarks ----------------------------------------------------------

    void runLoad(BenchContext &ctx)
    {
        const qint64 before = residentBytes();
        Stopwatch engineClock;
        ctx.price = loadEngine(ctx.priceFile);
        const int rows = ctx.price->rowCount();
        const double engineMs = engineClock.ms();
        const qint64 after = residentBytes();

        Stopwatch sqliteClock;
        ctx.db = loadSqlite(ctx.priceFile);
        const double sqliteMs = sqliteClock.ms();
        const qint64 sqliteRows = sqliteCount(ctx.db, "SELECT count(*) FROM price");
        const qint64 withSqlite = residentBytes();

        reportRatio(QStringLiteral("load"), engineMs, sqliteMs,
                    QStringLiteral("rows=%1 sqlite_rows=%2 note=\"read file, split lines, append; sqlite: one prepared "
                                   "insert in one transaction, text converted to UTF-8\"")
                        .arg(rows)
                        .arg(sqliteRows));
        const double mb = 1024.0 * 1024.0;
        reportRss(double(after - before) / mb, double(ctx.priceFileBytes) / mb,
                  QStringLiteral("table_mb=%1 sqlite_mb=%2 note=\"resident growth over the engine load; sqlite measured "
                                 "after it\"")
                      .arg(double(ctx.price->memoryBytes()) / mb, 0, 'f', 1)
                      .arg(double(withSqlite - after) / mb, 0, 'f', 1));

        // The folded copy of Name for SQLite's LIKE, outside the measurements.
        check(sqlite3_create_function(ctx.db, "cpfold", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, &foldFunction,
                                      nullptr, nullptr),
              ctx.db, "create function");
        exec(ctx.db, "ALTER TABLE price ADD COLUMN lname TEXT");
        exec(ctx.db, "UPDATE price SET lname = cpfold(Name)");
    }

    void runFilterWord(BenchContext &ctx)
    {
        RecordTable &t = *ctx.price;
        const QString filter = QStringLiteral("((Name LIKE '%болт%') or (Name='болт*'))");
        t.setIndexName(QString());
        t.setFiltered(false);
        const qint64 before = residentBytes();

        Stopwatch cold;
        t.setFilter(filter);
        t.setFiltered(true);
        const int rows = t.rowCount();
        const double coldMs = cold.ms();
        double warmMs = 1e100;
        for (int i = 0; i < 3; ++i) {
            t.setFiltered(false);
            Stopwatch warm;
            t.setFiltered(true);
            if (t.rowCount() != rows)
                std::fprintf(stderr, "ordix-bench: filter_word gave different counts\n");
            warmMs = std::min(warmMs, warm.ms());
        }
        t.setFiltered(false);
        t.setFilter(QString());
        const double growthMb = double(residentBytes() - before) / (1024.0 * 1024.0);

        const char *sql = "SELECT count(*) FROM price WHERE lname LIKE '%болт%' OR lname LIKE 'болт%'";
        Stopwatch sqliteCold;
        const qint64 sqliteRows = sqliteCount(ctx.db, sql);
        const double sqliteColdMs = sqliteCold.ms();
        double sqliteMs = 1e100;
        for (int i = 0; i < 3; ++i) {
            Stopwatch warm;
            sqliteCount(ctx.db, sql);
            sqliteMs = std::min(sqliteMs, warm.ms());
        }
        const QString note = QStringLiteral("note=\"sqlite: LIKE on a pre-folded copy column (SQLite folds only ASCII)\"");
        reportRatio(QStringLiteral("filter_word"), warmMs, sqliteMs,
                    QStringLiteral("rows=%1 sqlite_rows=%2 memory_growth_mb=%3 %4")
                        .arg(rows)
                        .arg(sqliteRows)
                        .arg(growthMb, 0, 'f', 1)
                        .arg(note));
        reportRatio(QStringLiteral("filter_word_first"), coldMs, sqliteColdMs,
                    QStringLiteral("note=\"the first filter after loading, against SQLite's first\""));
        if (rows != sqliteRows)
            std::fprintf(stderr, "ordix-bench: filter_word counts differ: %d against %lld\n", rows,
                         static_cast<long long>(sqliteRows));
    }

    void runSortName(BenchContext &ctx)
    {
        RecordTable &t = *ctx.price;
        t.setIndexName(QString());
        Stopwatch engineClock;
        t.setIndexName(QStringLiteral("PreName"));
        const int rows = t.rowCount();
        const double engineMs = engineClock.ms();

        // The view must be ordered: check neighbours across the table.
        bool ordered = true;
        for (int r = 1; r < rows && ordered; r += 97) {
            const QByteArrayView a = t.bytesAt(r - 1, 2);
            const QByteArrayView b = t.bytesAt(r, 2);
            const int cmp = std::memcmp(a.data(), b.data(), size_t(std::min(a.size(), b.size())));
            ordered = cmp < 0 || (cmp == 0 && a.size() <= b.size());
        }
        if (!ordered)
            std::fprintf(stderr, "ordix-bench: PreName is out of order\n");

        Stopwatch sqliteClock;
        sqlite3_stmt *stmt = nullptr;
        check(sqlite3_prepare_v2(ctx.db, "SELECT rowid FROM price ORDER BY Name", -1, &stmt, nullptr), ctx.db, "order");
        std::vector<qint64> order;
        order.reserve(size_t(rows));
        while (sqlite3_step(stmt) == SQLITE_ROW)
            order.push_back(sqlite3_column_int64(stmt, 0));
        sqlite3_finalize(stmt);
        const double sqliteMs = sqliteClock.ms();

        reportRatio(QStringLiteral("sort_name"), engineMs, sqliteMs,
                    QStringLiteral("rows=%1 sqlite_rows=%2 note=\"activating PreName from insertion order; sqlite: "
                                   "ORDER BY Name into a vector of rowids\"")
                        .arg(rows)
                        .arg(order.size()));
    }

    void runLocateCode(BenchContext &ctx)
    {
        RecordTable &t = *ctx.price;
        // Three rounds of 10000 random codes, each round with other codes so
        // that no round finds the previous one's memory warm; the best round
        // counts, for both sides.
        std::mt19937 rng(42);
        std::vector<std::vector<qint32>> rounds(3, std::vector<qint32>(10000));
        for (auto &round : rounds)
            for (qint32 &code : round)
                code = ctx.codes[size_t(rng() % ctx.codes.size())];

        Stopwatch firstClock;
        const bool firstFound = t.locate(QStringLiteral("Code"), ctx.codes.front());
        const double firstMs = firstClock.ms();

        int found = 0;
        double engineMs = 1e100;
        for (const auto &round : rounds) {
            found = 0;
            Stopwatch engineClock;
            for (qint32 code : round)
                found += t.locate(QStringLiteral("Code"), code) ? 1 : 0;
            engineMs = std::min(engineMs, engineClock.ms());
        }
        int right = 0;
        for (int i = 0; i < 100; ++i) {
            const qint32 code = rounds[0][size_t(i)];
            right += (t.locate(QStringLiteral("Code"), code) && t.asInteger(1) == code) ? 1 : 0;
        }

        sqlite3_stmt *stmt = nullptr;
        check(sqlite3_prepare_v2(ctx.db, "SELECT rowid FROM price WHERE Code = ?1", -1, &stmt, nullptr), ctx.db,
              "select");
        sqlite3_bind_int64(stmt, 1, ctx.codes.front());
        sqlite3_step(stmt);
        sqlite3_reset(stmt);
        int sqliteFound = 0;
        double sqliteMs = 1e100;
        for (const auto &round : rounds) {
            sqliteFound = 0;
            Stopwatch sqliteClock;
            for (qint32 code : round) {
                sqlite3_bind_int64(stmt, 1, code);
                if (sqlite3_step(stmt) == SQLITE_ROW)
                    ++sqliteFound;
                sqlite3_reset(stmt);
            }
            sqliteMs = std::min(sqliteMs, sqliteClock.ms());
        }
        sqlite3_finalize(stmt);

        reportRatio(QStringLiteral("locate_code"), engineMs, sqliteMs,
                    QStringLiteral("found=%1 sqlite_found=%2 first_locate_ms=%3 note=\"10000 exact look-ups under "
                                   "PreName, best of three rounds; the first look-up builds the table of codes; sqlite: "
                                   "primary key\"")
                        .arg(found)
                        .arg(sqliteFound)
                        .arg(firstMs, 0, 'f', 1));
        if (!firstFound || found != 10000 || right != 100)
            std::fprintf(stderr, "ordix-bench: locate_code missed codes\n");
    }

    const BenchRegistrar loadBench(QStringLiteral("load"), 10, &runLoad);
    const BenchRegistrar filterBench(QStringLiteral("filter_word"), 20, &runFilterWord);
    const BenchRegistrar sortBench(QStringLiteral("sort_name"), 30, &runSortName);
    const BenchRegistrar locateBench(QStringLiteral("locate_code"), 40, &runLocateCode);
}
