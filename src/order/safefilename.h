#pragma once

#include <QString>

// Makes a proposed file name acceptable to the file system: "/" becomes "(",
// "\" ")", ":" "-", "*" "#", "?" "-", a double quote two apostrophes, "<" "(",
// ">" ")" and "|" "!". Nothing else changes. The order save and the
// spreadsheet export propose their names through it.
QString MakeSafeFileName(const QString &name);
