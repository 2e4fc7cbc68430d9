#pragma once

#include <functional>

#include <QStringView>

#include "sheetreader.h"

// Splits text into records and fields the way spreadsheets read CSV
// (RFC 4180): a field in double quotes may hold separators, line ends
// and doubled quotes; a quote inside a field that does not start with
// one is text. Records end at CR LF, LF or a lone CR. The text comes in
// pieces of any size; a record may span pieces.
//
// Every field is a text cell with its characters as written (blanks and
// leading zeros kept); only the quotes around a quoted field and the
// doubling inside it go, and a line end inside it becomes LF. Records
// without a visible character are not reported, but they are counted: a
// row's index is its record number, the row number a spreadsheet shows.
// The row passed to the handler is reused for the next record: its
// strings keep their memory, so reading allocates almost nothing.
class CsvParser final
{
public:
    using RowHandler = std::function<bool(const SheetRow &)>;

    // `onRow` returns false to stop. `firstRecord`: the number of the first
    // record, for text that starts further into a file.
    CsvParser(char16_t delimiter, RowHandler onRow, qint64 firstRecord = 0);

    // Parses the next piece; false when the handler stopped the reading.
    bool feed(QStringView text);
    // The end of the text: the last record is reported even without a line
    // end, and a quoted field still open ends here. False when the handler
    // stopped.
    bool finish();

    // The record (0-based) where a quoted field starts that the end of the
    // text left open; -1 when every quote is closed.
    qint64 unclosedQuoteRecord() const { return m_unclosedQuote; }
    // The number of the next record: the records read so far past the first.
    qint64 nextRecord() const { return m_record; }
    // Hands out the unquoted fields that lie whole in one piece as views
    // of it, valid while the handler runs: no copy of their text.
    void setBorrowedTexts(bool borrowed) { m_borrowed = borrowed; }

private:
    enum class State : quint8
    {
        FieldStart,
        Unquoted,
        Quoted,
        QuoteInQuoted // a quote inside a quoted field: its end or the first of two
    };

    void startField();
    bool endRecord();

    RowHandler m_onRow;
    SheetRow m_row;
    QString *m_field = nullptr;
    qsizetype m_fields = 0;
    qint64 m_record = 0;
    qint64 m_quoteRecord = 0;
    qint64 m_unclosedQuote = -1;
    char16_t m_delimiter;
    State m_state = State::FieldStart;
    bool m_skipLf = false;
    bool m_borrowed = false;
};
