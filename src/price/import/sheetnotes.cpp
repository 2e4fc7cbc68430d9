#include "sheetnotes.h"

#include <algorithm>

QString SheetNotes::columnName(int column)
{
    QString name;
    for (int c = column + 1; c > 0; c = (c - 1) / 26)
        name.prepend(QLatin1Char(char('A' + (c - 1) % 26)));
    return name;
}

QStringList SheetNotes::make(qint64 hiddenRows, const QList<int> &hiddenColumns, int width)
{
    QStringList notes;
    if (hiddenRows > 0)
        notes.append(QStringLiteral("Скрыто строк: %1").arg(hiddenRows));

    QList<int> columns;
    for (int c : hiddenColumns) {
        if (c >= 0 && c < width)
            columns.append(c);
    }
    std::sort(columns.begin(), columns.end());
    columns.erase(std::unique(columns.begin(), columns.end()), columns.end());
    if (columns.isEmpty())
        return notes;
    // Runs of three and more as "K–M".
    QStringList parts;
    for (qsizetype i = 0; i < columns.size();) {
        qsizetype j = i;
        while (j + 1 < columns.size() && columns[j + 1] == columns[j] + 1)
            ++j;
        if (j - i >= 2) {
            parts.append(columnName(columns[i]) + QChar(0x2013) + columnName(columns[j]));
        } else {
            for (qsizetype k = i; k <= j; ++k)
                parts.append(columnName(columns[k]));
        }
        i = j + 1;
    }
    notes.append((columns.size() == 1 ? QStringLiteral("Скрыт столбец: ") : QStringLiteral("Скрыты столбцы: "))
                 + parts.join(QLatin1String(", ")));
    return notes;
}

QList<int> SheetNotes::columnsSet(const std::vector<bool> &flags)
{
    QList<int> columns;
    for (size_t c = 0; c < flags.size(); ++c) {
        if (flags[c])
            columns.append(int(c));
    }
    return columns;
}
