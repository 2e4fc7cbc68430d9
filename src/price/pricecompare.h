#pragma once

#include <vector>

#include <QString>

class Workspace;

// Comparison of the loaded price list with an older edition: every row of
// the view gets the old price of its code in `OldPrice`.
class PriceCompare final
{
public:
    // ComparePrices: asks whether and with which file to compare, reads it
    // and fills `OldPrice`.
    static void comparePrices(Workspace &workspace);
    // The candidate name: the price file's name with "_OLD" before its
    // extension ("ZOLT.TXT" gives "ZOLT_OLD.TXT").
    static QString candidateName(const QString &priceFileName);
    // Reads the old file and gives the old price of every stored row of the
    // price table by its code, NaN where the old file has no line for it (the
    // last line of a code wins; lines without a readable code count as code
    // 0, without a readable price as price 0).
    static std::vector<double> readOldPrices(Workspace &workspace, const QString &path);
    // Writes the old prices into the rows of the view.
    static void applyOldPrices(Workspace &workspace, const std::vector<double> &oldByRow);
    // The comparison without questions, for the command-line program.
    static void compareWith(Workspace &workspace, const QString &oldFileName);
};
