#include "csvdetection.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>

#include <QList>

#include "csvdecoder.h"
#include "csvparser.h"

namespace
{
    // The share of each letter in Russian text, per mille, а..я (ё with е).
    constexpr double kLetterShare[32] = {
        80.1, 15.9, 45.4, 17.0, 29.8, 84.5, 9.4,   16.5, // а б в г д е ж з
        73.5, 12.1, 34.9, 44.0, 32.1, 67.0, 109.7, 28.1, // и й к л м н о п
        47.3, 54.7, 62.6, 26.2, 2.6,  9.7,  4.8,   14.4, // р с т у ф х ц ч
        7.3,  3.6,  0.4,  19.0, 17.4, 3.2,  6.4,   20.1, // ш щ ъ ы ь э ю я
    };

    // Log-likelihoods of a character in a Russian price list, by kind.
    struct Weights
    {
        std::array<double, 32> letter{};
        double yo = std::log(0.002);
        double otherCyrillic = std::log(0.002); // і ї є ґ ў of neighbouring languages
        double typography = std::log(0.005);    // № « » — ° and the like
        double other = std::log(0.0001);        // box drawing, control characters
        double caseBreak = -2.0;                // a capital after a small letter inside a word

        Weights()
        {
            double sum = 0;
            for (double s : kLetterShare)
                sum += s;
            for (size_t i = 0; i < letter.size(); ++i)
                letter[i] = std::log(std::max(kLetterShare[i] / sum, 0.001));
        }
    };

    bool isTypography(char16_t c)
    {
        switch (c) {
        case 0x00A0:
        case 0x00A7:
        case 0x00A9:
        case 0x00AB:
        case 0x00AE:
        case 0x00B0:
        case 0x00B1:
        case 0x00B5:
        case 0x00B7:
        case 0x00BB:
        case 0x00D7:
        case 0x2013:
        case 0x2014:
        case 0x2018:
        case 0x2019:
        case 0x201A:
        case 0x201C:
        case 0x201D:
        case 0x201E:
        case 0x2022:
        case 0x2026:
        case 0x2116:
        case 0x2122:
        case 0x20AC:
            return true;
        default:
            return false;
        }
    }

    struct Score
    {
        double total = 0;
        qsizetype high = 0;    // bytes from 0x80
        qsizetype letters = 0; // Russian letters among them

        double mean() const { return high ? total / double(high) : 0; }
    };

    Score scoreOf(QByteArrayView sample, const char16_t *table)
    {
        static const Weights w;
        Score s;
        bool afterSmall = false; // the character before was a small Russian letter
        for (const char byte : sample) {
            const auto b = static_cast<unsigned char>(byte);
            if (b < 0x80) {
                afterSmall = false;
                continue;
            }
            ++s.high;
            const char16_t c = table[b];
            if ((c >= 0x0410 && c <= 0x044F) || c == 0x0401 || c == 0x0451) {
                ++s.letters;
                const bool capital = c < 0x0430 || c == 0x0401;
                if (c == 0x0401 || c == 0x0451)
                    s.total += w.yo;
                else
                    s.total += w.letter[size_t((c - 0x0410) % 32)];
                if (capital && afterSmall)
                    s.total += w.caseBreak;
                afterSmall = !capital;
                continue;
            }
            afterSmall = false;
            if (c >= 0x0400 && c <= 0x04FF)
                s.total += w.otherCyrillic;
            else if (isTypography(c))
                s.total += w.typography;
            else
                s.total += w.other;
        }
        return s;
    }

    // Counts good and broken UTF-8 sequences; a sequence cut by the end of
    // the bytes is neither when the file goes on (`cut`).
    void tallyUtf8(QByteArrayView bytes, bool cut, qsizetype *good, qsizetype *broken)
    {
        const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
        const qsizetype size = bytes.size();
        qsizetype i = 0;
        while (i < size) {
            const unsigned char c = p[i];
            if (c < 0x80) {
                ++i;
                continue;
            }
            int extra = 0;
            unsigned char low = 0x80;
            unsigned char high = 0xBF;
            if (c >= 0xC2 && c <= 0xDF) {
                extra = 1;
            } else if (c >= 0xE0 && c <= 0xEF) {
                extra = 2;
                if (c == 0xE0)
                    low = 0xA0; // no overlong forms
                else if (c == 0xED)
                    high = 0x9F; // no surrogates
            } else if (c >= 0xF0 && c <= 0xF4) {
                extra = 3;
                if (c == 0xF0)
                    low = 0x90;
                else if (c == 0xF4)
                    high = 0x8F; // nothing above U+10FFFF
            } else {
                ++*broken;
                ++i;
                continue;
            }
            int k = 1;
            for (; k <= extra && i + k < size; ++k) {
                const unsigned char d = p[i + k];
                if (k == 1 ? (d < low || d > high) : (d & 0xC0) != 0x80)
                    break;
            }
            if (k > extra) {
                ++*good;
                i += k;
            } else if (i + k == size) {
                if (!cut)
                    ++*broken;
                return;
            } else {
                ++*broken;
                ++i;
            }
        }
    }

    // UTF-16 without a byte-order mark: text with ASCII has a zero byte in
    // every character's upper half, and Russian text 0x04.
    QByteArray utf16WithoutBom(QByteArrayView sample)
    {
        const qsizetype pairs = sample.size() / 2;
        if (pairs < 2)
            return {};
        qsizetype zeroEven = 0, zeroOdd = 0, upperEven = 0, upperOdd = 0;
        for (qsizetype i = 0; i < pairs; ++i) {
            const auto e = static_cast<unsigned char>(sample[2 * i]);
            const auto o = static_cast<unsigned char>(sample[2 * i + 1]);
            zeroEven += e == 0;
            zeroOdd += o == 0;
            upperEven += e == 0 || e == 4;
            upperOdd += o == 0 || o == 4;
        }
        if (zeroOdd > 0 && upperOdd * 10 >= pairs * 9 && zeroEven * 10 <= pairs)
            return "UTF-16LE";
        if (zeroEven > 0 && upperEven * 10 >= pairs * 9 && zeroOdd * 10 <= pairs)
            return "UTF-16BE";
        return {};
    }
}

QByteArray CsvDetection::encoding(QByteArrayView sample, bool cut)
{
    if (sample.startsWith("\xEF\xBB\xBF"))
        return "UTF-8";
    if (sample.startsWith("\xFF\xFE"))
        return "UTF-16LE";
    if (sample.startsWith("\xFE\xFF"))
        return "UTF-16BE";

    QByteArray utf16 = utf16WithoutBom(sample);
    if (!utf16.isEmpty())
        return utf16;

    qsizetype good = 0, broken = 0;
    tallyUtf8(sample, cut, &good, &broken);
    if (broken * 8 <= good)
        return "UTF-8"; // pure ASCII too

    // The code page whose letters read like Russian. Windows-1251 is the
    // usual one; the others must be clearly better, by the mean and by
    // enough text, for a few odd words prove nothing.
    const Score cp1251 = scoreOf(sample, CsvDecoder::singleByteTable("windows-1251"));
    QByteArray best = "windows-1251";
    double bestMean = cp1251.mean();
    for (const char *other : {"IBM866", "KOI8-R"}) {
        const Score s = scoreOf(sample, CsvDecoder::singleByteTable(other));
        const double gain = s.mean() - cp1251.mean();
        if (s.letters >= 6 && gain > 0.3 && gain * double(s.high) >= 6 && s.mean() > bestMean) {
            best = other;
            bestMean = s.mean();
        }
    }
    return best;
}

qsizetype CsvDetection::bomSize(QByteArrayView head, QByteArrayView encoding)
{
    if (encoding == "UTF-8" && head.startsWith("\xEF\xBB\xBF"))
        return 3;
    if (encoding == "UTF-16LE" && head.startsWith("\xFF\xFE"))
        return 2;
    if (encoding == "UTF-16BE" && head.startsWith("\xFE\xFF"))
        return 2;
    return 0;
}

double CsvDetection::russianScore(QByteArrayView sample, const char16_t *table, qsizetype *letters)
{
    const Score s = scoreOf(sample, table);
    if (letters)
        *letters = s.letters;
    return s.mean();
}

char CsvDetection::delimiter(QStringView text, bool complete)
{
    constexpr int kRecords = 50;
    char best = 0;
    double bestShare = 0;
    qsizetype bestCount = 0;
    for (const char d : {';', '\t', ',', '|'}) {
        QList<qsizetype> counts;
        CsvParser parser(char16_t(d), [&counts](const SheetRow &row) {
            counts.append(row.cells.size());
            return counts.size() < kRecords;
        });
        if (parser.feed(text) && complete)
            parser.finish();

        // The field count most records share, above one.
        std::map<qsizetype, int> records;
        for (qsizetype n : std::as_const(counts)) {
            if (n > 1)
                ++records[n];
        }
        qsizetype count = 0;
        int most = 0;
        for (const auto &[n, r] : records) {
            if (r >= most) {
                most = r;
                count = n;
            }
        }
        if (most == 0)
            continue;
        const double share = double(most) / double(counts.size());
        if (share > bestShare + 1e-9 || (share > bestShare - 1e-9 && count > bestCount)) {
            best = d;
            bestShare = share;
            bestCount = count;
        }
    }
    return best;
}
