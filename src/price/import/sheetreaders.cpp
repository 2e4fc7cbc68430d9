#include "sheetreaders.h"

#include "csvreader.h"
#include "odsreader.h"
#include "xlsreader.h"
#include "xlsxreader.h"

std::unique_ptr<SheetReader> SheetReaders::open(const QString &path, ListFormat format, const QByteArray &encoding,
                                                char delimiter)
{
    switch (format) {
    case ListFormat::Xlsx:
        return std::make_unique<XlsxReader>(path);
    case ListFormat::Ods:
        return std::make_unique<OdsReader>(path);
    case ListFormat::Xls:
        return std::make_unique<XlsReader>(path);
    case ListFormat::Native:
    case ListFormat::Csv:
        break;
    }
    CsvOptions options;
    options.encoding = encoding;
    options.delimiter = delimiter;
    return std::make_unique<CsvReader>(path, options);
}

QByteArray SheetReaders::encodingOf(const SheetReader &reader)
{
    const auto *csv = dynamic_cast<const CsvReader *>(&reader);
    return csv ? csv->options().encoding : QByteArray();
}

char SheetReaders::delimiterOf(const SheetReader &reader)
{
    const auto *csv = dynamic_cast<const CsvReader *>(&reader);
    return csv ? csv->options().delimiter : 0;
}

QString SheetReaders::notAWorkbook(QByteArrayView firstBytes)
{
    QByteArrayView bytes = firstBytes.first(qMin<qsizetype>(firstBytes.size(), 4096));
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes = bytes.sliced(3);
    const QByteArray head = bytes.toByteArray().trimmed().toLower();
    if (!head.startsWith('<'))
        return QString();
    QString what;
    if (head.startsWith("<!doctype html") || head.startsWith("<html") || head.contains("<table"))
        what = QStringLiteral("страница HTML");
    else if (head.contains("urn:schemas-microsoft-com:office:spreadsheet"))
        what = QStringLiteral("таблица XML Excel 2003");
    else
        what = QStringLiteral("файл XML");
    return QStringLiteral("Файл %1 — не книга Excel, а %2: откройте его в Excel и сохраните как книгу .xlsx")
        .arg(QStringLiteral("%1"), what);
}
