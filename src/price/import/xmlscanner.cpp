#include "xmlscanner.h"

#include <algorithm>
#include <cstring>

namespace
{
    inline bool isSpace(char c)
    {
        return c == ' ' || c == '\n' || c == '\r' || c == '\t';
    }

    // The first `c` in [from, end), or nullptr; most searches end within a
    // few bytes, where a loop beats a call.
    inline const char *findChar(const char *from, const char *end, char c)
    {
        const char *stop = end - from > 32 ? from + 32 : end;
        for (; from < stop; ++from) {
            if (*from == c)
                return from;
        }
        return from < end ? static_cast<const char *>(std::memchr(from, c, size_t(end - from))) : nullptr;
    }

    // The first `pattern` in [from, end), or nullptr.
    const char *find(const char *from, const char *end, QByteArrayView pattern)
    {
        const char first = pattern.front();
        while (end - from >= pattern.size()) {
            const auto *hit = static_cast<const char *>(std::memchr(from, first, size_t(end - from)));
            if (!hit || end - hit < pattern.size())
                return nullptr;
            if (std::memcmp(hit, pattern.data(), size_t(pattern.size())) == 0)
                return hit;
            from = hit + 1;
        }
        return nullptr;
    }

    void appendUtf8(std::string &out, uint code)
    {
        if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            code = 0xFFFD;
        if (code < 0x80) {
            out.push_back(char(code));
        } else if (code < 0x800) {
            out.push_back(char(0xC0 | (code >> 6)));
            out.push_back(char(0x80 | (code & 0x3F)));
        } else if (code < 0x10000) {
            out.push_back(char(0xE0 | (code >> 12)));
            out.push_back(char(0x80 | ((code >> 6) & 0x3F)));
            out.push_back(char(0x80 | (code & 0x3F)));
        } else {
            out.push_back(char(0xF0 | (code >> 18)));
            out.push_back(char(0x80 | ((code >> 12) & 0x3F)));
            out.push_back(char(0x80 | ((code >> 6) & 0x3F)));
            out.push_back(char(0x80 | (code & 0x3F)));
        }
    }

    // The character of "#65" or "#x41"; 0 when it is not a number.
    uint characterReference(QByteArrayView ref)
    {
        if (ref.size() < 2 || ref.size() > 9 || ref[0] != '#')
            return 0;
        const bool hex = ref[1] == 'x' || ref[1] == 'X';
        qsizetype i = hex ? 2 : 1;
        if (i >= ref.size())
            return 0;
        uint code = 0;
        for (; i < ref.size(); ++i) {
            const char c = ref[i];
            uint digit;
            if (c >= '0' && c <= '9')
                digit = uint(c - '0');
            else if (hex && c >= 'a' && c <= 'f')
                digit = uint(c - 'a' + 10);
            else if (hex && c >= 'A' && c <= 'F')
                digit = uint(c - 'A' + 10);
            else
                return 0;
            code = code * (hex ? 16 : 10) + digit;
        }
        return code == 0 ? 0xFFFD : code;
    }
}

void XmlScanner::feed(QByteArrayView data)
{
    if (m_pos > 0) {
        std::memmove(m_buffer.data(), m_buffer.data() + m_pos, size_t(m_size - m_pos));
        m_size -= m_pos;
        m_pos = 0;
    }
    const qsizetype needed = m_size + data.size();
    if (needed > qsizetype(m_buffer.size()))
        m_buffer.resize(size_t(std::max<qsizetype>(needed, qsizetype(m_buffer.size()) * 2)));
    if (!data.isEmpty())
        std::memcpy(m_buffer.data() + m_size, data.data(), size_t(data.size()));
    m_size = needed;
}

void XmlScanner::reset()
{
    m_size = m_pos = m_scanned = 0;
    m_finished = m_pendingEnd = m_emptyElement = m_cdata = false;
    m_name = m_localName = m_text = QByteArrayView();
    m_attributes.clear();
}

XmlScanner::Token XmlScanner::needData(qsizetype scanned)
{
    if (m_finished) {
        // What is left is an unfinished tag or text: the part ends there.
        m_pos = m_size;
        m_scanned = 0;
        return Token::NeedData;
    }
    m_scanned = scanned;
    return m_size - m_pos > MaxToken ? Token::Invalid : Token::NeedData;
}

XmlScanner::Token XmlScanner::next()
{
    if (m_pendingEnd) {
        m_pendingEnd = false;
        return Token::EndElement;
    }
    for (;;) {
        const char *base = m_buffer.data();
        const char *p = base + m_pos;
        const char *end = base + m_size;
        if (p == end) {
            m_scanned = 0;
            return Token::NeedData;
        }
        if (*p != '<') {
            const char *lt = findChar(p + m_scanned, end, '<');
            if (!lt)
                return needData(end - p);
            m_text = QByteArrayView(p, lt);
            m_cdata = false;
            m_pos = lt - base;
            m_scanned = 0;
            return Token::Text;
        }
        if (end - p < 2)
            return needData(0);
        const char kind = p[1];
        if (kind == '/') {
            const char *gt = findChar(p + std::max<qsizetype>(2, m_scanned), end, '>');
            if (!gt)
                return needData(end - p);
            const char *nameStart = p + 2;
            const char *nameEnd = gt;
            while (nameEnd > nameStart && isSpace(nameEnd[-1]))
                --nameEnd;
            m_name = QByteArrayView(nameStart, nameEnd);
            m_localName = localPart(m_name);
            m_emptyElement = false;
            m_pos = gt + 1 - base;
            m_scanned = 0;
            return Token::EndElement;
        }
        if (kind == '?' || kind == '!') {
            // A processing instruction, a comment, CDATA or the document type.
            QByteArrayView terminator = "?>";
            qsizetype skip = 2;
            bool cdata = false;
            if (kind == '!') {
                if (end - p < 9 && !m_finished)
                    return needData(0);
                const QByteArrayView head(p, std::min<qsizetype>(end - p, 9));
                if (head.startsWith("<!--")) {
                    terminator = "-->";
                    skip = 4;
                } else if (head.startsWith("<![CDATA[")) {
                    terminator = "]]>";
                    skip = 9;
                    cdata = true;
                } else {
                    // <!DOCTYPE ...> or <!DOCTYPE ... [ internal subset ]>
                    const auto *gt = static_cast<const char *>(std::memchr(p, '>', size_t(end - p)));
                    const auto *bracket = static_cast<const char *>(std::memchr(p, '[', size_t((gt ? gt : end) - p)));
                    terminator = bracket ? QByteArrayView("]>") : QByteArrayView(">");
                }
            }
            const char *from = p + std::max(skip, m_scanned);
            const char *hit = find(from, end, terminator);
            if (!hit)
                return needData(std::max(skip, (end - p) - (terminator.size() - 1)));
            m_pos = hit + terminator.size() - base;
            m_scanned = 0;
            if (cdata) {
                m_text = QByteArrayView(p + skip, hit);
                m_cdata = true;
                return Token::Text;
            }
            continue;
        }
        if (isSpace(kind) || kind == '>' || kind == '<' || kind == '=') {
            // A stray "<": kept as text.
            m_text = QByteArrayView(p, 1);
            m_cdata = false;
            ++m_pos;
            m_scanned = 0;
            return Token::Text;
        }
        return startTag(p, end);
    }
}

XmlScanner::Token XmlScanner::startTag(const char *p, const char *end)
{
    // On a second try nothing is parsed again before a new ">" has arrived
    // (the one seen before lay inside a quoted value).
    if (m_scanned > 0) {
        const char *from = p + m_scanned;
        if (!std::memchr(from, '>', size_t(end - from)))
            return needData(end - p);
    }

    const char *q = p + 1;
    const char *local = q;
    while (q < end && !isSpace(*q) && *q != '>' && *q != '/') {
        if (*q == ':')
            local = q + 1;
        ++q;
    }
    m_name = QByteArrayView(p + 1, q);
    m_localName = QByteArrayView(local, q);
    m_attributes.clear();
    bool empty = false;
    for (;;) {
        while (q < end && isSpace(*q))
            ++q;
        if (q >= end)
            return needData(end - p);
        if (*q == '>') {
            ++q;
            break;
        }
        if (*q == '/') {
            if (q + 1 >= end)
                return needData(end - p);
            if (q[1] == '>') {
                q += 2;
                empty = true;
                break;
            }
            ++q;
            continue;
        }
        const char *nameStart = q;
        const char *localStart = q;
        while (q < end && !isSpace(*q) && *q != '=' && *q != '>' && *q != '/') {
            if (*q == ':')
                localStart = q + 1;
            ++q;
        }
        if (q >= end)
            return needData(end - p);
        if (q == nameStart) {
            ++q; // a stray "=": skipped
            continue;
        }
        const QByteArrayView name(nameStart, q);
        const QByteArrayView localName(localStart, q);
        while (q < end && isSpace(*q))
            ++q;
        if (q >= end)
            return needData(end - p);
        QByteArrayView value(q, qsizetype(0));
        if (*q == '=') {
            ++q;
            while (q < end && isSpace(*q))
                ++q;
            if (q >= end)
                return needData(end - p);
            if (*q == '"' || *q == '\'') {
                const char *close = findChar(q + 1, end, *q);
                if (!close)
                    return needData(end - p);
                value = QByteArrayView(q + 1, close);
                q = close + 1;
            } else {
                const char *valueStart = q;
                while (q < end && !isSpace(*q) && *q != '>')
                    ++q;
                if (q >= end)
                    return needData(end - p);
                value = QByteArrayView(valueStart, q);
            }
        }
        if (m_attributes.size() < MaxAttributes)
            m_attributes.push_back({name, localName, value});
    }
    m_emptyElement = empty;
    m_pendingEnd = empty;
    m_pos = q - m_buffer.data();
    m_scanned = 0;
    return Token::StartElement;
}

QByteArrayView XmlScanner::localPart(QByteArrayView name)
{
    for (qsizetype i = name.size(); i > 0; --i) {
        if (name[i - 1] == ':')
            return name.sliced(i);
    }
    return name;
}

QByteArrayView XmlScanner::attribute(QByteArrayView name) const
{
    if (name.isEmpty())
        return QByteArrayView();
    const bool qualified = std::memchr(name.data(), ':', size_t(name.size())) != nullptr;
    for (const Attribute &a : m_attributes) {
        const QByteArrayView candidate = qualified ? a.name : a.localName;
        if (candidate.size() == name.size() && candidate.front() == name.front()
            && std::memcmp(candidate.data() + 1, name.data() + 1, size_t(name.size() - 1)) == 0)
            return a.value;
    }
    return QByteArrayView();
}

QString XmlScanner::attributeText(QByteArrayView name) const
{
    const QByteArrayView raw = attribute(name);
    if (raw.isEmpty() || !std::memchr(raw.data(), '&', size_t(raw.size())))
        return QString::fromUtf8(raw);
    std::string decoded;
    decode(raw, decoded);
    return QString::fromUtf8(decoded.data(), qsizetype(decoded.size()));
}

bool XmlScanner::textNeedsDecoding() const
{
    return !m_cdata && !m_text.isEmpty() && std::memchr(m_text.data(), '&', size_t(m_text.size())) != nullptr;
}

void XmlScanner::appendText(std::string &out) const
{
    if (m_cdata)
        out.append(m_text.data(), size_t(m_text.size()));
    else
        decode(m_text, out);
}

void XmlScanner::decode(QByteArrayView raw, std::string &out)
{
    const char *p = raw.data();
    const char *end = p + raw.size();
    while (p < end) {
        const auto *amp = static_cast<const char *>(std::memchr(p, '&', size_t(end - p)));
        if (!amp) {
            out.append(p, size_t(end - p));
            return;
        }
        out.append(p, size_t(amp - p));
        // A reference is "&name;" or "&#digits;": a bare "&" is kept as it is.
        const char *semi = amp + 1;
        while (semi < end && semi - amp < 12
               && ((*semi >= 'a' && *semi <= 'z') || (*semi >= 'A' && *semi <= 'Z') || (*semi >= '0' && *semi <= '9')
                   || *semi == '#'))
            ++semi;
        if (semi == end || *semi != ';') {
            out.push_back('&');
            p = amp + 1;
            continue;
        }
        const QByteArrayView entity(amp + 1, semi);
        if (is(entity, "lt"))
            out.push_back('<');
        else if (is(entity, "gt"))
            out.push_back('>');
        else if (is(entity, "amp"))
            out.push_back('&');
        else if (is(entity, "quot"))
            out.push_back('"');
        else if (is(entity, "apos"))
            out.push_back('\'');
        else if (const uint code = characterReference(entity))
            appendUtf8(out, code);
        else
            out.append(amp, size_t(semi + 1 - amp));
        p = semi + 1;
    }
}
