#include "csvdecoder.h"

#include <algorithm>
#include <array>
#include <utility>

#include "cp1251.h"

namespace
{
    // The upper halves, 0x80..0xFF, of the DOS code page 866 and of KOI8-R.
    constexpr char16_t kIbm866High[128] = {
        0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, // 80
        0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F, // 88
        0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427, // 90
        0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F, // 98
        0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, // A0
        0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, // A8
        0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, // B0
        0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, // B8
        0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, // C0
        0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, // C8
        0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, // D0
        0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580, // D8
        0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447, // E0
        0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F, // E8
        0x0401, 0x0451, 0x0404, 0x0454, 0x0407, 0x0457, 0x040E, 0x045E, // F0
        0x00B0, 0x2219, 0x00B7, 0x221A, 0x2116, 0x00A4, 0x25A0, 0x00A0, // F8
    };

    constexpr char16_t kKoi8RHigh[128] = {
        0x2500, 0x2502, 0x250C, 0x2510, 0x2514, 0x2518, 0x251C, 0x2524, // 80
        0x252C, 0x2534, 0x253C, 0x2580, 0x2584, 0x2588, 0x258C, 0x2590, // 88
        0x2591, 0x2592, 0x2593, 0x2320, 0x25A0, 0x2219, 0x221A, 0x2248, // 90
        0x2264, 0x2265, 0x00A0, 0x2321, 0x00B0, 0x00B2, 0x00B7, 0x00F7, // 98
        0x2550, 0x2551, 0x2552, 0x0451, 0x2553, 0x2554, 0x2555, 0x2556, // A0
        0x2557, 0x2558, 0x2559, 0x255A, 0x255B, 0x255C, 0x255D, 0x255E, // A8
        0x255F, 0x2560, 0x2561, 0x0401, 0x2562, 0x2563, 0x2564, 0x2565, // B0
        0x2566, 0x2567, 0x2568, 0x2569, 0x256A, 0x256B, 0x256C, 0x00A9, // B8
        0x044E, 0x0430, 0x0431, 0x0446, 0x0434, 0x0435, 0x0444, 0x0433, // C0
        0x0445, 0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, // C8
        0x043F, 0x044F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0436, 0x0432, // D0
        0x044C, 0x044B, 0x0437, 0x0448, 0x044D, 0x0449, 0x0447, 0x044A, // D8
        0x042E, 0x0410, 0x0411, 0x0426, 0x0414, 0x0415, 0x0424, 0x0413, // E0
        0x0425, 0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, // E8
        0x041F, 0x042F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0416, 0x0412, // F0
        0x042C, 0x042B, 0x0417, 0x0428, 0x042D, 0x0429, 0x0427, 0x042A, // F8
    };

    using Table = std::array<char16_t, 256>;

    Table makeTable(const char16_t *high)
    {
        Table t{};
        for (int b = 0; b < 128; ++b)
            t[size_t(b)] = char16_t(b);
        for (int b = 128; b < 256; ++b)
            t[size_t(b)] = high ? high[b - 128] : Cp1251::toUnicode(static_cast<unsigned char>(b));
        return t;
    }

    // The number of bytes of the UTF-8 sequence that `lead` starts; 1 for
    // anything that starts none.
    int utf8Length(unsigned char lead)
    {
        if (lead >= 0xF0 && lead <= 0xF4)
            return 4;
        if (lead >= 0xE0 && lead < 0xF0)
            return 3;
        if (lead >= 0xC2 && lead < 0xE0)
            return 2;
        return 1;
    }
}

CsvDecoder::CsvDecoder(const QByteArray &encoding)
    // The byte-order mark is skipped by the reader when it is there; one
    // that follows it is text.
    : m_decoder(encoding.constData(), QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom)
{
    if (encoding == "UTF-8")
        m_unicode = Unicode::Utf8;
    else if (encoding == "UTF-16LE" || encoding == "UTF-16BE")
        m_unicode = Unicode::Utf16;
    // Qt without ICU knows no Cyrillic code page.
    if (!m_decoder.isValid())
        m_table = singleByteTable(encoding);
}

const char16_t *CsvDecoder::singleByteTable(QByteArrayView encoding)
{
    static const Table cp1251 = makeTable(nullptr);
    static const Table ibm866 = makeTable(kIbm866High);
    static const Table koi8r = makeTable(kKoi8RHigh);
    if (encoding == "windows-1251")
        return cp1251.data();
    if (encoding == "IBM866")
        return ibm866.data();
    if (encoding == "KOI8-R")
        return koi8r.data();
    return nullptr;
}

QChar *CsvDecoder::decodeInto(QChar *out, QByteArrayView bytes)
{
    if (m_table) {
        const auto *in = reinterpret_cast<const unsigned char *>(bytes.data());
        for (qsizetype i = 0; i < bytes.size(); ++i) {
            const char16_t c = m_table[in[i]];
            m_error = m_error || c == 0xFFFD;
            out[i] = QChar(c);
        }
        return out + bytes.size();
    }
    QChar *end = m_decoder.appendToBuffer(out, bytes);
    m_error = m_error || m_decoder.hasError();
    return end;
}

QStringView CsvDecoder::decode(QByteArrayView bytes)
{
    // The carried start of a character with the bytes that go on with it
    // (a broken character ends at the first byte that cannot continue it).
    QByteArray head;
    if (!m_carry.isEmpty()) {
        const int need = m_unicode == Unicode::Utf8 ? utf8Length(static_cast<unsigned char>(m_carry[0])) : 2;
        qsizetype taken = 0;
        while (m_carry.size() + taken < need && taken < bytes.size()
               && (m_unicode == Unicode::Utf16 || (static_cast<unsigned char>(bytes[taken]) & 0xC0) == 0x80))
            ++taken;
        m_carry.append(bytes.first(taken));
        bytes = bytes.sliced(taken);
        if (m_carry.size() < need && bytes.isEmpty())
            return {};
        head = std::exchange(m_carry, QByteArray());
    }

    // Keep back a character that the end of the block cuts.
    qsizetype whole = bytes.size();
    if (m_unicode == Unicode::Utf16) {
        whole -= whole % 2;
    } else if (m_unicode == Unicode::Utf8) {
        for (qsizetype j = whole - 1; j >= 0 && j >= whole - 3; --j) {
            const auto b = static_cast<unsigned char>(bytes[j]);
            if ((b & 0xC0) == 0x80)
                continue;
            if (utf8Length(b) > whole - j)
                whole = j;
            break;
        }
    }
    m_carry = bytes.sliced(whole).toByteArray();
    bytes = bytes.first(whole);

    const qsizetype space = head.size() + (m_table ? bytes.size() : m_decoder.requiredSpace(bytes.size()));
    if (m_buffer.size() < space)
        m_buffer.resize(space);
    QChar *const begin = m_buffer.data();
    QChar *end = begin;
    if (!head.isEmpty())
        end = decodeInto(end, head);
    end = decodeInto(end, bytes);
    return QStringView(begin, end);
}

QStringView CsvDecoder::finish()
{
    if (m_carry.isEmpty())
        return {};
    // The file ends inside a character: one U+FFFD for each byte of UTF-8
    // (as anywhere in the file), one for the odd byte of UTF-16.
    m_error = true;
    const qsizetype size = m_unicode == Unicode::Utf16 ? 1 : m_carry.size();
    m_carry.clear();
    if (m_buffer.size() < size)
        m_buffer.resize(size);
    std::fill_n(m_buffer.data(), size, QChar(QChar::ReplacementCharacter));
    return QStringView(m_buffer.constData(), size);
}

bool CsvDecoder::hasError() const
{
    return m_error;
}
