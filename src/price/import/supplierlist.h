#pragma once

#include <array>
#include <functional>
#include <memory>
#include <optional>

#include <QList>
#include <QString>
#include <QStringList>

#include "importlayout.h"
#include "layoutguess.h"
#include "layoutstore.h"
#include "sheetreader.h"
#include "sheetreaders.h"

class ProgressReporter;

// The question the window answers with the dialog "Столбцы прайс-листа":
// the first rows of the list and the proposed layout, which the buyer
// confirms or corrects and names.
struct PriceLayoutQuestion
{
    QString path;
    QString format; // "xlsx", "ods", "xls", "csv"
    QList<SheetInfo> sheets;
    int sheet = 0;
    QList<SheetRow> rows;   // the first rows of the sheet
    ImportLayout layout;    // proposed; the answer
    QStringList reasons;    // per column: why it got its field
    QStringList changes;    // what changed since the saved layout
    bool certain = false;   // the required fields were found by their header words
    bool fromSaved = false; // `layout` is a saved one, applied by header names
    bool remember = true;   // save the confirmed layout for the next time
    // Reads the rows again after the sheet, the encoding or the delimiter
    // changed (in `sheet` and `layout`), with a new guess.
    std::function<void(PriceLayoutQuestion &)> reload;
};

// A supplier's list in another format than the wholesaler's own: opened by
// its first bytes, previewed, its layout guessed or recognised, and read.
class SupplierList final
{
public:
    // The format of a file by its first bytes. Throws OrdixError for what is
    // no list at all (an HTML page named .xls, a damaged zip).
    static ListFormat detectFormat(const QString &path, QChar nativeSeparator);
    static QString formatName(ListFormat format);

    // Opens the file (detectFormat() says it is no native list).
    explicit SupplierList(const QString &path);
    // A list read by a reader made elsewhere.
    SupplierList(const QString &path, ListFormat format, std::unique_ptr<SheetReader> reader);
    ~SupplierList();

    const QString &path() const { return m_path; }
    ListFormat format() const { return m_format; }
    QList<SheetInfo> sheets() const;
    int sheet() const { return m_sheet; }
    // For text files: the encoding and delimiter in use.
    QByteArray encoding() const;
    char delimiter() const;

    // The first rows of the sheet (the first sheet with data unless chosen).
    const QList<SheetRow> &preview();
    // Chooses the sheet (by index) and, for text files, the encoding and
    // delimiter (empty / 0: detect); the preview is read again.
    void choose(int sheet, const QByteArray &encoding = {}, char delimiter = 0);
    // Chooses what a layout names (its sheet, encoding, delimiter).
    void chooseFor(const ImportLayout &layout);

    // The guess for the preview, with the format's settings filled in.
    ImportLayout guess(QStringList *why = nullptr, bool *certain = nullptr, int headerRow = -1);
    // The saved layout that fits this list, if any: by the fingerprint of
    // the header at the row each saved layout names or that is found.
    std::optional<LayoutStore::Match> findSaved(const LayoutStore &store);
    // The question for the dialog: a saved layout applied by header names
    // (`match`), or the guess.
    PriceLayoutQuestion question(const std::optional<LayoutStore::Match> &match);

    struct Result
    {
        std::array<qint64, RowClasses::count> counts{};
        qint64 damagedCodes = 0; // items whose code or part number a spreadsheet spoilt
        QStringList notes;       // from the reader (hidden rows…)
        bool stopped = false;    // Escape
    };
    // The work on the items of one stretch of the list, done on either of
    // two threads, for a caller whose work on an item needs no item before
    // it. Objects are reused for later stretches.
    class ItemBatch
    {
    public:
        virtual ~ItemBatch() = default;
        virtual void clear() = 0;
        // As `onItem` of read().
        virtual bool add(const QByteArrayView *values) = 0;
        // Keeps the first `items` items added (those after are dropped).
        virtual void truncate(int items) = 0;
    };
    struct ItemBatches
    {
        std::function<std::unique_ptr<ItemBatch>()> make;
        // The calling thread, stretch after stretch in file order.
        std::function<void(ItemBatch &batch)> take;
    };

    // Reads every row with the layout. Each item becomes the nine values of
    // the price table's loaded fields as Windows-1251 texts (availability,
    // code, name, part number, maker, pack, price, group, analogues), handed
    // to `onItem`; an item `onItem` refuses counts as unreadable. With
    // `batches`, the items of a text list or workbook whose group is a
    // column of its own go to them instead (a text list's on both threads).
    Result read(const ImportLayout &layout, const std::function<bool(const QByteArrayView *values)> &onItem,
                ProgressReporter *progress = nullptr, const ItemBatches *batches = nullptr);

    // How much of the sheet the reading thread of read() has got through,
    // in thousandths; -1 when the reader does not say.
    int readPermille() const { return m_reader->readPermille(); }

    // The header cells of the row with 1-based number `row` in the preview.
    QStringList headerAt(int row);
    static int columnCountOf(const QList<SheetRow> &rows);

private:
    void openReader(const QByteArray &encoding, char delimiter);
    // The rows of the sheet with their classes to `processRow` until it
    // returns false. `classify` runs on the reading thread when
    // `classifyWhileReading` (for a reader that leaves that thread time to
    // spare), else on the calling one.
    void readRows(int sheet, const std::function<RowClass(const SheetRow &)> &classify, bool classifyWhileReading,
                  const std::function<bool(const SheetRow &, RowClass)> &processRow);
    void readPreview();

    QString m_path;
    ListFormat m_format;
    std::unique_ptr<SheetReader> m_reader;
    int m_sheet = -1;
    QList<SheetRow> m_preview;
    bool m_previewRead = false;
};
