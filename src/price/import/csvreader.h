#pragma once

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

private:
    QString m_path;
    CsvOptions m_options;
    qsizetype m_bomSize = 0;
    QStringList m_notes;
};
