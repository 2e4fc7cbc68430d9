#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include <QString>
#include <QTemporaryDir>

#include "recordtable.h"

struct sqlite3;

// What the benchmarks share within one run of ordix-bench: the options, the
// generated price list file and the two filled stores that the "load"
// benchmark leaves behind for the ones after it.
struct BenchContext
{
    BenchContext();
    ~BenchContext();

    qint64 rows = 1000000;
    QTemporaryDir workDir;
    QString priceFile; // Windows-1251, "|"-separated, with header
    qint64 priceFileBytes = 0;
    std::vector<qint32> codes; // the codes of the generated rows, file order

    std::unique_ptr<RecordTable> price; // the engine's PriceDataSet, after "load"
    sqlite3 *db = nullptr;              // SQLite :memory: with table price, after "load"
};

// One benchmark: measures and prints its lines. Benchmarks run in the order
// of their `order` numbers; "load" (order 10) fills the context first.
using BenchFunction = std::function<void(BenchContext &)>;

struct BenchEntry
{
    QString name;
    int order = 0;
    BenchFunction run;
};

std::vector<BenchEntry> &benchRegistry();

// Registers a benchmark from a static object in its own source file:
//   static const BenchRegistrar reg("compare", 60, &runCompare);
struct BenchRegistrar
{
    BenchRegistrar(const QString &name, int order, BenchFunction run);
};

// --- measuring and reporting ------------------------------------------------

class Stopwatch
{
public:
    Stopwatch() : m_start(std::chrono::steady_clock::now()) {}
    double ms() const
    {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - m_start).count();
    }

private:
    std::chrono::steady_clock::time_point m_start;
};

// Prints "NAME ordix_ms=X sqlite_ms=Y ratio=R" and then any extra
// " key=value" text given.
void reportRatio(const QString &name, double ordixMs, double sqliteMs, const QString &extra = QString());
// Prints "rss ordix_mb=X file_mb=Y ratio=R" and any extra text.
void reportRss(double ordixMb, double fileMb, const QString &extra = QString());

// Resident memory of the process in bytes, after handing freed memory back
// to the system.
qint64 residentBytes();
