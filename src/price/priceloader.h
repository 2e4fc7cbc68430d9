#pragma once

#include <functional>

#include <QByteArray>
#include <QList>
#include <QString>

#include "priceloadresult.h"
#include "recordtable.h"

class Workspace;

// The column numbers (1-based, 0: absent) that a header line assigns to the
// price table's fields.
struct PriceColumns
{
    int status = 0;
    int code = 0;
    int name = 0;
    int catalogId = 0;
    int producer = 0;
    int pack = 0;
    int price = 0;
    int groups = 0;
    int analogues = 0;
};

// The single way into the price table: reads a price list file into
// `PriceDataSet` and shows it.
class PriceLoader final
{
public:
    static QString schemaFileName() { return QStringLiteral("DStruct.xml"); }
    static QString defaultFileName() { return QStringLiteral("ZOLT.TXT"); }
    static QString defaultOldFileName() { return QStringLiteral("ZOLT_OLD.TXT"); }

    // The open dialog's filter.
    static QString openDialogFilter();
    // The price table's fields in order.
    static QList<FieldDef> priceFields();

    // LoadPriceList: closes the current list, chooses the file (primary,
    // fallback with the outdated question, the open dialog), reads it and
    // shows it. Either name may be empty.
    // Its result is the chosen file's load; nothing loaded when none was chosen.
    static PriceLoadResult loadPriceList(Workspace &workspace, const QString &primaryName, const QString &fallbackName);
    // Reads the named file with no question at all, as loadPriceList does
    // once the file is chosen (the comparison is left to the caller). A file
    // without a recognised header, or whose data lines give no row, throws
    // before the loaded list is touched; `beforeReplacing` runs once the file
    // is found usable, before the list is replaced.
    // Another supplier's list (a workbook or a delimited text) is read
    // through its saved or confirmed layout; not loaded when the buyer
    // cancelled that, the loaded list then as it was.
    static PriceLoadResult loadFile(Workspace &workspace, const QString &path,
                                    const std::function<void()> &beforeReplacing = {});

    // InitializePriceDataSet: writes DStruct.xml, opens the table empty with
    // its indexes ("PreName" active) and rebuilds the price grid's columns.
    static void initializePriceDataSet(Workspace &workspace);

    // Header recognition, shared with the comparison.
    static bool isRussianHeader(const QString &line);
    static bool isEnglishHeader(const QString &line);
    // Fills the layout from a header's names, the Russian set or the English
    // one. The price column is the rightmost candidate of the price mode.
    static PriceColumns columnsFromHeader(const QString &line, QChar separator, int priceMode, bool english);

    // After a load into `table` with its views suspended: gives the load's
    // passing memory back, builds the search's index from the stored rows
    // (before the view and the grids take their memory), then opens the
    // views on the first row. The views are resumed even when it throws.
    static void openLoadedTable(Workspace &workspace, RecordTable &table);

    // ". Аналоги обрезаны: N строк" for the load's status line; empty for none.
    static QString cutAnaloguesNote(int rows);
};
