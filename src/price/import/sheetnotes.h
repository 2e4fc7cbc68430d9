#pragma once

#include <vector>

#include <QList>
#include <QString>
#include <QStringList>

// The remarks a reader gives about the sheet it has read, in the buyer's
// terms: how many of the rows with data were hidden, which columns within
// the data were hidden.
class SheetNotes final
{
public:
    // "A" for 0, "Z" for 25, "AA" for 26.
    static QString columnName(int column);
    // "Скрыто строк: 3", "Скрыты столбцы: B, D, K–M"; hidden columns from
    // `width` on (past the last column with data) are not mentioned.
    // The columns whose flag is set.
    static QList<int> columnsSet(const std::vector<bool> &flags);
    static QStringList make(qint64 hiddenRows, const QList<int> &hiddenColumns, int width);
};
