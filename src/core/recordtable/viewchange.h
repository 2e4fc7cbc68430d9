#pragma once

// How a record table's view changed, as far as the table knows it: one row
// come into the view or gone from it at a view position. Anything else (a
// new filter, order or link, a load, several rows at once, or a change the
// table cannot name) is Rebuilt.
struct ViewChange
{
    enum Kind
    {
        None, // nothing noted since the last time the listeners were told
        Rebuilt,
        RowInserted,
        RowRemoved
    };

    Kind kind = None;
    int position = -1; // view position of the row inserted or removed

    // Notes one more change: a second one makes the whole a rebuild.
    void note(Kind what, int at = -1)
    {
        if (kind == None && (what == RowInserted || what == RowRemoved)) {
            kind = what;
            position = at;
        } else {
            kind = Rebuilt;
            position = -1;
        }
    }
};
