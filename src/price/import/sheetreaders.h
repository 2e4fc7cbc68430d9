#pragma once

#include <memory>

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include "sheetreader.h"

// What a file of a price list is, by its first bytes (never by its name).
enum class ListFormat
{
    Native, // the wholesaler's own text layout
    Xlsx,
    Ods,
    Xls,
    Csv
};

// The readers of the formats, made by one factory.
namespace SheetReaders
{
    // The reader of `path` in `format`; for text files the encoding and
    // delimiter given (empty / 0: detected).
    std::unique_ptr<SheetReader> open(const QString &path, ListFormat format, const QByteArray &encoding = {},
                                      char delimiter = 0);
    // For a text file's reader: the encoding and the delimiter in use.
    QByteArray encodingOf(const SheetReader &reader);
    char delimiterOf(const SheetReader &reader);
    // Why bytes that claim to be a workbook are none ("…страница HTML…"),
    // with %1 for the file's name; empty when they may be one.
    QString notAWorkbook(QByteArrayView firstBytes);
}
