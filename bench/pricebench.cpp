// The price list's own loader and comparison on the generated list, each
// against the time SQLite takes to import the same file.

#include <QDir>
#include <QFile>

#include <sqlite3.h>

#include "benchregistry.h"
#include "cp1251.h"
#include "pricecompare.h"
#include "priceloader.h"
#include "scriptedprompts.h"
#include "silentprogress.h"
#include "textfile.h"
#include "workspace.h"

namespace
{
    // Imports a "|"-separated price file into a fresh SQLite :memory: table,
    // one prepared statement in one transaction, and returns the time.
    double sqliteImportMs(const QString &path)
    {
        Stopwatch watch;
        sqlite3 *db = nullptr;
        sqlite3_open(":memory:", &db);
        sqlite3_exec(db,
                     "CREATE TABLE price(Code INTEGER, Name TEXT, CatalogID TEXT, ProductionOf TEXT, Pack TEXT,"
                     " Price REAL, Status INTEGER, Grp TEXT, Analogue TEXT)",
                     nullptr, nullptr, nullptr);
        sqlite3_stmt *insert = nullptr;
        sqlite3_prepare_v2(db, "INSERT INTO price VALUES(?,?,?,?,?,?,?,?,?)", -1, &insert, nullptr);
        sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);

        QFile file(path);
        file.open(QIODevice::ReadOnly);
        const QByteArray contents = file.readAll();
        const QList<QByteArray> lines = TextFile::splitLines(contents);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArrayView line(lines.at(i));
            int position = 1;
            int column = 0;
            while (position <= line.size() && column < 9) {
                const QByteArrayView field = SplitField(line, position, '|');
                const QByteArray utf8 = Cp1251::decode(field).toUtf8();
                sqlite3_bind_text(insert, column + 1, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
                ++column;
            }
            sqlite3_step(insert);
            sqlite3_reset(insert);
        }
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_finalize(insert);
        const double ms = watch.ms();
        sqlite3_close(db);
        return ms;
    }

    // The previous edition: the same list with every seventh price 5 % lower
    // and every eleventh 3 % higher.
    QString writeOldList(BenchContext &context)
    {
        const QString path = context.workDir.filePath(QStringLiteral("prices_OLD.txt"));
        QFile in(context.priceFile);
        in.open(QIODevice::ReadOnly);
        QList<QByteArray> lines = TextFile::splitLines(in.readAll());
        int priceColumn = -1;
        {
            const QList<QByteArray> names = lines.first().split('|');
            for (int i = 0; i < names.size(); ++i) {
                if (Cp1251::decode(names.at(i)) == u"Цена")
                    priceColumn = i;
            }
        }
        for (qsizetype i = 1; i < lines.size() && priceColumn >= 0; ++i) {
            if (i % 7 != 0 && i % 11 != 0)
                continue;
            QList<QByteArray> fields = lines.at(i).split('|');
            if (priceColumn >= fields.size())
                continue;
            const double price = fields.at(priceColumn).toDouble();
            fields[priceColumn] = QByteArray::number(price * (i % 7 == 0 ? 0.95 : 1.03), 'f', 2);
            lines[i] = fields.join('|');
        }
        QFile out(path);
        out.open(QIODevice::WriteOnly);
        for (const QByteArray &line : lines) {
            out.write(line);
            out.write("\r\n");
        }
        return path;
    }

    struct LoadedList
    {
        Workspace workspace;
        ScriptedPrompts prompts;
        SilentProgress progress;
    };

    std::unique_ptr<LoadedList> g_loaded;

    void runLoadFile(BenchContext &context)
    {
        const QString previous = QDir::currentPath();
        QDir::setCurrent(context.workDir.path());
        g_loaded = std::make_unique<LoadedList>();
        g_loaded->workspace.setPrompts(&g_loaded->prompts);
        g_loaded->workspace.setProgress(&g_loaded->progress);

        Stopwatch watch;
        PriceLoader::loadFile(g_loaded->workspace, context.priceFile);
        const double ordixMs = watch.ms();
        const int rows = g_loaded->workspace.price().rowCount();
        QDir::setCurrent(previous);

        const double sqliteMs = sqliteImportMs(context.priceFile);
        reportRatio(QStringLiteral("load_file"), ordixMs, sqliteMs, QStringLiteral("rows=%1").arg(rows));
    }

    void runCompare(BenchContext &context)
    {
        if (!g_loaded)
            return;
        const QString oldList = writeOldList(context);
        Stopwatch watch;
        PriceCompare::compareWith(g_loaded->workspace, oldList);
        const double ordixMs = watch.ms();

        RecordTable &table = g_loaded->workspace.price();
        int changed = 0;
        for (int r = 0; r < table.rowCount(); ++r) {
            if (table.floatAt(r, 9) != table.floatAt(r, 6))
                ++changed;
        }
        const double sqliteMs = sqliteImportMs(oldList);
        reportRatio(QStringLiteral("compare"), ordixMs, sqliteMs, QStringLiteral("changed=%1").arg(changed));
        g_loaded.reset();
    }

    const BenchRegistrar loadFileRegistrar(QStringLiteral("load_file"), 60, &runLoadFile);
    const BenchRegistrar compareRegistrar(QStringLiteral("compare"), 61, &runCompare);
}
