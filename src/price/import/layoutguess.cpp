#include "layoutguess.h"

#include <algorithm>
#include <cmath>

#include <QHash>
#include <QSet>

#include "cp1251.h"
#include "cp1251cells.h"
#include "importcells.h"

namespace
{
    // Normalised header words of each field; a header cell names a field
    // when its normalised text equals one of them, or begins with one of
    // the longer ones ("ценаруб" for "Цена, руб.").
    struct Synonyms
    {
        ImportField field;
        QStringList words;
    };

    const QList<Synonyms> &synonyms()
    {
        static const QList<Synonyms> list = {
            {ImportField::Code,
             {QStringLiteral("код"), QStringLiteral("кодтовара"), QStringLiteral("кодпоставщика"),
              QStringLiteral("code"), QStringLiteral("id"), QStringLiteral("itemcode"), QStringLiteral("productcode")}},
            {ImportField::PartNumber,
             {QStringLiteral("артикул"), QStringLiteral("каталожныйномер"), QStringLiteral("номердетали"),
              QStringLiteral("номерпокаталогу"), QStringLiteral("oem"), QStringLiteral("oemномер"),
              QStringLiteral("partnumber"), QStringLiteral("partno"), QStringLiteral("pn"), QStringLiteral("article"),
              QStringLiteral("sku"), QStringLiteral("catalognumber"), QStringLiteral("itemmark"),
              QStringLiteral("mpn")}},
            {ImportField::Name,
             {QStringLiteral("наименование"), QStringLiteral("номенклатура"), QStringLiteral("название"),
              QStringLiteral("товар"), QStringLiteral("описание"), QStringLiteral("name"),
              QStringLiteral("description"), QStringLiteral("product"), QStringLiteral("productname"),
              QStringLiteral("item"), QStringLiteral("itemname")}},
            {ImportField::Maker,
             {QStringLiteral("производитель"), QStringLiteral("бренд"), QStringLiteral("марка"),
              QStringLiteral("изготовитель"), QStringLiteral("фирма"), QStringLiteral("brand"),
              QStringLiteral("manufacturer"), QStringLiteral("maker"), QStringLiteral("producer"),
              QStringLiteral("vendor"), QStringLiteral("make")}},
            {ImportField::Pack,
             {QStringLiteral("кратность"), QStringLiteral("нормаупаковки"), QStringLiteral("упаковка"),
              QStringLiteral("вупаковке"), QStringLiteral("минпартия"), QStringLiteral("package"),
              QStringLiteral("pack"), QStringLiteral("packsize"), QStringLiteral("multiplicity"),
              QStringLiteral("moq")}},
            {ImportField::Price,
             {QStringLiteral("цена"), QStringLiteral("стоимость"), QStringLiteral("розница"), QStringLiteral("ценаопт"),
              QStringLiteral("оптоваяцена"), QStringLiteral("price"), QStringLiteral("cost"),
              QStringLiteral("unitprice")}},
            {ImportField::Group,
             {QStringLiteral("группа"), QStringLiteral("категория"), QStringLiteral("раздел"),
              QStringLiteral("каталог"), QStringLiteral("каталоги"), QStringLiteral("группатоваров"),
              QStringLiteral("group"), QStringLiteral("category"), QStringLiteral("catalogues")}},
            {ImportField::Analogues,
             {QStringLiteral("аналоги"), QStringLiteral("аналогикоды"), QStringLiteral("кроссы"),
              QStringLiteral("замены"), QStringLiteral("analogues"), QStringLiteral("analogs"),
              QStringLiteral("crosses"), QStringLiteral("replacements")}},
            {ImportField::Stock,
             {QStringLiteral("наличие"), QStringLiteral("остаток"), QStringLiteral("остатки"), QStringLiteral("склад"),
              QStringLiteral("статус"), QStringLiteral("количество"), QStringLiteral("stock"), QStringLiteral("qty"),
              QStringLiteral("quantity"), QStringLiteral("available"), QStringLiteral("availability"),
              QStringLiteral("status")}},
        };
        return list;
    }

    QString cellText(const SheetRow &row, int column)
    {
        return column >= 0 && column < row.cells.size() ? ImportCells::text(row.cells.at(column)).trimmed() : QString();
    }

    bool cellFilled(const SheetCell &cell)
    {
        if (cell.kind != SheetCell::Kind::Text)
            return !cell.isEmpty();
        // Any character but a blank.
        return std::any_of(cell.text.cbegin(), cell.text.cend(),
                           [](QChar c) { return !ImportCells::isSpace(c.unicode()); });
    }

    bool isFilled(const SheetRow &row, int column)
    {
        return column >= 0 && column < row.cells.size() && cellFilled(row.cells.at(column));
    }

    int nonEmptyCells(const SheetRow &row)
    {
        int n = 0;
        for (const SheetCell &cell : row.cells) {
            if (cellFilled(cell))
                ++n;
        }
        return n;
    }

    bool hasDigit(const QString &text)
    {
        return std::any_of(text.begin(), text.end(), [](QChar ch) { return ch.isDigit(); });
    }

    bool hasLetter(const QString &text)
    {
        return std::any_of(text.begin(), text.end(), [](QChar ch) { return ch.isLetter(); });
    }

    // What a column's values look like.
    struct ColumnStats
    {
        int filled = 0;
        int numbers = 0;    // read as numbers
        int fractional = 0; // numbers with decimals
        int whole = 0;      // whole numbers in the 32-bit range
        int tokens = 0;     // short texts with digits and no inner blanks
        int lists = 0;      // "123, 456"
        int words = 0;      // texts with letters
        int distinct = 0;
        double meanLength = 0;
    };

    // Over the rows below the header that have a price where the header
    // names its column (so group and total rows do not count).
    ColumnStats statsOf(const QList<SheetRow> &rows, int first, int column, int priceColumn, const QStringList &header)
    {
        ColumnStats s;
        QSet<QString> seen;
        qint64 length = 0;
        for (int r = first; r < rows.size(); ++r) {
            if (column >= rows.at(r).cells.size())
                continue;
            if (priceColumn >= 0
                && (priceColumn >= rows.at(r).cells.size()
                    || ImportCells::text(rows.at(r).cells.at(priceColumn)).trimmed().isEmpty()))
                continue;
            if (column < header.size() && !header.at(column).isEmpty()
                && ImportLayout::normalizedHeader(ImportCells::text(rows.at(r).cells.at(column)))
                    == ImportLayout::normalizedHeader(header.at(column)))
                continue; // the header repeated
            const SheetCell &cell = rows.at(r).cells.at(column);
            const QString t = ImportCells::text(cell).trimmed();
            if (t.isEmpty())
                continue;
            ++s.filled;
            length += t.size();
            seen.insert(t);
            double v = 0;
            if (ImportCells::number(cell, QChar(), &v)) {
                ++s.numbers;
                if (v != std::floor(v) || t.contains(u',') || t.contains(u'.'))
                    ++s.fractional;
                qint32 w = 0;
                if (ImportCells::wholeNumber(cell, &w))
                    ++s.whole;
            }
            if (t.size() >= 3 && t.size() <= 30 && hasDigit(t) && !t.contains(u' ') && !t.contains(u','))
                ++s.tokens;
            if (t.contains(u',') && hasDigit(t) && t.split(u',').size() >= 2 && !hasLetter(t.left(1)))
                ++s.lists;
            if (hasLetter(t))
                ++s.words;
        }
        s.distinct = int(seen.size());
        s.meanLength = s.filled > 0 ? double(length) / s.filled : 0;
        return s;
    }
}

QString RowClasses::title(RowClass rowClass)
{
    switch (rowClass) {
    case RowClass::Title:
        return QStringLiteral("над заголовком");
    case RowClass::Header:
        return QStringLiteral("заголовок");
    case RowClass::Item:
        return QStringLiteral("товар");
    case RowClass::Group:
        return QStringLiteral("группа");
    case RowClass::RepeatedHeader:
        return QStringLiteral("повтор заголовка");
    case RowClass::Total:
        return QStringLiteral("итог");
    case RowClass::Blank:
        return QStringLiteral("пустая");
    case RowClass::Unreadable:
        return QStringLiteral("не читается");
    case RowClass::Count:
        break;
    }
    return QString();
}

QString RowClasses::key(RowClass rowClass)
{
    static const char *keys[] = {"title", "header", "item", "group", "repeated-header", "total", "blank", "unreadable"};
    const int i = int(rowClass);
    return i >= 0 && i < count ? QString::fromLatin1(keys[i]) : QString();
}

ImportField LayoutGuess::fieldOfHeader(const QString &cell)
{
    QString n = ImportLayout::normalizedHeader(cell);
    if (n.isEmpty())
        return ImportField::None;
    // Units after the name: "Цена, руб.", "Price, USD", "Остаток, шт".
    for (const char16_t *unit : {u"руб", u"rub", u"rur", u"usd", u"eur", u"шт", u"pcs", u"р"}) {
        const QString u = QString::fromUtf16(unit);
        if (n.size() > u.size() + 2 && n.endsWith(u))
            n.chop(u.size());
    }
    for (const Synonyms &s : synonyms()) {
        if (s.words.contains(n))
            return s.field;
    }
    for (const Synonyms &s : synonyms()) {
        for (const QString &w : s.words) {
            if (w.size() >= 4 && n.startsWith(w))
                return s.field;
        }
    }
    return ImportField::None;
}

int LayoutGuess::findHeaderRow(const QList<SheetRow> &rows)
{
    int best = -1;
    int bestHits = 1;
    const int limit = qMin(int(rows.size()), 40);
    for (int r = 0; r < limit; ++r) {
        QSet<int> fields;
        for (const SheetCell &cell : rows.at(r).cells) {
            if (cell.kind != SheetCell::Kind::Text)
                continue;
            const ImportField f = fieldOfHeader(cell.text);
            if (f != ImportField::None)
                fields.insert(int(f));
        }
        if (int(fields.size()) > bestHits) {
            bestHits = int(fields.size());
            best = r;
        }
    }
    return best;
}

ImportLayout LayoutGuess::guess(const QList<SheetRow> &rows, QStringList *why, bool *certain, int headerRow)
{
    ImportLayout layout;
    int headerIndex = -1;
    if (headerRow < 0) {
        headerIndex = findHeaderRow(rows);
    } else {
        for (int r = 0; r < rows.size() && headerRow > 0; ++r) {
            if (rows.at(r).index + 1 == headerRow)
                headerIndex = r;
        }
    }
    int columns = 0;
    for (const SheetRow &row : rows) {
        int last = int(row.cells.size());
        while (last > 0 && row.cells.at(last - 1).isEmpty())
            --last;
        columns = qMax(columns, last);
    }
    QStringList reasons(columns);
    if (headerIndex >= 0) {
        const SheetRow &header = rows.at(headerIndex);
        layout.headerRow = int(header.index) + 1;
        for (int c = 0; c < header.cells.size(); ++c)
            layout.header.append(ImportCells::text(header.cells.at(c)).trimmed());
        while (!layout.header.isEmpty() && layout.header.constLast().isEmpty())
            layout.header.removeLast();
        layout.columnCount = int(layout.header.size());
        for (int c = 0; c < layout.header.size(); ++c) {
            const ImportField f = fieldOfHeader(layout.header.at(c));
            if (f == ImportField::None)
                continue;
            // The price: the rightmost column that names one; the others:
            // the first.
            if (layout.column(f) >= 0 && f != ImportField::Price)
                continue;
            if (layout.column(f) >= 0)
                reasons[layout.column(f)] = QStringLiteral("цена правее");
            layout.setColumn(f, c);
            reasons[c] = QStringLiteral("заголовок «%1»").arg(layout.header.at(c));
        }
    } else {
        layout.columnCount = columns;
    }

    // The columns the header left open, by their values.
    const int first = headerIndex + 1;
    QList<ColumnStats> stats;
    for (int c = 0; c < columns; ++c)
        stats.append(statsOf(rows, first, c, layout.column(ImportField::Price), layout.header));
    // A column the header names keeps its name's meaning (or none, for a
    // second price column): only the unnamed ones are judged by values.
    QSet<int> named;
    for (int c = 0; c < layout.header.size(); ++c) {
        if (fieldOfHeader(layout.header.at(c)) != ImportField::None)
            named.insert(c);
    }
    const auto isFree = [&](int c) { return !named.contains(c) && layout.fieldOfColumn(c) == ImportField::None; };
    // A "code" column of texts like "A-12" holds the supplier's part
    // numbers: the price table's code is a whole number.
    const int codeColumn = layout.column(ImportField::Code);
    if (codeColumn >= 0 && codeColumn < columns) {
        const ColumnStats &s = stats.at(codeColumn);
        if (s.filled > 0 && s.whole < s.filled * 0.8) {
            layout.setColumn(ImportField::Code, -1);
            if (layout.column(ImportField::PartNumber) < 0) {
                layout.setColumn(ImportField::PartNumber, codeColumn);
                reasons[codeColumn] =
                    QStringLiteral("«%1» не целые числа: артикул").arg(layout.header.value(codeColumn));
            } else {
                reasons[codeColumn] = QStringLiteral("«%1» не целые числа").arg(layout.header.value(codeColumn));
            }
        }
    }
    const bool byHeader = layout.isComplete();
    const auto pick = [&](ImportField field, const QString &reason, auto &&score) {
        if (layout.column(field) >= 0)
            return;
        int best = -1;
        double bestScore = 0;
        for (int c = 0; c < columns; ++c) {
            if (!isFree(c) || stats.at(c).filled < 2)
                continue;
            const double s = score(stats.at(c));
            if (s > bestScore) {
                bestScore = s;
                best = c;
            }
        }
        if (best >= 0) {
            layout.setColumn(field, best);
            reasons[best] = reason;
        }
    };
    pick(ImportField::Price, QStringLiteral("числа с копейками"), [](const ColumnStats &s) {
        return s.numbers >= s.filled * 0.8 && s.fractional >= s.filled * 0.5 ? 1.0 + s.fractional : 0.0;
    });
    // Whole numbers under a header that does not call them codes are more
    // often quantities or other prices: codes by their values only where
    // the header tells little (none, or words of its own).
    if (named.size() < 2) {
        pick(ImportField::Code, QStringLiteral("разные целые числа"), [](const ColumnStats &s) {
            return s.whole == s.filled && s.distinct >= s.filled * 0.95 && s.fractional == 0 ? 1.0 + s.distinct : 0.0;
        });
    }
    pick(ImportField::PartNumber, QStringLiteral("разные короткие номера с цифрами"), [](const ColumnStats &s) {
        return s.tokens >= s.filled * 0.8 && s.distinct >= s.filled * 0.9 && s.fractional < s.filled * 0.2
            ? 1.0 + s.tokens
            : 0.0;
    });
    pick(ImportField::Name, QStringLiteral("самый длинный текст"),
         [](const ColumnStats &s) { return s.words >= s.filled * 0.8 ? s.meanLength : 0.0; });
    pick(ImportField::Analogues, QStringLiteral("списки номеров"),
         [](const ColumnStats &s) { return s.lists >= s.filled * 0.3 ? 1.0 + s.lists : 0.0; });
    pick(ImportField::Maker, QStringLiteral("мало разных слов"), [](const ColumnStats &s) {
        return s.words >= s.filled * 0.8 && s.distinct <= qMax(3, s.filled / 4) && s.meanLength < 25 ? 1.0 + s.filled
                                                                                                     : 0.0;
    });
    layout.columnCount = qMax(layout.columnCount, columns);
    while (reasons.size() < layout.columnCount)
        reasons.append(QString());
    if (why)
        *why = reasons;
    if (certain)
        *certain = byHeader;
    return layout;
}

bool LayoutGuess::applyByHeader(ImportLayout &layout, const QStringList &header, QStringList *changes)
{
    QStringList normalized;
    for (const QString &cell : header)
        normalized.append(ImportLayout::normalizedHeader(cell));
    bool allFound = true;
    ImportLayout applied = layout;
    for (int f = 0; f < ImportFields::count; ++f) {
        const int old = layout.columns[size_t(f)];
        if (old < 0)
            continue;
        const QString name =
            old < layout.header.size() ? ImportLayout::normalizedHeader(layout.header.at(old)) : QString();
        int now = name.isEmpty() ? -1 : int(normalized.indexOf(name));
        const QString title = ImportFields::title(ImportField(f));
        if (now < 0) {
            // Renamed: the same column still names the same field by its words.
            if (old < header.size() && LayoutGuess::fieldOfHeader(header.at(old)) == ImportField(f)) {
                now = old;
                if (changes)
                    changes->append(QStringLiteral("%1: столбец %2 теперь называется «%3»")
                                        .arg(title, ImportLayout::columnLetter(old), header.at(old)));
            } else {
                allFound = false;
                if (changes)
                    changes->append(
                        QStringLiteral("%1: столбца «%2» больше нет")
                            .arg(title,
                                 old < layout.header.size() ? layout.header.at(old) : ImportLayout::columnLetter(old)));
            }
        } else if (now != old && changes) {
            changes->append(QStringLiteral("%1: был столбец %2, теперь %3")
                                .arg(title, ImportLayout::columnLetter(old), ImportLayout::columnLetter(now)));
        }
        applied.columns[size_t(f)] = now;
    }
    for (int c = 0; c < header.size(); ++c) {
        if (!normalized.at(c).isEmpty() && !layout.header.contains(header.at(c))
            && applied.fieldOfColumn(c) == ImportField::None && changes
            && std::none_of(layout.header.begin(), layout.header.end(),
                            [&](const QString &h) { return ImportLayout::normalizedHeader(h) == normalized.at(c); })) {
            changes->append(QStringLiteral("новый столбец %1 «%2»").arg(ImportLayout::columnLetter(c), header.at(c)));
        }
    }
    applied.header = header;
    applied.columnCount = int(header.size());
    layout = applied;
    return allFound;
}

RowClassifier::RowClassifier(const ImportLayout &layout)
    : m_layout(layout)
    , m_decimalMark(layout.decimalMark)
{
    for (const QString &cell : layout.header) {
        bool whole = false;
        const QByteArray bytes = Cp1251::encode(cell, &whole);
        m_headerBytes.append(whole && !bytes.contains('\0') ? bytes : QByteArray());
    }
}

QString RowClassifier::groupText(const SheetRow &row)
{
    for (const SheetCell &cell : row.cells) {
        const QString t = ImportCells::text(cell).trimmed();
        if (!t.isEmpty())
            return t;
    }
    return QString();
}

RowClass RowClassifier::classify(const SheetRow &row, QString *why, double *priceOut) const
{
    // Called for every row of a list: nothing here allocates for an item.
    const int filled = nonEmptyCells(row);
    if (filled == 0)
        return RowClass::Blank;
    if (m_layout.headerRow > 0 && row.index + 1 < m_layout.headerRow)
        return RowClass::Title;
    if (m_layout.headerRow > 0 && row.index + 1 == m_layout.headerRow)
        return RowClass::Header;

    // The header again (printed lists repeat it on every page).
    if (!m_layout.header.isEmpty()) {
        int same = 0;
        for (int c = 0; c < row.cells.size() && c < m_layout.header.size(); ++c) {
            const SheetCell &cell = row.cells.at(c);
            if (cell.kind != SheetCell::Kind::Text || m_layout.header.at(c).isEmpty())
                continue;
            // Folding keeps the length: a text of another length is no match.
            const QStringView text = ImportCells::trimmed(cell.text);
            if (text.size() == m_layout.header.at(c).size()
                && text.compare(m_layout.header.at(c), Qt::CaseInsensitive) == 0)
                ++same;
        }
        if (same >= 2)
            return RowClass::RepeatedHeader;
    }

    const int nameColumn = m_layout.column(ImportField::Name);
    const int codeColumn = m_layout.column(ImportField::Code);
    const int partColumn = m_layout.column(ImportField::PartNumber);
    const int priceColumn = m_layout.column(ImportField::Price);
    const bool hasName = isFilled(row, nameColumn);
    const bool hasPart = isFilled(row, partColumn);
    const bool hasPriceText = isFilled(row, priceColumn);
    double price = 0;
    const bool hasPrice = hasPriceText && ImportCells::number(row.cells.at(priceColumn), m_decimalMark, &price);

    for (const SheetCell &cell : row.cells) {
        if (cell.isEmpty())
            continue;
        if (cell.kind == SheetCell::Kind::Text) {
            const QStringView first = ImportCells::trimmed(cell.text);
            // Most rows start with a digit: no word to look for.
            const char16_t lead = first.isEmpty() ? u'0' : first.front().unicode();
            if ((lead < u'0' || lead > u'9')
                && (first.startsWith(u"итог", Qt::CaseInsensitive) || first.startsWith(u"всего", Qt::CaseInsensitive)
                    || first.startsWith(u"total", Qt::CaseInsensitive)))
                return RowClass::Total;
        }
        break;
    }
    // A group: a name alone (or with a count), no price and no code.
    qint32 codeValue = 0;
    const bool hasCode = codeColumn >= 0 && codeColumn < row.cells.size()
        && ImportCells::wholeNumber(row.cells.at(codeColumn), &codeValue);
    if (!hasPrice && !hasPriceText && !hasCode && filled <= 2 && (!hasPart || !hasName))
        return RowClass::Group;
    if (!hasName) {
        if (why)
            *why = QStringLiteral("нет наименования");
        return RowClass::Unreadable;
    }
    if (!hasPrice) {
        if (why)
            *why = !hasPriceText ? QStringLiteral("нет цены")
                                 : QStringLiteral("цена «%1» не число").arg(cellText(row, priceColumn));
        return RowClass::Unreadable;
    }
    if (codeColumn >= 0) {
        if (!hasCode) {
            if (why) {
                const QString code = cellText(row, codeColumn);
                *why =
                    code.isEmpty() ? QStringLiteral("нет кода") : QStringLiteral("код «%1» не целое число").arg(code);
            }
            return RowClass::Unreadable;
        }
    } else if (!hasPart) {
        if (why)
            *why = QStringLiteral("нет артикула");
        return RowClass::Unreadable;
    }
    if (priceOut)
        *priceOut = price;
    return RowClass::Item;
}

bool RowClassifier::isPlainItem(qint64 index, const QByteArrayView *cells, qsizetype count, double *priceOut,
                                qint32 *codeOut) const
{
    // The steps of classify(), each answered from the bytes.
    if (m_layout.headerRow > 0 && index + 1 <= m_layout.headerRow)
        return false;
    int filled = 0;
    for (qsizetype c = 0; c < count; ++c)
        filled += Cp1251Cells::isFilled(cells[c]) ? 1 : 0;
    if (filled == 0)
        return false;
    const qsizetype headerCells = qMin(count, m_layout.header.size());
    int same = 0;
    for (qsizetype c = 0; c < headerCells; ++c) {
        const QString &header = m_layout.header.at(c);
        if (header.isEmpty() || cells[c].size() < header.size())
            continue;
        const QByteArrayView text = Cp1251Cells::trimmed(cells[c]);
        if (text.size() != header.size())
            continue;
        if (m_headerBytes.at(c).isEmpty())
            return false; // a header character the code page lacks: classify() compares
        same += Cp1251Cells::equalFolded(text, m_headerBytes.at(c)) ? 1 : 0;
    }
    if (same >= 2)
        return false;

    const auto cell = [cells, count](int column) {
        return column >= 0 && column < count ? cells[column] : QByteArrayView();
    };
    const int codeColumn = m_layout.column(ImportField::Code);
    double price = 0;
    if (!Cp1251Cells::isFilled(cell(m_layout.column(ImportField::Name)))
        || !Cp1251Cells::isFilled(cell(m_layout.column(ImportField::Price)))
        || !Cp1251Cells::number(cell(m_layout.column(ImportField::Price)), m_decimalMark, &price))
        return false;
    for (qsizetype c = 0; c < count; ++c) {
        if (cells[c].isEmpty())
            continue;
        const QByteArrayView first = Cp1251Cells::trimmed(cells[c]);
        if (!first.isEmpty() && (first.front() < '0' || first.front() > '9')
            && (Cp1251Cells::startsWithFolded(first, u"итог") || Cp1251Cells::startsWithFolded(first, u"всего")
                || Cp1251Cells::startsWithFolded(first, u"total")))
            return false;
        break;
    }
    qint32 code = 0;
    if (codeColumn >= 0 ? !(codeColumn < count && Cp1251Cells::wholeNumber(cells[codeColumn], &code))
                        : !Cp1251Cells::isFilled(cell(m_layout.column(ImportField::PartNumber))))
        return false;
    *priceOut = price;
    *codeOut = code;
    return true;
}
