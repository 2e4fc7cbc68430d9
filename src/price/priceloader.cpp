#include "priceloader.h"

#include <algorithm>
#include <cmath>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <QDate>
#include <QBuffer>
#include <QFile>
#include <QFileInfo>

#include "actionid.h"
#include "analoguelist.h"
#include "cp1251.h"
#include "ordixerror.h"
#include "parallellinereader.h"
#include "pricefields.h"
#include "pricefilter.h"
#include "pricesearch.h"
#include "progressreporter.h"
#include "schemafile.h"
#include "supplierlist.h"
#include "supplierlistloader.h"
#include "textencoding.h"
#include "textfile.h"
#include "userprompts.h"
#include "workspace.h"

namespace
{
    // Room beside a price for the arrow of a changed price (18) and the
    // margins of the cell.
    constexpr int PriceArrowRoom = 22;

    // Field positions of the price table.
    enum PriceField
    {
        FAvailability = 0,
        FCode,
        FName,
        FCatalogId,
        FProducer,
        FPack,
        FPrice,
        FGroup,
        FAnalogue,
        FOldPrice
    };

    // Latin letters are compared without regard to case, Cyrillic exactly:
    // fold only ASCII letters on both sides.
    QString foldAscii(const QString &text)
    {
        QString result = text;
        for (QChar &ch : result) {
            if (ch.unicode() >= 'A' && ch.unicode() <= 'Z')
                ch = QChar(ch.unicode() + ('a' - 'A'));
        }
        return result;
    }

    bool containsMarker(const QString &foldedLine, const QString &marker)
    {
        return foldedLine.contains(foldAscii(marker));
    }

    QString priceTitle(int priceMode)
    {
        switch (priceMode) {
        case 1:
            return QStringLiteral("Цена (мелкооптовая)");
        case 2:
            return QStringLiteral("Цена (специальная)");
        default:
            return QStringLiteral("Цена");
        }
    }

    void selectCurrencyFromRateLine(Workspace &workspace, const QString &line)
    {
        Settings &settings = workspace.settings();
        settings.currencyRateLine = line;
        CurrencyList &list = workspace.currencyList();
        list.rebuild(line, settings.priceSeparator, Decimal::separator());
        list.selectSymbol(settings.defaultCurrency);
        settings.currentCurrency = list.selected();
    }

    bool firstFieldIsRateKeyword(QByteArrayView line, char separator)
    {
        int position = 1;
        const QString first = Cp1251::decode(SplitField(line, position, separator)).toLower();
        return first == u"курс" || first == QLatin1String("rate");
    }

    bool startsData(QByteArrayView line, char separator)
    {
        int position = 1;
        const QByteArrayView first = SplitField(line, position, separator);
        qint32 value = 0;
        return isWholeNumber(first, &value) && value != -10101;
    }

    void returnFreedMemory()
    {
#if defined(__GLIBC__)
        malloc_trim(0);
#endif
    }

    // Where the price fields stand in a line of the list.
    struct PriceLineLayout
    {
        char separator = '|';
        int map[9] = {}; // column (from 1) of each loaded field; 0: none
        int maxColumn = 0;
    };

    // The rows of one block of lines, parsed on either core.
    class PriceBlock final : public ParallelLineReader::Work
    {
    public:
        PriceBlock(const RecordTable &table, const PriceLineLayout &layout)
            : batch(table)
            , m_layout(layout)
            , m_analogueWidth(table.field(FAnalogue).width)
        { }

        void parse(QByteArrayView block) override
        {
            batch.clear();
            failedLines.clear();
            cutAnalogueLines.clear();
            lines = 0;
            std::fill(std::begin(widest), std::end(widest), 0);
            widestPrice.clear();
            TextFile::forEachLineOfBlock(block.data(), size_t(block.size()), true, [this](QByteArrayView line, size_t) {
                parseLine(line);
                return true;
            });
        }

        RecordTable::RowBatch batch;
        std::vector<int> failedLines;      // lines of the block that gave no row
        std::vector<int> cutAnalogueLines; // lines whose row lost analogues to the field's width
        int lines = 0;
        int widest[7] = {};
        QByteArray widestPrice;

    private:
        void parseLine(QByteArrayView line)
        {
            // Split the fields the header names; those beyond are ignored.
            int count = 0;
            int position = 1;
            m_spill.clear();
            while (position <= line.size() && count < m_layout.maxColumn) {
                const QByteArrayView field = SplitField(line, position, m_layout.separator);
                if (count < 64)
                    m_fields[count] = field;
                else
                    m_spill.append(field);
                ++count;
            }
            QByteArrayView values[9];
            for (int v = 0; v < 9; ++v) {
                const int column = m_layout.map[v];
                if (column != 0 && column <= count)
                    values[v] = column <= 64 ? m_fields[column - 1] : m_spill.at(column - 65);
            }
            for (int v = 0; v < 7; ++v) {
                const int length = int(values[v].size());
                const int wanted = v == FPrice ? 8 * length + 16 : 7 * length + 4;
                if (wanted > widest[v]) {
                    widest[v] = wanted;
                    if (v == FPrice)
                        widestPrice = values[v].toByteArray();
                }
            }
            bool lost = false;
            values[FAnalogue] = AnalogueList::fitted(values[FAnalogue], m_analogueWidth, &lost);
            if (!batch.addRaw(values, 9))
                failedLines.push_back(lines);
            else if (lost)
                cutAnalogueLines.push_back(lines);
            ++lines;
        }

        const PriceLineLayout m_layout;
        const int m_analogueWidth;
        QByteArrayView m_fields[64];
        QList<QByteArrayView> m_spill;
    };

    // Whether a data line from `dataStart` gives a row: parsed as the load
    // parses them, into a table of its own, until the first row that reads.
    bool hasUsableRow(QIODevice &source, qint64 dataStart, const PriceLineLayout &layout)
    {
        RecordTable scratch;
        scratch.open(PriceLoader::priceFields());
        PriceBlock block(scratch, layout);
        if (!source.seek(dataStart))
            return false;
        QByteArray lines;
        bool found = false;
        const bool read = TextFile::forEachLine(source, [&](QByteArrayView line, qint64) {
            lines.append(line);
            lines.append('\n');
            if (lines.size() < 64 * 1024)
                return true;
            block.parse(lines);
            lines.clear();
            found = block.batch.rowCount() > 0;
            return !found;
        });
        if (read && !found && !lines.isEmpty()) {
            block.parse(lines);
            found = block.batch.rowCount() > 0;
        }
        return read && found;
    }
}

QString PriceLoader::openDialogFilter()
{
    // The wholesaler's own list and every other supplier's list (workbooks,
    // delimited text) first, each kind on its own after.
    return QStringLiteral("Прайс-листы (*.txt *.xlsx *.xlsm *.xls *.ods *.csv)|*.txt;*.xlsx;*.xlsm;*.xls;*.ods;*.csv|"
                          "Прайс-лист (*.txt)|*.txt|Книги Excel (*.xlsx *.xlsm *.xls)|*.xlsx;*.xlsm;*.xls|"
                          "Таблицы OpenDocument (*.ods)|*.ods|Текст с разделителями (*.csv *.tsv)|*.csv;*.tsv|"
                          "Все файлы (*)|*");
}

QList<FieldDef> PriceLoader::priceFields()
{
    return PriceFields::definitions();
}

bool PriceLoader::isRussianHeader(const QString &line)
{
    const QString folded = foldAscii(line);
    return (folded.contains(QStringLiteral("|Код")) || folded.contains(QStringLiteral("Код|")))
        && (folded.contains(QStringLiteral("|Наименование")) || folded.contains(QStringLiteral("Наименование|")));
}

bool PriceLoader::isEnglishHeader(const QString &line)
{
    const QString folded = foldAscii(line);
    return (containsMarker(folded, QStringLiteral("|Code")) || containsMarker(folded, QStringLiteral("Code|")))
        && (containsMarker(folded, QStringLiteral("|Name")) || containsMarker(folded, QStringLiteral("Name|")));
}

PriceColumns PriceLoader::columnsFromHeader(const QString &line, QChar separator, int priceMode, bool english)
{
    PriceColumns columns;
    const auto is = [english](const QString &name, const char16_t *russian, const char *latin) {
        return english ? name.compare(QLatin1String(latin), Qt::CaseInsensitive) == 0
                       : name.compare(QString::fromUtf16(russian), Qt::CaseInsensitive) == 0;
    };
    const auto startsWith = [english](const QString &name, const char16_t *russian, const char *latin) {
        return english ? name.startsWith(QLatin1String(latin), Qt::CaseInsensitive)
                       : name.startsWith(QString::fromUtf16(russian), Qt::CaseInsensitive);
    };

    int position = 1;
    int number = 0;
    while (position <= line.size()) {
        const QString name = SplitField(line, position, separator);
        ++number;
        if (is(name, u"КодРодителя", "ParentCode"))
            continue;
        if (is(name, u"Код", "Code"))
            columns.code = number;
        else if (is(name, u"Наименование", "Name"))
            columns.name = number;
        else if (is(name, u"Артикул", "ItemMark"))
            columns.catalogId = number;
        else if (is(name, u"Производитель", "Producer"))
            columns.producer = number;
        else if (is(name, u"НормаУпаковки", "Package"))
            columns.pack = number;
        else if (is(name, u"Цена", "Price"))
            columns.price = number;
        else if (is(name, u"ЦенаМелОпт", "SmallWholesalePrice")) {
            if (priceMode == 1)
                columns.price = number;
        } else if (is(name, u"ЦенаОпт", "WholesalePrice")) {
            if (priceMode == 2)
                columns.price = number;
        } else if (startsWith(name, u"Статус", "Status"))
            columns.status = number;
        else if (is(name, u"Каталоги", "Catalogues"))
            columns.groups = number;
        else if (is(name, u"Аналоги(Коды)", "Analogues(Codes)"))
            columns.analogues = number;
    }
    return columns;
}

void PriceLoader::openLoadedTable(Workspace &workspace, RecordTable &table)
{
    returnFreedMemory();
    if (PriceSearch *search = PriceSearch::of(workspace)) {
        try {
            search->priceLoaded();
        } catch (...) {
            table.resumeViews();
            throw;
        }
        returnFreedMemory();
    }
    table.first();
    table.resumeViews();
}

QString PriceLoader::cutAnaloguesNote(int rows)
{
    return rows > 0 ? QStringLiteral(". Аналоги обрезаны: %1 строк").arg(rows) : QString();
}

void PriceLoader::initializePriceDataSet(Workspace &workspace)
{
    const QList<FieldDef> fields = priceFields();
    SchemaFile::write(schemaFileName(), fields);

    RecordTable &table = workspace.price();
    if (table.isActive())
        table.close();
    table.open(SchemaFile::read(schemaFileName()));
    table.empty();
    table.clearIndexDefs();
    for (int i = 0; i < fields.size() - 1; ++i) {
        const QString &name = fields.at(i).name;
        table.addIndexDef(QStringLiteral("Pre") + name, name, false);
        table.addIndexDef(QStringLiteral("Rev") + name, name, true);
    }
    table.setIndexName(QStringLiteral("PreName"));
    table.setDisplayFormat(FPrice, QStringLiteral("# ### ##0.00 р."));
    table.setDisplayFormat(FCode, QStringLiteral("00000"));

    GridLayout &grid = workspace.grid(Workspace::Grid::Price);
    grid.clear();
    grid.sortMark = 4;
    const auto column = [&](const QString &field, int position, const QString &title, int width, bool visible = true) {
        GridColumn c;
        c.fieldName = field;
        c.fieldPosition = position;
        c.title = title;
        c.width = width;
        c.visible = visible;
        grid.columns.append(c);
    };
    column(QStringLiteral("NPP"), -1, QStringLiteral("№"), workspace.fontWidth(40));
    column(fields.at(FAvailability).name, FAvailability, QStringLiteral("..."), 18);
    column(fields.at(FCode).name, FCode, QStringLiteral("Код"), workspace.fontWidth(50));
    column(fields.at(FName).name, FName, QStringLiteral("Наименование / артикул производителя"),
           workspace.fontWidth(400));
    column(fields.at(FCatalogId).name, FCatalogId, QStringLiteral("OEM номер"),
           workspace.textWidth(QStringLiteral("0000000000000000")));
    column(fields.at(FProducer).name, FProducer, QStringLiteral("Производство"), workspace.fontWidth(100));
    column(fields.at(FPack).name, FPack, QStringLiteral("Упаковка"), workspace.textWidth(QStringLiteral("0000")));
    column(fields.at(FPrice).name, FPrice, priceTitle(workspace.settings().priceMode),
           workspace.textWidth(QStringLiteral("00 000.00 р")) + 16);
    column(fields.at(FGroup).name, FGroup, QStringLiteral("Группа"), workspace.fontWidth(150));
    column(fields.at(FAnalogue).name, FAnalogue, QStringLiteral("Аналоги"), workspace.fontWidth(150), false);
    workspace.gridColumnsRebuilt(Workspace::Grid::Price);
}

PriceLoadResult PriceLoader::loadPriceList(Workspace &workspace, const QString &primaryName,
                                           const QString &fallbackName)
{
    // The loaded list is closed once the new one is found usable, so that a
    // file that is no price list leaves it as it was.
    const auto closeLoaded = [&workspace] {
        workspace.execute(ActionId::PriceClose);
        workspace.setLabel(Workspace::Label::Status, QStringLiteral("Открытие прайс-листа......."));
        workspace.setPriceFileName(QString());
    };

    QString chosen;
    if (!primaryName.isEmpty() && QFileInfo(primaryName).isFile()) {
        chosen = primaryName;
    } else if (!fallbackName.isEmpty() && QFileInfo(fallbackName).isFile()) {
        const QString question = QStringLiteral("Открыть устаревший прайс лист (")
            + TextFile::dateTimeText(TextFile::fileDateTime(fallbackName)) + QLatin1Char(')');
        if (workspace.prompts().askYesNo(question) == UserPrompts::Answer::Yes)
            chosen = fallbackName;
    }
    if (chosen.isEmpty()) {
        UserPrompts::FileDialog dialog;
        dialog.title = QStringLiteral("Открыть файл прайс-листа");
        dialog.defaultExtension = QStringLiteral("txt");
        dialog.filter = PriceLoader::openDialogFilter();
        chosen = workspace.prompts().openFile(dialog);
    }
    if (chosen.isEmpty()) {
        closeLoaded();
        return {};
    }

    const PriceLoadResult result = loadFile(workspace, chosen, closeLoaded);
    if (!result)
        return result;

    if (!chosen.toUpper().contains(QLatin1String("_OLD")))
        workspace.execute(ActionId::ComparePrices);

    workspace.setPanelVisible(Workspace::Panel::Price, true);
    if (workspace.isPanelVisible(Workspace::Panel::Order))
        workspace.execute(ActionId::PanelOrderPosition);
    if (workspace.filter().modelActive)
        workspace.execute(ActionId::Models_BuildFilter);
    // The kept price condition holds for the new rows too.
    if (PriceFilter *filter = PriceFilter::of(workspace))
        filter->applyToNewList();
    workspace.requestGridFocus(Workspace::Grid::Price);
    return result;
}

namespace
{
    // A native list's file as it is read: the file itself, or its text made
    // Windows-1251 bytes once when it was saved as UTF-8 or UTF-16.
    struct NativeSource
    {
        QFile file;
        QByteArray converted;
        QBuffer convertedSource;
        QIODevice *device = nullptr;
        qint64 size = 0;
        int undecoded = 0; // lines that did not decode: they count as skipped
    };

    void openNativeSource(NativeSource &in, const QString &path)
    {
        in.file.setFileName(path);
        if (!in.file.open(QIODevice::ReadOnly))
            throw OrdixError(
                QStringLiteral("Не удалось открыть файл прайс-листа %1: %2").arg(path, in.file.errorString()));
        in.size = in.file.size();
        // A price list saved as UTF-8 or UTF-16 is read whole and becomes
        // Windows-1251 bytes once; every other list is read in blocks where
        // it lies. Lines that do not decode count as skipped.
        in.device = &in.file;
        const bool wasConverted = TextEncoding::readWholeIfUtf8(in.file, &in.converted, &in.undecoded);
        if (in.file.error() != QFileDevice::NoError)
            throw OrdixError(
                QStringLiteral("Не удалось прочитать файл прайс-листа %1: %2").arg(path, in.file.errorString()));
        if (wasConverted) {
            in.size = in.converted.size();
            in.convertedSource.setBuffer(&in.converted);
            in.convertedSource.open(QIODevice::ReadOnly);
            in.device = &in.convertedSource;
        }
    }

    // The lines before the first row: the rate line and the header.
    struct NativeHead
    {
        qint64 lineCount = 0;
        bool inData = false;
        bool headerSeen = false;
        PriceColumns columns;
        qint64 dataStart = 0;
        QString rateLine;
    };

    // Reads the lines before the first row one by one.
    NativeHead readNativeHead(Workspace &workspace, NativeSource &in, const QString &path, char separator,
                              int priceMode)
    {
        ProgressReporter &progress = workspace.progress();
        NativeHead head;
        qint64 lineStart = 0;
        const auto readHeadLine = [&](QByteArrayView line, qint64 bytesRead) -> bool {
            const qint64 number = head.lineCount++;
            const qint64 start = lineStart;
            lineStart = bytesRead;
            if (number == 0) {
                progress.stepProgress(10);
                if (firstFieldIsRateKeyword(line, separator)) {
                    head.rateLine = Cp1251::decode(line);
                    return true;
                }
            }
            if (!startsData(line, separator)) {
                const QString text = Cp1251::decode(line);
                if (PriceLoader::isRussianHeader(text)) {
                    head.columns =
                        PriceLoader::columnsFromHeader(text, workspace.settings().priceSeparator, priceMode, false);
                    head.headerSeen = true;
                } else if (PriceLoader::isEnglishHeader(text)) {
                    head.columns =
                        PriceLoader::columnsFromHeader(text, workspace.settings().priceSeparator, priceMode, true);
                    head.headerSeen = true;
                }
                return true;
            }
            head.inData = true;
            head.dataStart = start;
            return false;
        };
        if (!TextFile::forEachLine(*in.device, readHeadLine))
            throw OrdixError(
                QStringLiteral("Не удалось прочитать файл прайс-листа %1: %2").arg(path, in.file.errorString()));
        if (head.lineCount == 0)
            throw OrdixError(QStringLiteral("Файл прайс-листа %1 пуст").arg(path));
        return head;
    }

    // Where each value of a row stands, from the header; throws when the
    // list would give no usable row, so that the loaded one stays.
    PriceLineLayout usableLayout(NativeSource &in, const NativeHead &head, const QString &path, char separator)
    {
        const PriceColumns &columns = head.columns;
        PriceLineLayout layout;
        layout.separator = separator;
        const int map[9] = {columns.status, columns.code,  columns.name,   columns.catalogId, columns.producer,
                            columns.pack,   columns.price, columns.groups, columns.analogues};
        for (int v = 0; v < 9; ++v) {
            layout.map[v] = map[v];
            layout.maxColumn = qMax(layout.maxColumn, map[v]);
        }
        // A list that would give no usable row leaves the loaded one alone.
        if (!head.headerSeen || columns.code == 0 || columns.name == 0) {
            throw OrdixError(QStringLiteral("Файл %1 не похож на прайс-лист: не найдена строка заголовка "
                                            "со столбцами «Код» и «Наименование»%2")
                                 .arg(path,
                                      in.undecoded > 0 ? QStringLiteral(" (строк, которые не читаются в своей "
                                                                        "кодировке: %1)")
                                                             .arg(in.undecoded)
                                                       : QString()));
        }
        if (!head.inData || !hasUsableRow(*in.device, head.dataStart, layout))
            throw OrdixError(QStringLiteral("В прайс-листе %1 нет ни одной строки, которую можно прочитать").arg(path));
        return layout;
    }

    // The loaded list gives way: its search index, then the file name, the
    // empty table and the currency of the new one.
    void replaceLoadedList(Workspace &workspace, const QString &path, const QString &rateLine,
                           const std::function<void()> &beforeReplacing)
    {
        if (beforeReplacing)
            beforeReplacing();
        // The old list's search index goes with it, before the new rows come.
        if (PriceSearch *search = PriceSearch::of(workspace))
            search->priceClosed();
        workspace.setPriceFileName(path);
        try {
            PriceLoader::initializePriceDataSet(workspace);
        } catch (...) {
            workspace.setPriceFileName(QString());
            throw;
        }
        if (rateLine.isEmpty())
            workspace.settings().currencyRateLine.clear();
        else
            selectCurrencyFromRateLine(workspace, rateLine);
    }

    // What reading the rows gave.
    struct NativeRows
    {
        int skipped = 0;
        int cutAnalogues = 0;
        bool stopped = false;
        int widest[7] = {0, 0, 0, 0, 0, 0, 0};
        // A copy: the line it comes from lives only while its block is read.
        QByteArray widestPrice;
    };

    // The rows after the head in blocks on two cores, each line parsed where
    // it lies, the blocks appended in the order of the file. The table's
    // views stay suspended after it; they are resumed when it throws.
    NativeRows readNativeRows(Workspace &workspace, NativeSource &in, qint64 dataStart, const PriceLineLayout &layout,
                              const QString &path)
    {
        RecordTable &table = workspace.price();
        ProgressReporter &progress = workspace.progress();
        const qint64 fileSize = in.size;
        NativeRows rows;
        table.suspendViews();
        bool readFailed = false;
        try {
            {
                bool reserved = false;
                const auto makeBlock = [&]() -> std::unique_ptr<ParallelLineReader::Work> {
                    return std::make_unique<PriceBlock>(table, layout);
                };
                const auto takeBlock = [&](ParallelLineReader::Work &work, qint64 position) -> bool {
                    auto &block = static_cast<PriceBlock &>(work);
                    for (int v = 0; v < 7; ++v) {
                        if (block.widest[v] > rows.widest[v]) {
                            rows.widest[v] = block.widest[v];
                            if (v == FPrice)
                                rows.widestPrice = block.widestPrice;
                        }
                    }
                    if (!reserved && position < fileSize && position > dataStart) {
                        // Room for the rest by the share of each column in
                        // the first block, with a margin; untouched room
                        // costs address space, not memory.
                        const double scale = double(fileSize - dataStart) / double(position - dataStart) * 1.1;
                        std::vector<size_t> textBytes(9, 0);
                        for (int v = 0; v < 9; ++v)
                            textBytes[size_t(v)] = size_t(double(block.batch.textBytes(v)) * scale) + 4096;
                        table.reserve(qint64(double(block.lines) * scale) + 64, textBytes);
                    }
                    reserved = true;
                    // Escape is looked for after every line, as the rows
                    // go in: the rows up to the line it came at stay.
                    const int stopLine = progress.stopRequestedWithin(block.lines);
                    rows.stopped = stopLine >= 0;
                    const int lines = rows.stopped ? stopLine + 1 : block.lines;
                    int failed = 0;
                    if (rows.stopped) {
                        const auto kept =
                            std::upper_bound(block.failedLines.begin(), block.failedLines.end(), lines - 1);
                        failed = int(kept - block.failedLines.begin());
                        block.batch.truncate(lines - failed);
                    } else {
                        failed = int(block.failedLines.size());
                    }
                    const auto &cut = block.cutAnalogueLines;
                    rows.cutAnalogues += int(std::lower_bound(cut.begin(), cut.end(), lines) - cut.begin());
                    rows.skipped += failed + table.appendBatch(block.batch);
                    if (fileSize > 0)
                        progress.stepProgress(
                            int(std::lround(qMin(1.0, double(position) / double(fileSize)) * 90.0 + 10.0)));
                    return !rows.stopped;
                };
                if (!in.device->seek(dataStart))
                    readFailed = true;
                else
                    readFailed = !ParallelLineReader::run(*in.device, fileSize - dataStart, makeBlock, takeBlock);
            }
        } catch (...) {
            table.resumeViews();
            throw;
        }
        if (readFailed) {
            table.resumeViews();
            throw OrdixError(
                QStringLiteral("Не удалось прочитать файл прайс-листа %1: %2").arg(path, in.file.errorString()));
        }
        return rows;
    }

    // The price grid's columns as wide as the widest values read.
    void widenPriceColumns(Workspace &workspace, const NativeRows &rows)
    {
        GridLayout &grid = workspace.grid(Workspace::Grid::Price);
        for (int v = 0; v < 7; ++v)
            grid.raisePreferredWidth(v + 1, rows.widest[v]);
        // The longest price as the grid shows it, measured in the grid's
        // font, with room for the arrow of a changed price at its left.
        bool parsed = false;
        const double widestValue = QString::fromLatin1(rows.widestPrice)
                                       .trimmed()
                                       .replace(QLatin1Char(','), QLatin1Char('.'))
                                       .toDouble(&parsed);
        if (parsed) {
            const QString shown = workspace.formatMoney(qMax(widestValue, workspace.applyDiscount(widestValue)));
            grid.raisePreferredWidth(FPrice + 1, workspace.textWidth(shown) + PriceArrowRoom);
        }
    }

    // The labels and the grid of a native list just loaded.
    void showNativeList(Workspace &workspace, const QString &path, int skipped, int cutAnalogues)
    {
        QString status = QStringLiteral("Прайс-лист загружен");
        if (skipped > 0)
            status += QStringLiteral(". Пропущено строк с ошибками: %1").arg(skipped);
        status += PriceLoader::cutAnaloguesNote(cutAnalogues);
        workspace.setLabel(Workspace::Label::Status, status);
        workspace.setLabel(Workspace::Label::Title,
                           QStringLiteral("Прайс-лист фирмы \"Золт\" на ")
                               + TextFile::dateTimeText(TextFile::fileDateTime(path)));
        workspace.setLabel(Workspace::Label::CurDate, TextFile::longDate(QDate::currentDate()));
        GridLayout &grid = workspace.grid(Workspace::Grid::Price);
        grid.fixedColumns = 2;
        workspace.gridColumnsRebuilt(Workspace::Grid::Price);
        workspace.setPriceLayoutName(QString());
        workspace.setPreviousEditionFile(QString());
    }
}

PriceLoadResult PriceLoader::loadFile(Workspace &workspace, const QString &path,
                                      const std::function<void()> &beforeReplacing)
{
    if (SupplierList::detectFormat(path, workspace.settings().priceSeparator) != ListFormat::Native)
        return SupplierListLoader::load(workspace, path, beforeReplacing);
    RecordTable &table = workspace.price();
    ProgressReporter &progress = workspace.progress();
    const char separator = char(Cp1251::fromUnicode(workspace.settings().priceSeparator.unicode()));
    const int priceMode = workspace.settings().priceMode;

    NativeRows rows;
    {
        const ProgressFinish progressGuard(progress);
        progress.startProgress(QStringLiteral("Loading data..."), 0, 100);

        NativeSource in;
        openNativeSource(in, path);
        const NativeHead head = readNativeHead(workspace, in, path, separator, priceMode);
        const PriceLineLayout layout = usableLayout(in, head, path, separator);
        replaceLoadedList(workspace, path, head.rateLine, beforeReplacing);
        rows = readNativeRows(workspace, in, head.dataStart, layout, path);
        table.releaseSpareRoom();
        rows.skipped += in.undecoded;
        in.file.close();
        widenPriceColumns(workspace, rows);
        // The blocks' memory goes back before the search's index and the
        // name order are built, so that none of them add up; the index is
        // built from the stored rows before the view and the grids take
        // their memory, and its passing memory goes back too.
        openLoadedTable(workspace, table);
    }
    // The load's passing memory (the view's build, the read block) goes back
    // to the system instead of staying with the process.
    returnFreedMemory();
    if (rows.stopped)
        workspace.prompts().message(QStringLiteral("Action stopped"), UserPrompts::Icon::Information);

    showNativeList(workspace, path, rows.skipped, rows.cutAnalogues);
    return {true, int(rows.skipped), int(rows.cutAnalogues)};
}
