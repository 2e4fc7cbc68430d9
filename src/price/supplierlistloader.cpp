#include "supplierlistloader.h"

#include <algorithm>
#include <charconv>
#include <memory>
#include <vector>

#include <QDate>
#include <QFileInfo>
#include <QHash>
#include <QScopeGuard>
#include <QSet>

#include "actionid.h"
#include "analoguelist.h"
#include "cp1251.h"
#include "layoutstore.h"
#include "partkey.h"
#include "ordixerror.h"
#include "priceloader.h"
#include "pricesearch.h"
#include "progressreporter.h"
#include "supplierlist.h"
#include "textfile.h"
#include "userprompts.h"
#include "workspace.h"

namespace
{
    enum PriceField
    {
        FCode = 1,
        FPrice = 6,
        FAnalogue = 8
    };

    // The layout for this list: the one the caller named, a saved one that
    // fits, or the one the buyer confirms. False when the buyer cancelled.
    bool chooseLayout(Workspace &workspace, SupplierList &list, ImportLayout *layout)
    {
        const LayoutStore store;
        const QString forced = workspace.forcedPriceLayout();
        if (!forced.isEmpty()) {
            if (forced.endsWith(QLatin1String(".json"), Qt::CaseInsensitive) && QFileInfo(forced).isFile()) {
                *layout = LayoutStore::load(forced);
            } else {
                const std::optional<ImportLayout> named = store.byName(forced);
                if (!named)
                    throw OrdixError(QStringLiteral("Нет сохранённых столбцов прайс-листа «%1» (папка %2)")
                                         .arg(forced, store.folder()));
                *layout = *named;
            }
            // A header that moved or was renamed is followed by its names.
            list.chooseFor(*layout);
            const QStringList header = list.headerAt(layout->headerRow);
            if (layout->headerRow > 0 && !header.isEmpty()
                && layout->fingerprint() != ImportLayout::fingerprint(header, layout->sheet, int(header.size()))) {
                QStringList changes;
                if (!LayoutGuess::applyByHeader(*layout, header, &changes) || !layout->isComplete())
                    throw OrdixError(QStringLiteral("Столбцы «%1» не подходят к %2: %3")
                                         .arg(layout->name, list.path(), changes.join(QStringLiteral("; "))));
            }
            return true;
        }
        const std::optional<LayoutStore::Match> match = list.findSaved(store);
        if (match && match->exact) {
            *layout = match->layout;
            return true;
        }
        PriceLayoutQuestion question = list.question(match);
        if (!workspace.prompts().confirmPriceLayout(question))
            return false;
        if (!question.layout.isComplete())
            throw OrdixError(QStringLiteral("Не указаны столбцы: %1").arg(question.layout.missingFields()));
        *layout = question.layout;
        if (layout->headerRow > 0) {
            layout->header = list.headerAt(layout->headerRow);
            layout->columnCount = qMax(int(layout->header.size()), layout->columnCount);
        }
        if (question.remember && !layout->name.trimmed().isEmpty())
            store.save(*layout);
        return true;
    }

    // The new edition against the loaded one of the same supplier: the share
    // of its codes found there and the median ratio of their prices. A price
    // jump of about a hundred times, or fewer than half the codes found, is
    // asked about before the list replaces the old one.
    bool acceptAgainstPrevious(Workspace &workspace, const QString &layoutName,
                               const std::vector<std::pair<qint32, double>> &items)
    {
        RecordTable &old = workspace.price();
        if (items.empty() || layoutName.isEmpty() || workspace.priceLayoutName() != layoutName || !old.isActive()
            || old.storedRowCount() == 0)
            return true;
        QHash<qint32, double> oldPrices;
        oldPrices.reserve(qsizetype(old.storedRowCount()));
        for (uint32_t r = 0; r < old.storedRowCount(); ++r)
            oldPrices.insert(qint32(old.storedInteger(r, FCode)), old.storedFloat(r, FPrice));
        std::vector<double> ratios;
        qint64 matched = 0;
        for (const auto &[code, price] : items) {
            const auto it = oldPrices.constFind(code);
            if (it == oldPrices.constEnd())
                continue;
            ++matched;
            if (it.value() > 0 && price > 0)
                ratios.push_back(price / it.value());
        }
        QStringList problems;
        if (!ratios.empty()) {
            std::nth_element(ratios.begin(), ratios.begin() + qsizetype(ratios.size() / 2), ratios.end());
            const double median = ratios[ratios.size() / 2];
            if (median > 30 || median < 1.0 / 30)
                problems << QStringLiteral("Цены изменились в 100 раз: проверьте разделитель дробной части");
        }
        const double share = double(matched) / double(items.size());
        if (share < 0.5) {
            problems << QStringLiteral("С прежним прайс-листом «%1» совпало только %2% кодов")
                            .arg(layoutName)
                            .arg(int(share * 100));
        }
        if (problems.isEmpty())
            return true;
        return workspace.prompts().askYesNo(problems.join(QLatin1Char('\n'))
                                            + QStringLiteral("\nЗаменить прайс-лист новым?"))
            == UserPrompts::Answer::Yes;
    }

}

namespace
{
    // The code of each item: the supplier's, or one made from its part
    // number and maker (the next salt where two collide).
    class ItemCodes final
    {
    public:
        explicit ItemCodes(bool madeUp)
            : m_madeUp(madeUp)
        { }

        // 0 when the item has no code to give.
        qint32 code(const QByteArrayView *values)
        {
            if (!m_madeUp) {
                qint32 code = 0;
                const char *end = values[1].data() + values[1].size();
                const auto read = std::from_chars(values[1].data(), end, code);
                return read.ec == std::errc() && read.ptr == end ? code : 0;
            }
            for (int salt = 0; salt < PartKey::Salts; ++salt) {
                const qint32 code = PartKey::code(values[3], values[4], salt);
                if (code == 0)
                    return 0;
                if (!m_used.contains(code)) {
                    m_used.insert(code);
                    return code;
                }
            }
            return 0; // a part listed over and over
        }

    private:
        bool m_madeUp;
        QSet<qint32> m_used;
    };

    // The rows of one stretch of the list for the table, made on either
    // thread, with the widest text of each shown field.
    class ItemRows final : public SupplierList::ItemBatch
    {
    public:
        ItemRows(const RecordTable &table, int analogueWidth)
            : batch(table)
            , m_analogueWidth(analogueWidth)
        { }

        void clear() override
        {
            batch.clear();
            std::fill(std::begin(widest), std::end(widest), 0);
            cutAnalogues = 0;
        }

        bool add(const QByteArrayView *values) override
        {
            QByteArrayView row[9];
            std::copy(values, values + 9, row);
            bool lost = false;
            row[FAnalogue] = AnalogueList::fitted(row[FAnalogue], m_analogueWidth, &lost);
            if (!batch.addRaw(row, 9))
                return false;
            cutAnalogues += lost ? 1 : 0;
            for (int v = 0; v < 7; ++v) {
                const int length = int(row[v].size());
                widest[v] = qMax(widest[v], v == 6 ? 8 * length + 16 : 7 * length + 4);
            }
            return true;
        }

        void truncate(int items) override { batch.truncate(items); }

        RecordTable::RowBatch batch;
        int widest[7] = {};
        qint64 cutAnalogues = 0;

    private:
        const int m_analogueWidth;
    };
}

PriceLoadResult SupplierListLoader::load(Workspace &workspace, const QString &path,
                                         const std::function<void()> &beforeReplacing)
{
    RecordTable &table = workspace.price();
    ProgressReporter &progress = workspace.progress();
    GridLayout &grid = workspace.grid(Workspace::Grid::Price);

    SupplierList list(path);
    ImportLayout layout;
    if (!chooseLayout(workspace, list, &layout))
        return {};

    // With a list loaded, the rows go into batches first: that list stays
    // whole until the new one has proved itself. With none, they go
    // straight into the table through one batch.
    const bool direct = !table.isActive() || table.storedRowCount() == 0;
    const bool makeCodes = layout.column(ImportField::Code) < 0;
    QString previousEdition;
    if (workspace.lastSupplierLayout() == layout.name) {
        previousEdition = QFileInfo(workspace.lastSupplierFile()) != QFileInfo(path) ? workspace.lastSupplierFile()
                                                                                     : workspace.previousEditionFile();
    }
    const auto replace = [&] {
        if (beforeReplacing)
            beforeReplacing();
        if (PriceSearch *search = PriceSearch::of(workspace))
            search->priceClosed();
        workspace.setPriceFileName(path);
        try {
            PriceLoader::initializePriceDataSet(workspace);
        } catch (...) {
            workspace.setPriceFileName(QString());
            throw;
        }
        workspace.settings().currencyRateLine.clear();
        workspace.setPriceLayoutName(layout.name);
        workspace.setPreviousEditionFile(previousEdition);
        workspace.setLastSupplierList(layout.name, path);
        // Codes the program made are no supplier's: not shown.
        if (makeCodes && grid.columns.size() > FCode + 1)
            grid.columns[FCode + 1].visible = false;
    };
    RecordTable scratch;
    scratch.open(PriceLoader::priceFields());
    if (direct)
        replace();
    std::vector<std::unique_ptr<RecordTable::RowBatch>> batches;
    std::vector<std::pair<qint32, double>> keys;
    int widest[7] = {};
    ItemCodes codes(makeCodes);
    QByteArray madeCode;
    qint64 refused = 0;      // rows the table could not hold
    qint64 cutAnalogues = 0; // rows whose analogue list lost codes to the field's width
    const int analogueWidth = scratch.field(FAnalogue).width;
    bool reservedForAll = false;
    SupplierList::Result result;
    constexpr int BatchRows = 16384;
    // A fresh load shows its first rows in the grid (behind the progress
    // window) as soon as they are read, not after the whole sheet: a big
    // workbook takes seconds.
    // Until the last row is read they stand in the file's order: the grid
    // reads the rows as they come, and the list is sorted once, at the end.
    constexpr int FirstScreenRows = 200;
    bool firstScreenShown = false;
    QString sortedBy;
    const auto showFirstScreen = [&] {
        firstScreenShown = true;
        for (int v = 0; v < 7; ++v)
            grid.raisePreferredWidth(v + 1, widest[v]);
        grid.fixedColumns = 2;
        sortedBy = table.indexName();
        table.setIndexName(QString());
        table.first();
        table.resumeViews();
        const auto suspendAgain = qScopeGuard([&table] { table.suspendViews(); });
        workspace.gridColumnsRebuilt(Workspace::Grid::Price);
        workspace.setPanelVisible(Workspace::Panel::Price, true);
        if (workspace.isPanelVisible(Workspace::Panel::Order))
            workspace.execute(ActionId::PanelOrderPosition);
    };
    // Room for the whole list, by the share of it read so far (`batch`
    // holds the rows of the last stretch): growing column by column would
    // hold a column twice for a moment. Untouched room costs address space,
    // not memory. Done once, when a twentieth of the file is read: the
    // reading runs a few stretches ahead of the rows taken, which matters
    // less the more is read.
    const auto reserveForAll = [&](const RecordTable::RowBatch &batch) {
        const int permille = list.readPermille();
        if (reservedForAll || permille < 50 || batch.rowCount() == 0)
            return;
        reservedForAll = true;
        if (permille >= 900)
            return;
        const double scale = 1000.0 / permille * 1.15;
        const double rowsSoFar = double(table.storedRowCount() + batch.rowCount());
        std::vector<size_t> textBytes(9, 0);
        const double perRow = rowsSoFar * scale / batch.rowCount();
        for (int v = 0; v < 9; ++v)
            textBytes[size_t(v)] = size_t(double(batch.textBytes(v)) * perRow);
        table.reserve(qint64(rowsSoFar * scale) + 64, textBytes);
    };
    // A fresh load of a list with the supplier's codes: the rows are made
    // on both threads, in stretches taken in order.
    SupplierList::ItemBatches itemBatches;
    itemBatches.make = [&] { return std::make_unique<ItemRows>(scratch, analogueWidth); };
    itemBatches.take = [&](SupplierList::ItemBatch &taken) {
        auto &rows = static_cast<ItemRows &>(taken);
        reserveForAll(rows.batch);
        refused += table.appendBatch(rows.batch);
        cutAnalogues += rows.cutAnalogues;
        for (int v = 0; v < 7; ++v)
            widest[v] = qMax(widest[v], rows.widest[v]);
        if (!firstScreenShown)
            showFirstScreen();
    };
    if (direct)
        table.suspendViews();
    try {
        const ProgressFinish progressGuard(progress);
        progress.startProgress(QStringLiteral("Loading data..."), 0, 100);
        progress.stepProgress(10);
        result = list.read(
            layout,
            [&](const QByteArrayView *values) {
                QByteArrayView row[9];
                std::copy(values, values + 9, row);
                const qint32 code = codes.code(values);
                if (makeCodes) {
                    if (code == 0)
                        return false; // no part number, or a part listed over and over
                    madeCode = QByteArray::number(code);
                    row[1] = madeCode;
                }
                if (batches.empty() || (!direct && batches.back()->rowCount() >= BatchRows))
                    batches.push_back(std::make_unique<RecordTable::RowBatch>(scratch));
                RecordTable::RowBatch &batch = *batches.back();
                bool lost = false;
                row[FAnalogue] = AnalogueList::fitted(row[FAnalogue], analogueWidth, &lost);
                if (!batch.addRaw(row, 9))
                    return false;
                cutAnalogues += lost ? 1 : 0;
                if (direct && batch.rowCount() >= BatchRows) {
                    reserveForAll(batch);
                    refused += table.appendBatch(batch);
                    batch.clear();
                }
                for (int v = 0; v < 7; ++v) {
                    const int length = int(row[v].size());
                    widest[v] = qMax(widest[v], v == 6 ? 8 * length + 16 : 7 * length + 4);
                }
                if (direct && !firstScreenShown && batch.rowCount() >= FirstScreenRows) {
                    refused += table.appendBatch(batch);
                    batch.clear();
                    showFirstScreen();
                }
                double price = 0;
                if (!direct && code != 0 && Decimal::parse(row[6], &price))
                    keys.emplace_back(code, price);
                return true;
            },
            &progress, direct && !makeCodes ? &itemBatches : nullptr);
        if (direct && !batches.empty())
            refused += table.appendBatch(*batches.back());
    } catch (...) {
        if (direct) {
            table.resumeViews();
            workspace.execute(ActionId::PriceClose);
            workspace.setPriceFileName(QString());
        }
        throw;
    }
    const qint64 items = result.counts[size_t(RowClass::Item)];
    if (items == 0) {
        if (direct) {
            table.resumeViews();
            workspace.execute(ActionId::PriceClose);
            workspace.setPriceFileName(QString());
        }
        throw OrdixError(
            QStringLiteral("В прайс-листе %1 нет ни одной строки, которую можно прочитать со столбцами «%2» "
                           "(строк без цены или кода: %3)")
                .arg(path, layout.name)
                .arg(result.counts[size_t(RowClass::Unreadable)]));
    }
    qint64 skipped = result.counts[size_t(RowClass::Unreadable)] + refused;
    if (!direct) {
        if (!acceptAgainstPrevious(workspace, layout.name, keys))
            return {};
        replace();
        table.suspendViews();
        try {
            // Room for every row at once, and each batch let go as soon as
            // its rows are in: the list is held twice only for a moment.
            qint64 rowCount = 0;
            std::vector<size_t> textBytes(9, 0);
            for (const auto &batch : batches) {
                rowCount += batch->rowCount();
                for (int v = 0; v < 9; ++v)
                    textBytes[size_t(v)] += batch->textBytes(v);
            }
            table.reserve(rowCount, textBytes);
            for (auto &batch : batches) {
                skipped += table.appendBatch(*batch);
                batch.reset();
            }
        } catch (...) {
            table.resumeViews();
            throw;
        }
    }
    batches.clear();
    for (int v = 0; v < 7; ++v)
        grid.raisePreferredWidth(v + 1, widest[v]);
    if (firstScreenShown)
        table.setIndexName(sortedBy);
    PriceLoader::openLoadedTable(workspace, table);
    if (result.stopped)
        workspace.prompts().message(QStringLiteral("Action stopped"), UserPrompts::Icon::Information);

    QString status =
        QStringLiteral("Прайс-лист загружен (%1, столбцы «%2»)").arg(list.formatName(list.format()), layout.name);
    if (skipped > 0)
        status += QStringLiteral(". Пропущено строк с ошибками: %1").arg(skipped);
    status += PriceLoader::cutAnaloguesNote(int(cutAnalogues));
    if (result.damagedCodes > 0)
        status += QStringLiteral(". Коды, испорченные Excel (например 2.19E+26): %1").arg(result.damagedCodes);
    if (!result.notes.isEmpty())
        status += QStringLiteral(". ") + result.notes.join(QStringLiteral(". "));
    workspace.setLabel(Workspace::Label::Status, status);
    workspace.setLabel(Workspace::Label::Title,
                       QStringLiteral("Прайс-лист «%1» на ").arg(layout.name)
                           + TextFile::dateTimeText(TextFile::fileDateTime(path)));
    workspace.setLabel(Workspace::Label::CurDate, TextFile::longDate(QDate::currentDate()));
    grid.fixedColumns = 2;
    workspace.gridColumnsRebuilt(Workspace::Grid::Price);
    return {true, int(skipped), int(cutAnalogues)};
}

QHash<qint32, double> SupplierListLoader::editionPrices(Workspace &workspace, const QString &path)
{
    SupplierList list(path);
    const LayoutStore store;
    std::optional<ImportLayout> layout;
    if (const std::optional<ImportLayout> loaded = store.byName(workspace.priceLayoutName())) {
        layout = loaded;
        list.chooseFor(*layout);
        const QStringList header = list.headerAt(layout->headerRow);
        if (layout->headerRow > 0 && !header.isEmpty())
            LayoutGuess::applyByHeader(*layout, header, nullptr);
    } else if (const std::optional<LayoutStore::Match> match = list.findSaved(store)) {
        layout = match->layout;
    } else {
        bool certain = false;
        layout = list.guess(nullptr, &certain);
        if (!certain)
            layout.reset();
    }
    if (!layout || !layout->isComplete())
        throw OrdixError(
            QStringLiteral("Столбцы прайс-листа %1 не распознаны: откройте его один раз как прайс-лист").arg(path));
    QHash<qint32, double> prices;
    ItemCodes codes(layout->column(ImportField::Code) < 0);
    list.read(
        *layout,
        [&](const QByteArrayView *values) {
            const qint32 code = codes.code(values);
            double price = 0;
            if (code == 0 || !Decimal::parse(values[6], &price))
                return false;
            prices.insert(code, price);
            return true;
        },
        &workspace.progress());
    return prices;
}
