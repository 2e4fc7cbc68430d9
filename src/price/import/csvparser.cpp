#include "csvparser.h"

#include <bit>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "importcells.h"

namespace
{
    // The first delimiter or line end in [p, end), or end; eight characters
    // at a time where the processor can.
    const char16_t *findFieldEnd(const char16_t *p, const char16_t *end, char16_t delimiter)
    {
#if defined(__SSE2__)
        const __m128i delimiters = _mm_set1_epi16(short(delimiter));
        const __m128i lf = _mm_set1_epi16(short(u'\n'));
        const __m128i cr = _mm_set1_epi16(short(u'\r'));
        while (end - p >= 8) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
            const __m128i hit = _mm_or_si128(_mm_cmpeq_epi16(v, delimiters),
                                             _mm_or_si128(_mm_cmpeq_epi16(v, lf), _mm_cmpeq_epi16(v, cr)));
            const unsigned mask = unsigned(_mm_movemask_epi8(hit));
            if (mask != 0)
                return p + std::countr_zero(mask) / 2;
            p += 8;
        }
#endif
        while (p != end && *p != delimiter && *p != u'\n' && *p != u'\r')
            ++p;
        return p;
    }
}

CsvParser::CsvParser(char16_t delimiter, RowHandler onRow, qint64 firstRecord)
    : m_onRow(std::move(onRow))
    , m_record(firstRecord)
    , m_delimiter(delimiter)
{
    startField();
}

void CsvParser::startField()
{
    if (m_fields == m_row.cells.size())
        m_row.cells.emplaceBack();
    SheetCell &cell = m_row.cells[m_fields++];
    cell.kind = SheetCell::Kind::Text;
    // resize(0) keeps the memory; clear() would drop it. A borrowed text
    // (no memory of its own) just goes.
    if (cell.text.capacity() == 0)
        cell.text = QString();
    else
        cell.text.resize(0);
    m_field = &cell.text;
    m_state = State::FieldStart;
}

bool CsvParser::endRecord()
{
    if (m_row.cells.size() > m_fields)
        m_row.cells.resize(m_fields);
    bool visible = false;
    for (const SheetCell &cell : std::as_const(m_row.cells)) {
        for (const QChar c : cell.text) {
            if (!ImportCells::isSpace(c.unicode())) {
                visible = true;
                break;
            }
        }
        if (visible)
            break;
    }
    bool goOn = true;
    if (visible) {
        m_row.index = m_record;
        goOn = m_onRow(m_row);
    }
    ++m_record;
    m_fields = 0;
    startField();
    return goOn;
}

bool CsvParser::feed(QStringView text)
{
    const char16_t *p = text.utf16();
    const char16_t *const end = p + text.size();
    const char16_t delimiter = m_delimiter;
    if (m_skipLf && p != end) {
        m_skipLf = false;
        if (*p == u'\n')
            ++p;
    }
    // After a CR: an LF that follows belongs to it, in this piece or the next.
    const auto skipLf = [&] {
        if (p == end)
            m_skipLf = true;
        else if (*p == u'\n')
            ++p;
    };

    while (p != end) {
        switch (m_state) {
        case State::FieldStart:
            if (*p == u'"') {
                ++p;
                m_state = State::Quoted;
                m_quoteRecord = m_record;
                break;
            }
            m_state = State::Unquoted;
            [[fallthrough]];
        case State::Unquoted: {
            const char16_t *run = p;
            p = findFieldEnd(p, end, delimiter);
            if (p != run) {
                if (m_borrowed && p != end && m_field->isEmpty())
                    *m_field = QString::fromRawData(reinterpret_cast<const QChar *>(run), p - run);
                else
                    m_field->append(QStringView(run, p));
            }
            if (p == end)
                return true;
            const char16_t c = *p++;
            if (c == delimiter) {
                startField();
            } else {
                if (c == u'\r')
                    skipLf();
                if (!endRecord())
                    return false;
            }
            break;
        }
        case State::Quoted: {
            const char16_t *run = p;
            while (p != end && *p != u'"' && *p != u'\r')
                ++p;
            if (p != run)
                m_field->append(QStringView(run, p));
            if (p == end)
                return true;
            if (*p++ == u'"') {
                m_state = State::QuoteInQuoted;
            } else {
                m_field->append(u'\n');
                skipLf();
            }
            break;
        }
        case State::QuoteInQuoted: {
            const char16_t c = *p;
            if (c == u'"') {
                ++p;
                m_field->append(u'"');
                m_state = State::Quoted;
            } else if (c == delimiter) {
                ++p;
                startField();
            } else if (c == u'\n' || c == u'\r') {
                ++p;
                if (c == u'\r')
                    skipLf();
                if (!endRecord())
                    return false;
            } else {
                // Text after the closing quote: kept, as spreadsheets do.
                m_state = State::Unquoted;
            }
            break;
        }
        }
    }
    return true;
}

bool CsvParser::finish()
{
    m_skipLf = false;
    if (m_state == State::Quoted)
        m_unclosedQuote = m_quoteRecord;
    // Nothing read since the last record ended: no record is open.
    if (m_fields == 1 && m_state == State::FieldStart && m_field->isEmpty())
        return true;
    return endRecord();
}
