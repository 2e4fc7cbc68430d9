#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include <QString>
#include <QTemporaryDir>

#include "recordtable.h"
#include "scriptedprompts.h"
#include "silentprogress.h"
#include "workspace.h"

struct sqlite3;

// A workspace set up as the command-line program sets it up, holding the
// price list the real loader read.
struct PriceSession
{
    Workspace workspace;
    ScriptedPrompts prompts;
    SilentProgress progress;
};

// What the benchmarks share within one run of ordix-bench: the options, the
// generated price list file and the two filled stores that the "load"
// benchmark leaves behind for the ones after it.
struct BenchContext
{
    BenchContext();
    ~BenchContext();

    qint64 rows = 1000000;
    QTemporaryDir workDir;
    QString priceFile;    // Windows-1251, "|"-separated, with header
    QString oldPriceFile; // the previous edition of the same list
    qint64 priceFileBytes = 0;
    std::vector<qint32> codes; // the codes of the generated rows, file order

    std::unique_ptr<PriceSession> session; // the real loader's workspace, after "load"
    RecordTable *price = nullptr;          // its PriceDataSet
    sqlite3 *db = nullptr;                 // SQLite :memory: with table price, after "load"
    qint64 baseResident = 0;               // resident size before the load
    double loadMs = 0;                     // the real loader's time
    double loadCpuMs = 0;
    double compareMs = 0; // the comparison's right after it
    double compareCpuMs = 0;
    qint64 loadComparePeak = 0; // peak resident over both
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

// Wall time and the process's busy time (CPU time of all its threads): on
// a machine shared with other work the busy time is the steadier measure.
class Stopwatch
{
public:
    Stopwatch()
        : m_start(std::chrono::steady_clock::now())
        , m_cpuStart(processCpuMs())
    { }
    double ms() const
    {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - m_start).count();
    }
    double cpuMs() const { return processCpuMs() - m_cpuStart; }

    static double processCpuMs();

private:
    std::chrono::steady_clock::time_point m_start;
    double m_cpuStart;
};

// " ordix_cpu_ms=X sqlite_cpu_ms=Y cpu_ratio=R" for the extra text of a line.
QString cpuText(double ordixCpuMs, double sqliteCpuMs);

// Prints "NAME ordix_ms=X sqlite_ms=Y ratio=R" and then any extra
// " key=value" text given.
void reportRatio(const QString &name, double ordixMs, double sqliteMs, const QString &extra = QString());
// Prints "rss ordix_mb=X file_mb=Y ratio=R" and any extra text.
void reportRss(double ordixMb, double fileMb, const QString &extra = QString());

// Resident memory of the process in bytes, as it is: nothing is trimmed.
qint64 residentBytes();
// The peak resident size since the last resetPeakResident() (VmHWM).
qint64 peakResidentBytes();
// Starts a new peak from the present resident size; false when the system
// cannot (then the peak is the process's whole-life peak).
bool resetPeakResident();

// Writes the previous edition of a price list: every seventh price 5 % lower
// and every eleventh 3 % higher.
void writeOldPriceFile(const QString &from, const QString &to);

// Runs the real loader on `path` in the session's workspace (the folder of
// the file is current meanwhile, as the program's own folder is).
void loadWithRealLoader(PriceSession &session, const QString &path);
