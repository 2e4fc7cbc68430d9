#pragma once

#include <array>

#include <QList>
#include <QString>

// Everything the filter dialog keeps between openings, without its widgets:
// the mode, the simple page, the five compound rows, the parameters and the
// availability page. The dialog mirrors it and writes the user's changes
// back; the filter builder reads it.
struct FilterDialogState
{
    // One entry of the field lists: a price grid column's title, the price
    // table's field it stands for and whether that field is numeric.
    struct FieldItem
    {
        QString title;
        QString fieldName;
        bool numeric = false;
    };

    // Items of the condition boxes of rows 2 to 5, by index.
    enum Connective
    {
        None = 0,   // "- нет -"
        And = 1,    // "И"
        Or = 2,     // "ИЛИ"
        AndNot = 3, // "И НЕ"
        OrNot = 4   // "ИЛИ НЕ"
    };

    enum WordMode
    {
        AllWords = 0,
        AnyWord = 1,
        ExactPhrase = 2
    };

    // The state marks of a compound row's panel.
    static constexpr int ActiveMark = 11111;
    static constexpr int InactiveMark = 10101;
    static constexpr int RowCount = 5;

    struct Row
    {
        int connective = None; // ConditionComboN; row 1 has no condition box
        int fieldIndex = -1;   // FieldsCombosN selection; -1 none
        QString text;          // FilterStringN
    };

    QList<FieldItem> fields; // the items of every field list
    bool prepared = false;   // the field lists were filled (first opening)

    bool simple = true;             // CheckSCF "Простой"
    QString filterString;           // FilterString
    int fieldIndex = -1;            // FieldsCombo selection; -1 none
    std::array<Row, RowCount> rows; // rows[0] is row 1

    int wordMode = AllWords; // Condition
    int separatorIndex = 0;  // DefSepar: 0 blank, 1 ";", 2 ","

    bool availAll = true;   // "Все товары"
    bool availNot = true;   // "Нет на складе"
    bool availYes = true;   // "Есть на складе"
    bool availDeliv = true; // "Ожидаемые к поставке"
    bool availNew = false;  // "Показывать только новинки"

    // FilterString as it was when the dialog was last opened ("Отмена" puts
    // it back).
    QString rememberedText;

    // The state mark of compound row `row` (0-based): row 1 always takes
    // part; rows 2 to 5 while their condition is not "- нет -".
    int rowMark(int row) const;
    bool rowActive(int row) const { return rowMark(row) == ActiveMark; }

    // The separator character chosen in DefSepar.
    QChar separator() const;

    // "Все товары": checking it checks the three stock states and unchecks
    // "only new" (the dialog disables those four while it is checked).
    void setAvailAll(bool checked);

    // The mode switch: to simple copies the first compound row's field and
    // text to the simple page, to compound the other way.
    void setSimple(bool on);

    // Whether `index` selects an item of the field lists.
    bool isFieldSelected(int index) const { return index >= 0 && index < fields.size(); }
};
