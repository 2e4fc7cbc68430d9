#include "csvbytesplitter.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define ORDIX_SSSE3_TEXT 1
#include <tmmintrin.h>
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

    // Finds the delimiters and line ends of a block from bit masks of 64
    // bytes at a time, each built once for all the fields in it.
    class FieldEnds final
    {
    public:
        // For the block [begin, end).
        FieldEnds(const char *begin, const char *end, char delimiter)
            : m_end(end)
            , m_delimiter(delimiter)
        {
            load(begin);
        }

        // The first delimiter or line end in [p, end), or end, for `p` no
        // earlier than that of the call before; sets `odd` when a byte
        // before it is no ASCII character or is NUL.
        const char *next(const char *p, bool &odd)
        {
            for (;;) {
                if (p - m_base >= 64)
                    load(p);
                const unsigned shift = unsigned(p - m_base);
                const quint64 stops = m_stops >> shift;
                const quint64 odds = m_odds >> shift;
                if (stops != 0) {
                    const int at = std::countr_zero(stops);
                    odd = odd || (odds & ((quint64(1) << at) - 1)) != 0;
                    return p + at;
                }
                odd = odd || odds != 0;
                p = m_base + 64;
            }
        }

    private:
        // The masks of the 64 bytes from `at`; past the end of the block
        // the end itself stands as a stop.
        void load(const char *at)
        {
            m_base = at;
            m_stops = 0;
            m_odds = 0;
            const qsizetype have = qMin<qsizetype>(64, m_end - at);
            qsizetype i = 0;
#if defined(__SSE2__)
            const __m128i delimiters = _mm_set1_epi8(m_delimiter);
            const __m128i lf = _mm_set1_epi8('\n');
            const __m128i cr = _mm_set1_epi8('\r');
            const __m128i zero = _mm_setzero_si128();
            for (; have - i >= 16; i += 16) {
                const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(at + i));
                const auto stops = unsigned(_mm_movemask_epi8(_mm_or_si128(
                    _mm_cmpeq_epi8(v, delimiters), _mm_or_si128(_mm_cmpeq_epi8(v, lf), _mm_cmpeq_epi8(v, cr)))));
                const auto odds = unsigned(_mm_movemask_epi8(v) | _mm_movemask_epi8(_mm_cmpeq_epi8(v, zero)));
                m_stops |= quint64(stops) << i;
                m_odds |= quint64(odds) << i;
            }
#endif
            for (; i < have; ++i) {
                const char c = at[i];
                m_stops |= quint64(c == m_delimiter || c == '\n' || c == '\r') << i;
                m_odds |= quint64(static_cast<unsigned char>(c) >= 0x80 || c == 0) << i;
            }
            if (have < 64)
                m_stops |= quint64(1) << have;
        }

        const char *const m_end;
        const char m_delimiter;
        const char *m_base = nullptr;
        quint64 m_stops = 0;
        quint64 m_odds = 0;
    };

    // The Windows-1251 form of the UTF-8 text [from, to), a character at a
    // time, with words of plain ASCII or of Cyrillic letters at once.
    char *convertPortable(const char *from, const char *to, char *out, bool &exact)
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

#if ORDIX_SSSE3_TEXT
    // For each set of the eight bytes of a half block to keep (a bit each):
    // the places of the kept bytes in order, for a byte shuffle, and their
    // number.
    struct KeptBytes
    {
        std::array<std::array<unsigned char, 8>, 256> places{};
        std::array<unsigned char, 256> count{};
    };

    const KeptBytes &keptBytes()
    {
        static const KeptBytes table = [] {
            KeptBytes t;
            for (unsigned kept = 0; kept < 256; ++kept) {
                unsigned n = 0;
                for (unsigned i = 0; i < 8; ++i) {
                    if (kept >> i & 1)
                        t.places[kept][n++] = static_cast<unsigned char>(i);
                }
                t.count[kept] = static_cast<unsigned char>(n);
                for (; n < 8; ++n)
                    t.places[kept][n] = 0x80; // a zero byte
            }
            return t;
        }();
        return table;
    }

    // Converts the sixteen bytes at `block` but its first `skip` ones, when
    // they are ASCII (but NUL) and Cyrillic letters of two bytes whose
    // characters all stand whole in the block (or run on past its last byte
    // unless `lastWhole`). Advances `out` past the text and sets `used` to
    // the bytes read; false, with nothing read, for any other block. Writes
    // eight bytes at `out` and eight past the text of the block's first
    // half: no further than `out` + max(8, 16 - skip).
    __attribute__((target("ssse3"), always_inline)) inline bool convertBlock(const char *block, unsigned skip,
                                                                             bool lastWhole, char *&out, unsigned &used)
    {
        const unsigned mine = 0xFFFFu << skip & 0xFFFFu;
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(block));
        const auto bits = [mine](__m128i m) { return unsigned(_mm_movemask_epi8(m)) & mine; };
        if (bits(_mm_cmpeq_epi8(v, _mm_setzero_si128())) != 0)
            return false;
        const unsigned high = bits(v);
        // 10xxxxxx: a continuation byte; 110xxxxx: the lead byte of two.
        const unsigned next = bits(_mm_cmplt_epi8(v, _mm_set1_epi8(char(0xC0))));
        const unsigned lead = bits(
            _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8(char(0xBF))), _mm_cmplt_epi8(v, _mm_set1_epi8(char(0xE0)))));
        if ((high & ~(next | lead)) != 0 || next != (lead << 1 & mine) || (lastWhole && (lead & 0x8000) != 0))
            return false;
        // The letters: D0 90-BF are C0-EF, D1 80-8F are F0-FF, and D0 81,
        // D1 91 are Ё and ё; the value goes where the continuation byte is.
        const __m128i before = _mm_slli_si128(v, 1);
        const __m128i afterD0 = _mm_cmpeq_epi8(before, _mm_set1_epi8(char(0xD0)));
        const __m128i afterD1 = _mm_cmpeq_epi8(before, _mm_set1_epi8(char(0xD1)));
        const __m128i upper = _mm_and_si128(afterD0, _mm_cmpgt_epi8(v, _mm_set1_epi8(char(0x8F))));
        const __m128i lower = _mm_and_si128(afterD1, _mm_cmplt_epi8(v, _mm_set1_epi8(char(0x90))));
        const __m128i bigYo = _mm_and_si128(afterD0, _mm_cmpeq_epi8(v, _mm_set1_epi8(char(0x81))));
        const __m128i smallYo = _mm_and_si128(afterD1, _mm_cmpeq_epi8(v, _mm_set1_epi8(char(0x91))));
        const __m128i letters = _mm_or_si128(_mm_or_si128(upper, lower), _mm_or_si128(bigYo, smallYo));
        if (bits(letters) != next)
            return false; // another character of two bytes
        __m128i text = _mm_andnot_si128(letters, v);
        text = _mm_or_si128(text, _mm_and_si128(upper, _mm_add_epi8(v, _mm_set1_epi8(0x30))));
        text = _mm_or_si128(text, _mm_and_si128(lower, _mm_add_epi8(v, _mm_set1_epi8(0x70))));
        text = _mm_or_si128(text, _mm_and_si128(bigYo, _mm_set1_epi8(char(0xA8))));
        text = _mm_or_si128(text, _mm_and_si128(smallYo, _mm_set1_epi8(char(0xB8))));
        // Lead bytes out, each half by its shuffle.
        const KeptBytes &kept = keptBytes();
        const unsigned keep = ~lead & mine;
        const unsigned low = keep & 0xFF, highHalf = keep >> 8;
        const __m128i lowPlaces = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(kept.places[low].data()));
        const __m128i highPlaces = _mm_add_epi8(
            _mm_loadl_epi64(reinterpret_cast<const __m128i *>(kept.places[highHalf].data())), _mm_set1_epi8(8));
        _mm_storel_epi64(reinterpret_cast<__m128i *>(out), _mm_shuffle_epi8(text, lowPlaces));
        out += kept.count[low];
        _mm_storel_epi64(reinterpret_cast<__m128i *>(out), _mm_shuffle_epi8(text, highPlaces));
        out += kept.count[highHalf];
        used = 16 - skip - (lead >> 15);
        return true;
    }

    // As convertPortable(), sixteen bytes at a time where they are ASCII
    // and Cyrillic letters, the usual text of a price list.
    __attribute__((target("ssse3"))) char *convertSsse3(const char *from, const char *to, char *out, bool &exact)
    {
        const char *p = from;
        char *o = out;
        while (to - p >= 16) {
            unsigned used = 0;
            if (convertBlock(p, 0, to - p == 16, o, used)) {
                p += used;
                continue;
            }
            // Other characters: the block's whole characters one by one.
            const char *stop = p + 16;
            while (stop > p && stop < to && (static_cast<unsigned char>(*stop) & 0xC0) == 0x80)
                --stop;
            if (stop == p)
                stop = p + 16;
            o = convertPortable(p, stop, o, exact);
            p = stop;
        }
        // The rest, as the last sixteen bytes of the text with those done
        // left out; the output has room for as many bytes as are left, and
        // needs eight.
        if (p != to && to - from >= 16 && (to - from) - (o - out) >= 8) {
            unsigned used = 0;
            char *end = o;
            if (convertBlock(to - 16, unsigned(16 - (to - p)), true, end, used))
                return end;
        }
        return convertPortable(p, to, o, exact);
    }
#endif
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
#if ORDIX_SSSE3_TEXT
    static const bool ssse3 = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("ssse3") != 0;
    }();
    if (ssse3)
        return convertSsse3(from, to, out, exact);
#endif
    return convertPortable(from, to, out, exact);
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

    FieldEnds fieldEnds(p, end, delimiter);
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
                    p = fieldEnds.next(p, odd);
                    out = convert(run, p, out, exact);
                }
                field = QByteArrayView(fieldStart, out - fieldStart);
            } else {
                const char *run = p;
                bool odd = false;
                p = fieldEnds.next(p, odd);
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
