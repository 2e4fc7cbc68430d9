#include "pricesearch.h"

#include <algorithm>

#include "pricefields.h"
#include "pricefilter.h"
#include "recordtable.h"
#include "workspace.h"

PriceSearch::PriceSearch(Workspace &workspace)
    : QObject(&workspace)
    , m_workspace(workspace)
{
    setObjectName(QStringLiteral("PriceSearch"));
}

PriceSearch *PriceSearch::install(Workspace &workspace)
{
    PriceSearch *search = of(workspace);
    if (search)
        return search;
    search = new PriceSearch(workspace);
    // A filter applied while a search shows narrows the hits (and holds
    // again when it had been set aside for the whole list).
    if (PriceFilter *filter = PriceFilter::of(workspace)) {
        connect(filter, &PriceFilter::applied, search, [search] {
            if (!search->m_active)
                return;
            search->m_wholeList = false;
            emit search->changed();
        });
    }
    if (workspace.price().isActive() && workspace.price().storedRowCount() > 0)
        search->priceLoaded();
    return search;
}

PriceSearch *PriceSearch::of(const Workspace &workspace)
{
    return workspace.findChild<PriceSearch *>(QStringLiteral("PriceSearch"), Qt::FindDirectChildrenOnly);
}

void PriceSearch::priceLoaded()
{
    const bool was = m_active;
    m_active = false;
    m_wholeList = false;
    m_text.clear();
    m_result = PartSearch::Result();
    m_hitOfRow.clear();
    m_codeBefore.reset();
    RecordTable &table = m_workspace.price();
    if (table.isActive())
        m_index.build(table);
    else
        m_index.clear();
    if (was)
        emit reset();
}

void PriceSearch::priceClosed()
{
    const bool was = m_active;
    end(false);
    m_index.clear();
    if (was)
        emit reset();
}

void PriceSearch::search(const QString &text)
{
    const QString query = text.trimmed();
    if (query.isEmpty()) {
        clear();
        return;
    }
    RecordTable &table = m_workspace.price();
    if (!table.isActive())
        return;
    if (!m_index.isBuilt() || m_index.rowCount() != table.storedRowCount())
        m_index.build(table);
    if (!m_active) {
        const int codeField = PriceFields::find(table, PriceFields::Code);
        m_codeBefore.reset();
        if (codeField >= 0 && table.rowCount() > 0)
            m_codeBefore = table.asInteger(codeField);
    }
    m_active = true;
    m_text = query;
    m_result = m_index.find(query);
    m_hitOfRow.clear();
    std::vector<uint32_t> rows;
    rows.reserve(m_result.hits.size());
    for (const PartSearch::Hit &hit : m_result.hits)
        rows.push_back(hit.row);
    table.setRowChoice(std::move(rows));
    emit changed();
}

void PriceSearch::searchWholeList()
{
    RecordTable &table = m_workspace.price();
    if (!m_active || m_wholeList || !table.isActive())
        return;
    m_wholeList = true;
    // The chosen rows stay; only the filter stops narrowing them.
    if (table.isFiltered()) {
        table.setFiltered(false);
        table.first();
    }
    emit changed();
}

void PriceSearch::clear()
{
    if (!m_active)
        return;
    end(true);
    emit changed();
}

void PriceSearch::end(bool restoreRow)
{
    if (!m_active)
        return;
    const bool wholeList = m_wholeList;
    m_active = false;
    m_wholeList = false;
    m_text.clear();
    m_result = PartSearch::Result();
    m_hitOfRow.clear();
    RecordTable &table = m_workspace.price();
    if (table.isActive()) {
        const int codeField = PriceFields::find(table, PriceFields::Code);
        std::optional<qint64> codeNow;
        if (codeField >= 0 && table.rowCount() > 0)
            codeNow = table.asInteger(codeField);
        table.clearRowChoice();
        if (wholeList && !table.filter().isEmpty()) {
            try {
                table.setFiltered(true);
            } catch (...) {
                // The filter was accepted before; the list stays whole.
            }
        }
        // The row before the search, or, when a filter applied meanwhile
        // (an F3 on a hit) hides it, the hit the filter was made on.
        bool found = false;
        for (const std::optional<qint64> &code : {m_codeBefore, codeNow}) {
            if (!restoreRow || found || !code)
                continue;
            try {
                found = table.locate(PriceFields::name(PriceFields::Code), *code);
            } catch (...) {
                // The first row of the view stays current.
            }
        }
    }
    m_codeBefore.reset();
}

int PriceSearch::foundCount() const
{
    const RecordTable &table = m_workspace.price();
    return m_active && table.isActive() ? table.rowCount() : 0;
}

int PriceSearch::hiddenCount() const
{
    if (!m_active || m_wholeList)
        return 0;
    return qMax(0, int(m_result.hits.size()) - foundCount());
}

QString PriceSearch::hiddenText() const
{
    const int hidden = hiddenCount();
    return hidden > 0 ? QStringLiteral("ещё %1 скрыто фильтром").arg(hidden) : QString();
}

QString PriceSearch::statusText() const
{
    if (!m_active)
        return QString();
    QString text = m_wholeList ? QStringLiteral("Поиск по всему прайсу: «%1»") : QStringLiteral("Поиск: «%1»");
    // The words searched: on the other layout those the hits were found for;
    // a long text cut so that the line keeps its length.
    QString words = m_result.switchedLayout ? m_result.searched : m_text;
    if (words.size() > 40)
        words = words.left(39) + QChar(0x2026);
    text = text.arg(words);
    if (m_result.switchedLayout)
        text += QStringLiteral(" (другая раскладка)");
    text += QStringLiteral(" — найдено %1").arg(foundCount());
    const QString hidden = hiddenText();
    if (!hidden.isEmpty())
        text += QStringLiteral(" · ") + hidden;
    return text;
}

const PartSearch::Hit *PriceSearch::hitAt(int viewRow) const
{
    const RecordTable &table = m_workspace.price();
    if (!m_active || !table.isActive() || viewRow < 0 || viewRow >= table.rowCount())
        return nullptr;
    if (m_hitOfRow.empty() && !m_result.hits.empty()) {
        m_hitOfRow.reserve(m_result.hits.size());
        for (size_t h = 0; h < m_result.hits.size(); ++h)
            m_hitOfRow.push_back((uint64_t(m_result.hits[h].row) << 32) | h);
        std::sort(m_hitOfRow.begin(), m_hitOfRow.end());
    }
    const uint64_t row = table.storedRowAt(viewRow);
    const auto it = std::lower_bound(m_hitOfRow.begin(), m_hitOfRow.end(), row << 32);
    if (it == m_hitOfRow.end() || (*it >> 32) != row)
        return nullptr;
    return &m_result.hits[size_t(*it & 0xFFFFFFFFu)];
}

QString PriceSearch::found(int viewRow) const
{
    const PartSearch::Hit *hit = hitAt(viewRow);
    return hit ? PartSearch::foundText(*hit, m_result.switchedLayout) : QString();
}

QString PriceSearch::hint(int viewRow) const
{
    const PartSearch::Hit *hit = hitAt(viewRow);
    if (!hit)
        return QString();
    QString text = QStringLiteral("Найдено: ") + PartSearch::foundText(*hit, m_result.switchedLayout);
    if (m_result.switchedLayout)
        text += QStringLiteral(" «%1»").arg(m_result.searched);
    return text;
}
