#include "odsreader.h"

#include <string>
#include <vector>

#include <QSet>

#include "ordixerror.h"
#include "sheetnotes.h"
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

    const QString Content = QStringLiteral("content.xml");
    // The longest text kept of one cell, in bytes (a spreadsheet cell shows
    // at most 32,767 characters); the rest is dropped. With the cap on one
    // run of spaces it keeps a small file from growing into gigabytes of
    // text.
    constexpr size_t MaxCellText = 100000;
    constexpr qint64 MaxSpaces = 1024;
    // The tables and table styles listed (far more than a file has).
    constexpr qsizetype MaxItems = 65536;

    // Turns the rows of one table of content.xml into sheet rows.
    class TableParser final
    {
    public:
        TableParser(XmlScanner &scanner, int table, const std::function<bool(const SheetRow &)> &onRow)
            : m_scanner(scanner)
            , m_table(table)
            , m_onRow(onRow)
        { }

        bool handle(XmlScanner::Token token)
        {
            const QByteArrayView name = m_scanner.qualifiedName();
            switch (token) {
            case XmlScanner::Token::StartElement:
                if (is(name, "table:table")) {
                    if (++m_depth == 1)
                        ++m_index;
                    return true;
                }
                if (m_depth != 1 || m_index != m_table)
                    return true;
                if (m_inCell)
                    cellContent(name);
                else if (is(name, "table:table-cell") || is(name, "table:covered-table-cell"))
                    startCell();
                else if (is(name, "table:table-row"))
                    startRow();
                else if (is(name, "table:table-column"))
                    readColumn();
                return true;
            case XmlScanner::Token::Text:
                if (m_inCell && m_paragraph > 0 && m_annotation == 0 && m_depth == 1 && m_index == m_table)
                    appendText();
                return true;
            case XmlScanner::Token::EndElement:
                if (is(name, "table:table")) {
                    // The wanted table ends: nothing more to read.
                    return !(m_depth-- == 1 && m_index == m_table);
                }
                if (m_depth != 1 || m_index != m_table)
                    return true;
                if (m_inCell) {
                    if (is(name, "office:annotation"))
                        m_annotation = qMax(0, m_annotation - 1);
                    else if (m_annotation == 0 && (is(name, "text:p") || is(name, "text:h")))
                        m_paragraph = qMax(0, m_paragraph - 1);
                    else if (m_annotation == 0
                             && (is(name, "table:table-cell") || is(name, "table:covered-table-cell")))
                        finishCell();
                    return true;
                }
                if (is(name, "table:table-row") && m_inRow) {
                    m_inRow = false;
                    return finishRow();
                }
                return true;
            default:
                return true;
            }
        }

        qint64 hiddenRows() const { return m_hiddenRows; }
        int width() const { return m_width; }
        bool cutShort() const { return m_cutShort; }

        QList<int> hiddenColumns() const { return SheetNotes::columnsSet(m_hiddenColumns); }

    private:
        enum class Type : quint8
        {
            None,
            Number,
            Bool,
            Date,
            Time,
            String,
            Error
        };

        qint64 repeat(QByteArrayView attribute, qint64 max) const
        {
            qint64 count = 1;
            if (!toInt(m_scanner.attribute(attribute), count) || count < 1)
                return 1;
            return qMin(count, max);
        }

        void readColumn()
        {
            const qint64 count = repeat("table:number-columns-repeated", OdsReader::MaxColumns);
            if (is(m_scanner.attribute("table:visibility"), "collapse") && m_columns < OdsReader::MaxColumns) {
                if (m_hiddenColumns.empty())
                    m_hiddenColumns.resize(OdsReader::MaxColumns);
                for (qint64 c = m_columns; c < qMin<qint64>(m_columns + count, OdsReader::MaxColumns); ++c)
                    m_hiddenColumns[size_t(c)] = true;
            }
            m_columns += count;
        }

        void startRow()
        {
            m_inRow = true;
            m_rowRepeat = repeat("table:number-rows-repeated", OdsReader::MaxRows);
            const QByteArrayView visibility = m_scanner.attribute("table:visibility");
            m_row.hidden = is(visibility, "collapse") || is(visibility, "filter");
            m_row.cells.clear();
            m_rowHasData = false;
            m_column = 0;
        }

        void startCell()
        {
            m_inCell = true;
            m_cellRepeat = repeat("table:number-columns-repeated", OdsReader::MaxColumns);
            m_paragraph = m_paragraphs = m_annotation = 0;
            m_text.clear();
            m_value.clear();

            const QByteArrayView type = m_scanner.attribute("office:value-type");
            QByteArrayView value;
            if (is(m_scanner.attribute("calcext:value-type"), "error")) {
                m_type = Type::Error;
            } else if (is(type, "float") || is(type, "percentage") || is(type, "currency")) {
                m_type = Type::Number;
                value = m_scanner.attribute("office:value");
            } else if (is(type, "boolean")) {
                m_type = Type::Bool;
                value = m_scanner.attribute("office:boolean-value");
            } else if (is(type, "date")) {
                m_type = Type::Date;
                value = m_scanner.attribute("office:date-value");
            } else if (is(type, "time")) {
                m_type = Type::Time;
                value = m_scanner.attribute("office:time-value");
            } else if (is(type, "string")) {
                m_type = Type::String;
                value = m_scanner.attribute("office:string-value");
            } else {
                m_type = Type::None;
            }
            if (!value.isEmpty())
                XmlScanner::decode(value, m_value);
        }

        void cellContent(QByteArrayView name)
        {
            if (is(name, "office:annotation")) {
                ++m_annotation;
                return;
            }
            if (m_annotation > 0)
                return;
            if (is(name, "text:p") || is(name, "text:h")) {
                if (m_paragraphs++ > 0)
                    append("\n", 1);
                ++m_paragraph;
            } else if (m_paragraph > 0) {
                if (is(name, "text:s")) {
                    const qint64 count = repeat("text:c", MaxSpaces);
                    if (m_text.size() < MaxCellText)
                        m_text.append(size_t(qMin<qint64>(count, qint64(MaxCellText - m_text.size()))), ' ');
                } else if (is(name, "text:tab")) {
                    append("\t", 1);
                } else if (is(name, "text:line-break")) {
                    append("\n", 1);
                }
            }
        }

        void append(const char *data, size_t size)
        {
            if (m_text.size() < MaxCellText)
                m_text.append(data, qMin(size, MaxCellText - m_text.size()));
        }

        void appendText()
        {
            if (m_text.size() >= MaxCellText)
                return;
            if (m_scanner.textNeedsDecoding())
                m_scanner.appendText(m_text);
            else
                append(m_scanner.rawText().data(), size_t(m_scanner.rawText().size()));
            if (m_text.size() > MaxCellText)
                m_text.resize(MaxCellText);
        }

        void finishCell()
        {
            m_inCell = false;
            const qint64 first = m_column;
            m_column += m_cellRepeat;
            if (first >= OdsReader::MaxColumns)
                return;
            const QByteArrayView value(m_value.data(), qsizetype(m_value.size()));
            SheetCell cell;
            cell.text = QString::fromUtf8(m_text.data(), qsizetype(m_text.size()));
            switch (m_type) {
            case Type::Number:
                cell.kind = toDouble(value, cell.number) ? SheetCell::Kind::Number : SheetCell::Kind::Text;
                break;
            case Type::Bool:
                cell.kind = SheetCell::Kind::Bool;
                cell.number = is(trimmed(value), "true") ? 1 : 0;
                break;
            case Type::Error:
                cell.kind = SheetCell::Kind::Error;
                break;
            case Type::Date:
            case Type::Time:
            case Type::String:
            case Type::None:
                // What the cell shows; a date or a string kept only as a value otherwise.
                cell.kind = SheetCell::Kind::Text;
                if (cell.text.isEmpty())
                    cell.text = QString::fromUtf8(value);
                break;
            }
            if (cell.isEmpty() || (cell.kind == SheetCell::Kind::Error && cell.text.isEmpty()))
                return;
            const qint64 last = qMin<qint64>(first + m_cellRepeat, OdsReader::MaxColumns);
            if (last > m_row.cells.size())
                m_row.cells.resize(last);
            for (qint64 c = first; c < last; ++c)
                m_row.cells[c] = cell;
            m_rowHasData = true;
        }

        bool finishRow()
        {
            const qint64 first = m_rowIndex;
            m_rowIndex += m_rowRepeat;
            if (!m_rowHasData)
                return true;
            m_width = qMax(m_width, int(m_row.cells.size()));
            for (qint64 r = first; r < first + m_rowRepeat; ++r) {
                if (r >= OdsReader::MaxRows) {
                    m_cutShort = true;
                    return false;
                }
                m_row.index = r;
                if (m_row.hidden)
                    ++m_hiddenRows;
                if (!m_onRow(m_row))
                    return false;
            }
            return true;
        }

        XmlScanner &m_scanner;
        const int m_table;
        const std::function<bool(const SheetRow &)> &m_onRow;

        int m_depth = 0;  // of nested tables
        int m_index = -1; // of the current top-level table
        qint64 m_columns = 0;

        SheetRow m_row;
        bool m_inRow = false;
        bool m_rowHasData = false;
        qint64 m_rowIndex = 0;
        qint64 m_rowRepeat = 1;
        qint64 m_column = 0;

        bool m_inCell = false;
        qint64 m_cellRepeat = 1;
        Type m_type = Type::None;
        int m_paragraph = 0;  // depth in text:p
        int m_paragraphs = 0; // seen in this cell
        int m_annotation = 0; // depth in a comment, whose text is not the cell's
        std::string m_text;
        std::string m_value;

        qint64 m_hiddenRows = 0;
        int m_width = 0;
        bool m_cutShort = false;
        std::vector<bool> m_hiddenColumns;
    };
}

OdsReader::OdsReader(const QString &path)
    : OdsReader(path, ZipStream::Limits())
{ }

OdsReader::OdsReader(const QString &path, const ZipStream::Limits &limits)
    : m_path(path)
    , m_limits(limits)
{
    if (ZipStream::signature(path) != ZipStream::Signature::Zip)
        throw OrdixError(
            QStringLiteral("Файл %1 не является таблицей OpenDocument (ods)").arg(ZipStream::displayName(path)));
    readOutline();
}

void OdsReader::readOutline()
{
    const QString name = ZipStream::displayName(m_path);
    XmlScanner scanner;

    // The package: what kind of document, whether it is encrypted.
    QByteArray mimeType;
    bool hasContent = false;
    bool encrypted = false;
    bool excel = false;
    {
        ZipStream zip(m_path, m_limits);
        while (zip.nextMember()) {
            const QString member = zip.memberName();
            if (member == QLatin1String("mimetype")) {
                mimeType = zip.readAll(4096).trimmed();
            } else if (member == Content) {
                hasContent = true;
            } else if (member == QLatin1String("META-INF/manifest.xml")) {
                zip.scanMember(scanner, [&](XmlScanner::Token token) {
                    if (token == XmlScanner::Token::StartElement && is(scanner.name(), "encryption-data"))
                        encrypted = true;
                    return !encrypted;
                });
            } else if (member == QLatin1String("[Content_Types].xml")) {
                excel = true;
            }
        }
    }
    if (!hasContent) {
        if (excel)
            throw OrdixError(QStringLiteral("Файл %1 — книга Excel (xlsx), а не таблица OpenDocument (ods)").arg(name));
        throw OrdixError(QStringLiteral("Файл %1 не является таблицей OpenDocument (ods)").arg(name));
    }
    if (!mimeType.isEmpty() && !mimeType.startsWith("application/vnd.oasis.opendocument.spreadsheet")) {
        throw OrdixError(QStringLiteral("Файл %1 — документ OpenDocument, но не таблица (%2)")
                             .arg(name, QString::fromUtf8(mimeType.left(100))));
    }
    if (encrypted) {
        throw OrdixError(QStringLiteral("Таблица %1 защищена паролем: откройте её в LibreOffice, снимите пароль и "
                                        "сохраните снова")
                             .arg(name));
    }

    // The tables with their names; a table whose style says "not shown" is hidden.
    QSet<QString> hiddenStyles;
    QString style;
    int depth = 0;
    ZipStream zip(m_path, m_limits);
    while (zip.nextMember()) {
        if (zip.memberName() != Content)
            continue;
        zip.scanMember(scanner, [&](XmlScanner::Token token) {
            const QByteArrayView element = scanner.qualifiedName();
            if (token == XmlScanner::Token::StartElement) {
                if (is(element, "table:table")) {
                    if (++depth == 1 && m_sheets.size() < MaxItems) {
                        m_sheets.append({scanner.attributeText("table:name"),
                                         hiddenStyles.contains(scanner.attributeText("table:style-name"))});
                    }
                } else if (is(element, "style:style")) {
                    style = is(scanner.attribute("style:family"), "table") ? scanner.attributeText("style:name")
                                                                           : QString();
                } else if (is(element, "style:table-properties") && !style.isEmpty() && hiddenStyles.size() < MaxItems
                           && is(scanner.attribute("table:display"), "false")) {
                    hiddenStyles.insert(style);
                }
            } else if (token == XmlScanner::Token::EndElement) {
                if (is(element, "table:table"))
                    --depth;
                else if (is(element, "style:style"))
                    style.clear();
            }
            return true;
        });
        break;
    }
    if (m_sheets.isEmpty())
        zip.damaged(QStringLiteral("в таблице нет листов"));
}

void OdsReader::readSheet(int sheet, const std::function<bool(const SheetRow &)> &onRow)
{
    m_hiddenColumns.clear();
    m_notes.clear();
    if (sheet < 0 || sheet >= m_sheets.size())
        throw OrdixError(
            QStringLiteral("В таблице %1 нет листа номер %2").arg(ZipStream::displayName(m_path)).arg(sheet + 1));

    ZipStream zip(m_path, m_limits);
    XmlScanner scanner;
    TableParser parser(scanner, sheet, onRow);
    bool found = false;
    while (!found && zip.nextMember()) {
        if (zip.memberName() != Content)
            continue;
        found = true;
        zip.scanMember(scanner, [&](XmlScanner::Token token) { return parser.handle(token); });
    }
    if (!found)
        zip.damaged(QStringLiteral("нет части «%1»").arg(Content));
    m_hiddenColumns = parser.hiddenColumns();
    m_notes = SheetNotes::make(parser.hiddenRows(), m_hiddenColumns, parser.width());
    if (parser.cutShort())
        m_notes.append(QStringLiteral("Строки после %1-й не прочитаны").arg(MaxRows));
}
