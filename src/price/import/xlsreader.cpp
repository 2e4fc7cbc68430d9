#include "xlsreader.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

#include <QDir>
#include <QFile>
#include <QtEndian>

#include "compoundfile.h"
#include "ordixerror.h"

namespace
{
    // Record types of the workbook stream.
    enum RecordType : quint16
    {
        Formula = 0x0006,
        Eof = 0x000A,
        DateMode = 0x0022,
        FilePass = 0x002F,
        Continue = 0x003C,
        ColInfo = 0x007D,
        BoundSheet = 0x0085,
        MulRk = 0x00BD,
        RString = 0x00D6,
        Xf = 0x00E0,
        Sst = 0x00FC,
        LabelSst = 0x00FD,
        Label = 0x0204,
        BoolErr = 0x0205,
        String = 0x0207,
        Number = 0x0203,
        Row = 0x0208,
        Rk = 0x027E,
        Format = 0x041E,
        Bof = 0x0809,
    };

    constexpr quint16 Biff8 = 0x0600;
    constexpr quint16 GlobalsSubstream = 0x0005;
    constexpr int MaxRows = 65536;
    constexpr int MaxColumns = 256;

    QString native(const QString &fileName)
    {
        return QDir::toNativeSeparators(fileName);
    }

    [[noreturn]] void refuseOldFormat()
    {
        throw OrdixError(
            QStringLiteral("Формат Excel 5.0/95 не поддерживается; сохраните файл как .xls (97–2003) или .xlsx"));
    }

    [[noreturn]] void refuseEncrypted(const QString &fileName)
    {
        throw OrdixError(QStringLiteral("Книга %1 защищена паролем: откройте её в Excel и сохраните без пароля")
                             .arg(native(fileName)));
    }

    quint16 u16(const char *p)
    {
        return qFromLittleEndian<quint16>(p);
    }

    quint32 u32(const char *p)
    {
        return qFromLittleEndian<quint32>(p);
    }

    double f64(const char *p)
    {
        const quint64 bits = qFromLittleEndian<quint64>(p);
        double value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

    // A number packed into 32 bits: an integer or the upper half of a
    // double, either of them possibly a hundred times the value.
    double rkValue(quint32 rk)
    {
        double value;
        if (rk & 2) {
            value = double(qint32(rk) >> 2);
        } else {
            const quint64 bits = quint64(rk & 0xFFFFFFFCu) << 32;
            std::memcpy(&value, &bits, sizeof value);
        }
        return (rk & 1) ? value / 100 : value;
    }

    QString errorText(int code)
    {
        switch (code) {
        case 0x00:
            return QStringLiteral("#NULL!");
        case 0x07:
            return QStringLiteral("#DIV/0!");
        case 0x0F:
            return QStringLiteral("#VALUE!");
        case 0x17:
            return QStringLiteral("#REF!");
        case 0x1D:
            return QStringLiteral("#NAME?");
        case 0x24:
            return QStringLiteral("#NUM!");
        case 0x2A:
            return QStringLiteral("#N/A");
        default:
            return QStringLiteral("#N/A");
        }
    }

    // The formats every workbook has without declaring them. Those that
    // follow the system's settings are given as a Russian Excel shows them.
    QString builtinFormat(int id)
    {
        static const std::array<const char *, 50> codes = {"General",
                                                           "0",
                                                           "0.00",
                                                           "#,##0",
                                                           "#,##0.00",
                                                           "#,##0_);(#,##0)",
                                                           "#,##0_);[Red](#,##0)",
                                                           "#,##0.00_);(#,##0.00)",
                                                           "#,##0.00_);[Red](#,##0.00)",
                                                           "0%",
                                                           "0.00%",
                                                           "0.00E+00",
                                                           "# ?/?",
                                                           "# ?\?/??",
                                                           "dd.mm.yyyy",
                                                           "d-mmm-yy",
                                                           "d-mmm",
                                                           "mmm-yy",
                                                           "h:mm AM/PM",
                                                           "h:mm:ss AM/PM",
                                                           "h:mm",
                                                           "h:mm:ss",
                                                           "dd.mm.yyyy h:mm",
                                                           "General",
                                                           "General",
                                                           "General",
                                                           "General",
                                                           "General",
                                                           "General",
                                                           "General",
                                                           "General",
                                                           "General",
                                                           "General",
                                                           "General",
                                                           "General",
                                                           "General",
                                                           "General",
                                                           "#,##0_);(#,##0)",
                                                           "#,##0_);[Red](#,##0)",
                                                           "#,##0.00_);(#,##0.00)",
                                                           "#,##0.00_);[Red](#,##0.00)",
                                                           "_(* #,##0_);_(* (#,##0);_(* \"-\"_);_(@_)",
                                                           "_(* #,##0_);_(* (#,##0);_(* \"-\"_);_(@_)",
                                                           "_(* #,##0.00_);_(* (#,##0.00);_(* \"-\"??_);_(@_)",
                                                           "_(* #,##0.00_);_(* (#,##0.00);_(* \"-\"??_);_(@_)",
                                                           "mm:ss",
                                                           "[h]:mm:ss",
                                                           "mm:ss.0",
                                                           "##0.0E+0",
                                                           "@"};
        if (id < 0 || id >= int(codes.size()))
            return QStringLiteral("General");
        return QString::fromLatin1(codes[size_t(id)]);
    }

    QString columnName(int column)
    {
        QString name;
        for (int c = column + 1; c > 0; c = (c - 1) / 26)
            name.prepend(QChar(u'A' + (c - 1) % 26));
        return name;
    }

    // The records of the workbook stream one after another, each a type
    // and its data.
    class Records final
    {
    public:
        Records(const QByteArray &stream, qsizetype position)
            : m_stream(stream)
            , m_next(position)
        { }

        // False at the end of the stream, or where a record runs past it
        // (then `truncated()`).
        bool next()
        {
            m_position = m_next;
            if (m_next + 4 > m_stream.size()) {
                m_truncated = m_next < m_stream.size();
                return false;
            }
            const char *p = m_stream.constData() + m_next;
            m_type = u16(p);
            const qsizetype length = u16(p + 2);
            if (m_next + 4 + length > m_stream.size()) {
                m_truncated = true;
                return false;
            }
            m_data = QByteArrayView(p + 4, length);
            m_next += 4 + length;
            return true;
        }

        quint16 type() const { return m_type; }
        QByteArrayView data() const { return m_data; }
        qsizetype position() const { return m_position; }
        bool truncated() const { return m_truncated; }

        // The current record's data and that of the CONTINUE records
        // after it, which are consumed.
        QList<QByteArrayView> withContinues()
        {
            QList<QByteArrayView> parts{m_data};
            while (m_next + 4 <= m_stream.size() && u16(m_stream.constData() + m_next) == Continue) {
                const qsizetype length = u16(m_stream.constData() + m_next + 2);
                if (m_next + 4 + length > m_stream.size())
                    break;
                parts.append(QByteArrayView(m_stream.constData() + m_next + 4, length));
                m_next += 4 + length;
            }
            return parts;
        }

    private:
        const QByteArray &m_stream;
        qsizetype m_next = 0;
        qsizetype m_position = 0;
        quint16 m_type = 0;
        QByteArrayView m_data;
        bool m_truncated = false;
    };

    // Reads data that goes on from one record into its CONTINUE records.
    // Characters of a string that continue in the next record are preceded
    // there by a byte saying whether they take one byte or two; everything
    // else goes on as it is. Reading past the end gives zeros and clears
    // `ok()`.
    class Segments final
    {
    public:
        explicit Segments(QList<QByteArrayView> parts)
            : m_parts(std::move(parts))
        { }

        explicit Segments(QByteArrayView data)
            : m_parts{data}
        { }

        bool ok() const { return m_ok; }

        bool atEnd()
        {
            settle();
            return m_part >= m_parts.size();
        }

        quint8 u8()
        {
            settle();
            if (m_part >= m_parts.size()) {
                m_ok = false;
                return 0;
            }
            return quint8(m_parts.at(m_part).at(m_pos++));
        }

        quint16 u16()
        {
            const quint16 low = u8();
            return quint16(low | (u8() << 8));
        }

        quint32 u32()
        {
            const quint32 low = u16();
            return low | (quint32(u16()) << 16);
        }

        void skip(qint64 count)
        {
            while (count > 0) {
                settle();
                if (m_part >= m_parts.size()) {
                    m_ok = false;
                    return;
                }
                const qsizetype step = qMin<qint64>(count, m_parts.at(m_part).size() - m_pos);
                m_pos += step;
                count -= step;
            }
        }

        QString chars(int count, bool twoBytes)
        {
            QString text;
            text.reserve(count);
            while (text.size() < count) {
                if (m_part >= m_parts.size()) {
                    m_ok = false;
                    break;
                }
                const QByteArrayView part = m_parts.at(m_part);
                if (m_pos >= part.size()) {
                    // The characters go on in the next record, after a
                    // byte that says how wide they are there.
                    ++m_part;
                    m_pos = 0;
                    if (m_part < m_parts.size() && !m_parts.at(m_part).isEmpty()) {
                        twoBytes = m_parts.at(m_part).at(0) & 1;
                        m_pos = 1;
                    }
                    continue;
                }
                const qsizetype available = part.size() - m_pos;
                const qsizetype wanted = count - text.size();
                if (twoBytes) {
                    const qsizetype n = qMin(wanted, available / 2);
                    if (n == 0) {
                        m_pos = part.size();
                        continue;
                    }
                    const qsizetype old = text.size();
                    text.resize(old + n);
                    qFromLittleEndian<quint16>(part.data() + m_pos, n, text.data() + old);
                    m_pos += 2 * n;
                } else {
                    const qsizetype n = qMin(wanted, available);
                    text.append(QLatin1String(part.data() + m_pos, n));
                    m_pos += n;
                }
            }
            return text;
        }

        // A string with a 16-bit length and a flags byte; with `extended`,
        // the formatting runs and phonetic text that may follow it are
        // skipped.
        QString unicodeString(bool extended)
        {
            const quint16 count = u16();
            const quint8 flags = u8();
            quint16 runs = 0;
            quint32 phonetic = 0;
            if (extended && (flags & 0x08))
                runs = u16();
            if (extended && (flags & 0x04))
                phonetic = u32();
            QString text = chars(count, flags & 1);
            skip(qint64(runs) * 4 + phonetic);
            return text;
        }

    private:
        void settle()
        {
            while (m_part < m_parts.size() && m_pos >= m_parts.at(m_part).size()) {
                ++m_part;
                m_pos = 0;
            }
        }

        QList<QByteArrayView> m_parts;
        qsizetype m_part = 0;
        qsizetype m_pos = 0;
        bool m_ok = true;
    };

    // One cell as the sheet's records give it, kept small: a sheet may
    // hold millions.
    struct RawCell
    {
        enum Kind : quint8
        {
            Number,
            SharedText, // `value` indexes the shared strings
            OwnText,    // `value` indexes the sheet's own strings
            Bool,
            Error,
        };

        quint16 row = 0;
        quint16 column = 0;
        quint16 xf = 0;
        Kind kind = Number;
        double value = 0;
    };

    bool lessByPosition(const RawCell &a, const RawCell &b)
    {
        return a.row != b.row ? a.row < b.row : a.column < b.column;
    }

    QByteArray sniffable(QByteArrayView bytes)
    {
        // Text in UTF-16 is looked at through its low bytes.
        if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
            const int low = bytes.startsWith("\xFF\xFE") ? 0 : 1;
            QByteArray out;
            for (qsizetype i = 2 + low; i < bytes.size(); i += 2)
                out.append(bytes.at(i));
            return out;
        }
        if (bytes.startsWith("\xEF\xBB\xBF"))
            return bytes.sliced(3).toByteArray();
        return bytes.toByteArray();
    }

    bool looksLikeText(QByteArrayView bytes)
    {
        for (char c : bytes) {
            const auto b = static_cast<unsigned char>(c);
            if (b < 0x20 && b != '\t' && b != '\n' && b != '\r' && b != '\f')
                return false;
        }
        return true;
    }
}

QString describeNotAWorkbook(QByteArrayView firstBytes, const QString &fileName)
{
    if (CompoundFile::hasSignature(firstBytes))
        return {};
    const QString name = native(fileName);
    const QString saveAsXlsx = QStringLiteral(": откройте её в Excel и сохраните как .xlsx");
    if (firstBytes.isEmpty())
        return QStringLiteral("Файл %1 пуст").arg(name);
    if (firstBytes.startsWith("PK\x03\x04"))
        return QStringLiteral("Файл %1 — не книга Excel 97–2003, а архив ZIP (так хранятся книги .xlsx и .ods): "
                              "переименуйте его, указав расширение .xlsx или .ods")
            .arg(name);
    // The first record of an Excel 2.x–4.0 sheet: its type and a short length.
    if (firstBytes.size() >= 4 && firstBytes.at(0) == '\x09'
        && (firstBytes.at(1) == '\0' || firstBytes.at(1) == '\x02' || firstBytes.at(1) == '\x04')
        && (firstBytes.at(2) == '\x04' || firstBytes.at(2) == '\x06') && firstBytes.at(3) == '\0') {
        return QStringLiteral("Файл %1 — книга Excel 2.x–4.0, такой старый формат не поддерживается; "
                              "сохраните файл как .xls (97–2003) или .xlsx")
            .arg(name);
    }
    if (firstBytes.startsWith("%PDF"))
        return QStringLiteral("Файл %1 — не книга Excel, а документ PDF: такие файлы программа не читает").arg(name);

    const QByteArray text = sniffable(firstBytes).trimmed().toLower();
    if (text.startsWith("{\\rtf"))
        return QStringLiteral("Файл %1 — не книга Excel, а документ RTF: откройте его в Word и сохраните таблицу в "
                              "Excel как .xlsx")
            .arg(name);
    if (text.startsWith("<?xml")) {
        if (text.contains("urn:schemas-microsoft-com:office:spreadsheet") || text.contains("<workbook")
            || text.contains("progid=\"excel.sheet\"")) {
            return QStringLiteral("Файл %1 — не книга Excel, а таблица XML 2003").arg(name) + saveAsXlsx;
        }
        if (!text.contains("<html"))
            return QStringLiteral("Файл %1 — не книга Excel, а документ XML").arg(name);
    }
    if (text.startsWith("mime-version:") || text.contains("\nmime-version:"))
        return QStringLiteral("Файл %1 — не книга Excel, а страница HTML (веб-архив)").arg(name) + saveAsXlsx;
    static const char *const htmlStarts[] = {"<html", "<!doctype html", "<table", "<head", "<body",
                                             "<meta", "<style",         "<div",   "<tr",   "<!--"};
    const bool html = (text.startsWith('<') && text.contains("<html"))
        || std::any_of(std::begin(htmlStarts), std::end(htmlStarts),
                       [&](const char *start) { return text.startsWith(start); });
    if (html)
        return QStringLiteral("Файл %1 — не книга Excel, а страница HTML").arg(name) + saveAsXlsx;
    if (looksLikeText(text))
        return QStringLiteral("Файл %1 — не книга Excel, а текстовый файл: откройте его в Excel и сохраните как .xlsx")
            .arg(name);
    return QStringLiteral("Файл %1 — не книга Excel 97–2003: его содержимое не распознано, возможно, файл повреждён")
        .arg(name);
}

XlsReader::XlsReader(const QString &path)
    : m_fileName(path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw OrdixError(QStringLiteral("Не удалось открыть файл %1: %2").arg(native(path), file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw OrdixError(QStringLiteral("Не удалось прочитать файл %1: %2").arg(native(path), file.errorString()));
    open(bytes);
}

XlsReader::XlsReader(const QByteArray &bytes, const QString &fileName)
    : m_fileName(fileName)
{
    open(bytes);
}

void XlsReader::damaged() const
{
    throw OrdixError(QStringLiteral("Книга %1 повреждена: её листы не удаётся прочитать").arg(native(m_fileName)));
}

void XlsReader::open(const QByteArray &bytes)
{
    const QString notWorkbook =
        describeNotAWorkbook(QByteArrayView(bytes).first(qMin<qsizetype>(bytes.size(), 4096)), m_fileName);
    if (!notWorkbook.isEmpty())
        throw OrdixError(notWorkbook);
    const CompoundFile container(bytes, m_fileName);
    if (container.hasStream(QStringLiteral("Workbook"))) {
        m_stream = container.readStream(QStringLiteral("Workbook"));
    } else if (container.hasStream(QStringLiteral("Book"))) {
        refuseOldFormat();
    } else if (container.hasStream(QStringLiteral("EncryptedPackage"))) {
        // A password-protected .xlsx comes in the same container.
        refuseEncrypted(m_fileName);
    } else if (container.hasStream(QStringLiteral("WordDocument"))) {
        throw OrdixError(QStringLiteral("Файл %1 — не книга Excel, а документ Word").arg(native(m_fileName)));
    } else {
        throw OrdixError(QStringLiteral("В файле %1 нет книги Excel").arg(native(m_fileName)));
    }
    readGlobals();
}

void XlsReader::readGlobals()
{
    Records records(m_stream, 0);
    if (!records.next() || records.type() != Bof || records.data().size() < 4)
        damaged();
    const quint16 version = u16(records.data().data());
    if (version != 0 && version < Biff8)
        refuseOldFormat();
    if (version != Biff8 || u16(records.data().data() + 2) != GlobalsSubstream)
        damaged();

    QHash<quint16, QString> formats;
    QList<quint16> xfFormats;
    int ordinal = 0;
    while (records.next() && records.type() != Eof) {
        const QByteArrayView data = records.data();
        switch (records.type()) {
        case FilePass:
            refuseEncrypted(m_fileName);
        case DateMode:
            if (data.size() >= 2)
                m_1904 = u16(data.data()) == 1;
            break;
        case BoundSheet: {
            if (data.size() < 8)
                break;
            Sheet sheet;
            sheet.offset = u32(data.data());
            sheet.info.hidden = (data.at(4) & 3) != 0;
            sheet.ordinal = ordinal++;
            Segments name(data.sliced(6));
            const quint8 length = name.u8();
            const quint8 flags = name.u8();
            sheet.info.name = name.chars(length, flags & 1);
            // Worksheets only: charts, macro sheets and modules hold no list.
            if (data.at(5) == 0)
                m_sheets.append(sheet);
            break;
        }
        case Sst: {
            const QList<QByteArrayView> parts = records.withContinues();
            qsizetype total = 0;
            for (QByteArrayView part : parts)
                total += part.size();
            Segments sst(parts);
            sst.skip(4);
            const quint32 unique = sst.u32();
            m_strings.reserve(qsizetype(qMin<qint64>(unique, total / 3)));
            for (quint32 i = 0; i < unique && !sst.atEnd(); ++i) {
                QString text = sst.unicodeString(true);
                if (!sst.ok())
                    break;
                m_strings.append(std::move(text));
            }
            break;
        }
        case Format: {
            if (data.size() < 5)
                break;
            Segments code(data.sliced(2));
            formats.insert(u16(data.data()), code.unicodeString(false));
            break;
        }
        case Xf:
            if (data.size() >= 4)
                xfFormats.append(u16(data.data() + 2));
            break;
        default:
            break;
        }
    }
    if (records.truncated())
        damaged();
    resolveFormats(formats, xfFormats);
}

void XlsReader::resolveFormats(const QHash<quint16, QString> &formats, const QList<quint16> &xfFormats)
{
    QHash<quint16, QString> codes;
    m_xfFormats.reserve(xfFormats.size());
    for (quint16 id : xfFormats) {
        auto code = codes.constFind(id);
        if (code == codes.constEnd())
            code = codes.insert(id, formats.value(id, builtinFormat(id)));
        m_xfFormats.append(*code);
    }
}

QList<SheetInfo> XlsReader::sheets() const
{
    QList<SheetInfo> out;
    for (const Sheet &sheet : m_sheets)
        out.append(sheet.info);
    return out;
}

qsizetype XlsReader::sheetStart(const Sheet &sheet) const
{
    Records at(m_stream, sheet.offset);
    if (at.next() && at.type() == Bof)
        return sheet.offset;
    // Some writers leave the positions out; the sheets then follow the
    // workbook's settings in the order they are listed.
    Records records(m_stream, 0);
    int depth = 0;
    int found = -1;
    while (records.next()) {
        if (records.type() == Bof) {
            if (depth == 0 && records.position() > 0 && ++found == sheet.ordinal)
                return records.position();
            ++depth;
        } else if (records.type() == Eof && depth > 0) {
            --depth;
        }
    }
    damaged();
}

void XlsReader::readSheet(int sheet, const std::function<bool(const SheetRow &)> &onRow)
{
    m_hiddenColumns.clear();
    m_notes.clear();
    if (sheet < 0 || sheet >= m_sheets.size())
        throw OrdixError(QStringLiteral("В книге %1 нет листа номер %2").arg(native(m_fileName)).arg(sheet + 1));

    std::vector<RawCell> cells;
    QStringList texts;
    std::vector<bool> hiddenRows(MaxRows, false);
    std::array<bool, MaxColumns> hiddenColumns{};
    struct
    {
        bool waiting = false;
        quint16 row = 0;
        quint16 column = 0;
        quint16 xf = 0;
    } formulaText;

    const auto add = [&](quint16 row, quint16 column, quint16 xf, RawCell::Kind kind, double value) {
        if (column >= MaxColumns)
            return;
        if (kind == RawCell::Number && !std::isfinite(value)) {
            kind = RawCell::Error;
            value = 0x24;
        }
        cells.push_back(RawCell{row, column, xf, kind, value});
    };
    const auto addText = [&](quint16 row, quint16 column, QString text) {
        if (text.isEmpty() || column >= MaxColumns)
            return;
        texts.append(std::move(text));
        add(row, column, 0, RawCell::OwnText, double(texts.size() - 1));
    };

    Records records(m_stream, sheetStart(m_sheets.at(sheet)));
    records.next();
    int depth = 0;
    while (records.next()) {
        const quint16 type = records.type();
        if (type == Bof) {
            ++depth;
            continue;
        }
        if (type == Eof) {
            if (depth == 0)
                break;
            --depth;
            continue;
        }
        if (depth > 0)
            continue;
        const QByteArrayView data = records.data();
        const char *p = data.data();
        if (type == String) {
            if (formulaText.waiting) {
                Segments text(records.withContinues());
                addText(formulaText.row, formulaText.column, text.unicodeString(false));
                formulaText.waiting = false;
            }
            continue;
        }
        switch (type) {
        case Row:
            if (data.size() >= 16 && (u32(p + 12) & 0x20))
                hiddenRows[u16(p)] = true;
            break;
        case ColInfo:
            if (data.size() >= 10 && (u16(p + 8) & 1)) {
                for (int c = u16(p); c <= qMin<int>(u16(p + 2), MaxColumns - 1); ++c)
                    hiddenColumns[size_t(c)] = true;
            }
            break;
        case LabelSst:
            if (data.size() >= 10) {
                const quint32 index = u32(p + 6);
                if (index >= quint32(m_strings.size()))
                    damaged();
                add(u16(p), u16(p + 2), u16(p + 4), RawCell::SharedText, index);
            }
            break;
        case Label:
        case RString:
            if (data.size() >= 9) {
                Segments text(data.sliced(6));
                addText(u16(p), u16(p + 2), text.unicodeString(false));
            }
            break;
        case Number:
            if (data.size() >= 14)
                add(u16(p), u16(p + 2), u16(p + 4), RawCell::Number, f64(p + 6));
            break;
        case Rk:
            if (data.size() >= 10)
                add(u16(p), u16(p + 2), u16(p + 4), RawCell::Number, rkValue(u32(p + 6)));
            break;
        case MulRk:
            // Row, first column, then a style and a number for each
            // column, then the last column.
            if (data.size() >= 6) {
                int column = u16(p + 2);
                for (qsizetype at = 4; at + 6 <= data.size() - 2; at += 6, ++column)
                    add(u16(p), quint16(qMin(column, 0xFFFF)), u16(p + at), RawCell::Number, rkValue(u32(p + at + 2)));
            }
            break;
        case BoolErr:
            if (data.size() >= 8)
                add(u16(p), u16(p + 2), u16(p + 4), p[7] ? RawCell::Error : RawCell::Bool, quint8(p[6]));
            break;
        case Formula:
            formulaText.waiting = false;
            if (data.size() >= 20) {
                const quint16 row = u16(p);
                const quint16 column = u16(p + 2);
                const quint16 xf = u16(p + 4);
                if (u16(p + 12) != 0xFFFF) {
                    add(row, column, xf, RawCell::Number, f64(p + 6));
                } else {
                    switch (p[6]) {
                    case 0: // the text is in the STRING record that follows
                        formulaText = {true, row, column, xf};
                        break;
                    case 1:
                        add(row, column, xf, RawCell::Bool, p[8] ? 1 : 0);
                        break;
                    case 2:
                        add(row, column, xf, RawCell::Error, quint8(p[8]));
                        break;
                    default: // an empty text
                        break;
                    }
                }
            }
            break;
        default:
            break;
        }
    }
    if (records.truncated())
        damaged();

    if (!std::is_sorted(cells.begin(), cells.end(), lessByPosition))
        std::stable_sort(cells.begin(), cells.end(), lessByPosition);

    const auto holdsSomething = [&](const RawCell &cell) {
        switch (cell.kind) {
        case RawCell::SharedText:
            return !m_strings.at(qsizetype(cell.value)).isEmpty();
        case RawCell::OwnText:
            return !texts.at(qsizetype(cell.value)).isEmpty();
        default:
            return true;
        }
    };

    // What the buyer should know about the whole sheet, before its rows go.
    std::array<bool, MaxColumns> usedColumns{};
    int hiddenRowCount = 0;
    for (size_t i = 0; i < cells.size();) {
        size_t end = i;
        bool any = false;
        for (; end < cells.size() && cells[end].row == cells[i].row; ++end) {
            if (holdsSomething(cells[end])) {
                any = true;
                usedColumns[cells[end].column] = true;
            }
        }
        if (any && hiddenRows[cells[i].row])
            ++hiddenRowCount;
        i = end;
    }
    QStringList hiddenNames;
    for (int c = 0; c < MaxColumns; ++c) {
        if (hiddenColumns[size_t(c)] && usedColumns[size_t(c)]) {
            m_hiddenColumns.append(c);
            hiddenNames.append(columnName(c));
        }
    }
    if (hiddenRowCount > 0)
        m_notes.append(QStringLiteral("Скрыто строк: %1").arg(hiddenRowCount));
    if (!hiddenNames.isEmpty())
        m_notes.append(QStringLiteral("Скрыты столбцы: %1").arg(hiddenNames.join(QStringLiteral(", "))));

    SheetRow row;
    const QString general = QStringLiteral("General");
    for (size_t i = 0; i < cells.size();) {
        const quint16 index = cells[i].row;
        size_t end = i;
        bool any = false;
        for (; end < cells.size() && cells[end].row == index; ++end)
            any = any || holdsSomething(cells[end]);
        if (any) {
            row.index = index;
            row.hidden = hiddenRows[index];
            row.cells.clear();
            row.cells.resize(cells[end - 1].column + 1);
            for (size_t k = i; k < end; ++k) {
                const RawCell &raw = cells[k];
                SheetCell cell;
                switch (raw.kind) {
                case RawCell::Number:
                    cell.kind = SheetCell::Kind::Number;
                    cell.number = raw.value;
                    cell.numberFormat = raw.xf < m_xfFormats.size() ? m_xfFormats.at(raw.xf) : general;
                    break;
                case RawCell::SharedText:
                    cell.kind = SheetCell::Kind::Text;
                    cell.text = m_strings.at(qsizetype(raw.value));
                    break;
                case RawCell::OwnText:
                    cell.kind = SheetCell::Kind::Text;
                    cell.text = texts.at(qsizetype(raw.value));
                    break;
                case RawCell::Bool:
                    cell.kind = SheetCell::Kind::Bool;
                    cell.number = raw.value != 0 ? 1 : 0;
                    break;
                case RawCell::Error:
                    cell.kind = SheetCell::Kind::Error;
                    cell.text = errorText(int(raw.value));
                    break;
                }
                row.cells[raw.column] = std::move(cell);
            }
            if (!onRow(row))
                return;
        }
        i = end;
    }
}
