#pragma once

#include <functional>

#include <QString>

class CliOptions;
class SupplierList;
struct ImportLayout;
struct PriceLayoutQuestion;

// The layout command of ordix-cli and what the command line prints of a
// supplier's layout.
class CliLayout final
{
public:
    using Print = std::function<void(const QString &text)>;

    // layout show, save or list; prints to `out`.
    static int run(const CliOptions &options, const Print &out);
    // What was detected and how each column is read: the lines of layout
    // show (without the row counts).
    static QString describe(SupplierList &list, const ImportLayout &layout, const QStringList &why);
    // The command that saves `layout` for `path`.
    static QString saveCommand(const QString &path, const ImportLayout &layout);
    // ordix-cli's answer to the layout question: a saved layout applied by
    // its header names, or a guess that found every needed column by its
    // header, is taken and said on `note`; anything else fails, with the
    // guess and the command that saves it on `report`.
    static bool answer(PriceLayoutQuestion &question, const Print &note, const Print &report);
};
