#include "pricesearch.h"

#include <algorithm>

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
    // A filter applied while a search shows narrows the hits; the status
    // line then tells the new count again.
    if (PriceFilter *filter = PriceFilter::of(workspace)) {
        connect(filter, &PriceFilter::applied, search, [search] {
            if (search->m_active)
                search->showStatus();
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
    m_text.clear();
    m_result = PartSearch::Result();
    m_hitOfRow.clear();
    m_codeBefore.reset();
    RecordTable &table = m_workspace.price();
    if (table.isActive())
        m_index.build(table);
    else
        m_index.clear();
    if (was) {
        // The status line no longer tells of the search.
        if (PriceFilter *filter = PriceFilter::of(m_workspace))
            filter->refreshStatusLabel();
        else
            m_workspace.setLabel(Workspace::Label::FilterStatus, QString());
        emit reset();
    }
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
        const int codeField = table.findField(QStringLiteral("Code"));
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
    showStatus();
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
    m_active = false;
    m_text.clear();
    m_result = PartSearch::Result();
    m_hitOfRow.clear();
    RecordTable &table = m_workspace.price();
    if (table.isActive()) {
        table.clearRowChoice();
        if (restoreRow && m_codeBefore) {
            try {
                table.locate(QStringLiteral("Code"), *m_codeBefore);
            } catch (...) {
                // The first row of the view stays current.
            }
        }
    }
    m_codeBefore.reset();
    if (PriceFilter *filter = PriceFilter::of(m_workspace))
        filter->refreshStatusLabel();
    else
        m_workspace.setLabel(Workspace::Label::FilterStatus, QString());
}

int PriceSearch::foundCount() const
{
    const RecordTable &table = m_workspace.price();
    return m_active && table.isActive() ? table.rowCount() : 0;
}

void PriceSearch::showStatus()
{
    m_workspace.setLabel(Workspace::Label::FilterStatus, QStringLiteral("Поиск: «%1» — найдено %2")
                                                             .arg(m_text)
                                                             .arg(foundCount()));
}

QString PriceSearch::hint(int viewRow) const
{
    const RecordTable &table = m_workspace.price();
    if (!m_active || !table.isActive() || viewRow < 0 || viewRow >= table.rowCount())
        return QString();
    if (m_hitOfRow.empty() && !m_result.hits.empty()) {
        m_hitOfRow.reserve(m_result.hits.size());
        for (size_t h = 0; h < m_result.hits.size(); ++h)
            m_hitOfRow.push_back((uint64_t(m_result.hits[h].row) << 32) | h);
        std::sort(m_hitOfRow.begin(), m_hitOfRow.end());
    }
    const uint64_t row = table.storedRowAt(viewRow);
    const auto it = std::lower_bound(m_hitOfRow.begin(), m_hitOfRow.end(), row << 32);
    if (it == m_hitOfRow.end() || (*it >> 32) != row)
        return QString();
    const PartSearch::Hit &hit = m_result.hits[size_t(*it & 0xFFFFFFFFu)];
    QString text = QStringLiteral("Найдено: ") + PartSearch::foundText(hit, m_result.switchedLayout);
    if (m_result.switchedLayout)
        text += QStringLiteral(" «%1»").arg(m_result.searched);
    return text;
}
