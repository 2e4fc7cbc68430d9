#include "clioptions.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QSet>

namespace
{
    const QString Price = QStringLiteral("price");
    const QString Order = QStringLiteral("order");
    const QString Export = QStringLiteral("export");
    const QString Find = QStringLiteral("find");
    const QString Layout = QStringLiteral("layout");

    const QStringList Targets{QStringLiteral("xlsx"), QStringLiteral("pdf"), QStringLiteral("txt"), Order};

    struct KnownOption
    {
        const char *command;
        const char *name; // as written: "--mode", "-o"
        bool takesValue;
    };

    constexpr KnownOption KnownOptions[] = {
        {"price", "--mode", true},   {"price", "--filter", true},  {"price", "--sort", true},
        {"price", "--desc", false},  {"price", "--compare", true}, {"order", "--price", true},
        {"order", "--filter", true}, {"export", "--to", true},     {"export", "-o", true},
        {"export", "--price", true}, {"find", "--price", true},    {"find", "--limit", true},
        {"price", "--layout", true}, {"order", "--layout", true},  {"export", "--layout", true},
        {"find", "--layout", true},  {"layout", "--set", true},    {"layout", "--header-row", true},
        {"layout", "--sheet", true},
    };

    const KnownOption *findOption(const QString &command, const QString &name)
    {
        for (const KnownOption &option : KnownOptions) {
            if (command == QLatin1String(option.command) && name == QLatin1String(option.name))
                return &option;
        }
        return nullptr;
    }

    // The parser's option for a written name: "--mode" is "mode", "-o" is "o".
    QString parserName(const QString &written)
    {
        return written.mid(written.startsWith(QLatin1String("--")) ? 2 : 1);
    }

    bool isOption(const QString &argument)
    {
        return argument.size() > 1 && argument.startsWith(QLatin1Char('-'));
    }

    // An option as written: "--name=value" is the name "--name" with its
    // value inline; anything else is its own name.
    struct Written
    {
        QString name;
        bool inlineValue = false;
    };

    Written written(const QString &argument)
    {
        const qsizetype equals = argument.indexOf(QLatin1Char('='));
        if (argument.startsWith(QLatin1String("--")) && equals > 2)
            return {argument.left(equals), true};
        return {argument, false};
    }

    bool isHelp(const Written &option)
    {
        return !option.inlineValue && (option.name == QLatin1String("--help") || option.name == QLatin1String("-h"));
    }

    // Single-dash words are long names, so that "-o" is the option o; the
    // spellings the program does not take ("-mode", "--o") are refused by
    // the walk over the arguments in CliOptions::parse.
    void setUp(QCommandLineParser &parser)
    {
        parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        parser.addOption(QCommandLineOption(QStringList{QStringLiteral("h"), QStringLiteral("help")}));
    }

    // Reads `arguments` with the parser. Its own verdict is not used: every
    // argument is judged below in its order, as the usage errors name the
    // first argument that is wrong.
    void read(QCommandLineParser &parser, const QStringList &arguments)
    {
        parser.parse(QStringList{QStringLiteral("ordix-cli")} + arguments);
    }
}

QString CliOptions::usage(const QString &command)
{
    const QString head = QStringLiteral("Usage:\n");
    const QString priceLine = QStringLiteral("  ordix-cli [--dir DIR] price FILE [--mode 1|2] [--filter EXPR] [--sort "
                                             "FIELD [--desc]] [--compare OLDFILE]\n");
    const QString orderLine =
        QStringLiteral("  ordix-cli [--dir DIR] order FILE [--price PRICEFILE [--filter EXPR]]\n");
    const QString exportLine =
        QStringLiteral("  ordix-cli [--dir DIR] export ORDERFILE --to xlsx|pdf|txt|order -o OUT [--price PRICEFILE]\n");
    const QString findLine = QStringLiteral("  ordix-cli [--dir DIR] find TEXT [--price FILE] [--limit N]\n");
    const QString layoutLine = QStringLiteral(
        "  ordix-cli [--dir DIR] layout show FILE | layout list\n"
        "  ordix-cli [--dir DIR] layout save FILE NAME [--set FIELD=COLUMN]... [--header-row N] [--sheet S]\n");
    const QString dir = QStringLiteral("\n"
                                       "  --dir DIR   the folder where user.ini is read and relative file names\n"
                                       "              resolve (default: the current folder); nothing but OUT is\n"
                                       "              written there\n");
    const QString price =
        QStringLiteral("\n"
                       "price: loads the price list FILE as the program does and prints the price\n"
                       "grid's visible columns: a title line, then per row the row number, the\n"
                       "availability code and the display texts of the other columns (prices by\n"
                       "the list's mask, as stored); TAB between fields.\n"
                       "  --mode 1|2         price mode of this run (1 small-wholesale, 2 special\n"
                       "                     prices) instead of UserWSL of user.ini\n"
                       "  --filter EXPR      a filter expression, e.g. \"Name LIKE '%болт%' AND Price>=100\"\n"
                       "  --sort FIELD       rows ordered by the field (CODE, Name, CatalogID,\n"
                       "                     ProductionOf, Pack, Price, Group, Analogue,\n"
                       "                     AvailabilityFlag); --desc: descending\n"
                       "  --compare OLDFILE  compares with the older price list OLDFILE and adds the\n"
                       "                     column \"Старая цена\"\n");
    const QString order =
        QStringLiteral("\n"
                       "order: reads the order file FILE and prints the order grid from \"Код\" to\n"
                       "\"Итого\", one line per order line, then the sum as the window shows it and\n"
                       "its hint when it has one.\n"
                       "  --price PRICEFILE  loads that price list and coordinates the order with it\n"
                       "                     (the window's F9); the lines whose code that list\n"
                       "                     lacks are listed on stderr\n"
                       "  --filter EXPR      a filter on that price list while coordinating; parts\n"
                       "                     it hides are priced all the same\n"
                       "Lines of FILE that do not read are counted on stderr.\n");
    const QString exporting =
        QStringLiteral("\n"
                       "export: reads the order file ORDERFILE and writes OUT as the window does.\n"
                       "  --to xlsx|pdf|txt|order  the workbook, the printed report as PDF, the text\n"
                       "                           export, or an order file\n"
                       "  -o OUT                   the file written (replaced when it exists)\n"
                       "  --price PRICEFILE        coordinates the order with that price list first\n");
    const QString find = QStringLiteral("\n"
                                        "find: searches the price list for TEXT as the window's search field does\n"
                                        "(codes, part numbers however they are typed, name words, the other\n"
                                        "keyboard layout, analogues both ways) and prints the rows found, best\n"
                                        "first, with the columns of price plus \"Найдено\": how each row was found.\n"
                                        "Exit status 0 when something was found, 1 when nothing was.\n"
                                        "  --price FILE  the price list searched (default: ZOLT.TXT in DIR, the\n"
                                        "                list the window loads at start)\n"
                                        "  --limit N     at most N rows\n");
    const QString layout = QStringLiteral("\n"
                                          "Other suppliers' lists (xlsx, xlsm, ods, xls, CSV and other delimited\n"
                                          "text) are read by price, order --price, export --price and find --price\n"
                                          "with the saved layout that fits them, or with a guess that found every\n"
                                          "needed column by its header (said on stderr).\n"
                                          "  --layout NAME|FILE.json  read the list with this saved layout\n"
                                          "layout show FILE: what was detected (format, sheet, encoding, delimiter,\n"
                                          "header row), each column with its field and why, and the count of rows of\n"
                                          "each kind. layout list: the saved layouts.\n"
                                          "layout save FILE NAME: saves the layout of FILE as the supplier NAME.\n"
                                          "  --set FIELD=COLUMN  FIELD is code, name, partNumber, maker, pack, price,\n"
                                          "                      group, analogues or stock; COLUMN the header's text\n"
                                          "                      or the column's letter, or \"-\" for none\n"
                                          "  --header-row N      the header is row N (0: the list has none)\n"
                                          "  --sheet S           the sheet by its name or number (from 1)\n");
    const QString tail = QStringLiteral("\n"
                                        "  ordix-cli --help, ordix-cli COMMAND --help: this text.\n"
                                        "Exit status: 0 success; 1 failure, with a one-line message on stderr;\n"
                                        "2 usage error, with this text on stderr.\n");

    if (command == Price)
        return head + priceLine + dir + price;
    if (command == Order)
        return head + orderLine + dir + order;
    if (command == Export)
        return head + exportLine + dir + exporting;
    if (command == Find)
        return head + findLine + dir + find;
    if (command == Layout)
        return head + layoutLine + dir + layout;
    return head + priceLine + orderLine + exportLine + findLine + layoutLine + dir + price + order + exporting + find
        + layout + tail;
}

bool CliOptions::parseLayout(const QStringList &positional, CliOptions *options, QString *problem)
{
    CliOptions &o = *options;
    o.layoutAction = positional.value(0);
    const int wanted = o.layoutAction == QLatin1String("list") ? 1
        : o.layoutAction == QLatin1String("show")              ? 2
        : o.layoutAction == QLatin1String("save")              ? 3
                                                               : 0;
    if (wanted == 0) {
        *problem = o.layoutAction.isEmpty() ? QStringLiteral("layout needs show, save or list")
                                            : QStringLiteral("layout takes show, save or list, not ") + o.layoutAction;
        return false;
    }
    if (positional.size() < wanted) {
        *problem = wanted == 3 && positional.size() == 2 ? QStringLiteral("layout save needs FILE NAME")
                                                         : QStringLiteral("layout %1 needs FILE").arg(o.layoutAction);
        return false;
    }
    if (positional.size() > wanted) {
        *problem = QStringLiteral("unexpected argument ") + positional.at(wanted);
        return false;
    }
    if (wanted != 3 && (!o.layoutSets.isEmpty() || o.headerRow >= 0 || !o.sheet.isEmpty())) {
        *problem = QStringLiteral("--set, --header-row and --sheet go with layout save");
        return false;
    }
    o.file = positional.value(1);
    o.layoutName = positional.value(2).trimmed();
    if ((wanted >= 2 && o.file.isEmpty()) || (wanted == 3 && o.layoutName.isEmpty())) {
        *problem = wanted == 3 ? QStringLiteral("layout save needs FILE NAME") : QStringLiteral("FILE is empty");
        return false;
    }
    return true;
}

namespace
{
    // How far a part of the walk over the arguments got: on to the next
    // part, or done with parse()'s answer (the help asked for, or a problem).
    enum class Step
    {
        Next,
        Help,
        Failed
    };

    // Before the command: --dir and the help. What follows the first other
    // argument is the command's, left in `commandPart`.
    Step readLeading(const QStringList &arguments, CliOptions &o, QString *problem, QStringList *commandPart)
    {
        QCommandLineParser global;
        setUp(global);
        global.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
        const QCommandLineOption dirOption(QStringLiteral("dir"), QString(), QStringLiteral("DIR"));
        global.addOption(dirOption);
        read(global, arguments);
        *commandPart = global.positionalArguments();
        const qsizetype leading = arguments.size() - commandPart->size();
        bool dirSeen = false;
        for (qsizetype i = 0; i < leading; ++i) {
            const Written option = written(arguments.at(i));
            if (isHelp(option)) {
                o.help = true;
                return Step::Help;
            }
            if (option.name != QLatin1String("--dir")) {
                *problem = QStringLiteral("unknown option ") + arguments.at(i);
                return Step::Failed;
            }
            if (dirSeen) {
                *problem = QStringLiteral("option %1 given twice").arg(option.name);
                return Step::Failed;
            }
            dirSeen = true;
            if (!option.inlineValue && ++i >= leading) {
                *problem = QStringLiteral("option %1 needs a value").arg(option.name);
                return Step::Failed;
            }
            o.dir = global.values(dirOption).value(0);
            if (o.dir.isEmpty()) {
                *problem = QStringLiteral("--dir names no folder");
                return Step::Failed;
            }
        }
        return Step::Next;
    }

    // Stores the value of one of the command's options; false with the
    // problem when the option does not take it.
    bool takeValue(const QString &name, const QString &value, CliOptions &o, QString *problem)
    {
        if (name == QLatin1String("--mode")) {
            if (value != QLatin1String("1") && value != QLatin1String("2")) {
                *problem = QStringLiteral("--mode takes 1 or 2, not ") + value;
                return false;
            }
            o.mode = value.toInt();
        } else if (name == QLatin1String("--filter")) {
            o.filter = value;
            o.hasFilter = true;
        } else if (name == QLatin1String("--sort")) {
            o.sortField = value;
        } else if (name == QLatin1String("--compare")) {
            o.compareFile = value;
        } else if (name == QLatin1String("--price")) {
            o.priceFile = value;
        } else if (name == QLatin1String("--to")) {
            if (!Targets.contains(value)) {
                *problem = QStringLiteral("--to takes xlsx, pdf, txt or order, not ") + value;
                return false;
            }
            o.target = value;
        } else if (name == QLatin1String("-o")) {
            o.outFile = value;
        } else if (name == QLatin1String("--layout")) {
            o.layout = value;
        } else if (name == QLatin1String("--set")) {
            if (!value.contains(QLatin1Char('='))) {
                *problem = QStringLiteral("--set takes FIELD=COLUMN, not ") + value;
                return false;
            }
            o.layoutSets.append(value);
        } else if (name == QLatin1String("--header-row")) {
            bool number = false;
            o.headerRow = value.toInt(&number);
            if (!number || o.headerRow < 0) {
                *problem = QStringLiteral("--header-row takes a row number, not ") + value;
                return false;
            }
        } else if (name == QLatin1String("--sheet")) {
            o.sheet = value;
        } else if (name == QLatin1String("--limit")) {
            bool number = false;
            o.limit = value.toInt(&number);
            if (!number || o.limit < 1) {
                *problem = QStringLiteral("--limit takes a positive number, not ") + value;
                return false;
            }
        }
        if (value.isEmpty() && name != QLatin1String("--filter")) {
            *problem = QStringLiteral("option %1 needs a value").arg(name);
            return false;
        }
        return true;
    }

    // The command's own options, in their order; its other arguments are
    // left in `positional`.
    Step readCommandOptions(const QStringList &rest, CliOptions &o, QString *problem, QStringList *positional)
    {
        QCommandLineParser local;
        setUp(local);
        for (const KnownOption &known : KnownOptions) {
            if (o.command == QLatin1String(known.command)) {
                const QString name = parserName(QLatin1String(known.name));
                local.addOption(QCommandLineOption(name, QString(), known.takesValue ? name.toUpper() : QString()));
            }
        }
        read(local, rest);
        *positional = local.positionalArguments();
        QSet<QString> seen;
        for (qsizetype i = 0; i < rest.size(); ++i) {
            const QString &argument = rest.at(i);
            if (argument == QLatin1String("--"))
                break;
            if (!isOption(argument))
                continue;
            const Written option = written(argument);
            if (isHelp(option)) {
                o.help = true;
                return Step::Help;
            }
            const KnownOption *known = findOption(o.command, option.name);
            if (!known) {
                *problem = QStringLiteral("unknown option %1 for %2").arg(argument, o.command);
                return Step::Failed;
            }
            const QString &name = option.name;
            if (seen.contains(name) && name != QLatin1String("--set")) {
                *problem = QStringLiteral("option %1 given twice").arg(name);
                return Step::Failed;
            }
            seen.insert(name);
            if (!known->takesValue) {
                if (option.inlineValue) {
                    *problem = QStringLiteral("option %1 takes no value").arg(name);
                    return Step::Failed;
                }
                o.descending = true; // --desc, the one switch
                continue;
            }
            if (!option.inlineValue && ++i >= rest.size()) {
                *problem = QStringLiteral("option %1 needs a value").arg(name);
                return Step::Failed;
            }
            const QString value =
                option.inlineValue ? argument.mid(argument.indexOf(QLatin1Char('=')) + 1) : rest.at(i);
            if (!takeValue(name, value, o, problem))
                return Step::Failed;
        }
        return Step::Next;
    }

    // The command's one file (or text) and the options that need others.
    bool readFileAndCheck(const QStringList &positional, CliOptions &o, QString *problem)
    {
        const QString fileName = o.command == Export ? QStringLiteral("ORDERFILE")
            : o.command == Find                      ? QStringLiteral("TEXT")
                                                     : QStringLiteral("FILE");
        if (positional.isEmpty()) {
            *problem = QStringLiteral("%1 needs %2").arg(o.command, fileName);
            return false;
        }
        if (positional.size() > 1) {
            *problem = QStringLiteral("unexpected argument ") + positional.at(1);
            return false;
        }
        o.file = positional.first();
        if (o.file.isEmpty()) {
            *problem = QStringLiteral("%1 is empty").arg(fileName);
            return false;
        }
        if (o.command == Order && o.hasFilter && o.priceFile.isEmpty()) {
            *problem = QStringLiteral("--filter needs --price");
            return false;
        }
        if (o.descending && o.sortField.isEmpty()) {
            *problem = QStringLiteral("--desc needs --sort");
            return false;
        }
        if (o.command == Export) {
            if (o.target.isEmpty()) {
                *problem = QStringLiteral("export needs --to");
                return false;
            }
            if (o.outFile.isEmpty()) {
                *problem = QStringLiteral("export needs -o OUT");
                return false;
            }
        }
        return true;
    }
}

bool CliOptions::parse(const QStringList &arguments, CliOptions *options, QString *problem)
{
    CliOptions &o = *options;

    QStringList commandPart;
    if (const Step step = readLeading(arguments, o, problem, &commandPart); step != Step::Next)
        return step == Step::Help;

    if (commandPart.isEmpty()) {
        *problem = QStringLiteral("no command given");
        return false;
    }
    o.command = commandPart.first();
    if (o.command != Price && o.command != Order && o.command != Export && o.command != Find && o.command != Layout) {
        *problem = QStringLiteral("unknown command ") + o.command;
        return false;
    }

    QStringList positional;
    if (const Step step = readCommandOptions(commandPart.mid(1), o, problem, &positional); step != Step::Next)
        return step == Step::Help;
    if (o.command == Layout)
        return parseLayout(positional, &o, problem);
    return readFileAndCheck(positional, o, problem);
}
