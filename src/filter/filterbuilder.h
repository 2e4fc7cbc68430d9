#pragma once

#include <QString>

#include "filterdialogstate.h"

class GridLayout;
class RecordTable;

// Turns the filter dialog's state, or the automatic filter's arguments, into
// one filter expression for the price table, and keeps the condition score
// of the last build. No widget: the dialog fills the state.
class FilterBuilder final
{
public:
    // The text that stands for "the conditions come from the compound rows".
    // It holds a line break, which no edit box can produce.
    static const QString &compoundSentinel();

    FilterDialogState &state() { return m_state; }
    const FilterDialogState &state() const { return m_state; }

    // First opening of the dialog: the field lists get the titles of the
    // price grid's columns from the third up to the last but one, each
    // standing for the price table's field at its index + 1, marked numeric
    // when that field is no text field. The grid's selected column (less
    // the two leading ones) is selected in every list; rows 2 to 5 start
    // without a condition. Does nothing once prepared.
    void prepareFields(const GridLayout &grid, const RecordTable &price, int selectedColumn);

    // The text for the dialog's current state; empty (score untouched) when
    // the mode's first field list has no selection.
    QString dialogFilterText();

    // `text` is either the words typed for a simple filter or the compound
    // sentinel. Sets the condition score.
    QString buildFilterText(const QString &text, QChar separator, int wordMode, bool includeAvailability, bool numeric,
                            const QString &fieldName);

    // The condition for one field: apostrophes doubled, words cut at the
    // separator character (empty pieces skipped), joined by " and " (mode 0)
    // or " or " (mode 1); mode 2 takes the text whole.
    static QString buildFieldCondition(const QString &text, QChar separator, int wordMode, bool numeric,
                                       const QString &fieldName);

    // The condition of the availability page; empty when every state is kept.
    QString buildAvailabilityCondition() const;

    // 12 for a simple condition, 10 per non-empty compound row, plus 1 for an
    // availability condition.
    int conditionScore() const { return m_score; }

    // "Извлечь значение": the current price row's value of the field list
    // item `fieldIndex` as plain text (a number in its ordinary form, not its
    // display format). False when there is no such item or no current row.
    bool extractValue(const RecordTable &price, int fieldIndex, QString *value) const;

private:
    FilterDialogState m_state;
    int m_score = 0;
};
