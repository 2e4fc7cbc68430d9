#include "csvreader.h"

#include <algorithm>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "csvdecoder.h"
#include "csvdetection.h"
#include "csvparser.h"
#include "ordixerror.h"

namespace
{
    // What the detection looks at, and what a read takes at a time.
    constexpr qint64 kSampleSize = 64 * 1024;
    constexpr qint64 kBlockSize = 1024 * 1024;

    [[noreturn]] void throwReadError(const QString &path, const QFile &file)
    {
        throw OrdixError(QStringLiteral("Не удалось прочитать файл %1: %2")
                             .arg(QDir::toNativeSeparators(path), file.errorString()));
    }

    void open(QFile &file, const QString &path)
    {
        if (!file.open(QIODevice::ReadOnly))
            throw OrdixError(QStringLiteral("Не удалось открыть файл %1: %2")
                                 .arg(QDir::toNativeSeparators(path), file.errorString()));
    }

    bool usableDelimiter(char c)
    {
        return c == '\t' || (c > ' ' && c < 0x7F && c != '"');
    }
}

CsvReader::CsvReader(const QString &path, const CsvOptions &forced)
    : m_path(path)
    , m_options(forced)
{
    if (!m_options.encoding.isEmpty()) {
        // The names as the reader spells them, whatever the letter case.
        const QList<QByteArray> known = encodings();
        const auto it = std::find_if(known.cbegin(), known.cend(), [this](const QByteArray &name) {
            return name.compare(m_options.encoding, Qt::CaseInsensitive) == 0;
        });
        if (it == known.cend())
            throw OrdixError(QStringLiteral("Кодировка %1 не поддерживается").arg(QString::fromLatin1(m_options.encoding)));
        m_options.encoding = *it;
    }
    if (m_options.delimiter != 0 && !usableDelimiter(m_options.delimiter))
        throw OrdixError(QStringLiteral("Знак с кодом %1 не может разделять поля").arg(int(m_options.delimiter)));

    QFile file(path);
    open(file, path);
    const QByteArray sample = file.read(kSampleSize);
    if (file.error() != QFileDevice::NoError)
        throwReadError(path, file);
    const bool cut = !file.atEnd();

    if (m_options.encoding.isEmpty())
        m_options.encoding = CsvDetection::encoding(sample, cut);
    m_bomSize = CsvDetection::bomSize(sample, m_options.encoding);

    if (m_options.delimiter == 0) {
        CsvDecoder decoder(m_options.encoding);
        QString text = decoder.decode(QByteArrayView(sample).sliced(m_bomSize)).toString();
        if (!cut)
            text += decoder.finish();
        m_options.delimiter = CsvDetection::delimiter(text, !cut);
        // One column: nothing to split; ';' as a spreadsheet in Russian
        // would split whatever comes later.
        if (m_options.delimiter == 0)
            m_options.delimiter = ';';
    }
}

QList<QByteArray> CsvReader::encodings()
{
    return {"UTF-8", "UTF-16LE", "UTF-16BE", "windows-1251", "IBM866", "KOI8-R"};
}

QString CsvReader::formatName() const
{
    return QStringLiteral("csv");
}

QList<SheetInfo> CsvReader::sheets() const
{
    SheetInfo info;
    info.name = QFileInfo(m_path).completeBaseName();
    return {info};
}

void CsvReader::readSheet(int sheet, const std::function<bool(const SheetRow &)> &onRow)
{
    m_notes.clear();
    if (sheet != 0)
        return;

    QFile file(m_path);
    open(file, m_path);
    if (m_bomSize > 0 && !file.seek(m_bomSize))
        throwReadError(m_path, file);

    CsvDecoder decoder(m_options.encoding);
    CsvParser parser(char16_t(static_cast<unsigned char>(m_options.delimiter)), onRow);
    const auto noteDecoding = [&] {
        if (decoder.hasError())
            m_notes << QStringLiteral("Часть текста не читается в кодировке %1: такие знаки заменены на «\uFFFD»")
                           .arg(QString::fromLatin1(m_options.encoding));
    };

    // A small list needs no big block.
    const qint64 blockSize = qBound<qint64>(4096, file.size() + 1, kBlockSize);
    QByteArray block(blockSize, Qt::Uninitialized);
    for (;;) {
        const qint64 size = file.read(block.data(), blockSize);
        if (size < 0)
            throwReadError(m_path, file);
        if (size == 0)
            break;
        noteRead(file.pos(), file.size());
        if (!parser.feed(decoder.decode(QByteArrayView(block.constData(), size)))) {
            noteDecoding();
            return;
        }
    }
    if (parser.feed(decoder.finish()) && parser.finish() && parser.unclosedQuoteRecord() >= 0) {
        m_notes << QStringLiteral("Кавычка, открытая в строке %1, не закрыта до конца файла: "
                                  "всё после неё попало в одну ячейку")
                       .arg(parser.unclosedQuoteRecord() + 1);
    }
    noteDecoding();
}
