#include "csvbytesplitter.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "cp1251.h"
#include "csvdecoder.h"

namespace
{
    // The Windows-1251 byte of each character UTF-8 writes in one or two
    // bytes: an ASCII byte at its own place, a lead byte and the byte after
    // it at 0x80 + (lead - 0x80) * 256 + next; 0 for NUL, for two bytes
    // that are no such character, and for a character the code page lacks.
    const unsigned char *shortCharacters()
    {
        static const std::vector<unsigned char> table = [] {
            std::vector<unsigned char> t(0x80 + 0x8000, 0);
            for (unsigned ascii = 1; ascii < 0x80; ++ascii)
                t[ascii] = static_cast<unsigned char>(ascii);
            for (unsigned lead = 0xC2; lead <= 0xDF; ++lead) {
                for (unsigned next = 0x80; next <= 0xBF; ++next)
                    t[0x80 + ((lead - 0x80) << 8 | next)] =
                        Cp1251::fromUnicode(char16_t((lead & 0x1F) << 6 | (next & 0x3F)));
            }
            return t;
        }();
        return table.data();
    }

    // The Windows-1251 byte of each character UTF-8 writes in two bytes
    // (U+0080 to U+07FF), by its code; 0 where the code page lacks it and
    // below U+0080.
    const unsigned char *twoByteCharacters()
    {
        static const std::array<unsigned char, 0x800> table = [] {
            std::array<unsigned char, 0x800> t{};
            for (unsigned ch = 0x80; ch < t.size(); ++ch)
                t[ch] = Cp1251::fromUnicode(char16_t(ch));
            return t;
        }();
        return table.data();
    }

    bool isContinuation(unsigned char b)
    {
        return (b & 0xC0) == 0x80;
    }

    // The first delimiter or line end in [p, end), or end; sets `odd` when a
    // byte before it is no ASCII character or is NUL. Sixteen bytes at a
    // time where the processor can.
    const char *findFieldEnd(const char *p, const char *end, char delimiter, bool &odd)
    {
#if defined(__SSE2__)
        const __m128i delimiters = _mm_set1_epi8(delimiter);
        const __m128i lf = _mm_set1_epi8('\n');
        const __m128i cr = _mm_set1_epi8('\r');
        const __m128i zero = _mm_setzero_si128();
        while (end - p >= 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
            const unsigned hit = unsigned(_mm_movemask_epi8(_mm_or_si128(
                _mm_cmpeq_epi8(v, delimiters), _mm_or_si128(_mm_cmpeq_epi8(v, lf), _mm_cmpeq_epi8(v, cr)))));
            const unsigned high = unsigned(_mm_movemask_epi8(v) | _mm_movemask_epi8(_mm_cmpeq_epi8(v, zero)));
            if (hit != 0) {
                odd = odd || (high & ((1u << std::countr_zero(hit)) - 1)) != 0;
                return p + std::countr_zero(hit);
            }
            odd = odd || high != 0;
            p += 16;
        }
#endif
        for (; p != end && *p != delimiter && *p != '\n' && *p != '\r'; ++p)
            odd = odd || static_cast<unsigned char>(*p) >= 0x80 || *p == 0;
        return p;
    }
}

bool CsvByteSplitter::handles(const QByteArray &encoding, char delimiter)
{
    if (encoding == "UTF-8")
        return true;
    if (CsvDecoder::singleByteTable(encoding) == nullptr)
        return false;
    // Qt's codec may read a control byte as another character: the bytes
    // that split records and fields must stand for themselves.
    CsvDecoder decoder(encoding);
    const char marks[] = {'\n', '\r', '"', delimiter};
    const QStringView text = decoder.decode(QByteArrayView(marks, sizeof marks));
    return text.size() == qsizetype(sizeof marks)
        && std::equal(text.begin(), text.end(), marks, [](QChar c, char m) { return c == QLatin1Char(m); });
}

CsvByteSplitter::CsvByteSplitter(const QByteArray &encoding, char delimiter)
    : m_utf8(encoding == "UTF-8")
    , m_delimiter(delimiter)
{
    if (m_utf8)
        return;
    // Each byte as the reader decodes it (Qt's codec or the program's
    // table), kept where Windows-1251 has the same character.
    CsvDecoder decoder(encoding);
    for (int b = 1; b < 256; ++b) {
        const char byte = char(b);
        const QStringView text = decoder.decode(QByteArrayView(&byte, 1));
        if (text.size() == 1 && !decoder.hasError())
            m_single[size_t(b)] = Cp1251::fromUnicode(text.front().unicode());
        decoder.finish();
        decoder.clearError();
    }
}

char *CsvByteSplitter::convert(const char *from, const char *to, char *out, bool &exact) const
{
    const auto *p = reinterpret_cast<const unsigned char *>(from);
    const auto *const end = reinterpret_cast<const unsigned char *>(to);
    if (!m_utf8) {
        for (; p != end; ++p) {
            const unsigned char c = m_single[*p];
            exact = exact && c != 0;
            *out++ = char(c);
        }
        return out;
    }
    return utf8ToCp1251(from, to, out, exact);
}

char *CsvByteSplitter::utf8ToCp1251(const char *from, const char *to, char *out, bool &exact)
{
    const auto *p = reinterpret_cast<const unsigned char *>(from);
    const auto *const end = reinterpret_cast<const unsigned char *>(to);
    // Characters of one or two bytes, the common case, without a branch but
    // the one that leaves the loop; whatever else the text holds is read
    // again below.
    const unsigned char *const characters = shortCharacters();
    const unsigned char *const twoBytes = twoByteCharacters();
    char *o = out;
    bool broken = false;
    while (end - p >= 2) {
        // Eight bytes at a time where they are ASCII (but NUL) or four
        // characters of two bytes (a Cyrillic word).
        if (end - p >= 8) {
            quint64 word;
            std::memcpy(&word, p, sizeof word);
            constexpr quint64 ones = 0x0101010101010101ULL;
            constexpr quint64 highs = 0x8080808080808080ULL;
            if ((word & highs) == 0 && ((word - ones) & ~word & highs) == 0) {
                std::memcpy(o, &word, sizeof word);
                o += 8;
                p += 8;
                continue;
            }
            if ((word & 0xC0E0C0E0C0E0C0E0ULL) == 0x80C080C080C080C0ULL) {
                const auto pair = [twoBytes](quint64 bytes) -> quint32 {
                    return twoBytes[(bytes & 0x1F) << 6 | (bytes >> 8 & 0x3F)];
                };
                const quint32 c0 = pair(word), c1 = pair(word >> 16), c2 = pair(word >> 32), c3 = pair(word >> 48);
                const quint32 four = c0 | c1 << 8 | c2 << 16 | c3 << 24;
                std::memcpy(o, &four, sizeof four);
                o += 4;
                broken |= (c0 == 0) | (c1 == 0) | (c2 == 0) | (c3 == 0);
                p += 8;
                continue;
            }
        }
        const unsigned b = p[0];
        const unsigned two = b >> 7; // 1: a lead byte
        const unsigned char c = characters[two ? 0x80 + ((b - 0x80) << 8 | p[1]) : b];
        *o++ = char(c);
        broken |= c == 0;
        p += 1 + two;
    }
    if (p != end) {
        const unsigned char c = *p < 0x80 ? characters[*p] : 0;
        *o++ = char(c);
        broken |= c == 0;
    }
    if (!broken)
        return o;

    for (p = reinterpret_cast<const unsigned char *>(from); p != end;) {
        const unsigned b = *p;
        if (b < 0x80) {
            exact = exact && b != 0;
            *out++ = char(b);
            ++p;
            continue;
        }
        if (b >= 0xC2 && b <= 0xDF && end - p >= 2 && isContinuation(p[1])) {
            const unsigned char c = characters[0x80 + ((b - 0x80) << 8 | p[1])];
            exact = exact && c != 0;
            *out++ = char(c);
            p += 2;
            continue;
        }
        // Three bytes: the dashes, quotes, "№", "€" and "™" of the code page.
        if (b >= 0xE0 && b <= 0xEF && end - p >= 3 && isContinuation(p[1]) && isContinuation(p[2])) {
            const char16_t ch = char16_t((b & 0x0F) << 12 | (p[1] & 0x3F) << 6 | (p[2] & 0x3F));
            const unsigned char c = ch >= 0x800 && (ch < 0xD800 || ch > 0xDFFF) ? Cp1251::fromUnicode(ch) : 0;
            exact = exact && c != 0;
            *out++ = char(c);
            p += 3;
            continue;
        }
        exact = false;
        *out++ = '?';
        ++p;
    }
    return out;
}

void CsvByteSplitter::split(QByteArrayView block, qint64 firstRecord, const RecordHandler &onRecord)
{
    m_record = firstRecord;
    m_unclosedQuote = -1;
    // A record's text is no longer than its bytes.
    if (m_text.size() < size_t(block.size()))
        m_text.resize(size_t(block.size()));
    const char *p = block.data();
    const char *const end = p + block.size();
    const char delimiter = m_delimiter;
    // At a line end: past it, with the LF after a CR.
    const auto endLine = [&] {
        if (*p++ == '\r' && p != end && *p == '\n')
            ++p;
    };

    Record record;
    while (p != end) {
        const char *const recordStart = p;
        char *out = m_text.data();
        bool exact = true;
        m_fields.clear();
        bool recordEnds = false;
        while (!recordEnds) {
            QByteArrayView field;
            if (p != end && *p == '"') {
                // Quoted: up to the quote that is not one of two; a line end
                // inside becomes LF.
                ++p;
                char *const fieldStart = out;
                for (;;) {
                    const char *run = p;
                    while (p != end && *p != '"' && *p != '\r')
                        ++p;
                    out = convert(run, p, out, exact);
                    if (p == end) {
                        m_unclosedQuote = m_record;
                        recordEnds = true;
                        break;
                    }
                    if (*p == '\r') {
                        *out++ = '\n';
                        endLine();
                        continue;
                    }
                    ++p;
                    if (p != end && *p == '"') {
                        *out++ = '"';
                        ++p;
                        continue;
                    }
                    break;
                }
                // Text after the closing quote is kept, as spreadsheets do.
                if (!recordEnds && p != end && *p != delimiter && *p != '\n' && *p != '\r') {
                    const char *run = p;
                    bool odd = false;
                    p = findFieldEnd(p, end, delimiter, odd);
                    out = convert(run, p, out, exact);
                }
                field = QByteArrayView(fieldStart, out - fieldStart);
            } else {
                const char *run = p;
                bool odd = false;
                p = findFieldEnd(p, end, delimiter, odd);
                // A code page's bytes go through its table, ASCII too (Qt's
                // codec may read a control byte as another character).
                if (!odd && m_utf8) {
                    field = QByteArrayView(run, p - run);
                } else {
                    char *const fieldStart = out;
                    out = convert(run, p, out, exact);
                    field = QByteArrayView(fieldStart, out - fieldStart);
                }
            }
            m_fields.push_back(field);
            if (recordEnds || p == end) {
                recordEnds = true;
            } else if (*p == delimiter) {
                ++p;
            } else {
                endLine();
                recordEnds = true;
            }
        }
        record.index = m_record;
        record.raw = QByteArrayView(recordStart, p - recordStart);
        record.fields = m_fields.data();
        record.count = qsizetype(m_fields.size());
        record.exact = exact;
        onRecord(record);
        ++m_record;
    }
}
