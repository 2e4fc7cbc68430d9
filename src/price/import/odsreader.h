#pragma once

#include "sheetreader.h"
#include "zipstream.h"

// Reads an OpenDocument spreadsheet (ods: LibreOffice, OpenOffice). The
// constructor lists the tables of content.xml; readSheet() streams it again
// up to the end of the wanted table. Repeated empty rows and cells (a sheet
// "filled" to its last row) cost nothing; a repeated row with data is
// reported once for each repetition.
//
// Number cells carry the value and the text the file shows for it, and no
// format code; a date or time cell is reported as its shown text (the ISO
// value where the file shows none).
class OdsReader final : public SheetReader
{
public:
    // The rows and columns a sheet may have; rows past them are not read
    // and a note says so.
    static constexpr qint64 MaxRows = 1048576;
    static constexpr int MaxColumns = 16384;

    explicit OdsReader(const QString &path);
    OdsReader(const QString &path, const ZipStream::Limits &limits);

    QString formatName() const override { return QStringLiteral("ods"); }
    QList<SheetInfo> sheets() const override { return m_sheets; }
    void readSheet(int sheet, const std::function<bool(const SheetRow &)> &onRow) override;
    QList<int> hiddenColumns() const override { return m_hiddenColumns; }
    QStringList notes() const override { return m_notes; }

private:
    void readOutline();

    QString m_path;
    ZipStream::Limits m_limits;
    QList<SheetInfo> m_sheets;
    QList<int> m_hiddenColumns;
    QStringList m_notes;
};
