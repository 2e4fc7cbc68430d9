#include "filterdialogstate.h"

int FilterDialogState::rowMark(int row) const
{
    if (row == 0)
        return ActiveMark;
    if (row < 0 || row >= RowCount)
        return InactiveMark;
    return rows[row].connective == None ? InactiveMark : ActiveMark;
}

QChar FilterDialogState::separator() const
{
    switch (separatorIndex) {
    case 1:
        return QLatin1Char(';');
    case 2:
        return QLatin1Char(',');
    default:
        return QLatin1Char(' ');
    }
}

void FilterDialogState::setAvailAll(bool checked)
{
    availAll = checked;
    if (checked) {
        availNot = true;
        availYes = true;
        availDeliv = true;
        availNew = false;
    }
}

void FilterDialogState::setSimple(bool on)
{
    if (simple == on)
        return;
    simple = on;
    if (on) {
        fieldIndex = rows[0].fieldIndex;
        filterString = rows[0].text;
    } else {
        rows[0].fieldIndex = fieldIndex;
        rows[0].text = filterString;
    }
}
