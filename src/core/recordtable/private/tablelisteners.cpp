#include "tablelisteners.h"

bool TableListeners::resume()
{
    if (m_suspendCount == 0)
        return false;
    return --m_suspendCount == 0;
}

int TableListeners::addViewListener(Callback cb)
{
    const int id = m_nextId++;
    m_viewListeners[id] = std::move(cb);
    return id;
}

int TableListeners::addRowListener(RowCallback cb)
{
    const int id = m_nextId++;
    m_rowListeners[id] = std::move(cb);
    return id;
}

void TableListeners::remove(int id)
{
    m_viewListeners.erase(id);
    m_rowListeners.erase(id);
}

void TableListeners::viewChanged() const
{
    const auto listeners = m_viewListeners;
    for (const auto &entry : listeners)
        if (entry.second)
            entry.second();
}

void TableListeners::rowChanged(int viewRow) const
{
    const auto listeners = m_rowListeners;
    for (const auto &entry : listeners)
        if (entry.second)
            entry.second(viewRow);
}
