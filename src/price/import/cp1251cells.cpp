#include "cp1251cells.h"

#include <array>
#include <cstring>
#include <iterator>

#include "cp1251.h"
#include "importcells.h"
#include "sheetreader.h"

namespace
{
    struct Tables
    {
        std::array<char16_t, 256> folded{};

        Tables()
        {
            for (int b = 0; b < 256; ++b)
                folded[size_t(b)] = QChar(Cp1251::toUnicode(static_cast<unsigned char>(b))).toCaseFolded().unicode();
        }
    };

    const Tables g_tables;

    SheetCell textCell(QByteArrayView text)
    {
        SheetCell cell;
        cell.kind = SheetCell::Kind::Text;
        cell.text = Cp1251::decode(text);
        return cell;
    }

    bool isDigit(char c)
    {
        return c >= '0' && c <= '9';
    }
}

const std::array<bool, 256> Cp1251Cells::spaceTable = [] {
    std::array<bool, 256> space{};
    for (int b = 0; b < 256; ++b)
        space[size_t(b)] = ImportCells::isSpace(Cp1251::toUnicode(static_cast<unsigned char>(b)));
    return space;
}();

bool Cp1251Cells::number(QByteArrayView text, QChar decimalMark, double *value)
{
    // The plain form: an optional minus, digits, and a decimal mark with
    // digits after it; worked out as ImportCells does for up to 15 digits.
    static constexpr double powers[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11};
    const QByteArrayView t = trimmed(text);
    const char *p = t.data();
    const char *const end = p + t.size();
    const bool negative = p != end && *p == '-';
    p += negative ? 1 : 0;
    quint64 whole = 0;
    int count = 0;
    int decimals = -1;
    bool plain = p != end && isDigit(*p);
    for (; plain && p != end; ++p) {
        if (isDigit(*p)) {
            whole = whole * 10 + quint64(*p - '0');
            ++count;
            decimals += decimals >= 0 ? 1 : 0;
        } else if ((*p == '.' || *p == ',') && decimals < 0 && p + 1 != end
                   && (decimalMark.isNull() || decimalMark == QLatin1Char(*p))) {
            decimals = 0;
        } else {
            plain = false;
        }
    }
    if (plain && count <= 15 && decimals < int(std::size(powers))) {
        const double v = decimals > 0 ? double(whole) / powers[decimals] : double(whole);
        *value = negative ? -v : v;
        return true;
    }
    return ImportCells::parseNumber(Cp1251::decode(text), decimalMark, value);
}

bool Cp1251Cells::wholeNumber(QByteArrayView text, qint32 *value)
{
    if (text.size() > 0 && text.size() <= 9) {
        qint32 v = 0;
        bool digits = true;
        for (const char c : text) {
            if (!isDigit(c)) {
                digits = false;
                break;
            }
            v = v * 10 + (c - '0');
        }
        if (digits) {
            *value = v;
            return true;
        }
    }
    return ImportCells::wholeNumber(textCell(text), value);
}

bool Cp1251Cells::isDamagedCode(QByteArrayView text)
{
    // Such a code shows its exponent as "E+".
    return std::memchr(text.data(), '+', size_t(text.size())) != nullptr && ImportCells::isDamagedCode(textCell(text));
}

bool Cp1251Cells::equalFolded(QByteArrayView a, QByteArrayView b)
{
    if (a.size() != b.size())
        return false;
    const auto &folded = g_tables.folded;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (folded[static_cast<unsigned char>(a[i])] != folded[static_cast<unsigned char>(b[i])])
            return false;
    }
    return true;
}

bool Cp1251Cells::startsWithFolded(QByteArrayView text, QStringView word)
{
    if (text.size() < word.size())
        return false;
    const auto &folded = g_tables.folded;
    for (qsizetype i = 0; i < word.size(); ++i) {
        if (folded[static_cast<unsigned char>(text[i])] != word[i].toCaseFolded().unicode())
            return false;
    }
    return true;
}
