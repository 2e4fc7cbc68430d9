// Selecting the price list by a car brand: the model condition for a brand
// with 5,000 assigned parts built from the loaded car-model tables and applied
// to the whole price list, against SQLite selecting the same price rows with
// an IN over a join of the same model and assignment tables.

#include <cstdio>

#include <QDir>
#include <QFile>

#include <sqlite3.h>

#include "benchregistry.h"
#include "carmodels.h"
#include "pricefilter.h"
#include "priceloader.h"
#include "scriptedprompts.h"
#include "silentprogress.h"
#include "standardactions.h"
#include "textfile.h"
#include "workspace.h"

namespace
{
    constexpr int Brands = 50;
    constexpr int ModelsPerBrand = 20;
    constexpr int BrandParts = 5000;      // distinct parts of the measured brand
    constexpr int PartsPerModel = 300;    // 20 × 300 assignments: shared parts
    constexpr int OtherAssignments = 100; // per model of the other brands

    struct Assignment
    {
        int model = 0;
        qint32 part = 0;
    };

    QString brandName(int brand)
    {
        return QStringLiteral("BRAND%1").arg(brand, 2, 10, QLatin1Char('0'));
    }

    // Models 1..1000, twenty a brand; the measured brand BRAND00 holds models
    // 1..20 whose assignments cover exactly BrandParts distinct price codes,
    // several models sharing each part.
    void writeModelFiles(const QString &dir, const std::vector<qint32> &codes, std::vector<Assignment> *assignments)
    {
        QStringList models = {QStringLiteral("Код|Марка|Модель")};
        for (int b = 0; b < Brands; ++b) {
            for (int m = 0; m < ModelsPerBrand; ++m) {
                const int code = b * ModelsPerBrand + m + 1;
                models.append(QStringLiteral("%1|%2|Model %3").arg(code).arg(brandName(b)).arg(code));
            }
        }
        TextFile::writeLines(dir + QStringLiteral("/rmodel.txt"), models);

        const size_t stride = std::max<size_t>(1, codes.size() / (BrandParts + size_t(Brands) * 200));
        QStringList lines = {QStringLiteral("CODEMODEL|CODESPAIR")};
        for (int m = 0; m < ModelsPerBrand; ++m) {
            for (int k = 0; k < PartsPerModel; ++k) {
                const int part = (m * 250 + k) % BrandParts;
                assignments->push_back({m + 1, codes.at(size_t(part) * stride % codes.size())});
            }
        }
        for (int b = 1; b < Brands; ++b) {
            for (int m = 0; m < ModelsPerBrand; ++m) {
                const int model = b * ModelsPerBrand + m + 1;
                for (int k = 0; k < OtherAssignments; ++k) {
                    const size_t index =
                        (size_t(BrandParts) + size_t(b) * 997 + size_t(m) * 131 + size_t(k) * 7) * stride;
                    assignments->push_back({model, codes.at(index % codes.size())});
                }
            }
        }
        for (const Assignment &a : *assignments)
            lines.append(QStringLiteral("%1|%2").arg(a.model).arg(a.part));
        TextFile::writeLines(dir + QStringLiteral("/rms_asg.txt"), lines);
    }

    void exec(sqlite3 *db, const char *sql)
    {
        char *error = nullptr;
        if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
            std::fprintf(stderr, "model_filter: SQLite: %s\n", error ? error : "?");
            sqlite3_free(error);
        }
    }

    // The model and assignment tables beside the loaded price table, with the
    // indexes the engine's tables have. Not timed.
    void sqliteModelTables(sqlite3 *db, const std::vector<Assignment> &assignments)
    {
        exec(db, "DROP TABLE IF EXISTS models");
        exec(db, "DROP TABLE IF EXISTS asg");
        exec(db, "CREATE TABLE models(Code INTEGER, Brand TEXT, Model TEXT)");
        exec(db, "CREATE TABLE asg(CodeModel INTEGER, CodeSpair INTEGER)");
        exec(db, "BEGIN");
        sqlite3_stmt *insert = nullptr;
        sqlite3_prepare_v2(db, "INSERT INTO models VALUES(?1, ?2, ?3)", -1, &insert, nullptr);
        for (int b = 0; b < Brands; ++b) {
            const QByteArray brand = brandName(b).toUtf8();
            for (int m = 0; m < ModelsPerBrand; ++m) {
                const int code = b * ModelsPerBrand + m + 1;
                const QByteArray model = QStringLiteral("Model %1").arg(code).toUtf8();
                sqlite3_bind_int(insert, 1, code);
                sqlite3_bind_text(insert, 2, brand.constData(), int(brand.size()), SQLITE_TRANSIENT);
                sqlite3_bind_text(insert, 3, model.constData(), int(model.size()), SQLITE_TRANSIENT);
                sqlite3_step(insert);
                sqlite3_reset(insert);
            }
        }
        sqlite3_finalize(insert);
        sqlite3_prepare_v2(db, "INSERT INTO asg VALUES(?1, ?2)", -1, &insert, nullptr);
        for (const Assignment &a : assignments) {
            sqlite3_bind_int(insert, 1, a.model);
            sqlite3_bind_int(insert, 2, a.part);
            sqlite3_step(insert);
            sqlite3_reset(insert);
        }
        sqlite3_finalize(insert);
        exec(db, "COMMIT");
        exec(db, "CREATE INDEX models_brand ON models(Brand)");
        exec(db, "CREATE INDEX models_code ON models(Code)");
        exec(db, "CREATE INDEX asg_model ON asg(CodeModel)");
        exec(db, "CREATE INDEX asg_part ON asg(CodeSpair)");
    }

    // The price rows of the brand's parts, read out as the grid would count
    // them.
    double sqliteSelectMs(sqlite3 *db, qint64 *rows)
    {
        Stopwatch watch;
        sqlite3_stmt *select = nullptr;
        sqlite3_prepare_v2(db,
                           "SELECT p.Code FROM price AS p WHERE p.Code IN (SELECT a.CodeSpair FROM asg AS a"
                           " JOIN models AS m ON m.Code = a.CodeModel WHERE m.Brand = ?1)",
                           -1, &select, nullptr);
        const QByteArray brand = brandName(0).toUtf8();
        sqlite3_bind_text(select, 1, brand.constData(), int(brand.size()), SQLITE_TRANSIENT);
        qint64 count = 0;
        while (sqlite3_step(select) == SQLITE_ROW) {
            if (sqlite3_column_int64(select, 0) != 0)
                ++count;
        }
        sqlite3_finalize(select);
        *rows = count;
        return watch.ms();
    }

    void runModelFilter(BenchContext &context)
    {
        if (!context.db || context.codes.size() < size_t(BrandParts))
            return;
        std::vector<Assignment> assignments;
        writeModelFiles(context.workDir.path(), context.codes, &assignments);

        ScriptedPrompts prompts;
        SilentProgress progress;
        Workspace workspace;
        workspace.setPrompts(&prompts);
        workspace.setProgress(&progress);
        StandardActions::install(workspace);
        PriceFilter::install(workspace);
        CarModels *models = CarModels::install(workspace);

        const QString previous = QDir::currentPath();
        QDir::setCurrent(context.workDir.path());
        PriceLoader::loadFile(workspace, context.priceFile);
        Stopwatch loadWatch;
        workspace.execute(QStringLiteral("Models_LoadSMAsg"));
        const double loadModelsMs = loadWatch.ms();
        QDir::setCurrent(previous);

        // The first selection after loading also builds the price table's
        // code look-up that keeps the current part in view.
        Stopwatch firstWatch;
        models->brandListChange(models->brands().indexOf(brandName(0)));
        workspace.execute(QStringLiteral("Models_BuildFilter"));
        const double firstMs = firstWatch.ms();

        // The user applies the brand again: build and apply.
        Stopwatch watch;
        models->brandListChange(models->brands().indexOf(brandName(0)));
        workspace.execute(QStringLiteral("Models_BuildFilter"));
        const double ordixMs = watch.ms();
        const qint64 ordixRows = workspace.price().rowCount();
        const int terms = int(workspace.filter().modelCondition.count(QLatin1String("Code=")));

        // The same expression applied once more: the share of the table.
        Stopwatch applyWatch;
        PriceFilter::of(workspace)->applyPriceFilter();
        const double applyMs = applyWatch.ms();

        sqliteModelTables(context.db, assignments);
        qint64 sqliteRows = 0;
        const double sqliteMs = sqliteSelectMs(context.db, &sqliteRows);

        reportRatio(QStringLiteral("model_filter"), ordixMs, sqliteMs,
                    QStringLiteral("build_ms=%1 apply_ms=%2 first_ms=%8 terms=%3 rows=%4 sqlite_rows=%5 "
                                   "assignments=%6 load_models_ms=%7 note=\"pick the brand, build the OR of Code= "
                                   "terms, filter the price list; first_ms: the first time after loading, with the "
                                   "code look-up built; sqlite: IN over a join, indexed\"")
                        .arg(qMax(0.0, ordixMs - applyMs), 0, 'f', 1)
                        .arg(applyMs, 0, 'f', 1)
                        .arg(terms)
                        .arg(ordixRows)
                        .arg(sqliteRows)
                        .arg(assignments.size())
                        .arg(loadModelsMs, 0, 'f', 1)
                        .arg(firstMs, 0, 'f', 1));
    }

    const BenchRegistrar modelFilterRegistrar(QStringLiteral("model_filter"), 75, &runModelFilter);
}
