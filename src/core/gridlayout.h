#pragma once

#include <QList>
#include <QString>

// The columns of one grid as the logic keeps them: which field each shows,
// its title, width, visibility and the widest content seen so far
// (`PreferredWidth`). The window's models and headers read them; the loaders,
// the order and the printed report raise and use `preferredWidth`.
struct GridColumn
{
    QString fieldName; // "NPP" for the row-number column
    QString title;
    int width = 64; // pixels
    bool visible = true;
    int preferredWidth = 7; // a newly built column starts at 7
    int fieldPosition = -1; // position in the table; -1 for "NPP"
};

class GridLayout final
{
public:
    QList<GridColumn> columns;
    // c + 1 when sorted ascending by column c (0-based), -(c + 1) descending, 0 none.
    int sortMark = 0;
    // Index + 1 of the column whose title was clicked last; 0 none.
    int pendingTitleClick = 0;
    int fixedColumns = 0;

    void clear()
    {
        columns.clear();
        sortMark = 0;
        pendingTitleClick = 0;
        fixedColumns = 0;
    }
    int count() const { return int(columns.size()); }
    // Column showing the field (names compared without case); -1 when none.
    int columnOfField(const QString &fieldName) const
    {
        for (int i = 0; i < count(); ++i) {
            if (columns.at(i).fieldName.compare(fieldName, Qt::CaseInsensitive) == 0)
                return i;
        }
        return -1;
    }
    void raisePreferredWidth(int column, int width)
    {
        if (column >= 0 && column < count() && columns[column].preferredWidth < width)
            columns[column].preferredWidth = width;
    }
};
