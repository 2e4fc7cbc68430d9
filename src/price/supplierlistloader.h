#pragma once

#include <functional>

#include <QHash>
#include <QString>

#include "priceloadresult.h"

class Workspace;

// Loads another supplier's list (a workbook or a delimited text file) into
// the price table: the layout is taken from the saved ones when it is
// recognised, otherwise the buyer confirms it once; the list then replaces
// the loaded one as the wholesaler's own list would.
class SupplierListLoader final
{
public:
    // False when the buyer cancelled the layout or the replacement (the
    // loaded list then stays as it was). Throws OrdixError when the file
    // cannot be read or gives no item.
    static PriceLoadResult load(Workspace &workspace, const QString &path,
                                const std::function<void()> &beforeReplacing);
    // The prices by code of another edition of a supplier's list (the
    // comparison's old list), read with the loaded list's layout.
    static QHash<qint32, double> editionPrices(Workspace &workspace, const QString &path);
};
