#include "xlsxrowscanner.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "cp1251.h"
#include "csvbytesplitter.h"
#include "xmlscanner.h"
#include "xmlvalues.h"

using namespace XmlValues;

namespace
{
    bool isHex(char c)
    {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    }

    int hexValue(char c)
    {
        return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
    }

    // The bytes that end the name of an attribute (or make it none).
    const std::array<bool, 256> nameEnd = [] {
        std::array<bool, 256> table{};
        for (const char c : {' ', '\t', '\r', '\n', '=', '>', '/', '"', '\'', '<'})
            table[static_cast<unsigned char>(c)] = true;
        return table;
    }();

    // Whether an element's name ends at `p` (as XmlScanner ends names).
    bool nameEnds(char c)
    {
        return isSpace(c) || c == '>' || c == '/';
    }

    bool startsWith(const char *p, const char *end, const char *text, size_t size)
    {
        return size_t(end - p) >= size && std::memcmp(p, text, size) == 0;
    }

    // The text of an element from `p` up to its end tag `close` ("</v>"),
    // with `p` then past it; false when anything but text stands before it.
    bool elementText(const char *&p, const char *end, const char *close, size_t closeSize, QByteArrayView &text)
    {
        const char *lt = p;
        while (lt < end && *lt != '<')
            ++lt;
        if (lt == end || !startsWith(lt, end, close, closeSize))
            return false;
        text = QByteArrayView(p, lt);
        p = lt + closeSize;
        return true;
    }

    // A count or an index as toInt() reads it, plain digits straight.
    int smallInt(QByteArrayView v, int fallback)
    {
        if (v.size() > 0 && v.size() <= 9) {
            int n = 0;
            for (const char c : v) {
                if (c < '0' || c > '9')
                    return toInt(v, fallback);
                n = n * 10 + (c - '0');
            }
            return n;
        }
        return toInt(v, fallback);
    }

    enum class Type : quint8
    {
        Number,
        Shared,
        Text, // an inline string or the string of a formula
        Other // a boolean, an error or a date: read the usual way
    };

    Type typeOf(QByteArrayView type)
    {
        if (type.size() == 1) {
            switch (type[0]) {
            case 'n':
                return Type::Number;
            case 's':
                return Type::Shared;
            case 'b':
            case 'e':
            case 'd':
                return Type::Other;
            default:
                return Type::Number;
            }
        }
        if (type.isEmpty())
            return Type::Number;
        if (XmlScanner::is(type, "str") || XmlScanner::is(type, "inlineStr"))
            return Type::Text;
        if (XmlScanner::is(type, "b") || XmlScanner::is(type, "e") || XmlScanner::is(type, "d"))
            return Type::Other;
        return Type::Number; // as the usual reading takes an unknown type
    }
}

bool XlsxRowScanner::appendCp1251(QByteArrayView utf8, std::vector<char> &out)
{
    const size_t before = out.size();
    out.resize(before + size_t(utf8.size()));
    bool exact = true;
    char *const begin = out.data() + before;
    char *end = CsvByteSplitter::utf8ToCp1251(utf8.data(), utf8.data() + utf8.size(), begin, exact);
    if (!exact) {
        out.resize(before);
        return false;
    }
    // Characters XML cannot hold, written as "_x000D_": each stood for one
    // character of the text, as each byte here does.
    const auto *escape = static_cast<const char *>(std::memchr(begin, '_', size_t(end - begin)));
    if (escape) {
        char *to = const_cast<char *>(escape);
        for (const char *from = escape; from < end;) {
            if (from[0] == '_' && end - from > 6 && from[1] == 'x' && isHex(from[2]) && isHex(from[3]) && isHex(from[4])
                && isHex(from[5]) && from[6] == '_') {
                const auto ch = char16_t(hexValue(from[2]) << 12 | hexValue(from[3]) << 8 | hexValue(from[4]) << 4
                                         | hexValue(from[5]));
                const unsigned char byte = Cp1251::fromUnicode(ch);
                if (byte == 0) {
                    out.resize(before);
                    return false;
                }
                *to++ = char(byte);
                from += 7;
            } else {
                *to++ = *from++;
            }
        }
        end = to;
    }
    out.resize(size_t(end - out.data()));
    return true;
}

bool XlsxRowScanner::attributes(const char *&p, const char *end, Attributes &found)
{
    found = Attributes();
    bool r = false, t = false, s = false, hidden = false;
    for (int count = 0; count <= MaxAttributes; ++count) {
        while (p < end && isSpace(*p))
            ++p;
        if (p >= end)
            return false;
        if (*p == '>') {
            ++p;
            return true;
        }
        if (*p == '/') {
            if (end - p < 2 || p[1] != '>')
                return false;
            p += 2;
            found.empty = true;
            return true;
        }
        const char *name = p;
        const char *local = p;
        if (end - p >= 3 && p[1] == '=' && *p != ':' && !nameEnd[static_cast<unsigned char>(*p)]) {
            ++p; // a name of one letter, the common case
        } else {
            while (p < end && !nameEnd[static_cast<unsigned char>(*p)]) {
                if (*p == ':')
                    local = p + 1;
                ++p;
            }
        }
        if (p == name || end - p < 2 || *p != '=' || (p[1] != '"' && p[1] != '\''))
            return false;
        const qsizetype size = p - local;
        const char first = *local;
        const char *open = p + 1;
        const char *close = open + 1;
        while (close < end && *close != *open)
            ++close;
        if (close == end)
            return false;
        p = close + 1;
        bool *seen = nullptr;
        QByteArrayView *to = nullptr;
        if (size == 1) {
            if (first == 'r') {
                seen = &r;
                to = &found.r;
            } else if (first == 't') {
                seen = &t;
                to = &found.t;
            } else if (first == 's') {
                seen = &s;
                to = &found.s;
            }
        } else if (size == 6 && std::memcmp(local, "hidden", 6) == 0) {
            seen = &hidden;
            to = &found.hidden;
        }
        if (!seen)
            continue;
        // A prefixed name counts by its local part where it is read.
        if (local != name)
            return false;
        if (!*seen) {
            *seen = true;
            *to = QByteArrayView(open + 1, close);
        }
    }
    return false;
}

const char *XlsxRowScanner::scan(const char *begin, const char *end, qint64 &rowIndex, XlsxReader::ByteRows &out)
{
    const char *p = begin + 4; // past "<row"
    Attributes found;
    if (!attributes(p, end, found))
        return nullptr;
    qint64 number = 0;
    const qint64 index = toInt(found.r, number) && number >= 1 ? number - 1 : rowIndex + 1;
    if (found.empty) {
        rowIndex = index;
        return p;
    }
    const bool hidden = isTrue(found.hidden);
    const size_t cellsBefore = out.cells.size();
    const size_t textBefore = out.text.size();
    int column = -1;
    bool data = false;
    for (;;) {
        p = skipSpace(p, end);
        if (end - p >= 6 && std::memcmp(p, "</row>", 6) == 0) {
            p += 6;
            break;
        }
        if (end - p > 8 && p[0] == '<' && p[1] == 'c' && nameEnds(p[2])
            && cell(p, end, out, quint32(cellsBefore), column, data))
            continue;
        out.cells.resize(cellsBefore);
        out.text.resize(textBefore);
        return nullptr;
    }
    rowIndex = index;
    if (!data)
        return p;
    const auto width = quint32(out.cells.size() - cellsBefore);
    out.rows.push_back({index, hidden, -1, quint32(cellsBefore), width});
    m_hiddenRows += hidden ? 1 : 0;
    m_width = std::max(m_width, int(width));
    return p;
}

bool XlsxRowScanner::cell(const char *&p, const char *end, XlsxReader::ByteRows &out, quint32 first, int &column,
                          bool &data)
{
    Attributes found;
    if (p[2] == '>') {
        p += 3; // no attributes, the common case
    } else {
        p += 2;
        if (!attributes(p, end, found))
            return false;
    }

    column = XmlValues::columnOf(found.r, column, MaxColumns);
    Type type = typeOf(found.t);
    const int styleIndex = found.s.isEmpty() ? 0 : smallInt(found.s, 0);

    bool hasValue = false;
    bool decode = false; // the value is an <is><t> text with entities to decode
    QByteArrayView value;
    while (!found.empty) {
        p = skipSpace(p, end);
        if (end - p < 5 || *p != '<')
            return false;
        if (p[1] == '/') {
            if (std::memcmp(p, "</c>", 4) != 0)
                return false;
            p += 4;
            break;
        }
        if (p[1] == 'v' && (p[2] == '>' || (p[2] == '/' && p[3] == '>'))) {
            if (hasValue)
                return false;
            hasValue = true;
            if (p[2] == '/') {
                value = QByteArrayView();
                p += 4;
                continue;
            }
            p += 3;
            if (!elementText(p, end, "</v>", 4, value) || std::memchr(value.data(), '&', size_t(value.size())))
                return false;
            continue;
        }
        if (p[1] == 'f' && nameEnds(p[2])) {
            // A formula: its stored result is the value.
            p += 2;
            Attributes formula;
            QByteArrayView text;
            if (!attributes(p, end, formula) || (!formula.empty && !elementText(p, end, "</f>", 4, text)))
                return false;
            continue;
        }
        if (std::memcmp(p, "<is>", 4) == 0) {
            if (hasValue)
                return false;
            hasValue = true;
            type = Type::Text;
            p = skipSpace(p + 4, end);
            if (end - p < 3 || p[0] != '<' || p[1] != 't' || (!isSpace(p[2]) && p[2] != '>'))
                return false;
            p += 2;
            Attributes text;
            if (!attributes(p, end, text) || text.empty || !elementText(p, end, "</t>", 4, value))
                return false;
            p = skipSpace(p, end);
            if (!startsWith(p, end, "</is>", 5))
                return false;
            p += 5;
            decode = std::memchr(value.data(), '&', size_t(value.size())) != nullptr;
            continue;
        }
        return false;
    }

    // A formula with no stored result leaves the cell empty.
    if (!hasValue || column >= MaxColumns)
        return true;
    XlsxReader::ByteCell made;
    switch (type) {
    case Type::Number:
        if (!toDouble(value, made.number))
            return false; // text where a number should be
        made.kind = XlsxReader::ByteCell::Kind::Number;
        made.index = quint32(styleIndex);
        if (value.size() <= MaxNumberText && std::memchr(value.data(), '.', size_t(value.size()))) {
            // A fraction as written: its shortest form, where the number
            // reads back from it.
            made.own = true;
            made.text = reinterpret_cast<const char *>(out.text.size());
            made.size = qint32(value.size());
            out.text.insert(out.text.end(), value.begin(), value.end());
        }
        break;
    case Type::Shared: {
        const int index = smallInt(value, -1);
        if (index < 0 || size_t(index) >= m_sharedEnds.size())
            return true;
        const quint32 from = index == 0 ? 0 : m_sharedEnds[size_t(index) - 1];
        const quint32 size = m_sharedEnds[size_t(index)] - from;
        if (size == 0) {
            if (!m_sharedUnicode.contains(index))
                return true;
            made.kind = XlsxReader::ByteCell::Kind::Unicode;
            made.index = quint32(index);
        } else {
            made.kind = XlsxReader::ByteCell::Kind::Text;
            made.text = m_sharedBytes.data() + from;
            made.size = qint32(size);
        }
        break;
    }
    case Type::Text: {
        const size_t at = out.text.size();
        if (decode) {
            m_decoded.clear();
            XmlScanner::decode(value, m_decoded);
            value = QByteArrayView(m_decoded.data(), qsizetype(m_decoded.size()));
        }
        if (!appendCp1251(value, out.text))
            return false;
        if (out.text.size() == at)
            return true;
        made.kind = XlsxReader::ByteCell::Kind::Text;
        made.own = true;
        made.text = reinterpret_cast<const char *>(at);
        made.size = qint32(out.text.size() - at);
        break;
    }
    case Type::Other:
        return false;
    }
    const size_t at = first + size_t(column);
    if (out.cells.size() == at)
        out.cells.push_back(made);
    else if (out.cells.size() > at)
        out.cells[at] = made;
    else {
        out.cells.resize(at);
        out.cells.push_back(made);
    }
    data = true;
    return true;
}
