#include "filterbuilder.h"

#include "gridlayout.h"
#include "pricefields.h"
#include "recordtable.h"
#include "textfile.h"

namespace
{
    // A word read as a whole number; 0 when it is not one.
    QString numberText(QStringView text)
    {
        qint32 value = 0;
        if (!isWholeNumber(text, &value))
            value = 0;
        return QString::number(value);
    }

    QString wordCondition(const QString &word, bool numeric, const QString &field)
    {
        if (numeric)
            return QLatin1Char('(') + field + QLatin1Char('=') + numberText(word) + QLatin1Char(')');
        return QStringLiteral("((") + field + QStringLiteral(" LIKE '%") + word + QStringLiteral("%') or (") + field
            + QStringLiteral("='") + word + QStringLiteral("*'))");
    }
}

const QString &FilterBuilder::compoundSentinel()
{
    static const QString sentinel = QStringLiteral("\r\n<compound filter>\r\n");
    return sentinel;
}

void FilterBuilder::prepareFields(const GridLayout &grid, const RecordTable &price, int selectedColumn)
{
    if (m_state.prepared)
        return;
    m_state.fields.clear();
    for (int c = 2; c < grid.count() - 1; ++c) {
        FilterDialogState::FieldItem item;
        item.title = grid.columns.at(c).title;
        const int position = c - 1; // item i stands for the field at i + 1
        if (price.isActive() && position < price.fieldCount()) {
            const FieldDef &field = price.field(position);
            item.fieldName = field.name;
            item.numeric = field.isNumeric();
        } else {
            item.fieldName = grid.columns.at(c).fieldName;
            item.numeric = PriceFields::is(item.fieldName, PriceFields::Code)
                || PriceFields::is(item.fieldName, PriceFields::Price);
        }
        m_state.fields.append(item);
    }
    const int selected = selectedColumn - 2;
    m_state.fieldIndex = m_state.isFieldSelected(selected) ? selected : -1;
    for (FilterDialogState::Row &row : m_state.rows) {
        row.fieldIndex = m_state.fieldIndex;
        row.connective = FilterDialogState::None;
    }
    m_state.prepared = true;
}

QString FilterBuilder::dialogFilterText()
{
    const int index = m_state.simple ? m_state.fieldIndex : m_state.rows[0].fieldIndex;
    if (!m_state.isFieldSelected(index))
        return QString();
    const FilterDialogState::FieldItem &item = m_state.fields.at(index);
    const QString &text = m_state.simple ? m_state.filterString : compoundSentinel();
    return buildFilterText(text, m_state.separator(), m_state.wordMode, true, item.numeric, item.fieldName);
}

QString FilterBuilder::buildFilterText(const QString &text, QChar separator, int wordMode, bool includeAvailability,
                                       bool numeric, const QString &fieldName)
{
    m_score = 0;
    QString main;
    if (text != compoundSentinel()) {
        main = buildFieldCondition(text, separator, wordMode, numeric, fieldName);
        if (!main.isEmpty())
            m_score += 12;
    } else {
        const QString first = buildFieldCondition(m_state.rows[0].text, separator, wordMode, numeric, fieldName);
        if (!first.isEmpty()) {
            m_score += 10;
            main = QLatin1Char('(') + first + QLatin1Char(')');
        }
        for (int r = 1; r < FilterDialogState::RowCount; ++r) {
            const FilterDialogState::Row &row = m_state.rows[r];
            if (!m_state.rowActive(r) || !m_state.isFieldSelected(row.fieldIndex))
                continue;
            const FilterDialogState::FieldItem &item = m_state.fields.at(row.fieldIndex);
            QString c = buildFieldCondition(row.text, separator, wordMode, item.numeric, item.fieldName);
            if (c.isEmpty())
                continue;
            m_score += 10;
            QString connective;
            switch (row.connective) {
            case FilterDialogState::And:
                connective = QStringLiteral(" AND (");
                break;
            case FilterDialogState::Or:
                connective = QStringLiteral(" OR (");
                break;
            case FilterDialogState::AndNot:
                c = QStringLiteral("NOT (") + c + QLatin1Char(')');
                connective = QStringLiteral(" AND (");
                break;
            case FilterDialogState::OrNot:
                c = QStringLiteral("NOT (") + c + QLatin1Char(')');
                connective = QStringLiteral(" OR (");
                break;
            default:
                break;
            }
            if (connective.isEmpty())
                continue;
            if (!main.isEmpty()) {
                main += connective + c + QLatin1Char(')');
            } else if (row.connective == FilterDialogState::And || row.connective == FilterDialogState::Or) {
                // The first condition drops its connective.
                main = QLatin1Char('(') + c + QLatin1Char(')');
            } else {
                // c already reads NOT (...).
                main = c;
            }
        }
    }

    const QString availability = includeAvailability ? buildAvailabilityCondition() : QString();
    if (availability.isEmpty())
        return main;
    m_score += 1;
    if (main.isEmpty())
        return availability;
    return QLatin1Char('(') + main + QStringLiteral(") and (") + availability + QLatin1Char(')');
}

QString FilterBuilder::buildFieldCondition(const QString &text, QChar separator, int wordMode, bool numeric,
                                           const QString &fieldName)
{
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QLatin1String("''"));

    if (wordMode == FilterDialogState::ExactPhrase) {
        if (numeric)
            return fieldName + QLatin1Char('=') + numberText(quoted);
        return QLatin1Char('(') + fieldName + QStringLiteral(" LIKE '%") + quoted + QStringLiteral("%') or (")
            + fieldName + QStringLiteral("='") + quoted + QStringLiteral("*')");
    }

    const QString joint = wordMode == FilterDialogState::AnyWord ? QStringLiteral(" or ") : QStringLiteral(" and ");
    QString result;
    qsizetype start = 0;
    const qsizetype length = quoted.size();
    while (start < length) {
        qsizetype end = quoted.indexOf(separator, start);
        if (end < 0)
            end = length;
        if (end > start) {
            if (!result.isEmpty())
                result += joint;
            result += wordCondition(quoted.mid(start, end - start), numeric, fieldName);
        }
        start = end + 1;
    }
    return result;
}

QString FilterBuilder::buildAvailabilityCondition() const
{
    if (m_state.availAll)
        return QString();
    bool states[5] = {false, false, false, false, false};
    if (m_state.availNot)
        states[0] = true;
    if (m_state.availYes)
        states[1] = states[2] = true;
    if (m_state.availDeliv)
        states[3] = states[4] = true;
    if (m_state.availNew)
        states[0] = states[1] = states[3] = false;
    if (states[0] && states[1] && states[2] && states[3] && states[4])
        return QString();

    QString result;
    for (int n = 0; n < 5; ++n) {
        if (!states[n])
            continue;
        if (!result.isEmpty())
            result += QStringLiteral(" or ");
        result += QStringLiteral("(AvailabilityFlag=%1) or (AvailabilityFlag=%2)").arg(n).arg(n + 5);
    }
    if (result.isEmpty())
        return QStringLiteral("AvailabilityFlag=-1");
    return result;
}

bool FilterBuilder::extractValue(const RecordTable &price, int fieldIndex, QString *value) const
{
    if (!m_state.isFieldSelected(fieldIndex) || !price.isActive() || price.rowCount() == 0)
        return false;
    const int position = price.findField(m_state.fields.at(fieldIndex).fieldName);
    if (position < 0)
        return false;
    *value = price.asString(position);
    return true;
}
