#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "sheetreader.h"

// A sheet written as text for the import's tests: rows by "\n", cells by
// "|"; "#12.5" is a number cell and "#42@000000" one with its number format;
// an empty line is a row with nothing in it (not reported, as readers do).
inline QList<SheetRow> sheetRows(const QString &text)
{
    QList<SheetRow> rows;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int r = 0; r < lines.size(); ++r) {
        if (lines.at(r).isEmpty())
            continue;
        SheetRow row;
        row.index = r;
        for (const QString &value : lines.at(r).split(QLatin1Char('|'))) {
            SheetCell cell;
            if (value.startsWith(QLatin1Char('#'))) {
                const QStringList parts = value.mid(1).split(QLatin1Char('@'));
                cell.kind = SheetCell::Kind::Number;
                cell.number = parts.at(0).toDouble();
                cell.numberFormat = parts.value(1);
            } else if (!value.isEmpty()) {
                cell.kind = SheetCell::Kind::Text;
                cell.text = value;
            }
            row.cells.append(cell);
        }
        rows.append(row);
    }
    return rows;
}

// The rows above as a reader of one sheet.
class MemorySheetReader final : public SheetReader
{
public:
    explicit MemorySheetReader(const QString &text)
        : m_rows(sheetRows(text))
    { }
    QString formatName() const override { return QStringLiteral("xlsx"); }
    QList<SheetInfo> sheets() const override { return {SheetInfo{QStringLiteral("Лист1"), false}}; }
    void readSheet(int, const std::function<bool(const SheetRow &)> &onRow) override
    {
        for (const SheetRow &row : m_rows) {
            if (!onRow(row))
                return;
        }
    }

private:
    QList<SheetRow> m_rows;
};
