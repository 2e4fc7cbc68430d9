// The window's own way to a loaded list, offscreen: the main window opens
// the price list from its menu action (the same steps as the automatic load
// at start-up: the loader, the comparison question, the panels, the grid's
// model reset) and paints the grid once; against the loader alone. Then
// the peak memory of the same window load and of the loader alone, each in a
// fresh process of its own.
#include <cstdio>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QTableView>

#include "applicationwindows.h"
#include "benchregistry.h"
#include "main.h"
#include "priceloader.h"
#include "scriptedprompts.h"
#include "workspace.h"

namespace
{
    void runWindowLoad(BenchContext &ctx)
    {
        // The loaded session of the benchmarks before goes first, so that the
        // window's list is the only one in memory.
        ctx.price = nullptr;
        ctx.session.reset();

        const QString previous = QDir::currentPath();
        QDir::setCurrent(ctx.workDir.path());
        // The best of three rounds, as the loader's own line.
        double windowMs = 0;
        double windowCpuMs = 0;
        int rows = 0;
        for (int round = 0; round < 3; ++round) {
            ApplicationWindows windows;
            TMakeOrderForm &form = windows.mainForm();
            ScriptedPrompts prompts; // no comparison: both questions answered No
            form.workspace().setPrompts(&prompts);
            form.show();
            QApplication::processEvents();

            QAction *open = form.action(QStringLiteral("PriceFileOpen"));
            Stopwatch clock;
            open->trigger();
            QApplication::processEvents();
            form.gridPrice()->viewport()->repaint();
            if (windowMs == 0 || clock.ms() < windowMs) {
                windowMs = clock.ms();
                windowCpuMs = clock.cpuMs();
            }
            rows = form.workspace().price().rowCount();
        }
        QDir::setCurrent(previous);
        reportRatio(
            QStringLiteral("window_load"), windowMs, ctx.loadMs,
            cpuText(windowCpuMs, ctx.loadCpuMs)
                + QStringLiteral(" rows=%1 note=\"the main window's PriceFileOpen offscreen (its progress window, "
                                 "questions answered No, grid reset and painted), best of three rounds; sqlite "
                                 "columns: the real load's own line\"")
                      .arg(rows));
    }

    const BenchRegistrar windowLoadRegistrar(QStringLiteral("window_load"), 50, &runWindowLoad);

    // The peak resident size of one load in a fresh process (this program
    // run again with --peak-child): its growth over the size before the load
    // (what the load adds), the process's whole peak, and the size before
    // the load (what Qt, the fonts and, for the window, the window itself
    // hold before any list).
    struct Peak
    {
        qint64 growth = -1;
        qint64 whole = -1;
        qint64 base = -1;
    };

    Peak childPeak(const BenchContext &ctx, const QString &kind)
    {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--peak-child"), kind, ctx.workDir.path()});
        Peak peak;
        if (!child.waitForFinished(600000) || child.exitCode() != 0)
            return peak;
        const QList<QByteArray> fields = child.readAllStandardOutput().trimmed().split(' ');
        if (fields.size() == 3 && fields[0].startsWith("peak_growth=") && fields[1].startsWith("peak=")
            && fields[2].startsWith("base=")) {
            peak.growth = fields[0].mid(12).toLongLong();
            peak.whole = fields[1].mid(5).toLongLong();
            peak.base = fields[2].mid(5).toLongLong();
        }
        return peak;
    }

    void runWindowPeak(BenchContext &ctx)
    {
        const double mb = 1024.0 * 1024.0;
        const Peak engine = childPeak(ctx, QStringLiteral("engine"));
        const Peak window = childPeak(ctx, QStringLiteral("window"));
        const double fileMb = double(ctx.priceFileBytes) / mb;
        const auto ratio = [fileMb, mb](qint64 bytes) {
            return QString::number(fileMb > 0 ? double(bytes) / mb / fileMb : 0, 'f', 3);
        };
        const auto megabytes = [mb](qint64 bytes) { return QString::number(double(bytes) / mb, 'f', 1); };
        reportRss(double(window.growth) / mb, fileMb,
                  QStringLiteral("name=window_load_peak goal_ratio<=2.0 engine_mb=%1 engine_ratio=%2 "
                                 "window_whole_mb=%3 window_whole_ratio=%4 engine_whole_mb=%5 engine_whole_ratio=%6 "
                                 "window_base_mb=%7 engine_base_mb=%8 "
                                 "note=\"peak resident growth of the main window's PriceFileOpen (offscreen, questions "
                                 "answered No, the search index built, the grid painted) over the window before it, "
                                 "against the loader's alone, each in a fresh process; whole: the process's peak; "
                                 "base: the process before the load (Qt and its fonts; for the window, the empty "
                                 "window too), whole = base + what the load adds\"")
                      .arg(megabytes(engine.growth), ratio(engine.growth), megabytes(window.whole), ratio(window.whole),
                           megabytes(engine.whole), ratio(engine.whole), megabytes(window.base),
                           megabytes(engine.base)));
    }

    const BenchRegistrar windowPeakRegistrar(QStringLiteral("window_load_peak"), 51, &runWindowPeak);
}

int runPeakChild(const QString &kind, const QString &folder)
{
    QDir::setCurrent(folder);
    const QString file = PriceLoader::defaultFileName();
    qint64 base = 0;
    if (kind == QLatin1String("engine")) {
        base = residentBytes();
        resetPeakResident();
        PriceSession session;
        loadWithRealLoader(session, QDir(folder).filePath(file));
    } else {
        ApplicationWindows windows;
        TMakeOrderForm &form = windows.mainForm();
        ScriptedPrompts prompts;
        form.workspace().setPrompts(&prompts);
        form.show();
        QApplication::processEvents();
        base = residentBytes();
        resetPeakResident();
        form.action(QStringLiteral("PriceFileOpen"))->trigger();
        QApplication::processEvents();
        form.gridPrice()->viewport()->repaint();
        if (form.workspace().price().rowCount() == 0)
            return 1;
    }
    const qint64 peak = peakResidentBytes();
    std::printf("peak_growth=%lld peak=%lld base=%lld\n", static_cast<long long>(peak - base),
                static_cast<long long>(peak), static_cast<long long>(base));
    return 0;
}
