#include "csvreader.h"

#include <algorithm>
#include <cstring>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "csvbytesplitter.h"
#include "csvdecoder.h"
#include "csvdetection.h"
#include "csvparser.h"
#include "ordixerror.h"
#include "parallellinereader.h"

namespace
{
    // What the detection looks at, and what a read takes at a time.
    constexpr qint64 kSampleSize = 64 * 1024;
    constexpr qint64 kBlockSize = 1024 * 1024;

    [[noreturn]] void throwReadError(const QString &path, const QFile &file)
    {
        throw OrdixError(
            QStringLiteral("Не удалось прочитать файл %1: %2").arg(QDir::toNativeSeparators(path), file.errorString()));
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

    // One chunk of whole records: decoded and split on either thread.
    class CsvChunk final : public ParallelLineReader::Work
    {
    public:
        // The first chunk given to a work is numbered from `firstNumber`,
        // every later one from `assumed`, until the calling thread knows
        // better.
        CsvChunk(const QByteArray &encoding, char delimiter, std::unique_ptr<CsvReader::ChunkWork> work,
                 qint64 firstNumber, qint64 assumed)
            : m_decoder(encoding)
            , m_splitter(CsvByteSplitter::handles(encoding, delimiter)
                             ? std::make_unique<CsvByteSplitter>(encoding, delimiter)
                             : nullptr)
            , m_work(std::move(work))
            , m_delimiter(char16_t(static_cast<unsigned char>(delimiter)))
            , m_nextFirst(firstNumber)
            , m_assumed(assumed)
        { }

        void parse(QByteArrayView block) override
        {
            m_block = block;
            parseFrom(m_nextFirst);
            m_nextFirst = m_assumed;
        }

        void parseFrom(qint64 firstRecord)
        {
            m_firstRecord = firstRecord;
            m_work->clear();
            m_decoder.clearError();
            if (m_splitter) {
                m_splitter->split(m_block, firstRecord, [this](const CsvByteSplitter::Record &record) {
                    if (!record.exact || !m_work->bytesRow(record.index, record.fields, record.count))
                        parseAsText(record.raw, record.index);
                });
                m_records = m_splitter->nextRecord() - firstRecord;
                const qint64 open = m_splitter->unclosedQuoteRecord();
                m_unclosedQuote = open < 0 ? -1 : open - firstRecord;
                m_decodingError = m_decoder.hasError();
                return;
            }
            parseAsText(m_block, firstRecord);
            m_decodingError = m_decoder.hasError();
        }

        // One record (or all of them) decoded and split as text.
        void parseAsText(QByteArrayView bytes, qint64 firstRecord)
        {
            CsvParser parser(
                m_delimiter,
                [this](const SheetRow &row) {
                    m_work->row(row);
                    return true;
                },
                firstRecord);
            parser.setBorrowedTexts(true);
            parser.feed(m_decoder.decode(bytes));
            // The end of the file: the last record, a character or a quote
            // left open; nothing for a chunk that ends with its record.
            parser.feed(m_decoder.finish());
            parser.finish();
            m_records = parser.nextRecord() - firstRecord;
            m_unclosedQuote = parser.unclosedQuoteRecord() < 0 ? -1 : parser.unclosedQuoteRecord() - firstRecord;
        }

        qint64 firstRecord() const { return m_firstRecord; }
        qint64 records() const { return m_records; }
        qint64 unclosedQuote() const { return m_unclosedQuote; }
        bool decodingError() const { return m_decodingError; }
        CsvReader::ChunkWork &work() { return *m_work; }

    private:
        CsvDecoder m_decoder;
        // Splits the chunk on its bytes, for the encodings it can.
        std::unique_ptr<CsvByteSplitter> m_splitter;
        std::unique_ptr<CsvReader::ChunkWork> m_work;
        QByteArrayView m_block;
        char16_t m_delimiter;
        qint64 m_firstRecord = 0;
        qint64 m_nextFirst;
        qint64 m_assumed;
        qint64 m_records = 0;
        qint64 m_unclosedQuote = -1;
        bool m_decodingError = false;
    };
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
            throw OrdixError(
                QStringLiteral("Кодировка %1 не поддерживается").arg(QString::fromLatin1(m_options.encoding)));
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

bool CsvReader::readsInChunks() const
{
    return m_options.encoding != "UTF-16LE" && m_options.encoding != "UTF-16BE";
}

size_t CsvReader::wholeRecordsEnd(const char *data, size_t have, char delimiter)
{
    // The last record end in data[from, to), outside quotes; a CR only where
    // the byte after it is known to be no LF.
    const auto lastEnd = [&](size_t from, size_t to) -> size_t {
        for (size_t i = to; i > from; --i) {
            if (data[i - 1] == '\n')
                return i;
        }
        for (size_t i = to; i > from; --i) {
            if (data[i - 1] == '\r' && i < have && data[i] != '\n')
                return i;
        }
        return 0;
    };
    size_t cut = 0;
    size_t from = 0; // outside quotes
    for (;;) {
        const char *quote = static_cast<const char *>(std::memchr(data + from, '"', have - from));
        const size_t at = quote ? size_t(quote - data) : have;
        if (const size_t end = lastEnd(from, at))
            cut = end;
        if (!quote)
            return cut;
        from = at + 1;
        // A quote opens a quoted field only where a field starts; elsewhere
        // it is text.
        const char before = at == 0 ? '\n' : data[at - 1];
        if (before != delimiter && before != '\n' && before != '\r')
            continue;
        // The field ends at a quote that is not one of two.
        for (;;) {
            const char *close = static_cast<const char *>(std::memchr(data + from, '"', have - from));
            if (!close || size_t(close - data) + 1 >= have)
                return cut; // open to the end of what is read: cut before it
            from = size_t(close - data) + 1;
            if (data[from] != '"')
                break;
            ++from;
        }
    }
}

void CsvReader::readChunks(qint64 exactBelow, const MakeChunkWork &make, const TakeChunk &take)
{
    m_notes.clear();
    QFile file(m_path);
    open(file, m_path);
    if (m_bomSize > 0 && !file.seek(m_bomSize))
        throwReadError(m_path, file);
    const qint64 size = file.size();
    const char delimiter = m_options.delimiter;
    bool first = true;
    const auto makeWork = [&]() -> std::unique_ptr<ParallelLineReader::Work> {
        // The first chunk goes to the first work made.
        auto chunk =
            std::make_unique<CsvChunk>(m_options.encoding, delimiter, make(), first ? 0 : exactBelow, exactBelow);
        first = false;
        return chunk;
    };
    qint64 records = 0;
    qint64 unclosedQuote = -1;
    bool decodingError = false;
    bool stopped = false;
    const auto takeWork = [&](ParallelLineReader::Work &work, qint64 position) {
        auto &chunk = static_cast<CsvChunk &>(work);
        if (chunk.firstRecord() != records && qMin(chunk.firstRecord(), records) < exactBelow)
            chunk.parseFrom(records);
        noteRead(position, size);
        decodingError = decodingError || chunk.decodingError();
        if (chunk.unclosedQuote() >= 0)
            unclosedQuote = records + chunk.unclosedQuote();
        records += chunk.records();
        stopped = !take(chunk.work());
        return !stopped;
    };
    const auto cut = [delimiter](const char *data, size_t have) { return wholeRecordsEnd(data, have, delimiter); };
    if (!ParallelLineReader::run(file, size - m_bomSize, makeWork, takeWork, size_t(kBlockSize), cut))
        throwReadError(m_path, file);
    if (!stopped && unclosedQuote >= 0) {
        m_notes << QStringLiteral("Кавычка, открытая в строке %1, не закрыта до конца файла: "
                                  "всё после неё попало в одну ячейку")
                       .arg(unclosedQuote + 1);
    }
    if (decodingError)
        m_notes << QStringLiteral("Часть текста не читается в кодировке %1: такие знаки заменены на «\uFFFD»")
                       .arg(QString::fromLatin1(m_options.encoding));
}
