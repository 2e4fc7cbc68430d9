#pragma once

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>

#include <QList>
#include <QString>
#include <QStringList>

// One cell of a supplier's list as the file holds it. Readers report what
// the file says and nothing more: turning a number into the text the buyer
// saw (zeros of a code, a date) is left to the import, which knows the
// column's role.
struct SheetCell
{
    enum class Kind : quint8
    {
        Empty,
        Text,   // a string: `text`
        Number, // `number`; `text` holds the shown text where the file keeps it (ods), else is empty
        Bool,   // `number` 0 or 1
        Error   // "#N/A" and the like, in `text`
    };

    Kind kind = Kind::Empty;
    double number = 0;
    QString text;
    // The number format of a number cell as a format code ("0.00",
    // "000000", "dd.mm.yyyy", "General"); empty where the file has none.
    QString numberFormat;

    bool isEmpty() const { return kind == Kind::Empty || (kind == Kind::Text && text.isEmpty()); }
};

// One row of a sheet: `cells[c]` is column c (0 = "A"); trailing empty
// cells may be missing.
struct SheetRow
{
    qint64 index = 0; // 0-based row number in the sheet (row "1" is 0)
    bool hidden = false;
    QList<SheetCell> cells;
};

struct SheetInfo
{
    QString name;
    bool hidden = false;
};

// Reads the sheets of one file, row by row, in the order of the file. A
// reader never trusts a declared size: it reports the rows that hold
// something, and only those. Errors (a damaged file, an encrypted
// workbook, an archive member that inflates too far) are thrown as
// OrdixError with a message for the buyer.
class SheetReader
{
public:
    virtual ~SheetReader() = default;

    // "xlsx", "ods", "xls", "csv".
    virtual QString formatName() const = 0;
    virtual QList<SheetInfo> sheets() const = 0;
    // Streams the rows of sheet `sheet` (0-based) to `onRow` until the end
    // or until `onRow` returns false. May be called again for any sheet.
    virtual void readSheet(int sheet, const std::function<bool(const SheetRow &)> &onRow) = 0;
    // Whether dates are counted from 1904 (a workbook setting).
    virtual bool uses1904Dates() const { return false; }
    // Hidden columns of the last sheet read (0-based).
    virtual QList<int> hiddenColumns() const { return {}; }
    // Remarks about the last sheet read that the buyer should see ("3 строки
    // скрыты"); empty when none.
    virtual QStringList notes() const { return {}; }

    // Lets the texts of the rows handed out point into the reader's own
    // memory (shared strings, number formats) instead of being copies: for a
    // caller done with every row before the reader goes. Saves an
    // allocation per cell on a large list.
    void setBorrowedTexts(bool borrowed) { m_borrowedTexts = borrowed; }
    bool borrowedTexts() const { return m_borrowedTexts; }

    // How much of the sheet a readSheet() running on another thread has
    // read, in thousandths; -1 when the reader does not say.
    int readPermille() const { return m_readPermille.load(std::memory_order_relaxed); }

protected:
    void noteRead(qint64 done, qint64 total)
    {
        if (total > 0)
            m_readPermille.store(int(std::clamp<qint64>(done * 1000 / total, 0, 1000)), std::memory_order_relaxed);
    }

private:
    bool m_borrowedTexts = false;
    std::atomic<int> m_readPermille{-1};
};
