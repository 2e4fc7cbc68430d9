#pragma once

#include <QString>
#include <QStringList>

// The command line of `ordix-cli`: `[--dir DIR] COMMAND ARGUMENT [options]`,
// read with QCommandLineParser, and its usage text. The options are those of
// the command named; each may be given once, as "--name value",
// "--name=value" or, for -o, "-o value"; "--" ends the options. A problem is
// the one of the first argument in the order given that is wrong, as the
// program has always reported it; --help or -h before any wrong argument
// asks for the usage text instead.
class CliOptions final
{
public:
    QString dir;
    QString command;
    QString file; // FILE, ORDERFILE or find's TEXT
    bool help = false;
    // price
    int mode = 0; // 0: as user.ini says
    QString filter;
    bool hasFilter = false;
    QString sortField;
    bool descending = false;
    QString compareFile;
    // order, export, find
    QString priceFile;
    QString target; // xlsx, pdf, txt, order
    QString outFile;
    int limit = 0; // find: 0 for no limit
    // price, order, export, find: a saved layout's name or a layout file
    // for another supplier's list
    QString layout;
    // layout: "show", "save" or "list", with save's NAME and settings
    QString layoutAction;
    QString layoutName;
    QStringList layoutSets; // FIELD=COLUMN
    int headerRow = -1;     // -1: found in the list
    QString sheet;

    // Fills `options` from the arguments (without the program's name); false
    // with the problem on a usage error.
    static bool parse(const QStringList &arguments, CliOptions *options, QString *problem);

    // The layout command's words after "layout".
    static bool parseLayout(const QStringList &positional, CliOptions *options, QString *problem);

    // The usage text: all commands, or only the named one.
    static QString usage(const QString &command = QString());
};
