#pragma once

#include <vector>

#include <QString>

// Writes a price list of `rows` data lines as the supplier ships it:
// Windows-1251, CR LF, "|"-separated, after the header
// Код|Наименование|Артикул|Производитель|НормаУпаковки|Цена|Статус|Каталоги|Аналоги(Коды)
// Names are a few Russian and Latin words (about one in twenty holds "болт"
// in some letter case), codes are unique, availability is 0 to 4. The same
// rows come out for the same row count. Returns the codes in file order and
// the file size.
void generatePriceFile(const QString &path, qint64 rows, std::vector<qint32> *codes, qint64 *bytes);
