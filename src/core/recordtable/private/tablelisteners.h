#pragma once

#include <functional>
#include <map>
#include <utility>

// Who is told about a record table's changes: the grids' listeners for a
// rebuilt view or one changed row, and the program's single after-scroll and
// after-post handlers. While suspended (counted) the view is not reported.
class TableListeners final
{
public:
    using Callback = std::function<void()>;
    using RowCallback = std::function<void(int viewRow)>;

    void suspend() { ++m_suspendCount; }
    // Ends one suspension; true when it was the last one.
    bool resume();
    bool isSuspended() const { return m_suspendCount > 0; }

    int addViewListener(Callback cb);
    int addRowListener(RowCallback cb);
    void remove(int id);
    bool hasViewListeners() const { return !m_viewListeners.empty(); }

    // The listeners are called from a copy: they may remove themselves.
    void viewChanged() const;
    void rowChanged(int viewRow) const;

    void setAfterScroll(Callback cb) { m_afterScroll = std::move(cb); }
    const Callback &afterScroll() const { return m_afterScroll; }
    void scrolled() const
    {
        if (m_afterScroll)
            m_afterScroll();
    }
    void setAfterPost(Callback cb) { m_afterPost = std::move(cb); }
    void posted() const
    {
        if (m_afterPost)
            m_afterPost();
    }

private:
    int m_suspendCount = 0;
    int m_nextId = 1;
    std::map<int, Callback> m_viewListeners;
    std::map<int, RowCallback> m_rowListeners;
    Callback m_afterScroll;
    Callback m_afterPost;
};
