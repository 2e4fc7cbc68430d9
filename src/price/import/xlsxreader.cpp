#include "xlsxreader.h"

#include <algorithm>
#include <string>
#include <vector>

#include <QFile>
#include <QHash>
#include <QSet>
#include <QStringDecoder>
#include <QUrl>

#include "cp1251.h"
#include "ordixerror.h"
#include "sheetnotes.h"
#include "xlsxrowscanner.h"
#include "xmlscanner.h"
#include "xmlvalues.h"

using namespace XmlValues;

namespace
{
    template<qsizetype N>
    bool is(QByteArrayView name, const char (&text)[N])
    {
        return XmlScanner::is(name, text);
    }

    constexpr int MaxColumns = XlsxRowScanner::MaxColumns;
    // Rows handed out at a time by readSheetBytes().
    constexpr size_t BatchRows = 512;
    // The bytes ahead of a row to read on its bytes: a longer one is read
    // the usual way.
    constexpr qsizetype Lookahead = 64 * 1024;
    // How far the end of a row read the usual way by itself is looked for;
    // past it, the rest of the sheet is read the usual way.
    constexpr qsizetype MaxByteRow = 1024 * 1024;

    // How many relationships of one part, sheets, number formats and cell
    // styles are kept (far more than Excel makes): a small damaged file must
    // not grow into gigabytes of lists.
    constexpr qsizetype MaxItems = 65536;
    // The shared strings a workbook may have: a book past it would be far
    // larger than a price list.
    constexpr qsizetype MaxSharedStrings = qsizetype(1) << 24;
    // Their characters in all, as their ends are kept (32 bits each: a
    // million strings cost 4 MB).
    constexpr quint32 MaxSharedText = 0xFFFFFFFFu;

    const QString General = QStringLiteral("General");

    bool isHex(QChar c)
    {
        return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
            || (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
    }

    // A string of the workbook: Excel writes characters that XML cannot hold
    // (a carriage return among them) as "_x000D_".
    QString textOf(const std::string &utf8)
    {
        QString text = QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
        if (utf8.find("_x") == std::string::npos)
            return text;
        QString out;
        out.reserve(text.size());
        for (qsizetype i = 0; i < text.size();) {
            if (text[i] == QLatin1Char('_') && i + 6 < text.size() && text[i + 1] == QLatin1Char('x')
                && isHex(text[i + 2]) && isHex(text[i + 3]) && isHex(text[i + 4]) && isHex(text[i + 5])
                && text[i + 6] == QLatin1Char('_')) {
                out.append(QChar(char16_t(QStringView(text).sliced(i + 2, 4).toUShort(nullptr, 16))));
                i += 7;
            } else {
                out.append(text[i]);
                ++i;
            }
        }
        return out;
    }

    void appendText(const XmlScanner &scanner, std::string &out)
    {
        if (scanner.textNeedsDecoding())
            scanner.appendText(out);
        else
            out.append(scanner.rawText().data(), size_t(scanner.rawText().size()));
    }

    // Part names are compared as Excel compares them: without regard to case.
    QString partKey(const QString &part)
    {
        return part.toLower();
    }

    // The part a relationship points to, from the part it belongs to.
    QString resolveTarget(const QString &source, QString target)
    {
        if (target.contains(QLatin1Char('%')))
            target = QUrl::fromPercentEncoding(target.toUtf8());
        target.replace(QLatin1Char('\\'), QLatin1Char('/'));
        QString joined = target;
        if (!target.startsWith(QLatin1Char('/')))
            joined = source.left(source.lastIndexOf(QLatin1Char('/')) + 1) + target;
        QStringList parts;
        for (const QString &segment : joined.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
            if (segment == QLatin1String("..")) {
                if (!parts.isEmpty())
                    parts.removeLast();
            } else if (segment != QLatin1String(".")) {
                parts.append(segment);
            }
        }
        return parts.join(QLatin1Char('/'));
    }

    struct Relationship
    {
        QString id;
        QString type;
        QString target; // resolved
    };

    // The relationships of one part, from its "_rels/<name>.rels" member.
    QList<Relationship> readRelationships(ZipStream &zip, XmlScanner &scanner, const QString &source)
    {
        QList<Relationship> list;
        zip.scanMember(scanner, [&](XmlScanner::Token token) {
            if (token == XmlScanner::Token::StartElement && is(scanner.name(), "Relationship") && list.size() < MaxItems
                && !is(scanner.attribute("TargetMode"), "External")) {
                list.append({scanner.attributeText("Id"), scanner.attributeText("Type"),
                             resolveTarget(source, scanner.attributeText("Target"))});
            }
            return true;
        });
        return list;
    }

    // The part a relationship list belongs to: "xl/workbook.xml" for
    // "xl/_rels/workbook.xml.rels", "" (the package) for "_rels/.rels".
    bool relationshipSource(const QString &member, QString &source)
    {
        if (!member.endsWith(QLatin1String(".rels"), Qt::CaseInsensitive))
            return false;
        const qsizetype slash = member.lastIndexOf(QLatin1Char('/'));
        const QString folder = member.left(slash + 1);
        if (!folder.endsWith(QLatin1String("_rels/"), Qt::CaseInsensitive))
            return false;
        const QString file = member.mid(slash + 1).chopped(5);
        source = folder.chopped(6) + file;
        return true;
    }

    const Relationship *findType(const QList<Relationship> &list, QLatin1String typeEnd)
    {
        for (const Relationship &r : list) {
            if (r.type.endsWith(typeEnd))
                return &r;
        }
        return nullptr;
    }

    // Whether a compound file holds the stream of an encrypted Office
    // package (a password-protected xlsx), looking for its name.
    bool holdsEncryptedPackage(const QString &path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        const QString name = QStringLiteral("EncryptedPackage");
        const QByteArray needle(reinterpret_cast<const char *>(name.utf16()),
                                name.size() * 2); // UTF-16LE on every target we build for
        QByteArray tail;
        while (!file.atEnd()) {
            const QByteArray block = tail + file.read(1024 * 1024);
            if (block.size() == tail.size())
                break;
            if (block.contains(needle))
                return true;
            tail = block.right(needle.size());
        }
        return false;
    }

    // Turns the XML of one sheet into rows.
    class SheetParser final
    {
    public:
        SheetParser(XmlScanner &scanner, const XlsxReader &reader, const QList<QString> &formats, bool borrowed,
                    const std::function<bool(const SheetRow &)> &onRow)
            : m_scanner(scanner)
            , m_reader(reader)
            , m_formats(formats)
            , m_borrowed(borrowed)
            , m_onRow(onRow)
        { }

        bool handle(XmlScanner::Token token)
        {
            switch (token) {
            case XmlScanner::Token::StartElement:
                return start(m_scanner.name());
            case XmlScanner::Token::Text:
                if (m_inValue || m_inText)
                    appendText(m_scanner, m_value);
                return true;
            case XmlScanner::Token::EndElement:
                return end(m_scanner.name());
            default:
                return true;
            }
        }

        qint64 hiddenRows() const { return m_hiddenRows; }
        int width() const { return m_width; }

        QList<int> hiddenColumns() const { return SheetNotes::columnsSet(m_hiddenColumns); }

        // Whether the cells have begun, and no row is open.
        bool inSheetData() const { return m_inSheetData; }
        bool betweenRows() const { return m_inSheetData && !m_inRow && !m_inCell; }
        // The 0-based number of the last row begun.
        qint64 rowIndex() const { return m_rowIndex; }
        void setRowIndex(qint64 index) { m_rowIndex = index; }

    private:
        enum class Type : quint8
        {
            Number,
            Shared,
            Inline,
            String,
            Bool,
            Error,
            Date
        };

        bool start(QByteArrayView name)
        {
            if (m_inCell) {
                if (is(name, "v")) {
                    m_inValue = true;
                    m_value.clear();
                } else if (is(name, "is")) {
                    m_inInline = true;
                    m_type = Type::Inline;
                    m_hasValue = true;
                    m_value.clear();
                } else if (is(name, "t")) {
                    m_inText = m_inInline && m_phonetic == 0;
                } else if (is(name, "rPh")) {
                    ++m_phonetic;
                }
                return true;
            }
            if (is(name, "c")) {
                if (m_inRow)
                    startCell();
            } else if (is(name, "row")) {
                // A row left open ends where the next one starts.
                if (m_inRow && !finishRow())
                    return false;
                if (m_inSheetData)
                    startRow();
            } else if (is(name, "sheetData")) {
                m_inSheetData = true;
            } else if (is(name, "col")) {
                readColumn();
            }
            return true;
        }

        bool end(QByteArrayView name)
        {
            if (m_inCell) {
                if (is(name, "v")) {
                    m_inValue = false;
                    m_hasValue = true;
                } else if (is(name, "t")) {
                    m_inText = false;
                } else if (is(name, "rPh")) {
                    m_phonetic = qMax(0, m_phonetic - 1);
                } else if (is(name, "is")) {
                    m_inInline = false;
                    m_inText = false;
                } else if (is(name, "c")) {
                    m_inCell = false;
                    finishCell();
                }
                return true;
            }
            if (is(name, "row") && m_inRow) {
                m_inRow = false;
                return finishRow();
            }
            // Nothing after the cells is of use.
            return !is(name, "sheetData");
        }

        void readColumn()
        {
            if (!isTrue(m_scanner.attribute("hidden")))
                return;
            const int first = qMax(1, toInt(m_scanner.attribute("min"), 1));
            const int last = qMin(MaxColumns, toInt(m_scanner.attribute("max"), first));
            if (first > last || first > MaxColumns)
                return;
            if (m_hiddenColumns.empty())
                m_hiddenColumns.resize(MaxColumns);
            for (int c = first; c <= last; ++c)
                m_hiddenColumns[size_t(c - 1)] = true;
        }

        void startRow()
        {
            qint64 number = 0;
            if (toInt(m_scanner.attribute("r"), number) && number >= 1)
                m_rowIndex = number - 1;
            else
                ++m_rowIndex;
            m_row.hidden = isTrue(m_scanner.attribute("hidden"));
            m_row.cells.clear();
            m_rowHasData = false;
            m_column = -1;
            m_inRow = true;
        }

        void startCell()
        {
            m_inCell = true;
            m_inValue = m_inInline = m_inText = m_hasValue = false;
            m_phonetic = 0;
            m_value.clear();

            m_column = XmlValues::columnOf(m_scanner.attribute("r"), m_column, MaxColumns);

            const QByteArrayView type = m_scanner.attribute("t");
            if (type.isEmpty() || is(type, "n"))
                m_type = Type::Number;
            else if (is(type, "s"))
                m_type = Type::Shared;
            else if (is(type, "str"))
                m_type = Type::String;
            else if (is(type, "inlineStr"))
                m_type = Type::Inline;
            else if (is(type, "b"))
                m_type = Type::Bool;
            else if (is(type, "e"))
                m_type = Type::Error;
            else if (is(type, "d"))
                m_type = Type::Date;
            else
                m_type = Type::Number;
            const QByteArrayView style = m_scanner.attribute("s");
            m_style = style.isEmpty() ? 0 : toInt(style, 0);
        }

        SheetCell &put()
        {
            if (m_column >= m_row.cells.size())
                m_row.cells.resize(m_column + 1);
            m_rowHasData = true;
            SheetCell &cell = m_row.cells[m_column];
            if (cell.kind != SheetCell::Kind::Empty)
                cell = SheetCell();
            return cell;
        }

        void putText(const QString &text, SheetCell::Kind kind = SheetCell::Kind::Text)
        {
            if (text.isEmpty())
                return;
            SheetCell &cell = put();
            cell.kind = kind;
            cell.text = text;
        }

        void finishCell()
        {
            // A formula with no stored result leaves the cell empty.
            if (!m_hasValue || m_column >= MaxColumns)
                return;
            switch (m_type) {
            case Type::Number: {
                double number = 0;
                if (toDouble(QByteArrayView(m_value.data(), qsizetype(m_value.size())), number)) {
                    SheetCell &cell = put();
                    cell.kind = SheetCell::Kind::Number;
                    cell.number = number;
                    const QString &format = m_style < m_formats.size() ? m_formats[m_style] : General;
                    // Borrowed: no shared count to touch from two threads.
                    cell.numberFormat = m_borrowed ? QString::fromRawData(format.constData(), format.size()) : format;
                } else {
                    putText(textOf(m_value));
                }
                break;
            }
            case Type::Shared: {
                const int index = toInt(QByteArrayView(m_value.data(), qsizetype(m_value.size())), -1);
                if (index >= 0)
                    putText(m_reader.sharedText(index, m_borrowed));
                break;
            }
            case Type::Inline:
            case Type::String:
            case Type::Date:
                putText(textOf(m_value));
                break;
            case Type::Bool: {
                if (trimmed(QByteArrayView(m_value.data(), qsizetype(m_value.size()))).isEmpty())
                    break;
                SheetCell &cell = put();
                cell.kind = SheetCell::Kind::Bool;
                cell.number = isTrue(QByteArrayView(m_value.data(), qsizetype(m_value.size()))) ? 1 : 0;
                break;
            }
            case Type::Error:
                putText(textOf(m_value), SheetCell::Kind::Error);
                break;
            }
        }

        bool finishRow()
        {
            if (!m_rowHasData)
                return true;
            m_row.index = m_rowIndex;
            if (m_row.hidden)
                ++m_hiddenRows;
            m_width = qMax(m_width, int(m_row.cells.size()));
            return m_onRow(m_row);
        }

        XmlScanner &m_scanner;
        const XlsxReader &m_reader;
        const QList<QString> &m_formats;
        const bool m_borrowed;
        const std::function<bool(const SheetRow &)> &m_onRow;

        SheetRow m_row;
        qint64 m_rowIndex = -1;
        bool m_rowHasData = false;
        int m_column = -1;
        Type m_type = Type::Number;
        int m_style = 0;
        int m_phonetic = 0;
        bool m_inSheetData = false;
        bool m_inRow = false;
        bool m_inCell = false;
        bool m_inValue = false;
        bool m_inInline = false;
        bool m_inText = false;
        bool m_hasValue = false;
        std::string m_value;

        qint64 m_hiddenRows = 0;
        int m_width = 0;
        std::vector<bool> m_hiddenColumns;
    };
}

XlsxReader::XlsxReader(const QString &path)
    : XlsxReader(path, ZipStream::Limits())
{ }

XlsxReader::XlsxReader(const QString &path, const ZipStream::Limits &limits)
    : m_path(path)
    , m_limits(limits)
{
    const QString name = ZipStream::displayName(path);
    switch (ZipStream::signature(path)) {
    case ZipStream::Signature::Zip:
        break;
    case ZipStream::Signature::OleCompound:
        if (holdsEncryptedPackage(path)) {
            throw OrdixError(QStringLiteral("Книга %1 защищена паролем: откройте её в Excel, снимите пароль и "
                                            "сохраните снова")
                                 .arg(name));
        }
        throw OrdixError(QStringLiteral("Файл %1 — книга Excel 97–2003 (xls), хотя назван как xlsx: дайте ему "
                                        "расширение .xls")
                             .arg(name));
    case ZipStream::Signature::Other:
        throw OrdixError(QStringLiteral("Файл %1 не является книгой Excel (xlsx)").arg(name));
    }
    readWorkbook();
}

void XlsxReader::readWorkbook()
{
    XmlScanner scanner;
    const QString name = ZipStream::displayName(m_path);

    // First walk: the member names and every relationship list; the parts
    // are found through them.
    QHash<QString, QList<Relationship>> relationships; // by the key of the source part
    QSet<QString> members;                             // by their keys
    {
        ZipStream zip(m_path, m_limits);
        while (zip.nextMember()) {
            members.insert(partKey(zip.memberName()));
            QString source;
            if (relationshipSource(zip.memberName(), source))
                relationships.insert(partKey(source), readRelationships(zip, scanner, source));
        }
    }
    QString workbook;
    if (const Relationship *r = findType(relationships.value(QString()), QLatin1String("/officeDocument")))
        workbook = r->target;
    if (!members.contains(partKey(workbook)))
        workbook = QStringLiteral("xl/workbook.xml");
    if (!members.contains(partKey(workbook))) {
        if (members.contains(QStringLiteral("content.xml")) && members.contains(QStringLiteral("mimetype")))
            throw OrdixError(QStringLiteral("Файл %1 — таблица OpenDocument (ods), а не книга Excel (xlsx)").arg(name));
        throw OrdixError(QStringLiteral("Файл %1 не является книгой Excel (xlsx): в архиве нет книги").arg(name));
    }
    if (workbook.endsWith(QLatin1String(".bin"), Qt::CaseInsensitive)) {
        throw OrdixError(
            QStringLiteral("Файл %1 — двоичная книга Excel (xlsb): сохраните её в Excel как книгу xlsx").arg(name));
    }
    const QList<Relationship> workbookLinks = relationships.value(partKey(workbook));
    const QString folder = workbook.left(workbook.lastIndexOf(QLatin1Char('/')) + 1);
    const Relationship *stylesLink = findType(workbookLinks, QLatin1String("/styles"));
    const Relationship *stringsLink = findType(workbookLinks, QLatin1String("/sharedStrings"));
    const QString styles = partKey(stylesLink ? stylesLink->target : folder + QStringLiteral("styles.xml"));
    const QString strings = partKey(stringsLink ? stringsLink->target : folder + QStringLiteral("sharedStrings.xml"));

    // Second walk: the workbook, the styles and the shared strings, in
    // whatever order the archive holds them.
    struct SheetEntry
    {
        QString name;
        QString state;
        QString id;
    };
    QList<SheetEntry> entries;
    bool workbookSeen = false;
    ZipStream zip(m_path, m_limits);
    while (zip.nextMember()) {
        const QString key = partKey(zip.memberName());
        if (key == partKey(workbook)) {
            workbookSeen = true;
            zip.scanMember(scanner, [&](XmlScanner::Token token) {
                if (token != XmlScanner::Token::StartElement)
                    return true;
                if (is(scanner.name(), "sheet") && entries.size() < MaxItems) {
                    entries.append(
                        {scanner.attributeText("name"), scanner.attributeText("state"), scanner.attributeText("id")});
                } else if (is(scanner.name(), "workbookPr")) {
                    m_1904 = isTrue(scanner.attribute("date1904"));
                }
                return true;
            });
        } else if (key == styles) {
            QHash<int, QString> custom;
            QList<int> ids;
            bool inCellStyles = false;
            zip.scanMember(scanner, [&](XmlScanner::Token token) {
                const QByteArrayView element = scanner.name();
                if (token == XmlScanner::Token::StartElement) {
                    if (is(element, "numFmt") && custom.size() < MaxItems)
                        custom.insert(toInt(scanner.attribute("numFmtId"), -1), scanner.attributeText("formatCode"));
                    else if (is(element, "cellXfs"))
                        inCellStyles = true;
                    else if (is(element, "xf") && inCellStyles && ids.size() < MaxItems)
                        ids.append(toInt(scanner.attribute("numFmtId"), 0));
                } else if (token == XmlScanner::Token::EndElement && is(element, "cellXfs")) {
                    inCellStyles = false;
                }
                return true;
            });
            m_styleFormats.clear();
            for (int id : std::as_const(ids)) {
                QString code = custom.value(id);
                if (code.isEmpty())
                    code = builtInFormat(id);
                m_styleFormats.append(code.isEmpty() ? General : code);
            }
        } else if (key == strings) {
            readSharedStrings(zip, scanner);
        }
    }
    if (!workbookSeen)
        zip.damaged(QStringLiteral("нет части «%1»").arg(workbook));
    if (entries.isEmpty())
        zip.damaged(QStringLiteral("в книге нет листов"));

    QHash<QString, QString> targets;
    for (const Relationship &r : workbookLinks)
        targets.insert(r.id, r.target);
    for (const SheetEntry &entry : std::as_const(entries)) {
        Sheet sheet;
        sheet.info.name = entry.name;
        sheet.info.hidden = entry.state == QLatin1String("hidden") || entry.state == QLatin1String("veryHidden");
        sheet.part = targets.value(entry.id);
        m_sheets.append(sheet);
    }
}

void XlsxReader::readSharedStrings(ZipStream &zip, XmlScanner &scanner)
{
    // Room for the bytes at once: never more than the part's bytes, and
    // pages never written cost nothing.
    m_sharedBytes.clear();
    m_sharedEnds.clear();
    m_sharedUnicode.clear();
    const qint64 partSize = zip.memberSize();
    if (partSize > 0)
        m_sharedBytes.reserve(size_t(qMin<qint64>(partSize, qint64(1) << 30)));
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const auto add = [&](QByteArrayView text) {
        if (qsizetype(m_sharedEnds.size()) >= MaxSharedStrings)
            zip.damaged(QStringLiteral("в книге слишком много строк"));
        if (!XlsxRowScanner::appendCp1251(text, m_sharedBytes)) {
            // A character the code page lacks: the string as it is, on the
            // side.
            QString unicode;
            if (text.contains(QByteArrayView("_x"))) {
                unicode = textOf(std::string(text.data(), size_t(text.size())));
            } else {
                unicode.resize(text.size());
                QChar *end = utf8.appendToBuffer(unicode.data(), text);
                unicode.resize(end - unicode.constData());
            }
            if (!unicode.isEmpty())
                m_sharedUnicode.insert(qsizetype(m_sharedEnds.size()), unicode);
        }
        if (m_sharedBytes.size() > size_t(MaxSharedText))
            zip.damaged(QStringLiteral("в книге слишком много строк"));
        m_sharedEnds.push_back(quint32(m_sharedBytes.size()));
    };

    // The items as XML.
    std::string text;
    bool inItem = false;
    bool inText = false;
    int phonetic = 0;
    const auto handle = [&](XmlScanner::Token token) {
        switch (token) {
        case XmlScanner::Token::StartElement:
            if (is(scanner.name(), "si")) {
                inItem = true;
                text.clear();
            } else if (is(scanner.name(), "sst")) {
                // The count the part declares, within reason: one offset
                // each, never grown and copied.
                qint64 count = 0;
                if (toInt(scanner.attribute("uniqueCount"), count) && count > 0)
                    m_sharedEnds.reserve(size_t(std::min({count, qint64(MaxSharedStrings), partSize / 8})));
            } else if (is(scanner.name(), "rPh")) {
                ++phonetic;
            } else if (is(scanner.name(), "t")) {
                inText = inItem && phonetic == 0;
            }
            break;
        case XmlScanner::Token::Text:
            if (inText)
                appendText(scanner, text);
            break;
        case XmlScanner::Token::EndElement:
            if (is(scanner.name(), "si")) {
                add(QByteArrayView(text.data(), qsizetype(text.size())));
                inItem = inText = false;
                phonetic = 0;
            } else if (is(scanner.name(), "rPh")) {
                phonetic = qMax(0, phonetic - 1);
            } else if (is(scanner.name(), "t")) {
                inText = false;
            }
            break;
        default:
            break;
        }
    };

    // Past the start of the list, an item written plainly,
    // "<si><t>text</t></si>", is read on its bytes; any other by itself as
    // XML, and from anything else on the rest of the part.
    bool usual = true;
    bool begun = false;
    std::vector<char> buffer;
    std::string decoded;
    const auto betweenItems = [&] { return !inItem && !inText && phonetic == 0; };
    const auto feedUsual = [&](QByteArrayView data, bool last) {
        zip.feed(scanner, data, last, [&](XmlScanner::Token token) {
            handle(token);
            if (!begun && token == XmlScanner::Token::StartElement && is(scanner.name(), "sst")
                && !scanner.isEmptyElement() && betweenItems()) {
                begun = true;
                usual = false;
                const QByteArrayView rest = scanner.unread();
                buffer.assign(rest.begin(), rest.end());
                return false;
            }
            return true;
        });
    };
    const auto fallBack = [&](size_t from, bool last) {
        usual = true;
        scanner.reset();
        feedUsual(QByteArrayView(buffer.data() + from, qsizetype(buffer.size() - from)), last);
        buffer.clear();
    };
    const auto readBuffer = [&](bool last) {
        size_t pos = 0;
        for (;;) {
            const char *const base = buffer.data();
            const char *const end = base + buffer.size();
            const char *p = skipSpace(base + pos, end);
            pos = size_t(p - base);
            if (p == end || (!last && end - p < Lookahead))
                break;
            if (end - p < 4 || std::memcmp(p, "<si>", 4) != 0)
                return fallBack(pos, last);
            const char *q = p + 4;
            QByteArrayView value;
            bool plain = false;
            if (end - q > 3 && q[0] == '<' && q[1] == 't' && (q[2] == '>' || isSpace(q[2]))) {
                // Past the attributes of <t>.
                for (q += 2; q < end && *q != '>' && *q != '<' && *q != '/';) {
                    if (*q == '"' || *q == '\'') {
                        const auto *close = static_cast<const char *>(std::memchr(q + 1, *q, size_t(end - q - 1)));
                        q = close ? close + 1 : end;
                    } else {
                        ++q;
                    }
                }
                if (q < end && *q == '>') {
                    ++q;
                    const auto *lt = static_cast<const char *>(std::memchr(q, '<', size_t(end - q)));
                    if (lt && end - lt >= 9 && std::memcmp(lt, "</t></si>", 9) == 0) {
                        value = QByteArrayView(q, lt);
                        plain = true;
                        q = lt + 9;
                    }
                }
            }
            if (plain) {
                if (std::memchr(value.data(), '&', size_t(value.size()))) {
                    decoded.clear();
                    XmlScanner::decode(value, decoded);
                    value = QByteArrayView(decoded.data(), qsizetype(decoded.size()));
                }
                add(value);
                pos = size_t(q - base);
                continue;
            }
            const qsizetype close = QByteArrayView(p, end).indexOf(QByteArrayView("</si>"));
            if (close < 0) {
                if (!last && end - p < MaxByteRow)
                    break;
                return fallBack(pos, last);
            }
            const QByteArrayView item(p, close + 5);
            if (item.contains(QByteArrayView("<!")) || item.contains(QByteArrayView("<?")))
                return fallBack(pos, last);
            scanner.reset();
            feedUsual(item, false);
            pos += size_t(item.size());
            if (!betweenItems() || !scanner.unread().isEmpty()) {
                usual = true;
                feedUsual(QByteArrayView(buffer.data() + pos, qsizetype(buffer.size() - pos)), last);
                buffer.clear();
                return;
            }
        }
        buffer.erase(buffer.begin(), buffer.begin() + qsizetype(pos));
    };

    // A large part: inflated on one core while the other reads it.
    scanner.reset();
    zip.readMemberAhead([&](QByteArrayView block) {
        if (usual) {
            feedUsual(block, false);
            if (!usual)
                readBuffer(false);
        } else {
            buffer.insert(buffer.end(), block.begin(), block.end());
            readBuffer(false);
        }
        return true;
    });
    if (usual)
        feedUsual({}, true);
    else
        readBuffer(true);
}

QList<SheetInfo> XlsxReader::sheets() const
{
    QList<SheetInfo> list;
    for (const Sheet &sheet : m_sheets)
        list.append(sheet.info);
    return list;
}

const XlsxReader::Sheet &XlsxReader::sheetAt(int sheet) const
{
    if (sheet < 0 || sheet >= m_sheets.size())
        throw OrdixError(
            QStringLiteral("В книге %1 нет листа номер %2").arg(ZipStream::displayName(m_path)).arg(sheet + 1));
    return m_sheets[sheet];
}

QString XlsxReader::sharedText(qsizetype index, bool borrowed) const
{
    if (index < 0 || size_t(index) >= m_sharedEnds.size())
        return QString();
    const quint32 begin = index == 0 ? 0 : m_sharedEnds[size_t(index) - 1];
    const quint32 end = m_sharedEnds[size_t(index)];
    if (begin == end) {
        const auto unicode = m_sharedUnicode.constFind(index);
        if (unicode == m_sharedUnicode.constEnd())
            return QString();
        // Borrowed: no shared count to touch from two threads.
        return borrowed ? QString::fromRawData(unicode->constData(), unicode->size()) : *unicode;
    }
    return Cp1251::decode(QByteArrayView(m_sharedBytes.data() + begin, qsizetype(end - begin)));
}

SheetCell XlsxReader::cellOf(const ByteCell &cell) const
{
    SheetCell out;
    switch (cell.kind) {
    case ByteCell::Kind::Empty:
        break;
    case ByteCell::Kind::Text:
        out.kind = SheetCell::Kind::Text;
        out.text = Cp1251::decode(QByteArrayView(cell.text, cell.size));
        break;
    case ByteCell::Kind::Unicode:
        out.kind = SheetCell::Kind::Text;
        out.text = sharedText(qsizetype(cell.index), false);
        break;
    case ByteCell::Kind::Number:
        out.kind = SheetCell::Kind::Number;
        out.number = cell.number;
        out.numberFormat = cell.index < quint32(m_styleFormats.size()) ? m_styleFormats[cell.index] : General;
        break;
    }
    return out;
}

void XlsxReader::readSheet(int sheet, const std::function<bool(const SheetRow &)> &onRow)
{
    m_hiddenColumns.clear();
    m_notes.clear();
    const Sheet &wanted = sheetAt(sheet);
    const QString key = partKey(wanted.part);

    ZipStream zip(m_path, m_limits);
    XmlScanner scanner;
    SheetParser parser(scanner, *this, m_styleFormats, borrowedTexts(), onRow);
    bool found = false;
    while (!found && !wanted.part.isEmpty() && zip.nextMember()) {
        if (partKey(zip.memberName()) != key)
            continue;
        found = true;
        const qint64 size = zip.memberSize();
        int tokens = 0;
        zip.scanMember(scanner, [&](XmlScanner::Token token) {
            if (++tokens == 8192) {
                tokens = 0;
                noteRead(zip.inflated(), size);
            }
            return parser.handle(token);
        });
    }
    if (!found)
        zip.damaged(QStringLiteral("нет листа «%1»").arg(wanted.info.name));
    m_hiddenColumns = parser.hiddenColumns();
    m_notes = SheetNotes::make(parser.hiddenRows(), m_hiddenColumns, parser.width());
}

void XlsxReader::readSheetBytes(int sheet, const std::function<bool(ByteRows &rows)> &onRows)
{
    m_hiddenColumns.clear();
    m_notes.clear();
    const Sheet &wanted = sheetAt(sheet);
    const QString key = partKey(wanted.part);

    ByteRows rows;
    bool stopped = false; // by `onRows`
    const auto handOut = [&]() -> bool {
        for (ByteCell &cell : rows.cells) {
            if (cell.own)
                cell.text = rows.text.data() + reinterpret_cast<size_t>(cell.text);
        }
        stopped = !onRows(rows);
        rows.clear();
        return !stopped;
    };
    // What the byte scanner does not take is read the usual way, and its
    // rows go into the batch whole.
    const std::function<bool(const SheetRow &)> slowRow = [&](const SheetRow &row) -> bool {
        if (rows.slowRows.size() <= rows.slowUsed)
            rows.slowRows.resize(rows.slowUsed + 1);
        rows.slowRows[rows.slowUsed] = row;
        rows.rows.push_back({row.index, row.hidden, qint32(rows.slowUsed), 0, 0});
        ++rows.slowUsed;
        return rows.rows.size() < BatchRows || handOut();
    };
    XmlScanner scanner;
    SheetParser parser(scanner, *this, m_styleFormats, false, slowRow);
    XlsxRowScanner bytes(m_sharedBytes, m_sharedEnds, m_sharedUnicode);

    // Up to the cells, and wherever the bytes are not of the usual forms
    // from then on, the usual reading; the rows in between on their bytes.
    bool usual = true;
    bool cellsBegun = false;
    std::vector<char> buffer; // the bytes not yet read on their own
    qint64 rowIndex = -1;
    ZipStream zip(m_path, m_limits);
    // Feeds the usual reading; false when it has stopped.
    const auto feedUsual = [&](QByteArrayView data, bool last) -> bool {
        bool more = true;
        zip.feed(scanner, data, last, [&](XmlScanner::Token token) {
            more = parser.handle(token);
            if (more && !cellsBegun && token == XmlScanner::Token::StartElement && parser.betweenRows()
                && !scanner.isEmptyElement() && is(scanner.name(), "sheetData")) {
                // The cells begin: the rest is read on its bytes.
                cellsBegun = true;
                const QByteArrayView rest = scanner.unread();
                buffer.assign(rest.begin(), rest.end());
                rowIndex = parser.rowIndex();
                usual = false;
                return false;
            }
            return more;
        });
        return more;
    };
    // The usual reading from the byte at `from` of the buffer on.
    const auto fallBack = [&](size_t from, bool last) -> bool {
        usual = true;
        parser.setRowIndex(rowIndex);
        scanner.reset();
        const bool more = feedUsual(QByteArrayView(buffer.data() + from, qsizetype(buffer.size() - from)), last);
        buffer.clear();
        return more;
    };
    // Reads the whole rows in the buffer; false when the reading stops.
    const auto readBuffer = [&](bool last) -> bool {
        size_t pos = 0;
        for (;;) {
            const char *const base = buffer.data();
            const char *const end = base + buffer.size();
            const char *p = skipSpace(base + pos, end);
            pos = size_t(p - base);
            if (p == end || (end - p < 12 && !last))
                break;
            if (end - p >= 5 && std::memcmp(p, "<row", 4) == 0 && (isSpace(p[4]) || p[4] == '>' || p[4] == '/')) {
                if (!last && end - p < Lookahead)
                    break;
                if (const char *rowEnd = bytes.scan(p, end, rowIndex, rows)) {
                    pos = size_t(rowEnd - base);
                    if (rows.rows.size() >= BatchRows && !handOut())
                        return false;
                    continue;
                }
                // Not read on its bytes: where it ends.
                const auto *gt = static_cast<const char *>(std::memchr(p, '>', size_t(end - p)));
                const char *rowEnd = nullptr;
                if (gt && gt[-1] == '/') {
                    rowEnd = gt + 1;
                } else if (gt) {
                    const QByteArrayView after(gt, end);
                    const qsizetype close = after.indexOf(QByteArrayView("</row>"));
                    if (close >= 0)
                        rowEnd = gt + close + 6;
                }
                if (!rowEnd) {
                    if (!last && end - p < MaxByteRow)
                        break;
                    return fallBack(pos, last);
                }
                // The row the usual way, by itself where nothing in it
                // can hide its end.
                const QByteArrayView row(p, rowEnd);
                if (row.contains(QByteArrayView("<!")) || row.contains(QByteArrayView("<?")))
                    return fallBack(pos, last);
                parser.setRowIndex(rowIndex);
                scanner.reset();
                usual = true;
                if (!feedUsual(row, false))
                    return false;
                usual = false;
                pos = size_t(rowEnd - base);
                if (!parser.betweenRows() || !scanner.unread().isEmpty()) {
                    // Its end was not where it seemed: the rest the usual way.
                    usual = true;
                    const bool more =
                        feedUsual(QByteArrayView(buffer.data() + pos, qsizetype(buffer.size() - pos)), last);
                    buffer.clear();
                    return more;
                }
                rowIndex = parser.rowIndex();
                continue;
            }
            if (end - p >= 12 && std::memcmp(p, "</sheetData", 11) == 0 && (p[11] == '>' || isSpace(p[11])))
                return false; // nothing after the cells is of use
            return fallBack(pos, last);
        }
        buffer.erase(buffer.begin(), buffer.begin() + qsizetype(pos));
        return true;
    };

    bool found = false;
    while (!found && !wanted.part.isEmpty() && zip.nextMember()) {
        if (partKey(zip.memberName()) != key)
            continue;
        found = true;
        const qint64 size = zip.memberSize();
        bool more = true;
        zip.readMember([&](QByteArrayView block) {
            noteRead(zip.inflated(), size);
            if (usual) {
                more = feedUsual(block, false);
                if (more && !usual)
                    more = readBuffer(false);
            } else {
                buffer.insert(buffer.end(), block.begin(), block.end());
                more = readBuffer(false);
            }
            return more;
        });
        if (more)
            more = usual ? feedUsual({}, true) : readBuffer(true);
        if (more && !usual && !buffer.empty())
            fallBack(0, true);
        if (!stopped && !rows.rows.empty())
            handOut();
    }
    if (!found)
        zip.damaged(QStringLiteral("нет листа «%1»").arg(wanted.info.name));
    m_hiddenColumns = parser.hiddenColumns();
    m_notes = SheetNotes::make(parser.hiddenRows() + bytes.hiddenRows(), m_hiddenColumns,
                               qMax(parser.width(), bytes.width()));
}

QString XlsxReader::builtInFormat(int id)
{
    switch (id) {
    case 0:
        return General;
    case 1:
        return QStringLiteral("0");
    case 2:
        return QStringLiteral("0.00");
    case 3:
        return QStringLiteral("#,##0");
    case 4:
        return QStringLiteral("#,##0.00");
    case 5:
        return QStringLiteral("\"$\"#,##0_);(\"$\"#,##0)");
    case 6:
        return QStringLiteral("\"$\"#,##0_);[Red](\"$\"#,##0)");
    case 7:
        return QStringLiteral("\"$\"#,##0.00_);(\"$\"#,##0.00)");
    case 8:
        return QStringLiteral("\"$\"#,##0.00_);[Red](\"$\"#,##0.00)");
    case 9:
        return QStringLiteral("0%");
    case 10:
        return QStringLiteral("0.00%");
    case 11:
        return QStringLiteral("0.00E+00");
    case 12:
        return QStringLiteral("# ?/?");
    case 13:
        return QStringLiteral("# ?\?/?\?");
    case 14:
        return QStringLiteral("mm-dd-yy");
    case 15:
        return QStringLiteral("d-mmm-yy");
    case 16:
        return QStringLiteral("d-mmm");
    case 17:
        return QStringLiteral("mmm-yy");
    case 18:
        return QStringLiteral("h:mm AM/PM");
    case 19:
        return QStringLiteral("h:mm:ss AM/PM");
    case 20:
        return QStringLiteral("h:mm");
    case 21:
        return QStringLiteral("h:mm:ss");
    case 22:
        return QStringLiteral("m/d/yy h:mm");
    case 37:
        return QStringLiteral("#,##0 ;(#,##0)");
    case 38:
        return QStringLiteral("#,##0 ;[Red](#,##0)");
    case 39:
        return QStringLiteral("#,##0.00;(#,##0.00)");
    case 40:
        return QStringLiteral("#,##0.00;[Red](#,##0.00)");
    case 41:
        return QStringLiteral("_(* #,##0_);_(* \\(#,##0\\);_(* \"-\"_);_(@_)");
    case 42:
        return QStringLiteral("_(\"$\"* #,##0_);_(\"$\"* \\(#,##0\\);_(\"$\"* \"-\"_);_(@_)");
    case 43:
        return QStringLiteral("_(* #,##0.00_);_(* \\(#,##0.00\\);_(* \"-\"??_);_(@_)");
    case 44:
        return QStringLiteral("_(\"$\"* #,##0.00_);_(\"$\"* \\(#,##0.00\\);_(\"$\"* \"-\"??_);_(@_)");
    case 45:
        return QStringLiteral("mm:ss");
    case 46:
        return QStringLiteral("[h]:mm:ss");
    case 47:
        return QStringLiteral("mmss.0");
    case 48:
        return QStringLiteral("##0.0E+0");
    case 49:
        return QStringLiteral("@");
    default:
        return QString();
    }
}
