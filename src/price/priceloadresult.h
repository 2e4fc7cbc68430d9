#pragma once

// What a load of a price list gives back: whether a list was read (false
// when the buyer cancelled, the loaded list then as it was) and how many of
// its rows were dropped because their values did not convert, and how many
// rows lost analogue codes beyond the analogue field's size.
struct PriceLoadResult
{
    bool loaded = false;
    int skippedLines = 0;
    int cutAnalogueRows = 0;

    explicit operator bool() const { return loaded; }
};
