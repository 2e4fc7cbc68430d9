#pragma once

#include "recordtable.h"

// Looks through the whole price list while it lives, whatever its filter
// shows: the order's parts are found even when the filter hides them. The
// filter comes back on however the work ends. Use it inside a GridFreeze of
// the price grid, so that the grid sees neither change.
class UnfilteredPrice final
{
public:
    explicit UnfilteredPrice(RecordTable &price)
        : m_price(price)
        , m_filtered(price.isActive() && price.isFiltered())
    {
        if (m_filtered)
            m_price.setFiltered(false);
    }

    ~UnfilteredPrice()
    {
        if (!m_filtered)
            return;
        try {
            m_price.setFiltered(true);
        } catch (...) {
        }
    }

    UnfilteredPrice(const UnfilteredPrice &) = delete;
    UnfilteredPrice &operator=(const UnfilteredPrice &) = delete;

private:
    RecordTable &m_price;
    bool m_filtered;
};
