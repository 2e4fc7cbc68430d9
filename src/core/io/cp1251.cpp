#include "cp1251.h"

#include <array>
#include <cstring>

namespace
{
    // Upper half of the code page, 0x80..0xFF. 0x98 has no character; it
    // decodes to the replacement character U+FFFD.
    constexpr char16_t kHighHalf[128] = {
        0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, // 80
        0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F, // 88
        0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90
        0xFFFD, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, // 98
        0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, // A0
        0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, // A8
        0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, // B0
        0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, // B8
        0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, // C0
        0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F, // C8
        0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427, // D0
        0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F, // D8
        0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, // E0
        0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, // E8
        0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447, // F0
        0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F, // F8
    };

    struct Tables
    {
        std::array<char16_t, 256> toUnicode{};
        std::array<unsigned char, 65536> fromUnicode{};
        std::array<unsigned char, 256> fold{};
        // The UTF-8 form of each byte: up to three bytes, then its length.
        std::array<std::array<char, 4>, 256> utf8{};

        Tables()
        {
            for (int b = 0; b < 128; ++b)
                toUnicode[size_t(b)] = char16_t(b);
            for (int b = 128; b < 256; ++b)
                toUnicode[size_t(b)] = kHighHalf[b - 128];
            // fromUnicode stays 0 for characters that the code page lacks;
            // U+0000 is byte 0 by the loop below.
            for (int b = 255; b >= 0; --b) {
                const char16_t ch = toUnicode[size_t(b)];
                if (ch != 0xFFFD)
                    fromUnicode[ch] = static_cast<unsigned char>(b);
            }

            for (int b = 0; b < 256; ++b) {
                const char16_t ch = toUnicode[size_t(b)];
                std::array<char, 4> &u = utf8[size_t(b)];
                if (ch < 0x80) {
                    u = {char(ch), 0, 0, 1};
                } else if (ch < 0x800) {
                    u = {char(0xC0 | (ch >> 6)), char(0x80 | (ch & 0x3F)), 0, 2};
                } else {
                    u = {char(0xE0 | (ch >> 12)), char(0x80 | ((ch >> 6) & 0x3F)), char(0x80 | (ch & 0x3F)), 3};
                }
            }

            for (int b = 0; b < 256; ++b)
                fold[size_t(b)] = static_cast<unsigned char>(b);
            for (int b = 'A'; b <= 'Z'; ++b)
                fold[size_t(b)] = static_cast<unsigned char>(b + 32);
            for (int b = 0xC0; b <= 0xDF; ++b)
                fold[size_t(b)] = static_cast<unsigned char>(b + 32);
            // The other Cyrillic capitals of the code page, paired with
            // their small letters.
            static constexpr unsigned char pairs[][2] = {
                {0x80, 0x90}, // Ђ ђ
                {0x81, 0x83}, // Ѓ ѓ
                {0x8A, 0x9A}, // Љ љ
                {0x8C, 0x9C}, // Њ њ
                {0x8D, 0x9D}, // Ќ ќ
                {0x8E, 0x9E}, // Ћ ћ
                {0x8F, 0x9F}, // Џ џ
                {0xA1, 0xA2}, // Ў ў
                {0xA3, 0xBC}, // Ј ј
                {0xA5, 0xB4}, // Ґ ґ
                {0xA8, 0xB8}, // Ё ё
                {0xAA, 0xBA}, // Є є
                {0xAF, 0xBF}, // Ї ї
                {0xB2, 0xB3}, // І і
                {0xBD, 0xBE}, // Ѕ ѕ
            };
            for (const auto &pair : pairs)
                fold[pair[0]] = pair[1];
        }
    };

    const Tables &tables()
    {
        static const Tables t;
        return t;
    }
}

namespace Cp1251
{
    char16_t toUnicode(unsigned char byte)
    {
        return tables().toUnicode[byte];
    }

    unsigned char fromUnicode(char16_t ch)
    {
        return tables().fromUnicode[ch];
    }

    QString decode(QByteArrayView bytes)
    {
        const auto &map = tables().toUnicode;
        QString result(bytes.size(), Qt::Uninitialized);
        char16_t *out = reinterpret_cast<char16_t *>(result.data());
        const auto *in = reinterpret_cast<const unsigned char *>(bytes.data());
        for (qsizetype i = 0, n = bytes.size(); i < n; ++i)
            out[i] = map[in[i]];
        return result;
    }

    qsizetype writeUtf8(QByteArrayView bytes, char *out)
    {
        const auto &map = tables().utf8;
        char *p = out;
        for (const char byte : bytes) {
            const std::array<char, 4> &u = map[static_cast<unsigned char>(byte)];
            std::memcpy(p, u.data(), 3);
            p += u[3];
        }
        return p - out;
    }

    QByteArray encode(QStringView text, bool *ok)
    {
        const auto &map = tables().fromUnicode;
        QByteArray result(text.size(), Qt::Uninitialized);
        char *out = result.data();
        bool all = true;
        for (qsizetype i = 0, n = text.size(); i < n; ++i) {
            const char16_t ch = text[i].unicode();
            const unsigned char b = map[ch];
            if (b == 0 && ch != 0) {
                out[i] = '?';
                all = false;
            } else {
                out[i] = char(b);
            }
        }
        if (ok)
            *ok = all;
        return result;
    }

    QByteArray encode(QStringView text)
    {
        return encode(text, nullptr);
    }

    const unsigned char *foldTable()
    {
        return tables().fold.data();
    }

    QByteArray folded(QByteArrayView bytes)
    {
        const unsigned char *table = foldTable();
        QByteArray result(bytes.size(), Qt::Uninitialized);
        const auto *in = reinterpret_cast<const unsigned char *>(bytes.data());
        char *out = result.data();
        for (qsizetype i = 0, n = bytes.size(); i < n; ++i)
            out[i] = char(table[in[i]]);
        return result;
    }
}
