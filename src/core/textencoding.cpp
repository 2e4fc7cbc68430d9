#include "textencoding.h"

#include <QIODevice>
#include <QString>

#include "cp1251.h"
#include "textfile.h"

namespace
{
    constexpr char Bom[] = "\xEF\xBB\xBF";

    bool hasBom(QByteArrayView bytes)
    {
        return bytes.startsWith(QByteArrayView(Bom, 3));
    }

    // Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
    bool validUtf8(QByteArrayView bytes, bool *nonAscii)
    {
        const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
        const qsizetype size = bytes.size();
        qsizetype i = 0;
        bool wide = false;
        while (i < size) {
            const unsigned char c = p[i];
            if (c < 0x80) {
                ++i;
                continue;
            }
            wide = true;
            int extra = 0;
            unsigned int min = 0;
            unsigned int cp = 0;
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
                return false;
            }
            if (i + extra >= size)
                return false;
            for (int k = 1; k <= extra; ++k) {
                const unsigned char d = p[i + k];
                if ((d & 0xC0) != 0x80)
                    return false;
                cp = (cp << 6) | (d & 0x3F);
            }
            if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
                return false;
            i += extra + 1;
        }
        *nonAscii = wide;
        return true;
    }
}

namespace TextEncoding
{
    bool isUtf8(QByteArrayView bytes)
    {
        bool nonAscii = false;
        return validUtf8(bytes, &nonAscii) && nonAscii;
    }

    bool mayBeUtf8(QByteArrayView start)
    {
        qsizetype end = start.size();
        while (end > 0 && static_cast<unsigned char>(start[end - 1]) >= 0x80)
            --end;
        bool nonAscii = false;
        return validUtf8(start.first(end), &nonAscii);
    }

    bool readWholeIfUtf8(QIODevice &file, QByteArray *bytes)
    {
        if (!mayBeUtf8(file.peek(64 * 1024)))
            return false;
        const QByteArray contents = file.readAll();
        *bytes = toCp1251(contents);
        return true;
    }

    QByteArray toCp1251(const QByteArray &bytes)
    {
        if (!isUtf8(bytes))
            return bytes;
        const QByteArrayView text = hasBom(bytes) ? QByteArrayView(bytes).sliced(3) : QByteArrayView(bytes);
        return Cp1251::encode(QString::fromUtf8(text));
    }

    QStringList decodeLines(const QByteArray &bytes)
    {
        if (!isUtf8(bytes))
            return TextFile::decodeLines(bytes);
        const QByteArray text = hasBom(bytes) ? bytes.sliced(3) : bytes;
        const QList<QByteArray> raw = TextFile::splitLines(text);
        QStringList lines;
        lines.reserve(raw.size());
        for (const QByteArray &line : raw)
            lines.append(QString::fromUtf8(line));
        return lines;
    }
}
