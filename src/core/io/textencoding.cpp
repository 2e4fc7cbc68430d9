#include "textencoding.h"

#include <cstring>

#include <QIODevice>
#include <QRegularExpression>
#include <QString>

#include "cp1251.h"
#include "textfile.h"

namespace
{
    using TextEncoding::Kind;

    constexpr qint64 BlockSize = 4 * 1024 * 1024;

    bool hasBom(QByteArrayView bytes)
    {
        return bytes.startsWith(QByteArrayView("\xEF\xBB\xBF", 3));
    }

    Kind utf16Bom(QByteArrayView bytes)
    {
        if (bytes.startsWith(QByteArrayView("\xFF\xFE", 2)))
            return Kind::Utf16LE;
        if (bytes.startsWith(QByteArrayView("\xFE\xFF", 2)))
            return Kind::Utf16BE;
        return Kind::Cp1251;
    }

    // The length of the strict UTF-8 sequence at p[0] (a byte from 0x80):
    // no overlong forms, no surrogates, nothing above U+10FFFF. 0 when it is
    // broken, -1 when the end of the bytes cuts it.
    int sequenceLength(const unsigned char *p, qsizetype size, char32_t *codePoint)
    {
        const unsigned char c = p[0];
        int extra = 0;
        char32_t min = 0;
        char32_t cp = 0;
        if ((c & 0xE0) == 0xC0) {
            extra = 1;
            min = 0x80;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            min = 0x800;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            min = 0x10000;
            cp = c & 0x07;
        } else {
            return 0;
        }
        for (int k = 1; k <= extra; ++k) {
            if (k >= size)
                return -1;
            const unsigned char d = p[k];
            if ((d & 0xC0) != 0x80)
                return 0;
            cp = (cp << 6) | (d & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return 0;
        *codePoint = cp;
        return extra + 1;
    }

    // The non-ASCII sequences seen so far.
    struct Tally
    {
        qint64 valid = 0;
        qint64 broken = 0;

        // Counts the sequences of p[0, size); returns where a sequence that
        // the end cuts starts (size when none does).
        qsizetype add(const unsigned char *p, qsizetype size)
        {
            qsizetype i = 0;
            while (i < size) {
                // Runs of ASCII eight bytes at a time.
                while (i + 8 <= size) {
                    quint64 word;
                    memcpy(&word, p + i, 8);
                    if (word & 0x8080808080808080ULL)
                        break;
                    i += 8;
                }
                if (i >= size)
                    break;
                if (p[i] < 0x80) {
                    ++i;
                    continue;
                }
                char32_t cp = 0;
                const int length = sequenceLength(p + i, size - i, &cp);
                if (length < 0)
                    return i;
                if (length == 0) {
                    ++broken;
                    ++i;
                } else {
                    ++valid;
                    i += length;
                }
            }
            return size;
        }

        // So many broken sequences, more than the valid ones, that the rest of
        // the file cannot make it UTF-8 with a few faults.
        bool settled() const { return broken >= 1024 && broken > valid; }
        Kind kind() const { return valid > 0 && broken * 8 <= valid ? Kind::Utf8 : Kind::Cp1251; }
    };

    // UTF-8 to Windows-1251 in whole lines; a line with a broken sequence is
    // left out with its line end.
    class Utf8Converter final
    {
    public:
        explicit Utf8Converter(QByteArray &out)
            : m_out(out)
        { }

        // Converts the lines of p[0, size) and returns where the line that
        // is not yet ended starts (converted too when atEnd).
        qsizetype add(const char *p, qsizetype size, bool atEnd)
        {
            qsizetype start = 0;
            for (qsizetype i = 0; i < size; ++i) {
                if (p[i] != '\r' && p[i] != '\n')
                    continue;
                if (i > start)
                    line(p + start, i - start);
                if (!m_dropping)
                    m_out.append(p[i]);
                start = i + 1;
            }
            if (!atEnd)
                return start;
            if (start < size)
                line(p + start, size - start);
            return size;
        }

        int undecoded = 0;

    private:
        void line(const char *text, qsizetype size)
        {
            const auto *p = reinterpret_cast<const unsigned char *>(text);
            const qsizetype begin = m_out.size();
            for (qsizetype i = 0; i < size;) {
                if (p[i] < 0x80) {
                    m_out.append(char(p[i]));
                    ++i;
                    continue;
                }
                char32_t cp = 0;
                const int length = sequenceLength(p + i, size - i, &cp);
                if (length <= 0) {
                    m_out.truncate(begin);
                    ++undecoded;
                    m_dropping = true;
                    return;
                }
                i += length;
                if (cp == 0xFEFF) // the byte-order mark
                    continue;
                const unsigned char byte = cp > 0xFFFF ? 0 : Cp1251::fromUnicode(char16_t(cp));
                m_out.append(byte != 0 ? char(byte) : '?');
            }
            m_dropping = false;
        }

        QByteArray &m_out;
        bool m_dropping = false; // the line ends after a left-out line go too
    };

    QString utf16Text(QByteArrayView bytes, Kind kind)
    {
        const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
        QString text;
        text.reserve(bytes.size() / 2);
        for (qsizetype i = 2; i + 1 < bytes.size(); i += 2)
            text.append(
                QChar(kind == Kind::Utf16LE ? char16_t(p[i] | (p[i + 1] << 8)) : char16_t((p[i] << 8) | p[i + 1])));
        return text;
    }
}

namespace TextEncoding
{
    Kind detect(QByteArrayView bytes)
    {
        if (hasBom(bytes))
            return Kind::Utf8;
        const Kind wide = utf16Bom(bytes);
        if (wide != Kind::Cp1251)
            return wide;
        Tally tally;
        if (tally.add(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size()) < bytes.size())
            ++tally.broken; // cut at the end
        return tally.kind();
    }

    Kind detect(QIODevice &file)
    {
        if (!file.seek(0))
            return Kind::Cp1251;
        Tally tally;
        QByteArray block;
        qsizetype kept = 0; // the start of a sequence cut by the block's end
        bool first = true;
        for (;;) {
            block.resize(kept + BlockSize);
            const qint64 got = file.read(block.data() + kept, BlockSize);
            if (got < 0) {
                file.seek(0);
                return Kind::Cp1251;
            }
            const qsizetype have = kept + qsizetype(got);
            const QByteArrayView view(block.constData(), have);
            if (first) {
                first = false;
                const Kind start = hasBom(view) ? Kind::Utf8 : utf16Bom(view);
                if (start != Kind::Cp1251) {
                    file.seek(0);
                    return start;
                }
            }
            if (got == 0) {
                if (have > 0)
                    ++tally.broken;
                break;
            }
            const qsizetype end = tally.add(reinterpret_cast<const unsigned char *>(view.data()), have);
            kept = have - end;
            memmove(block.data(), block.constData() + end, size_t(kept));
            if (tally.settled())
                break;
        }
        file.seek(0);
        return tally.kind();
    }

    bool isUtf8(QByteArrayView bytes)
    {
        return detect(bytes) == Kind::Utf8;
    }

    bool readWholeIfUtf8(QIODevice &file, QByteArray *bytes, int *undecoded)
    {
        const Kind kind = detect(file);
        if (kind == Kind::Cp1251)
            return false;
        if (kind != Kind::Utf8) {
            *bytes = Cp1251::encode(utf16Text(file.readAll(), kind));
            if (undecoded)
                *undecoded = 0;
            return true;
        }
        // Block by block: only the converted text and one block are held.
        bytes->clear();
        bytes->reserve(qsizetype(file.size()));
        Utf8Converter converter(*bytes);
        QByteArray block;
        qsizetype kept = 0;
        for (;;) {
            block.resize(kept + BlockSize);
            const qint64 got = file.read(block.data() + kept, BlockSize);
            if (got < 0)
                break;
            const qsizetype have = kept + qsizetype(got);
            const qsizetype end = converter.add(block.constData(), have, got == 0);
            if (got == 0)
                break;
            kept = have - end;
            memmove(block.data(), block.constData() + end, size_t(kept));
        }
        if (undecoded)
            *undecoded = converter.undecoded;
        return true;
    }

    QByteArray toCp1251(const QByteArray &bytes, int *undecoded)
    {
        if (undecoded)
            *undecoded = 0;
        const Kind kind = detect(bytes);
        if (kind == Kind::Cp1251)
            return bytes;
        if (kind != Kind::Utf8)
            return Cp1251::encode(utf16Text(bytes, kind));
        QByteArray out;
        out.reserve(bytes.size());
        Utf8Converter converter(out);
        converter.add(bytes.constData(), bytes.size(), true);
        if (undecoded)
            *undecoded = converter.undecoded;
        return out;
    }

    QStringList decodeLines(const QByteArray &bytes)
    {
        const Kind kind = detect(bytes);
        if (kind == Kind::Cp1251)
            return TextFile::decodeLines(bytes);
        if (kind != Kind::Utf8) {
            static const QRegularExpression ends(QStringLiteral("\\r\\r\\n|\\r\\n|\\r|\\n"));
            QStringList lines = utf16Text(bytes, kind).split(ends);
            if (!lines.isEmpty() && lines.constLast().isEmpty())
                lines.removeLast();
            return lines;
        }
        const QByteArray text = hasBom(bytes) ? bytes.sliced(3) : bytes;
        const QList<QByteArray> raw = TextFile::splitLines(text);
        QStringList lines;
        lines.reserve(raw.size());
        for (const QByteArray &line : raw)
            lines.append(QString::fromUtf8(line));
        return lines;
    }
}
