#include "supplierlist.h"

#include <algorithm>
#include <cmath>
#include <charconv>

#include <QFile>
#include <QHash>
#include <QFileInfo>
#include <QThread>

#include "cp1251.h"
#include "cp1251cells.h"
#include "csvreader.h"
#include "importcells.h"
#include "ordixerror.h"
#include "pipeline.h"
#include "progressreporter.h"
#include "textencoding.h"
#include "textfile.h"
#include "xlsxreader.h"

namespace
{
    constexpr int PreviewRows = 200;

    // Price table fields the import fills, in the table's order.
    enum Value
    {
        VAvailability = 0,
        VCode,
        VName,
        VPartNumber,
        VMaker,
        VPack,
        VPrice,
        VGroup,
        VAnalogues,
        ValueCount
    };

    bool headerLineOfNativeList(const QString &line)
    {
        const auto has = [&line](const char16_t *marker) { return line.contains(QString::fromUtf16(marker)); };
        const QString lower = line.toLower();
        const auto hasLatin = [&lower](const char *marker) { return lower.contains(QLatin1String(marker)); };
        return ((has(u"|Код") || has(u"Код|")) && (has(u"|Наименование") || has(u"Наименование|")))
            || ((hasLatin("|code") || hasLatin("code|")) && (hasLatin("|name") || hasLatin("name|")));
    }

    // Availability from a stock column: a quantity, or a word.
    int availabilityOf(const SheetCell &cell)
    {
        double v = 0;
        if (ImportCells::number(cell, QChar(), &v))
            return v > 0 ? 1 : 0;
        const QString t = ImportLayout::normalizedHeader(ImportCells::text(cell));
        if (t.isEmpty())
            return 0;
        for (const char16_t *word : {u"нет", u"no", u"отсутствует", u"0"}) {
            if (t == QString::fromUtf16(word))
                return 0;
        }
        for (const char16_t *word : {u"ожида", u"подзаказ", u"expected", u"впути"}) {
            if (t.startsWith(QString::fromUtf16(word)))
                return 3;
        }
        return 1; // "есть", "да", "много", ">10", "+"
    }

    // The written prices of the rows below the header, for the column's
    // decimal mark.
    QList<QString> priceTexts(const QList<SheetRow> &rows, const ImportLayout &layout)
    {
        QList<QString> texts;
        const int column = layout.column(ImportField::Price);
        for (const SheetRow &row : rows) {
            if (column < 0 || column >= row.cells.size() || row.index + 1 <= layout.headerRow)
                continue;
            const SheetCell &cell = row.cells.at(column);
            if (cell.kind == SheetCell::Kind::Text
                && std::any_of(cell.text.begin(), cell.text.end(), [](QChar ch) { return ch.isDigit(); }))
                texts.append(cell.text);
        }
        return texts;
    }

}

ListFormat SupplierList::detectFormat(const QString &path, QChar nativeSeparator)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw OrdixError(QStringLiteral("Не удалось открыть файл прайс-листа %1: %2").arg(path, file.errorString()));
    const QByteArray head = file.read(64 * 1024);
    if (head.trimmed().isEmpty())
        return ListFormat::Native; // its reader says the file is empty
    if (head.startsWith("PK\x03\x04")) {
        if (head.mid(30, 8) == "mimetype" && head.mid(38, 60).contains("opendocument.spreadsheet"))
            return ListFormat::Ods;
        // The members' names stand in the central directory at the end.
        const qint64 size = file.size();
        QByteArray tail;
        if (size > head.size()) {
            file.seek(qMax<qint64>(0, size - 1024 * 1024));
            tail = file.read(1024 * 1024);
        }
        if (head.contains("xl/workbook.xml") || tail.contains("xl/workbook.xml") || head.contains("xl/_rels")
            || tail.contains("xl/_rels"))
            return ListFormat::Xlsx;
        if (head.contains("content.xml") || tail.contains("content.xml"))
            return ListFormat::Ods;
        throw OrdixError(QStringLiteral("Файл %1 — архив zip, но не книга Excel и не таблица OpenDocument").arg(path));
    }
    if (head.startsWith("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"))
        return ListFormat::Xls;
    const QString notWorkbook = SheetReaders::notAWorkbook(head);
    if (!notWorkbook.isEmpty())
        throw OrdixError(notWorkbook.arg(path));

    // Text: the wholesaler's own list has its header line before the first
    // line that begins with a whole number.
    const QByteArray sample = TextEncoding::toCp1251(head);
    const char separator = char(Cp1251::fromUnicode(nativeSeparator.unicode()));
    bool native = false;
    int lines = 0;
    TextFile::forEachLineOfBlock(sample.constData(), size_t(sample.size()), true, [&](QByteArrayView line, size_t) {
        if (++lines > 200)
            return false;
        int position = 1;
        const QByteArrayView first = SplitField(line, position, separator);
        qint32 value = 0;
        if (isWholeNumber(first, &value) && value != -10101) {
            // The wholesaler's data lines (a list without its header is
            // refused by its own reader).
            native = true;
            return false;
        }
        if (headerLineOfNativeList(Cp1251::decode(line))) {
            native = true;
            return false;
        }
        return true;
    });
    return native ? ListFormat::Native : ListFormat::Csv;
}

QString SupplierList::formatName(ListFormat format)
{
    switch (format) {
    case ListFormat::Native:
        return QStringLiteral("txt");
    case ListFormat::Xlsx:
        return QStringLiteral("xlsx");
    case ListFormat::Ods:
        return QStringLiteral("ods");
    case ListFormat::Xls:
        return QStringLiteral("xls");
    case ListFormat::Csv:
        return QStringLiteral("csv");
    }
    return QString();
}

SupplierList::SupplierList(const QString &path)
    : m_path(path)
    , m_format(detectFormat(path, QLatin1Char('|')))
{
    if (m_format == ListFormat::Native)
        m_format = ListFormat::Csv; // read as any delimited text when asked to
    openReader({}, 0);
}

SupplierList::SupplierList(const QString &path, ListFormat format, std::unique_ptr<SheetReader> reader)
    : m_path(path)
    , m_format(format)
    , m_reader(std::move(reader))
{ }

SupplierList::~SupplierList() = default;

void SupplierList::openReader(const QByteArray &encoding, char delimiter)
{
    m_reader = SheetReaders::open(m_path, m_format, encoding, delimiter);
    m_previewRead = false;
}

QList<SheetInfo> SupplierList::sheets() const
{
    return m_reader->sheets();
}

QByteArray SupplierList::encoding() const
{
    return SheetReaders::encodingOf(*m_reader);
}

char SupplierList::delimiter() const
{
    return SheetReaders::delimiterOf(*m_reader);
}

void SupplierList::readPreview()
{
    m_preview.clear();
    const QList<SheetInfo> all = m_reader->sheets();
    if (all.isEmpty())
        throw OrdixError(QStringLiteral("В файле %1 нет ни одного листа").arg(m_path));
    const auto readSheet = [this](int sheet) {
        m_preview.clear();
        m_reader->readSheet(sheet, [this](const SheetRow &row) {
            m_preview.append(row);
            return m_preview.size() < PreviewRows;
        });
    };
    if (m_sheet < 0) {
        // The first visible sheet with data.
        for (int s = 0; s < all.size() && m_sheet < 0; ++s) {
            if (all.at(s).hidden)
                continue;
            readSheet(s);
            if (!m_preview.isEmpty())
                m_sheet = s;
        }
        if (m_sheet < 0) {
            m_sheet = 0;
            readSheet(0);
        }
    } else {
        readSheet(qBound(0, m_sheet, int(all.size()) - 1));
    }
    m_previewRead = true;
}

const QList<SheetRow> &SupplierList::preview()
{
    if (!m_previewRead)
        readPreview();
    return m_preview;
}

void SupplierList::choose(int sheet, const QByteArray &encoding, char delimiter)
{
    if (m_format == ListFormat::Csv)
        openReader(encoding, delimiter);
    m_sheet = sheet;
    m_previewRead = false;
}

void SupplierList::chooseFor(const ImportLayout &layout)
{
    int sheet = m_sheet;
    if (!layout.sheet.isEmpty()) {
        const QList<SheetInfo> all = sheets();
        for (int s = 0; s < all.size(); ++s) {
            if (all.at(s).name == layout.sheet)
                sheet = s;
        }
    }
    if (m_format == ListFormat::Csv && (layout.encoding != encoding() || layout.delimiter != delimiter()))
        choose(sheet, layout.encoding, layout.delimiter);
    else if (sheet != m_sheet)
        choose(sheet);
}

int SupplierList::columnCountOf(const QList<SheetRow> &rows)
{
    int columns = 0;
    for (const SheetRow &row : rows) {
        int last = int(row.cells.size());
        while (last > 0 && row.cells.at(last - 1).isEmpty())
            --last;
        columns = qMax(columns, last);
    }
    return columns;
}

QStringList SupplierList::headerAt(int row)
{
    QStringList header;
    for (const SheetRow &r : preview()) {
        if (r.index + 1 != row)
            continue;
        for (const SheetCell &cell : r.cells)
            header.append(ImportCells::text(cell).trimmed());
        while (!header.isEmpty() && header.constLast().isEmpty())
            header.removeLast();
        break;
    }
    return header;
}

ImportLayout SupplierList::guess(QStringList *why, bool *certain, int headerRow)
{
    ImportLayout layout = LayoutGuess::guess(preview(), why, certain, headerRow);
    layout.fileFormat = formatName(m_format);
    const QList<SheetInfo> all = sheets();
    if (m_sheet >= 0 && m_sheet < all.size() && m_format != ListFormat::Csv)
        layout.sheet = all.at(m_sheet).name;
    layout.encoding = encoding();
    layout.delimiter = delimiter();
    // The decimal mark of the price column, from the preview's texts.
    if (layout.column(ImportField::Price) >= 0)
        layout.decimalMark = ImportCells::decideDecimalMark(priceTexts(preview(), layout));
    return layout;
}

std::optional<LayoutStore::Match> SupplierList::findSaved(const LayoutStore &store)
{
    preview(); // decides the sheet when none was chosen
    const QString sheetName =
        m_format == ListFormat::Csv ? QString() : (m_sheet >= 0 ? sheets().value(m_sheet).name : QString());
    // The header at the row each saved layout names, then the one found.
    QList<int> rows;
    for (const ImportLayout &layout : store.layouts()) {
        if (layout.headerRow >= 0 && !rows.contains(layout.headerRow))
            rows.append(layout.headerRow);
    }
    const int found = LayoutGuess::findHeaderRow(preview());
    if (found >= 0 && !rows.contains(int(preview().at(found).index) + 1))
        rows.append(int(preview().at(found).index) + 1);
    std::optional<LayoutStore::Match> near;
    for (int row : rows) {
        // A list without a header is known by its sheet and its width.
        const QStringList header = row > 0 ? headerAt(row) : QStringList();
        if (row > 0 && header.isEmpty())
            continue;
        std::optional<LayoutStore::Match> m =
            store.match(header, sheetName, row > 0 ? int(header.size()) : columnCountOf(preview()));
        if (m && row == 0 && !m->exact)
            continue;
        if (!m)
            continue;
        m->layout.headerRow = row;
        m->layout.sheet = sheetName;
        if (m->exact)
            return m;
        if (!near)
            near = m;
    }
    return near;
}

PriceLayoutQuestion SupplierList::question(const std::optional<LayoutStore::Match> &match)
{
    PriceLayoutQuestion q;
    q.path = m_path;
    q.format = formatName(m_format);
    q.sheets = sheets();
    // The preview picks the first visible sheet with data when none was chosen.
    q.rows = preview();
    q.sheet = qMax(0, m_sheet);
    bool certain = false;
    const ImportLayout guessed = guess(&q.reasons, &certain);
    q.certain = certain;
    if (match) {
        q.layout = match->layout;
        q.changes = match->changes;
        q.fromSaved = true;
        if (q.layout.columnCount < guessed.columnCount)
            q.layout.columnCount = guessed.columnCount;
    } else {
        q.layout = guessed;
        q.layout.name = QFileInfo(m_path).completeBaseName();
    }
    q.reload = [this](PriceLayoutQuestion &again) {
        choose(again.sheet, again.layout.encoding, again.layout.delimiter);
        const QString name = again.layout.name;
        again.rows = preview();
        again.reasons.clear();
        bool sure = false;
        again.layout = guess(&again.reasons, &sure);
        again.layout.name = name;
        again.certain = sure;
        again.fromSaved = false;
        again.changes.clear();
        again.sheets = sheets();
    };
    return q;
}

namespace
{
    // What the import keeps of the rows of a stretch of the list: each
    // row's class and, for an item, the texts of the nine values
    // (Windows-1251), for a group row its text. Filled on either thread
    // and taken on the calling one; the memory stays from stretch to
    // stretch, so a row allocates nothing.
    // The Windows-1251 byte of each UTF-16 unit: '?' for what the code
    // page lacks (a NUL among them).
    const char *windows1251Bytes()
    {
        static const std::vector<char> table = [] {
            std::vector<char> t(65536);
            for (size_t c = 0; c < t.size(); ++c) {
                const unsigned char b = c != 0 ? Cp1251::fromUnicode(char16_t(c)) : 0;
                t[c] = b ? char(b) : '?';
            }
            return t;
        }();
        return table.data();
    }

    class RowValues final
    {
    public:
        struct Settings
        {
            int columns[ValueCount] = {}; // the column of each value read from a cell; -1: none
            int stockColumn = -1;
            int codeColumn = -1;
            int partColumn = -1;
            int priceColumn = -1;
            QChar decimalMark;
            bool uses1904 = false;
            bool commaDecimal = false;
        };

        struct Row
        {
            RowClass kind = RowClass::Blank;
            bool damaged = false;          // a code or part number a spreadsheet spoilt
            bool refused = false;          // an item the batch refused
            quint32 ends[ValueCount] = {}; // value v: [ends[v - 1] (or start), ends[v])
            quint32 start = 0;
        };

        RowValues(const Settings &settings, const RowClassifier &classifier)
            : m_settings(settings)
            , m_classifier(classifier)
        { }

        void clear()
        {
            m_rows.clear();
            m_used = 0;
        }

        // With `items`, an item goes there too.
        void add(const SheetRow &row, SupplierList::ItemBatch *items = nullptr)
        {
            double price = 0;
            const RowClass kind = m_classifier.classify(row, nullptr, &price);
            add(row, kind, &price);
            Row &added = m_rows.back();
            if (items && added.kind == RowClass::Item) {
                QByteArrayView views[ValueCount];
                for (int v = 0; v < ValueCount; ++v)
                    views[v] = value(added, v);
                added.refused = !items->add(views);
            }
        }

        // `price`: the item's price when the classifier gave it.
        void add(const SheetRow &row, RowClass kind, const double *knownPrice = nullptr)
        {
            Row &out = m_rows.emplace_back();
            out.kind = kind;
            out.start = quint32(m_used);
            if (kind == RowClass::Group) {
                const QByteArray group = Cp1251::encode(RowClassifier::groupText(row));
                std::copy(group.cbegin(), group.cend(), room(size_t(group.size())));
                endAllAt(out, VGroup);
                return;
            }
            if (kind != RowClass::Item) {
                endAllAt(out, 0);
                return;
            }
            const Settings &s = m_settings;
            const SheetCell empty;
            const auto cellAt = [&row, &empty](int column) -> const SheetCell & {
                return column >= 0 && column < row.cells.size() ? row.cells.at(column) : empty;
            };
            *room(1) = char('0' + (s.stockColumn < 0 ? 1 : availabilityOf(cellAt(s.stockColumn))));
            out.ends[VAvailability] = quint32(m_used);
            if (s.codeColumn >= 0) {
                qint32 code = 0;
                ImportCells::wholeNumber(cellAt(s.codeColumn), &code);
                char buffer[16];
                char *end = std::to_chars(buffer, buffer + sizeof buffer, code).ptr;
                std::copy(buffer, end, room(size_t(end - buffer)));
            }
            out.ends[VCode] = quint32(m_used);
            out.damaged =
                ImportCells::isDamagedCode(cellAt(s.codeColumn)) || ImportCells::isDamagedCode(cellAt(s.partColumn));
            for (int v = VName; v <= VPack; ++v)
                out.ends[v] = encodeField(row, s.columns[v]);
            double price = 0;
            if (knownPrice)
                price = *knownPrice;
            else
                ImportCells::number(cellAt(s.priceColumn), m_classifier.decimalMark(), &price);
            char buffer[64];
            const qsizetype length = writePrice(price, buffer);
            std::copy(buffer, buffer + length, room(size_t(length)));
            out.ends[VPrice] = quint32(m_used);
            out.ends[VGroup] = encodeField(row, s.columns[VGroup]);
            out.ends[VAnalogues] = encodeField(row, s.columns[VAnalogues]);
        }

        // As add() of the row of these text cells, given in Windows-1251,
        // for an item the bytes settle; false (and nothing added) for any
        // other row. With `batch`, the item's values go there instead of
        // being kept.
        bool addBytes(qint64 index, const QByteArrayView *cells, qsizetype count, SupplierList::ItemBatch *batch)
        {
            double price = 0;
            qint32 code = 0;
            if (!m_classifier.isPlainItem(index, cells, count, &price, &code))
                return false;
            const Settings &s = m_settings;
            const auto cellAt = [cells, count](int column) {
                return column >= 0 && column < count ? cells[column] : QByteArrayView();
            };
            // The values are views of the cells, or of this for those made
            // here.
            char made[96];
            QByteArrayView values[ValueCount];
            made[0] = '1';
            if (s.stockColumn >= 0) {
                const QByteArrayView stock = cellAt(s.stockColumn);
                double v = 0;
                if (Cp1251Cells::number(stock, QChar(), &v))
                    made[0] = v > 0 ? '1' : '0';
                else
                    made[0] = availabilityOfWord(stock);
            }
            values[VAvailability] = QByteArrayView(made, 1);
            if (s.codeColumn >= 0) {
                // Plain digits are the code as written.
                const QByteArrayView written = cellAt(s.codeColumn);
                if (!written.isEmpty() && written.size() <= 9 && written.front() != '0'
                    && std::all_of(written.begin(), written.end(), [](char c) { return c >= '0' && c <= '9'; }))
                    values[VCode] = written;
                else
                    values[VCode] = QByteArrayView(made + 1, std::to_chars(made + 1, made + 16, code).ptr);
            }
            for (int v = VName; v <= VPack; ++v)
                values[v] = Cp1251Cells::trimmed(cellAt(s.columns[v]));
            qsizetype length = plainPrice(cellAt(s.priceColumn), made + 16);
            if (length < 0)
                length = writePrice(price, made + 16);
            values[VPrice] = QByteArrayView(made + 16, length);
            values[VGroup] = Cp1251Cells::trimmed(cellAt(s.columns[VGroup]));
            values[VAnalogues] = Cp1251Cells::trimmed(cellAt(s.columns[VAnalogues]));

            Row &out = m_rows.emplace_back();
            out.kind = RowClass::Item;
            out.start = quint32(m_used);
            out.damaged = (s.codeColumn >= 0 && Cp1251Cells::isDamagedCode(cellAt(s.codeColumn)))
                || (s.partColumn >= 0 && Cp1251Cells::isDamagedCode(cellAt(s.partColumn)));
            if (batch) {
                out.refused = !batch->add(values);
                endAllAt(out, 0);
                return true;
            }
            for (int v = 0; v < ValueCount; ++v) {
                std::copy(values[v].begin(), values[v].end(), room(size_t(values[v].size())));
                out.ends[v] = quint32(m_used);
            }
            return true;
        }

        const std::vector<Row> &rows() const { return m_rows; }
        std::vector<Row> &rows() { return m_rows; }
        QByteArrayView value(const Row &row, int v) const
        {
            const quint32 begin = v == 0 ? row.start : row.ends[v - 1];
            return QByteArrayView(m_text.data() + begin, qsizetype(row.ends[v] - begin));
        }

    private:
        void endAllAt(Row &out, int filled)
        {
            for (int v = 0; v < ValueCount; ++v)
                out.ends[v] = v < filled ? out.start : quint32(m_used);
        }

        // `size` more bytes of text; the buffer only grows, and is not
        // cleared.
        char *room(size_t size)
        {
            if (m_used + size > m_text.size())
                m_text.resize(std::max(m_text.size() * 2, m_used + size + 4096));
            char *at = m_text.data() + m_used;
            m_used += size;
            return at;
        }

        // The price as the table reads it: up to four decimals, none
        // trailing, with the program's decimal mark, written at `to` (room
        // for 64 bytes); returns its length.
        qsizetype writePrice(double price, char *to) const
        {
            const auto written = std::to_chars(to, to + 64, price, std::chars_format::fixed, 4);
            qsizetype length = written.ec == std::errc() ? written.ptr - to : 0;
            while (length > 0 && to[length - 1] == '0')
                --length;
            if (length > 0 && to[length - 1] == '.')
                --length;
            if (m_settings.commaDecimal)
                std::replace(to, to + length, '.', ',');
            return length;
        }

        // The price as writePrice() writes it, taken from a plain text
        // ("43586,02": up to nine digits, and four after the decimal mark),
        // whose value is near enough to it for the decimals to read the
        // same; -1 for any other text.
        qsizetype plainPrice(QByteArrayView text, char *to) const
        {
            text = Cp1251Cells::trimmed(text);
            const QChar mark = m_classifier.decimalMark();
            qsizetype digits = 0;
            while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9')
                ++digits;
            qsizetype decimals = 0;
            if (digits < text.size()) {
                if ((text[digits] != '.' && text[digits] != ',')
                    || (!mark.isNull() && QLatin1Char(text[digits]) != mark))
                    return -1;
                while (digits + 1 + decimals < text.size() && text[digits + 1 + decimals] >= '0'
                       && text[digits + 1 + decimals] <= '9')
                    ++decimals;
                if (decimals == 0 || digits + 1 + decimals != text.size())
                    return -1;
            }
            if (digits == 0 || digits > 9 || decimals > 4)
                return -1;
            qsizetype lead = 0;
            while (lead + 1 < digits && text[lead] == '0')
                ++lead;
            QByteArrayView fraction = text.sliced(digits).sliced(qMin<qsizetype>(1, text.size() - digits));
            while (!fraction.isEmpty() && fraction.back() == '0')
                fraction.chop(1);
            char *end = std::copy(text.begin() + lead, text.begin() + digits, to);
            if (!fraction.isEmpty()) {
                *end++ = m_settings.commaDecimal ? ',' : '.';
                end = std::copy(fraction.begin(), fraction.end(), end);
            }
            return end - to;
        }

        // Availability from a word in a stock column ("есть", "нет"): a
        // list has few of them, each worked out once.
        char availabilityOfWord(QByteArrayView word)
        {
            const QByteArray key = QByteArray::fromRawData(word.data(), word.size());
            const auto known = m_availability.constFind(key);
            if (known != m_availability.constEnd())
                return known.value();
            const char value = char('0' + availabilityOf(textCell(word)));
            if (m_availability.size() < 1024)
                m_availability.insert(word.toByteArray(), value);
            return value;
        }

        static SheetCell textCell(QByteArrayView text)
        {
            SheetCell cell;
            cell.kind = SheetCell::Kind::Text;
            cell.text = Cp1251::decode(text);
            return cell;
        }

        // The cell's text, trimmed, in Windows-1251 ('?' for what it
        // lacks); returns where it ends.
        quint32 encodeField(const SheetRow &row, int column)
        {
            if (column < 0 || column >= row.cells.size())
                return quint32(m_used);
            const SheetCell &cell = row.cells.at(column);
            QStringView text;
            if (cell.kind == SheetCell::Kind::Text) {
                text = ImportCells::trimmed(cell.text);
            } else {
                m_scratch = ImportCells::text(cell, m_settings.uses1904).trimmed();
                text = m_scratch;
            }
            char *to = room(size_t(text.size()));
            const char *const table = windows1251Bytes();
            const char16_t *from = text.utf16();
            for (qsizetype i = 0; i < text.size(); ++i)
                to[i] = table[from[i]];
            return quint32(m_used);
        }

        const Settings &m_settings;
        const RowClassifier &m_classifier;
        std::vector<Row> m_rows;
        std::vector<char> m_text;
        size_t m_used = 0;
        QString m_scratch;
        QHash<QByteArray, char> m_availability;
    };

    class CsvRowValues final : public CsvReader::ChunkWork
    {
    public:
        // `batch`: where the items go on this thread, if anywhere.
        CsvRowValues(const RowValues::Settings &settings, const RowClassifier &classifier,
                     std::unique_ptr<SupplierList::ItemBatch> batch)
            : values(settings, classifier)
            , batch(std::move(batch))
        { }
        void clear() override
        {
            values.clear();
            if (batch)
                batch->clear();
        }
        void row(const SheetRow &row) override { values.add(row, batch.get()); }
        bool bytesRow(qint64 index, const QByteArrayView *fields, qsizetype count) override
        {
            return values.addBytes(index, fields, count, batch.get());
        }

        RowValues values;
        std::unique_ptr<SupplierList::ItemBatch> batch;
    };
}

namespace
{
    // The rows of a workbook read on their bytes into the values of the
    // items, as RowValues::add() makes them of the same rows read as
    // cells: the texts as they are, the numbers written as the import reads
    // them in their columns. A row where that is not plain (a number shown
    // as a date, a string the code page lacks, anything but an item) goes
    // as cells.
    class XlsxItems final
    {
    public:
        XlsxItems(const XlsxReader &reader, const RowValues::Settings &settings, const ImportLayout &layout)
            : m_reader(reader)
            , m_mark(settings.decimalMark == QLatin1Char(',') ? ',' : '.')
        {
            int columns = 0;
            for (int c : settings.columns)
                columns = qMax(columns, c + 1);
            for (int c : {settings.stockColumn, settings.codeColumn, settings.priceColumn})
                columns = qMax(columns, c + 1);
            columns = qMax(columns, int(layout.header.size()));
            m_roles.assign(size_t(columns), Other);
            const auto mark = [this](int column, quint8 role) {
                if (column >= 0)
                    m_roles[size_t(column)] |= role;
            };
            for (int v = VName; v < ValueCount; ++v) {
                if (v != VPrice)
                    mark(settings.columns[v], Text);
            }
            mark(settings.stockColumn, Value);
            mark(settings.codeColumn, Value | Code);
            mark(settings.priceColumn, Value);
            mark(settings.partColumn, Code);
            // A number where the header has a number: the header the row
            // repeats is counted on cells as texts, not on numbers.
            for (qsizetype c = 0; c < layout.header.size(); ++c) {
                const QString &h = layout.header.at(c);
                if (!h.isEmpty() && std::all_of(h.begin(), h.end(), [](QChar ch) {
                        return ch.isDigit() || QStringView(u".,-+Ee ").contains(ch);
                    }))
                    m_roles[size_t(c)] |= Numeric;
            }
            for (const QString &format : reader.styleFormats()) {
                m_styles.push_back({ImportCells::zeroPadding(format), ImportCells::isDateFormat(format),
                                    format.contains(QLatin1String("E+"), Qt::CaseInsensitive)});
            }
        }

        // With `items`, the items go there rather than into `values`.
        void add(const XlsxReader::ByteRows &batch, RowValues &values, SupplierList::ItemBatch *items)
        {
            for (const XlsxReader::ByteRows::Row &row : batch.rows) {
                if (row.slow >= 0) {
                    values.add(batch.slowRows[size_t(row.slow)], items);
                    continue;
                }
                const XlsxReader::ByteCell *cells = batch.cells.data() + row.first;
                if (plain(cells, row.count) && values.addBytes(row.index, m_views.data(), row.count, items))
                    continue;
                m_row.index = row.index;
                m_row.hidden = row.hidden;
                m_row.cells.resize(row.count);
                for (quint32 c = 0; c < row.count; ++c)
                    m_row.cells[c] = m_reader.cellOf(cells[c]);
                values.add(m_row, items);
            }
        }

    private:
        enum Role : quint8
        {
            Other = 0,
            Text = 1,    // a text of the item: a number as its format shows it
            Value = 2,   // read as a number: written so that it reads the same
            Code = 4,    // a code or part number: spoilt by an exponent format
            Numeric = 8, // the header there looks like a number
        };
        static constexpr qsizetype NumberRoom = 64;
        struct Style
        {
            int zeros = 0;
            bool date = false;
            bool exponent = false;
        };

        // Sets m_views to the texts of the cells; false where a cell is not
        // plain.
        bool plain(const XlsxReader::ByteCell *cells, quint32 count)
        {
            if (m_views.size() < count) {
                m_views.resize(count);
                m_numbers.resize(size_t(count) * NumberRoom);
            }
            char *numbers = m_numbers.data();
            for (quint32 c = 0; c < count; ++c) {
                const XlsxReader::ByteCell &cell = cells[c];
                switch (cell.kind) {
                case XlsxReader::ByteCell::Kind::Empty:
                    m_views[c] = QByteArrayView();
                    break;
                case XlsxReader::ByteCell::Kind::Text:
                    m_views[c] = QByteArrayView(cell.text, cell.size);
                    break;
                case XlsxReader::ByteCell::Kind::Unicode:
                    return false;
                case XlsxReader::ByteCell::Kind::Number: {
                    const qsizetype size = number(cell, c < m_roles.size() ? m_roles[c] : quint8(Other), numbers);
                    if (size < 0)
                        return false;
                    m_views[c] = QByteArrayView(numbers, size);
                    numbers += size;
                    break;
                }
                }
            }
            return true;
        }

        // Writes the text of a number cell at `to` (room for NumberRoom
        // bytes) and returns its length; -1 where it is not plain.
        qsizetype number(const XlsxReader::ByteCell &cell, quint8 role, char *to) const
        {
            const Style style = cell.index < m_styles.size() ? m_styles[cell.index] : Style();
            const double v = cell.number;
            if ((role & Numeric) || ((role & Text) && (role & Value)) || !std::isfinite(v) || std::fabs(v) >= 1e15
                || (v == 0 && std::signbit(v)) || ((role & Code) && style.exponent) || ((role & Text) && style.date))
                return -1;
            char *const buffer = to;
            char *end = buffer;
            if (v == std::floor(v)) {
                const auto whole = qint64(v);
                end = std::to_chars(buffer, buffer + NumberRoom, whole).ptr;
                if ((role & Text) && style.zeros > end - buffer && v >= 0) {
                    if (style.zeros >= NumberRoom)
                        return -1;
                    const qsizetype pad = style.zeros - (end - buffer);
                    std::memmove(buffer + pad, buffer, size_t(end - buffer));
                    std::fill(buffer, buffer + pad, '0');
                    end += pad;
                }
            } else if (role & Text) {
                // Shown as a spreadsheet shows it, with up to 15 digits: the
                // shortest form where that has no more, and no exponent.
                if (std::fabs(v) < 1e-4)
                    return -1;
                const auto written = std::to_chars(buffer, buffer + NumberRoom, v, std::chars_format::fixed);
                if (written.ec != std::errc())
                    return -1;
                end = written.ptr;
                int digits = 0;
                for (const char *p = buffer; p != end; ++p) {
                    if (*p >= '0' && *p <= '9' && (digits > 0 || *p != '0'))
                        ++digits;
                }
                if (digits > 15)
                    return -1;
            } else {
                // A form that reads back as the same number, plain: up to 15
                // digits, as the import reads exactly. The file's own where
                // it is such (it was read to this number), else the shortest.
                if (cell.text && cell.size < NumberRoom) {
                    end = std::copy(cell.text, cell.text + cell.size, buffer);
                } else {
                    const auto written = std::to_chars(buffer, buffer + NumberRoom, v, std::chars_format::fixed);
                    if (written.ec != std::errc())
                        return -1;
                    end = written.ptr;
                }
                int digits = 0;
                int decimals = -1;
                for (char *p = buffer; p != end; ++p) {
                    if (*p == '.' && decimals < 0 && p + 1 != end) {
                        decimals = 0;
                        *p = m_mark;
                    } else if (*p >= '0' && *p <= '9') {
                        ++digits;
                        decimals += decimals >= 0 ? 1 : 0;
                    } else if (*p != '-' || p != buffer) {
                        return -1;
                    }
                }
                if (digits == 0 || digits > 15 || decimals > 11 || buffer[v < 0 ? 1 : 0] == m_mark)
                    return -1;
            }
            return end - buffer;
        }

        const XlsxReader &m_reader;
        const char m_mark;
        std::vector<quint8> m_roles; // by column
        std::vector<Style> m_styles;
        std::vector<QByteArrayView> m_views;
        std::vector<char> m_numbers; // the texts of a row's numbers
        SheetRow m_row;
    };
}

SupplierList::Result SupplierList::read(const ImportLayout &layout,
                                        const std::function<bool(const QByteArrayView *values)> &onItem,
                                        ProgressReporter *progress, const ItemBatches *batches)
{
    chooseFor(layout);
    Result result;
    RowClassifier classifier(layout);
    if (classifier.decimalMark().isNull()) {
        // Decided from the data, not cell by cell.
        classifier.setDecimalMark(ImportCells::decideDecimalMark(priceTexts(preview(), layout)));
    }
    RowValues::Settings settings;
    std::fill(std::begin(settings.columns), std::end(settings.columns), -1);
    settings.columns[VName] = layout.column(ImportField::Name);
    settings.columns[VPartNumber] = layout.column(ImportField::PartNumber);
    settings.columns[VMaker] = layout.column(ImportField::Maker);
    settings.columns[VPack] = layout.column(ImportField::Pack);
    settings.columns[VGroup] = layout.column(ImportField::Group);
    settings.columns[VAnalogues] = layout.column(ImportField::Analogues);
    settings.stockColumn = layout.column(ImportField::Stock);
    settings.codeColumn = layout.column(ImportField::Code);
    settings.partColumn = layout.column(ImportField::PartNumber);
    settings.priceColumn = layout.column(ImportField::Price);
    settings.decimalMark = classifier.decimalMark();
    settings.uses1904 = m_reader->uses1904Dates();
    settings.commaDecimal = Decimal::separator() == QLatin1Char(',');
    const bool groupColumn = settings.columns[VGroup] >= 0;

    // The rows in file order, on the calling thread.
    QByteArray group;
    QByteArrayView views[ValueCount];
    qint64 rows = 0;
    // `batch`: where the stretch's items went already.
    const auto takeRows = [&](const RowValues &values, ItemBatch *batch) -> bool {
        int batched = 0;
        for (const RowValues::Row &row : values.rows()) {
            ++rows;
            if (row.kind == RowClass::Group)
                group = values.value(row, VGroup).toByteArray();
            if (row.kind != RowClass::Item) {
                ++result.counts[size_t(row.kind)];
            } else {
                if (row.damaged)
                    ++result.damagedCodes;
                bool taken = false;
                if (batch) {
                    taken = !row.refused;
                    batched += taken ? 1 : 0;
                } else {
                    for (int v = 0; v < ValueCount; ++v)
                        views[v] = values.value(row, v);
                    if (!groupColumn)
                        views[VGroup] = group;
                    taken = onItem(views);
                }
                ++result.counts[size_t(taken ? RowClass::Item : RowClass::Unreadable)];
            }
            if (progress && rows % 4096 == 0) {
                progress->stepProgress(10 + int(qMin<qint64>(80, rows / 20000)));
                if (progress->stopRequested()) {
                    result.stopped = true;
                    if (batch) {
                        batch->truncate(batched);
                        batches->take(*batch);
                    }
                    return false;
                }
            }
        }
        if (batch)
            batches->take(*batch);
        return true;
    };

    auto *csv = dynamic_cast<CsvReader *>(m_reader.get());
    if (csv && csv->readsInChunks()) {
        // A text file is cut into chunks of records on its bytes: both cores
        // split, sort and encode them, and the items go out in order.
        // Items that carry their own group need nothing from the rows before
        // them: they go into the caller's batches on both threads too.
        const bool batched = batches && groupColumn;
        csv->readChunks(
            qMax(1, layout.headerRow),
            [&]() -> std::unique_ptr<CsvReader::ChunkWork> {
                return std::make_unique<CsvRowValues>(settings, classifier, batched ? batches->make() : nullptr);
            },
            [&](CsvReader::ChunkWork &work) {
                auto &chunk = static_cast<CsvRowValues &>(work);
                return takeRows(chunk.values, chunk.batch.get());
            });
        result.notes = m_reader->notes();
        return result;
    }

    if (auto *xlsx = dynamic_cast<XlsxReader *>(m_reader.get())) {
        // A workbook is read on its bytes on one core while the other makes
        // the items; those that carry their own group go straight into the
        // caller's batches.
        XlsxItems items(*xlsx, settings, layout);
        RowValues values(settings, classifier);
        const std::unique_ptr<ItemBatch> itemBatch = batches && groupColumn ? batches->make() : nullptr;
        const int sheet = qMax(0, m_sheet);
        Pipeline::run<XlsxReader::ByteRows>(
            [xlsx, sheet](const std::function<bool(XlsxReader::ByteRows &)> &hand) {
                xlsx->readSheetBytes(sheet, hand);
            },
            [&](XlsxReader::ByteRows &batch) {
                values.clear();
                if (itemBatch)
                    itemBatch->clear();
                items.add(batch, values, itemBatch.get());
                return takeRows(values, itemBatch.get());
            });
        result.notes = m_reader->notes();
        return result;
    }

    RowValues single(settings, classifier);
    const auto processRow = [&](const SheetRow &row, RowClass kind) -> bool {
        single.clear();
        single.add(row, kind);
        return takeRows(single, nullptr);
    };
    // Every row is done with before the read returns: the reader may hand
    // out texts from its own memory.
    struct Borrow
    {
        SheetReader &reader;
        explicit Borrow(SheetReader &r)
            : reader(r)
        {
            reader.setBorrowedTexts(true);
        }
        ~Borrow() { reader.setBorrowedTexts(false); }
    } borrow(*m_reader);
    // A text file is split quickly: its reading thread sorts the rows too.
    readRows(
        qMax(0, m_sheet), [&classifier](const SheetRow &row) { return classifier.classify(row); },
        m_format == ListFormat::Csv, processRow);
    result.notes = m_reader->notes();
    return result;
}

namespace
{
    // A text into a string that keeps its memory from row to row; a
    // borrowed text (no memory of its own) is taken as it is.
    void copyText(const QString &from, QString &to)
    {
        if (from.capacity() == 0) {
            to = from;
            return;
        }
        to.resize(from.size());
        std::copy_n(from.constData(), from.size(), to.data());
    }

    void copyRow(const SheetRow &from, SheetRow &to)
    {
        to.index = from.index;
        to.hidden = from.hidden;
        if (to.cells.size() != from.cells.size())
            to.cells.resize(from.cells.size());
        SheetCell *out = to.cells.data();
        for (const SheetCell &cell : from.cells) {
            out->kind = cell.kind;
            out->number = cell.number;
            copyText(cell.text, out->text);
            copyText(cell.numberFormat, out->numberFormat);
            ++out;
        }
    }
}

void SupplierList::readRows(int sheet, const std::function<RowClass(const SheetRow &)> &classify,
                            bool classifyWhileReading,
                            const std::function<bool(const SheetRow &, RowClass)> &processRow)
{
    if (QThread::idealThreadCount() < 2) {
        m_reader->readSheet(sheet, [&](const SheetRow &row) { return processRow(row, classify(row)); });
        return;
    }
    // Two cores: the file is read on one while the rows are turned into
    // items on the other, handed over in chunks. The chunks go round: their
    // rows keep their memory, so a row costs copies of its texts and no
    // allocation.
    struct Chunk
    {
        std::vector<SheetRow> rows;
        std::vector<RowClass> classes;
        size_t used = 0;
    };
    constexpr size_t ChunkRows = 512;
    Pipeline::run<Chunk>(
        [&](const std::function<bool(Chunk &)> &hand) {
            Chunk chunk;
            m_reader->readSheet(sheet, [&](const SheetRow &row) {
                if (chunk.rows.size() <= chunk.used) {
                    chunk.rows.resize(chunk.used + 1);
                    chunk.classes.resize(chunk.used + 1);
                }
                if (classifyWhileReading)
                    chunk.classes[chunk.used] = classify(row);
                copyRow(row, chunk.rows[chunk.used++]);
                return chunk.used < ChunkRows || hand(chunk);
            });
            if (chunk.used > 0)
                hand(chunk);
        },
        [&](Chunk &chunk) {
            for (size_t r = 0; r < chunk.used; ++r) {
                const SheetRow &row = chunk.rows[r];
                if (!processRow(row, classifyWhileReading ? chunk.classes[r] : classify(row)))
                    return false;
            }
            chunk.used = 0;
            return true;
        });
}
