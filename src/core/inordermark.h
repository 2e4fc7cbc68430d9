#pragma once

#include <QString>
#include <QtGlobal>

#include "recordtable.h"

// The in-order mark of the price list: while a part is in the order, the
// AvailabilityFlag of its price row carries its own value (0 to 4) raised by
// the mark. The order's lines keep the flag without it.
namespace Availability
{
    inline constexpr int InOrderMark = 5;

    constexpr bool isInOrder(qint64 flag)
    {
        return flag >= InOrderMark;
    }
    constexpr qint64 withInOrder(qint64 flag)
    {
        return isInOrder(flag) ? flag : flag + InOrderMark;
    }
    constexpr qint64 withoutInOrder(qint64 flag)
    {
        return isInOrder(flag) ? flag - InOrderMark : flag;
    }

    // The filter condition that keeps the price rows carrying the mark.
    inline QString inOrderCondition()
    {
        return QStringLiteral("AvailabilityFlag>=%1").arg(InOrderMark);
    }

    // Gives the current row of the table the mark or takes it away, posting
    // the change; a row that already is so is left alone. A refused post
    // cancels the edit and goes on to the caller.
    inline void setInOrder(RecordTable &table, int flagField, bool marked)
    {
        const qint64 flag = table.asInteger(flagField);
        const qint64 wanted = marked ? withInOrder(flag) : withoutInOrder(flag);
        if (wanted == flag)
            return;
        table.edit();
        try {
            table.setInteger(flagField, wanted);
            table.post();
        } catch (...) {
            table.cancel();
            throw;
        }
    }
}
