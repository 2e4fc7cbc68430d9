#include "rowview.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>
#include <numeric>

#include "cp1251.h"
#include "fieldvalue.h"
#include "filterexpr.h"
#include "ordixerror.h"
#include "recordtable_p.h"
#include "recordtablestorage.h"
#include "textfile.h"

using Column = RecordTableStorage::Column;

RowView::RowView(RecordTablePrivate &table)
    : m_table(table)
{ }

RowView::~RowView() = default;

// --- life ------------------------------------------------------------------------

void RowView::opened()
{
    clearRows(false);
    m_expr.reset();
    if (m_filtered) {
        try {
            m_expr = parseFilter();
        } catch (const OrdixError &) {
            m_filtered = false;
        }
    }
    try {
        resolveOrder();
    } catch (const OrdixError &) {
        m_order.clearChoice();
    }
    m_identity = isPlain();
}

void RowView::closed()
{
    m_choice.reset();
    clearRows(true);
    m_filterText.clear();
    m_filtered = false;
    m_expr.reset();
    m_order.clear();
}

bool RowView::isConsistent(uint32_t storedRows) const
{
    const std::vector<uint32_t> &view = rows();
    if (m_cur < -1 || (m_cur >= 0 && size_t(m_cur) >= view.size()) || m_seen > storedRows)
        return false;
    if (view.size() > storedRows || (m_shared && !m_rows.empty()))
        return false;
    std::vector<bool> seen(storedRows, false);
    for (size_t i = 0; i < view.size(); ++i) {
        const uint32_t row = view[i];
        if (row >= storedRows || seen[row] || (m_identity && row != i))
            return false;
        seen[row] = true;
    }
    return true;
}

bool RowView::isPlain() const
{
    return !m_table.link.master() && !m_expr && !m_order.isOrdered();
}

void RowView::clearRows(bool release)
{
    m_shared.reset();
    m_rows.clear();
    m_change.note(ViewChange::Rebuilt);
    if (release) {
        m_rows.shrink_to_fit();
        m_positions.release();
    }
    touched();
    m_seen = 0;
    m_cur = -1;
    m_atEnd = m_atBegin = true;
    m_dirty = false;
    m_keepRow.reset();
    m_wantCurrent.reset();
}

// --- filter and order ------------------------------------------------------------

std::unique_ptr<FilterExpr> RowView::parseFilter() const
{
    auto parsed = FilterExpr::parse(m_filterText);
    if (m_table.s)
        parsed->bind(m_table.s->fields());
    return parsed;
}

void RowView::setFilter(bool on, std::unique_ptr<FilterExpr> expr)
{
    m_filtered = on;
    m_expr = std::move(expr);
}

void RowView::resolveOrder()
{
    m_order.dropKey();
    if (!m_table.s)
        return;
    m_order.resolve([this](const QString &name) { return m_table.fieldByName(name); });
}

bool RowView::less(uint32_t a, uint32_t b) const
{
    return m_order.less(*m_table.s, a, b);
}

size_t RowView::insertionPoint(uint32_t row) const
{
    const std::vector<uint32_t> &view = rows();
    return size_t(std::lower_bound(view.begin(), view.end(), row,
                                   [this](uint32_t element, uint32_t value) { return less(element, value); })
                  - view.begin());
}

bool RowView::passes(uint32_t row)
{
    RecordTableStorage &s = *m_table.s;
    if (m_table.link.master() && !m_table.link.matches(s, row))
        return false;
    if (m_expr) {
        m_expr->prepare(s, false);
        return m_expr->matches(s, row);
    }
    return true;
}

// --- the rows --------------------------------------------------------------------

void RowView::rebuild(std::optional<uint32_t> keep)
{
    RecordTableStorage &s = *m_table.s;
    MasterLink &link = m_table.link;
    std::vector<uint32_t> &view = m_rows;
    m_shared.reset();
    view.clear();
    touched();
    m_change.note(ViewChange::Rebuilt);
    m_identity = false;
    const uint32_t n = s.rowCount();
    if (m_choice) {
        view.reserve(m_choice->size());
        for (uint32_t r : *m_choice)
            if (r < n && passes(r))
                view.push_back(r);
    } else if (link.master()) {
        link.computeValue(s);
        if (link.hasValue()) {
            const Column &dc = s.column(link.detailField());
            if (dc.type != FieldType::String) {
                s.forEachRowWithValue(link.detailField(), link.number(), [&view](uint32_t r) { view.push_back(r); });
                std::sort(view.begin(), view.end());
            } else {
                for (uint32_t r = 0; r < n; ++r)
                    if (link.matches(s, r))
                        view.push_back(r);
            }
            if (m_expr) {
                m_expr->prepare(s, false);
                view.erase(std::remove_if(view.begin(), view.end(), [&](uint32_t r) { return !m_expr->matches(s, r); }),
                           view.end());
            }
            if (m_order.isOrdered())
                std::sort(view.begin(), view.end(), [this](uint32_t a, uint32_t b) { return less(a, b); });
        }
    } else {
        std::vector<uint64_t> bits;
        const bool useBits = m_expr && !m_expr->isEmpty();
        if (useBits) {
            m_expr->prepare(s, true);
            m_expr->evaluate(s, bits);
        }
        auto passing = [&](uint32_t r) { return (bits[r >> 6] >> (r & 63)) & 1u; };
        if (useBits) {
            size_t count = 0;
            for (uint64_t w : bits)
                count += size_t(std::popcount(w));
            view.reserve(count);
        }
        if (m_order.isOrdered() && !useBits && !m_order.isDescending()) {
            // Every row in the store's order: its permutation is read as it is.
            m_shared = s.sharedPermutation(m_order.keyField(), m_order.isCaseInsensitive());
            std::vector<uint32_t>().swap(view);
        } else if (m_order.isOrdered()) {
            const std::vector<uint32_t> &perm = s.permutation(m_order.keyField(), m_order.isCaseInsensitive());
            if (!useBits)
                view.reserve(perm.size());
            if (!m_order.isDescending()) {
                for (uint32_t r : perm)
                    if (!useBits || passing(r))
                        view.push_back(r);
            } else {
                for (auto it = perm.rbegin(); it != perm.rend(); ++it)
                    if (!useBits || passing(*it))
                        view.push_back(*it);
            }
        } else if (useBits) {
            for (size_t w = 0; w < bits.size(); ++w) {
                uint64_t word = bits[w];
                while (word) {
                    view.push_back(uint32_t(w * 64 + size_t(std::countr_zero(word))));
                    word &= word - 1;
                }
            }
        } else {
            view.resize(n);
            std::iota(view.begin(), view.end(), 0u);
            m_identity = true;
        }
    }
    m_seen = n;
    m_dirty = false;
    link.setStale(false);
    m_keepRow.reset();

    const bool empty = rows().empty();
    m_cur = empty ? -1 : 0;
    if (keep && !empty) {
        const int p = positionOf(*keep);
        if (p >= 0)
            m_cur = p;
    }
    m_atEnd = m_atBegin = empty;
    m_table.markDetailsStale();
}

int RowView::positionOf(uint32_t row)
{
    return m_positions.positionOf(*m_table.s, rows(), m_identity, row);
}

void RowView::placeNewRow(uint32_t row)
{
    if (m_choice || !passes(row))
        return;
    const size_t p = m_order.isOrdered() ? insertionPoint(row) : rows().size();
    std::vector<uint32_t> &view = ownRows();
    view.insert(view.begin() + std::ptrdiff_t(p), row);
    m_change.note(ViewChange::RowInserted, int(p));
    if (m_identity && p != row)
        m_identity = false;
    touched();
    if (m_cur < 0) {
        m_cur = 0;
        m_atEnd = m_atBegin = false;
    } else if (int(p) <= m_cur) {
        ++m_cur;
    }
}

void RowView::ensure()
{
    if (!m_table.s)
        return;
    const bool linkStale = m_table.link.isStale();
    if (linkStale && !m_dirty) {
        rebuild(std::nullopt);
    } else if (m_dirty || linkStale) {
        rebuild(m_keepRow);
    } else if (m_seen < m_table.s->rowCount()) {
        const uint32_t n = m_table.s->rowCount();
        if (n - m_seen <= 32) {
            for (uint32_t r = m_seen; r < n; ++r)
                placeNewRow(r);
            m_seen = n;
        } else {
            rebuild(currentRow());
        }
    }
    if (m_wantCurrent) {
        const int p = positionOf(*m_wantCurrent);
        m_wantCurrent.reset();
        if (p >= 0) {
            m_cur = p;
            m_atEnd = m_atBegin = false;
        }
    }
}

std::optional<uint32_t> RowView::logicalCurrent() const
{
    if (m_wantCurrent)
        return m_wantCurrent;
    if (m_dirty)
        return m_keepRow;
    if (m_table.link.isStale())
        return std::nullopt;
    return currentRow();
}

void RowView::rebuildNow(std::optional<uint32_t> keep)
{
    m_wantCurrent.reset();
    rebuild(keep);
}

void RowView::markDirty()
{
    if (!m_dirty) {
        m_keepRow = currentRow();
        m_dirty = true;
    }
    touched();
}

bool RowView::isGroupFirst() const
{
    if (m_cur < 0)
        return false;
    if (m_cur == 0 || !m_order.isOrdered())
        return true;
    const std::vector<uint32_t> &view = rows();
    return !m_table.s->keysEqual(m_order.keyField(), view[size_t(m_cur) - 1], view[size_t(m_cur)]);
}

bool RowView::rowPosted(uint32_t row, bool keyTouched, int *changedRow)
{
    *changedRow = -1;
    if (m_dirty || m_table.link.isStale()) {
        m_keepRow = row;
        ensure();
        return true;
    }
    ensure();
    const std::vector<uint32_t> &shown = rows();
    const bool atCurrent = m_cur >= 0 && size_t(m_cur) < shown.size() && shown[size_t(m_cur)] == row;
    const int p = atCurrent ? m_cur : positionOf(row);
    if (p < 0)
        return false;
    if (!passes(row)) {
        // The row leaves the view; the one after it becomes current.
        std::vector<uint32_t> &view = ownRows();
        view.erase(view.begin() + p);
        m_change.note(ViewChange::RowRemoved, p);
        touched();
        m_identity = false;
        if (view.empty()) {
            m_cur = -1;
            m_atEnd = m_atBegin = true;
        } else if (size_t(p) < view.size()) {
            if (m_cur > p)
                --m_cur;
            else if (m_cur == p)
                m_atEnd = m_atBegin = false;
        } else {
            if (m_cur == p) {
                m_cur = int(view.size()) - 1;
                m_atEnd = true;
            } else if (m_cur > p) {
                --m_cur;
            }
        }
        return true;
    }
    if (keyTouched
        && ((p > 0 && less(row, shown[size_t(p) - 1]))
            || (size_t(p) + 1 < shown.size() && less(shown[size_t(p) + 1], row)))) {
        // The key changed: the row moves to its place in the order.
        const bool wasCurrent = m_cur == p;
        std::vector<uint32_t> &view = ownRows();
        view.erase(view.begin() + p);
        m_change.note(ViewChange::Rebuilt);
        if (m_cur > p)
            --m_cur;
        const size_t at = insertionPoint(row);
        view.insert(view.begin() + std::ptrdiff_t(at), row);
        if (wasCurrent)
            m_cur = int(at);
        else if (int(at) <= m_cur)
            ++m_cur;
        touched();
        return true;
    }
    *changedRow = p;
    return false;
}

// --- cursor ----------------------------------------------------------------------

std::vector<uint32_t> &RowView::ownRows()
{
    if (m_shared) {
        m_rows.assign(m_shared->begin(), m_shared->end());
        m_shared.reset();
    }
    return m_rows;
}

bool RowView::stopsEmpty()
{
    if (!rows().empty())
        return false;
    m_atEnd = m_atBegin = true;
    return true;
}

bool RowView::first()
{
    if (stopsEmpty())
        return false;
    moveTo(0);
    return true;
}

bool RowView::last()
{
    if (stopsEmpty())
        return false;
    moveTo(int(rows().size()) - 1);
    return true;
}

bool RowView::next()
{
    if (stopsEmpty())
        return false;
    if (size_t(m_cur) + 1 < rows().size())
        moveTo(m_cur + 1);
    else
        m_atEnd = true;
    return true;
}

bool RowView::prior()
{
    if (stopsEmpty())
        return false;
    if (m_cur > 0)
        moveTo(m_cur - 1);
    else
        m_atBegin = true;
    return true;
}

void RowView::moveTo(int position)
{
    Q_ASSERT(position >= 0 && size_t(position) < rows().size());
    m_cur = position;
    m_atEnd = m_atBegin = false;
}

// --- locating --------------------------------------------------------------------

int RowView::find(int field, const QVariant &value, bool caseInsensitive, bool partialKey)
{
    RecordTableStorage &s = *m_table.s;
    const FieldDef &def = s.fields()[field];
    const Column &c = s.column(field);
    const std::vector<uint32_t> &view = rows();
    int found = -1;
    if (def.isNumeric()) {
        double number = 0;
        bool ok = false;
        const int type = value.typeId();
        if (!value.isValid() || value.isNull()) {
            ok = false;
        } else if (type == QMetaType::Int) {
            number = value.toInt();
            ok = true;
        } else if (type == QMetaType::QString || type == QMetaType::QByteArray) {
            const QString text = value.toString();
            qint64 whole = 0;
            if (FieldValue::parseInteger(QStringView(text), &whole)) {
                number = double(whole);
                ok = true;
            } else {
                ok = Decimal::parse(text, &number);
            }
        } else {
            number = value.toDouble(&ok);
        }
        if (!ok)
            throw OrdixError(QStringLiteral("'%1' is not a valid number for field %2").arg(value.toString(), def.name));
        if (view.empty())
            return -1;
        // A short view is scanned; a long one is looked up through a table by
        // value or the hash of the rows.
        const bool shortView = view.size() <= 4096;
        if (!shortView && def.type != FieldType::R8 && m_positions.denseLocate(s, view, field, number, &found)) {
            // found through the table by value
        } else if (shortView) {
            for (size_t p = 0; p < view.size(); ++p) {
                if (c.number(view[p]) == number) {
                    found = int(p);
                    break;
                }
            }
        } else {
            int best = INT_MAX;
            s.forEachRowWithValue(field, number, [&](uint32_t row) {
                const int p = positionOf(row);
                if (p >= 0 && p < best)
                    best = p;
            });
            if (best != INT_MAX)
                found = best;
        }
        return found;
    }
    if (view.empty())
        return -1;
    QString text;
    if (value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float)
        text = RecordTableStorage::numberText(value.toDouble());
    else
        text = value.toString();
    bool ok = true;
    QByteArray needle = Cp1251::encode(text, &ok);
    if (!ok)
        return -1;
    const unsigned char *fold = Cp1251::foldTable();
    if (caseInsensitive)
        needle = Cp1251::folded(needle);
    const size_t m = size_t(needle.size());
    const auto *wanted = reinterpret_cast<const unsigned char *>(needle.constData());
    for (size_t p = 0; p < view.size(); ++p) {
        const uint32_t row = view[p];
        const uint32_t len = c.length(row);
        if (partialKey ? len < m : len != m)
            continue;
        const auto *bytes = reinterpret_cast<const unsigned char *>(c.text(row));
        bool same = true;
        if (caseInsensitive) {
            for (size_t k = 0; k < m && same; ++k)
                same = fold[bytes[k]] == wanted[k];
        } else {
            same = m == 0 || std::memcmp(bytes, wanted, m) == 0;
        }
        if (same) {
            found = int(p);
            break;
        }
    }
    return found;
}

// --- the store changed -----------------------------------------------------------

void RowView::rowRemoved(uint32_t row)
{
    if (m_wantCurrent) {
        if (*m_wantCurrent == row)
            m_wantCurrent.reset();
        else if (*m_wantCurrent > row)
            m_wantCurrent = *m_wantCurrent - 1;
    }
    if (m_choice) {
        std::vector<uint32_t> &rows = *m_choice;
        rows.erase(std::remove(rows.begin(), rows.end(), row), rows.end());
        for (uint32_t &r : rows)
            if (r > row)
                --r;
    }
    if (m_dirty || m_table.link.isStale()) {
        if (m_seen > row)
            --m_seen;
        if (m_keepRow && *m_keepRow > row)
            m_keepRow = *m_keepRow - 1;
        return;
    }
    if (row >= m_seen)
        return; // not taken into the view yet
    --m_seen;
    const int p = positionOf(row);
    touched();
    std::vector<uint32_t> &view = ownRows();
    if (p >= 0) {
        view.erase(view.begin() + p);
        m_change.note(ViewChange::RowRemoved, p);
    }
    for (uint32_t &r : view)
        if (r > row)
            --r;
    if (p < 0)
        return;
    if (view.empty()) {
        m_cur = -1;
        m_atEnd = m_atBegin = true;
    } else if (p < m_cur) {
        --m_cur;
    } else if (p == m_cur && size_t(m_cur) >= view.size()) {
        m_cur = int(view.size()) - 1;
        m_atEnd = true;
    }
}

void RowView::rowsReordered(const std::vector<uint32_t> &newRowOfOld)
{
    std::optional<uint32_t> keep = m_dirty ? m_keepRow : currentRow();
    if (keep)
        keep = newRowOfOld[*keep];
    if (m_wantCurrent)
        m_wantCurrent = newRowOfOld[*m_wantCurrent];
    if (m_choice)
        for (uint32_t &r : *m_choice)
            r = newRowOfOld[r];
    m_dirty = true;
    m_keepRow = keep;
    touched();
    m_change.note(ViewChange::Rebuilt);
}

void RowView::cleared()
{
    m_choice.reset();
    clearRows(true);
    m_identity = isPlain();
}
