// The window's own way to a loaded list, offscreen: the main window opens
// the price list from its menu action (the same steps as the automatic load
// at start-up: the loader, the comparison question, the panels, the grid's
// model reset) and paints the grid once; against the loader alone.
#include <cstdio>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QTableView>

#include "applicationwindows.h"
#include "benchregistry.h"
#include "main.h"
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
        reportRatio(QStringLiteral("window_load"), windowMs, ctx.loadMs,
                    cpuText(windowCpuMs, ctx.loadCpuMs) + QStringLiteral(" rows=%1 note=\"the main window's PriceFileOpen offscreen (its progress window, "
                                   "questions answered No, grid reset and painted), best of three rounds; sqlite columns: the real load's own line\"")
                        .arg(rows));
    }

    const BenchRegistrar windowLoadRegistrar(QStringLiteral("window_load"), 50, &runWindowLoad);
}
