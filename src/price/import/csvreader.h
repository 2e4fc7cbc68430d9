#pragma once

#include <memory>

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include "sheetreader.h"

// How a text list is read: what the buyer chose in the layout dialog, or
// (from CsvReader::options()) what the reader found.
struct CsvOptions
{
    // One of CsvReader::encodings(); empty: detect.
    QByteArray encoding;
    // ';' ',' '\t' '|' (any other printable ASCII but '"' works too);
    // 0: detect.
    char delimiter = 0;
};

// A CSV, TSV or other delimited text file as one sheet named after the
// file. What is not chosen is found from the first 64 KB: the encoding
// (byte-order mark, UTF-8, else the Cyrillic code page that reads as
// Russian) and the field separator (the one that splits the first lines
// most consistently; ';' for a list of one column). The file is read in
// blocks and never held whole; every cell is text as written. See
// CsvParser for how quotes and blank lines are read.
class CsvReader final : public SheetReader
{
public:
    // Throws OrdixError when the file cannot be read or the encoding is
    // unknown.
    explicit CsvReader(const QString &path, const CsvOptions &forced = {});

    // The options in use, found or forced.
    CsvOptions options() const { return m_options; }
    // The encodings the reader knows, for the buyer to choose from.
    static QList<QByteArray> encodings();

    QString formatName() const override;
    QList<SheetInfo> sheets() const override;
    void readSheet(int sheet, const std::function<bool(const SheetRow &)> &onRow) override;
    QStringList notes() const override { return m_notes; }

    // The work on the rows of one chunk of whole records, done on either of
    // two threads. Objects are reused for later chunks.
    class ChunkWork
    {
    public:
        virtual ~ChunkWork() = default;
        // A chunk begins; its rows follow in order.
        virtual void clear() = 0;
        // The row's texts may be views of the reader's memory, valid
        // during the call only.
        virtual void row(const SheetRow &row) = 0;
        // A record whose characters all stand in Windows-1251, as its
        // fields' texts in that code page (views valid during the call
        // only): true when taken so, false to have it through row() as any
        // other record (a record without a visible character is none).
        virtual bool bytesRow(qint64 index, const QByteArrayView *fields, qsizetype count)
        {
            Q_UNUSED(index);
            Q_UNUSED(fields);
            Q_UNUSED(count);
            return false;
        }
    };
    using MakeChunkWork = std::function<std::unique_ptr<ChunkWork>()>;
    // The calling thread, chunk after chunk in file order; false stops.
    using TakeChunk = std::function<bool(ChunkWork &work)>;

    // Whether readChunks() can read the file: its encoding writes a line
    // end, a quote and the delimiter as single bytes that no other
    // character holds (all but UTF-16).
    bool readsInChunks() const;
    // Reads the sheet as readSheet() does, in chunks of whole records cut
    // on the raw bytes, each worked on by one of two threads. A chunk may
    // be worked on before the records ahead of it are counted: its rows are
    // then numbered as if `exactBelow` records came first, and worked on
    // again with their true numbers where that changes a number below
    // `exactBelow`.
    void readChunks(qint64 exactBelow, const MakeChunkWork &make, const TakeChunk &take);
    // The end of the last whole record of data[0, have), which starts a
    // record: the offset just past a line end outside quotes that the bytes
    // after it cannot change; 0 when there is none.
    static size_t wholeRecordsEnd(const char *data, size_t have, char delimiter);

private:
    QString m_path;
    CsvOptions m_options;
    qsizetype m_bomSize = 0;
    QStringList m_notes;
};
