#include "clirunner.h"

#include "programactions.h"

#include <charconv>
#include <cstring>
#include <exception>
#include <memory>
#include <vector>
#include <new>
#include <optional>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QSet>
#include <QTemporaryDir>

#include "actionlist.h"
#include "carmodels.h"
#include "cp1251.h"
#include "cliprompts.h"
#include "gridlayout.h"
#include "missinglines.h"
#include "orderfile.h"
#include "orderlifecycle.h"
#include "orderoutput.h"
#include "ordixerror.h"
#include "orderedwork.h"
#include "pricecompare.h"
#include "partsearch.h"
#include "pricefilter.h"
#include "pricelifecycle.h"
#include "priceloader.h"
#include "recordtable.h"
#include "schemafile.h"
#include "silentprogress.h"
#include "standardactions.h"
#include "textexport.h"
#include "workspace.h"

namespace
{
    const QString Price = QStringLiteral("price");
    const QString Order = QStringLiteral("order");
    const QString Export = QStringLiteral("export");
    const QString Find = QStringLiteral("find");

    const QStringList Targets{QStringLiteral("xlsx"), QStringLiteral("pdf"), QStringLiteral("txt"), Order};

    struct OptionSpec
    {
        const char *command;
        const char *name;
        bool takesValue;
    };

    constexpr OptionSpec OptionSpecs[] = {
        {"price", "--mode", true},  {"price", "--filter", true},  {"price", "--sort", true},
        {"price", "--desc", false}, {"price", "--compare", true}, {"order", "--price", true},  {"order", "--filter", true},
        {"export", "--to", true},   {"export", "-o", true},       {"export", "--price", true},
        {"find", "--price", true},  {"find", "--limit", true},
    };

    const OptionSpec *findOption(const QString &command, const QString &name)
    {
        for (const OptionSpec &option : OptionSpecs) {
            if (command == QLatin1String(option.command) && name == QLatin1String(option.name))
                return &option;
        }
        return nullptr;
    }

    bool isOption(const QString &argument)
    {
        return argument.size() > 1 && argument.startsWith(QLatin1Char('-'));
    }

    // "--name=value" gives the name and the value; anything else the argument.
    void splitInline(const QString &argument, QString *name, std::optional<QString> *value)
    {
        const qsizetype equals = argument.indexOf(QLatin1Char('='));
        if (argument.startsWith(QLatin1String("--")) && equals > 2) {
            *name = argument.left(equals);
            *value = argument.mid(equals + 1);
        } else {
            *name = argument;
            value->reset();
        }
    }

    // One line of the error device: line breaks of a question's text become blanks.
    QString oneLine(QString text)
    {
        text.replace(QLatin1String("\r\n"), QLatin1String(" "));
        text.replace(QLatin1Char('\n'), QLatin1Char(' '));
        text.replace(QLatin1Char('\r'), QLatin1Char(' '));
        return text.trimmed();
    }

    // Makes the folder current for the run and returns to the previous one.
    class CurrentFolder final
    {
    public:
        explicit CurrentFolder(const QString &folder)
            : m_previous(QDir::currentPath())
        {
            const QFileInfo info(folder);
            if (!info.isDir())
                throw OrdixError(QStringLiteral("no such folder: ") + folder);
            if (!QDir::setCurrent(info.absoluteFilePath()))
                throw OrdixError(QStringLiteral("cannot enter the folder ") + folder);
        }
        ~CurrentFolder() { QDir::setCurrent(m_previous); }
        Q_DISABLE_COPY_MOVE(CurrentFolder)

    private:
        QString m_previous;
    };

    // The schema files of the tables (the price list's, the car models')
    // go to a private temporary folder for the run, never into the user's
    // folder. release() removes the folder before anything is printed, so
    // that a reader that stops reading early leaves nothing behind; the
    // schema files' names keep resolving there (the tables remove their
    // files when they close) until the object goes, after the workspace.
    class PrivateSchemaFolder final
    {
    public:
        PrivateSchemaFolder()
        {
            m_folder.emplace();
            if (!m_folder->isValid())
                throw OrdixError(QStringLiteral("cannot create a temporary folder: ") + m_folder->errorString());
            SchemaFile::setFolder(m_folder->path());
        }
        ~PrivateSchemaFolder() { SchemaFile::setFolder(QString()); }
        Q_DISABLE_COPY_MOVE(PrivateSchemaFolder)

        void release() { m_folder.reset(); }

    private:
        std::optional<QTemporaryDir> m_folder;
    };
}

CliRunner::CliRunner(QIODevice &out, QIODevice &err)
    : m_out(out)
    , m_err(err)
{
}

QString CliRunner::usage(const QString &command)
{
    const QString head = QStringLiteral("Usage:\n");
    const QString priceLine = QStringLiteral(
        "  ordix-cli [--dir DIR] price FILE [--mode 1|2] [--filter EXPR] [--sort FIELD [--desc]] [--compare OLDFILE]\n");
    const QString orderLine = QStringLiteral("  ordix-cli [--dir DIR] order FILE [--price PRICEFILE [--filter EXPR]]\n");
    const QString exportLine = QStringLiteral(
        "  ordix-cli [--dir DIR] export ORDERFILE --to xlsx|pdf|txt|order -o OUT [--price PRICEFILE]\n");
    const QString findLine = QStringLiteral("  ordix-cli [--dir DIR] find TEXT [--price FILE] [--limit N]\n");
    const QString dir = QStringLiteral(
        "\n"
        "  --dir DIR   the folder where user.ini is read and relative file names\n"
        "              resolve (default: the current folder); nothing but OUT is\n"
        "              written there\n");
    const QString price = QStringLiteral(
        "\n"
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
    const QString order = QStringLiteral(
        "\n"
        "order: reads the order file FILE and prints the order grid from \"Код\" to\n"
        "\"Итого\", one line per order line, then the sum as the window shows it and\n"
        "its hint when it has one.\n"
        "  --price PRICEFILE  loads that price list and coordinates the order with it\n"
        "                     (the window's F9); the lines whose code that list\n"
        "                     lacks are listed on stderr\n"
        "  --filter EXPR      a filter on that price list while coordinating; parts\n"
        "                     it hides are priced all the same\n"
        "Lines of FILE that do not read are counted on stderr.\n");
    const QString exporting = QStringLiteral(
        "\n"
        "export: reads the order file ORDERFILE and writes OUT as the window does.\n"
        "  --to xlsx|pdf|txt|order  the workbook, the printed report as PDF, the text\n"
        "                           export, or an order file\n"
        "  -o OUT                   the file written (replaced when it exists)\n"
        "  --price PRICEFILE        coordinates the order with that price list first\n");
    const QString find = QStringLiteral(
        "\n"
        "find: searches the price list for TEXT as the window's search field does\n"
        "(codes, part numbers however they are typed, name words, the other\n"
        "keyboard layout, analogues both ways) and prints the rows found, best\n"
        "first, with the columns of price plus \"Найдено\": how each row was found.\n"
        "Exit status 0 when something was found, 1 when nothing was.\n"
        "  --price FILE  the price list searched (default: ZOLT.TXT in DIR, the\n"
        "                list the window loads at start)\n"
        "  --limit N     at most N rows\n");
    const QString tail = QStringLiteral(
        "\n"
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
    return head + priceLine + orderLine + exportLine + findLine + dir + price + order + exporting + find + tail;
}

bool CliRunner::parse(const QStringList &arguments, Options *options, QString *problem)
{
    Options &o = *options;
    qsizetype i = 0;
    QSet<QString> seen;

    // The value of an option: written after "=" or the next argument.
    const auto takeValue = [&](const QString &name, const std::optional<QString> &inlineValue, QString *value) {
        if (inlineValue) {
            *value = *inlineValue;
            return true;
        }
        if (i + 1 >= arguments.size()) {
            *problem = QStringLiteral("option %1 needs a value").arg(name);
            return false;
        }
        *value = arguments.at(++i);
        return true;
    };
    const auto once = [&](const QString &name) {
        if (seen.contains(name)) {
            *problem = QStringLiteral("option %1 given twice").arg(name);
            return false;
        }
        seen.insert(name);
        return true;
    };
    const auto isHelp = [](const QString &name) {
        return name == QLatin1String("--help") || name == QLatin1String("-h");
    };

    // Options before the command.
    for (; i < arguments.size() && isOption(arguments.at(i)); ++i) {
        QString name;
        std::optional<QString> inlineValue;
        splitInline(arguments.at(i), &name, &inlineValue);
        if (isHelp(name) && !inlineValue) {
            o.help = true;
            return true;
        }
        if (name != QLatin1String("--dir")) {
            *problem = QStringLiteral("unknown option ") + arguments.at(i);
            return false;
        }
        if (!once(name) || !takeValue(name, inlineValue, &o.dir))
            return false;
        if (o.dir.isEmpty()) {
            *problem = QStringLiteral("--dir names no folder");
            return false;
        }
    }

    if (i >= arguments.size()) {
        *problem = QStringLiteral("no command given");
        return false;
    }
    o.command = arguments.at(i++);
    if (o.command != Price && o.command != Order && o.command != Export && o.command != Find) {
        *problem = QStringLiteral("unknown command ") + o.command;
        return false;
    }

    QStringList positional;
    bool optionsEnded = false;
    for (; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (!optionsEnded && argument == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        if (optionsEnded || !isOption(argument)) {
            positional << argument;
            continue;
        }
        QString name;
        std::optional<QString> inlineValue;
        splitInline(argument, &name, &inlineValue);
        if (isHelp(name) && !inlineValue) {
            o.help = true;
            return true;
        }
        const OptionSpec *option = findOption(o.command, name);
        if (!option) {
            *problem = QStringLiteral("unknown option %1 for %2").arg(argument, o.command);
            return false;
        }
        if (!once(name))
            return false;
        if (!option->takesValue) {
            if (inlineValue) {
                *problem = QStringLiteral("option %1 takes no value").arg(name);
                return false;
            }
            o.descending = true; // --desc, the one switch
            continue;
        }
        QString value;
        if (!takeValue(name, inlineValue, &value))
            return false;
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
    }

    const QString fileName = o.command == Export ? QStringLiteral("ORDERFILE")
                             : o.command == Find ? QStringLiteral("TEXT")
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

int CliRunner::run(const QStringList &arguments)
{
    Options options;
    QString problem;
    if (!parse(arguments, &options, &problem)) {
        m_err.write((QStringLiteral("ordix-cli: ") + problem + QStringLiteral("\n\n") + usage()).toUtf8());
        return UsageError;
    }
    if (options.help) {
        write(usage(options.command));
        return Success;
    }
    try {
        return execute(options);
    } catch (const OrdixError &error) {
        fail(error.message());
    } catch (const std::bad_alloc &) {
        fail(QStringLiteral("out of memory"));
    } catch (const std::exception &error) {
        fail(QString::fromLocal8Bit(error.what()));
    }
    return Failure;
}

void CliRunner::fail(const QString &message)
{
    m_err.write((QStringLiteral("ordix-cli: ") + oneLine(message) + QLatin1Char('\n')).toUtf8());
}

void CliRunner::note(const QString &message)
{
    m_err.write((QStringLiteral("ordix-cli: ") + oneLine(message) + QLatin1Char('\n')).toUtf8());
}

void CliRunner::write(const QString &text)
{
    writeBytes(text.toUtf8());
}

void CliRunner::writeBytes(const QByteArray &bytes)
{
    if (m_out.write(bytes) != bytes.size())
        throw OrdixError(QStringLiteral("cannot write the output: ") + m_out.errorString());
}

void CliRunner::setUp(Workspace &workspace, CliPrompts &prompts, ProgressReporter &progress) const
{
    // The same handlers as the main window installs, then its start-up steps
    // without widgets: INILoad, the legend, the program-wide decimal
    // separator, the tag of OrderClose.
    workspace.setPrompts(&prompts);
    workspace.setProgress(&progress);
    ProgramActions::install(workspace);
    if (m_textWidth)
        workspace.setTextWidth(m_textWidth);
    StandardActions::startUp(workspace);
}

int CliRunner::execute(const Options &options)
{
    const CurrentFolder folder(options.dir.isEmpty() ? QStringLiteral(".") : options.dir);
    PrivateSchemaFolder schemaFolder;

    Workspace workspace;
    CliPrompts prompts;
    SilentProgress progress;
    setUp(workspace, prompts, progress);
    if (options.mode != 0)
        workspace.settings().priceMode = options.mode;

    if (options.command == Price) {
        PriceLoader::loadFile(workspace, options.file);
        const int skipped = PriceLoader::lastSkippedLines();
        if (skipped > 0 && workspace.price().rowCount() == 0) {
            throw OrdixError(QStringLiteral("no row read from the price list %1: %2")
                                 .arg(options.file, workspace.label(Workspace::Label::Status)));
        }
        if (skipped > 0)
            note(workspace.label(Workspace::Label::Status));
        if (!options.compareFile.isEmpty())
            PriceCompare::compareWith(workspace, options.compareFile);
        RecordTable &table = workspace.price();
        if (options.hasFilter) {
            try {
                table.setFilter(options.filter);
                table.setFiltered(true);
            } catch (const OrdixError &error) {
                throw OrdixError(QStringLiteral("the filter was refused: ") + error.message());
            }
        }
        if (!options.sortField.isEmpty()) {
            const int field = table.findField(options.sortField);
            if (field < 0)
                throw OrdixError(QStringLiteral("the price list has no field ") + options.sortField);
            const QString index = (options.descending ? QStringLiteral("Rev") : QStringLiteral("Pre"))
                + table.field(field).name;
            if (!table.indexNames().contains(index))
                throw OrdixError(QStringLiteral("the price list cannot be sorted by ") + options.sortField);
            table.setIndexName(index);
        }
        schemaFolder.release();
        printPrice(workspace, !options.compareFile.isEmpty());
    } else if (options.command == Find) {
        const QString file = options.priceFile.isEmpty() ? PriceLoader::defaultFileName() : options.priceFile;
        if (!QFileInfo(file).isFile())
            throw OrdixError(QStringLiteral("no price list %1 (give one with --price FILE)").arg(file));
        PriceLoader::loadFile(workspace, file);
        RecordTable &table = workspace.price();
        PartSearch search;
        search.build(table);
        const PartSearch::Result result = search.find(options.file, size_t(options.limit));
        if (result.hits.empty())
            return Failure;
        std::vector<uint32_t> rows;
        std::vector<QByteArray> found;
        for (const PartSearch::Hit &hit : result.hits) {
            rows.push_back(hit.row);
            found.push_back(PartSearch::foundText(hit, result.switchedLayout).toUtf8());
        }
        table.setRowChoice(std::move(rows));
        schemaFolder.release();
        printPrice(workspace, false, &found);
    } else if (options.command == Order) {
        readOrder(workspace, options);
        schemaFolder.release();
        printOrder(workspace);
    } else {
        readOrder(workspace, options);
        schemaFolder.release();
        exportOrder(workspace, prompts, options);
    }
    return Success;
}

void CliRunner::readOrder(Workspace &workspace, const Options &options)
{
    if (OrderFile::read(workspace, options.file) > 0)
        note(workspace.label(Workspace::Label::Status));
    if (options.priceFile.isEmpty())
        return;
    PriceLoader::loadFile(workspace, options.priceFile);
    if (options.hasFilter) {
        RecordTable &table = workspace.price();
        try {
            table.setFilter(options.filter);
            table.setFiltered(true);
        } catch (const OrdixError &error) {
            throw OrdixError(QStringLiteral("the filter was refused: ") + error.message());
        }
    }
    // As F9 in the window, which runs only while both tables have rows.
    if (!workspace.actions().isEnabled(QStringLiteral("CoordinateOrder")))
        return;
    OrderLifecycle::coordinate(workspace);
    // The lines the price list lacks keep their old name and price: the
    // order command says so on stderr.
    const MissingLines &missing = MissingLines::of(workspace);
    if (options.command != Order || missing.lines().isEmpty())
        return;
    QString text = missing.statusText() + QLatin1Char('\n');
    for (const QString &line : missing.lines())
        text += QStringLiteral("ordix-cli: %1: %2\n").arg(MissingLines::hint(), line);
    m_err.write(text.toUtf8());
}

void CliRunner::printPrice(Workspace &workspace, bool withOldPrice, const std::vector<QByteArray> *found)
{
    const RecordTable &table = workspace.price();
    const GridLayout &grid = workspace.grid(Workspace::Grid::Price);
    const int flagField = table.fieldByName(QStringLiteral("AvailabilityFlag"));
    const int oldPriceField = table.fieldByName(QStringLiteral("OldPrice"));
    const QString priceMask = table.displayFormat(table.fieldByName(QStringLiteral("Price")));

    // What each printed column is, worked out once: text columns are copied
    // from the table's bytes to UTF-8 through one table, numbers formatted
    // by their mask.
    enum class Kind
    {
        RowNumber,
        Flag,
        Text,
        Number
    };
    struct Printed
    {
        Kind kind;
        int field;
        RecordTable::NumberMask mask;
    };
    QList<Printed> printed;
    QStringList titles;
    for (const GridColumn &column : grid.columns) {
        if (!column.visible)
            continue;
        const int field = column.fieldPosition;
        if (field < 0)
            printed.append({Kind::RowNumber, field, RecordTable::NumberMask(QString())});
        else if (field == flagField)
            printed.append({Kind::Flag, field, RecordTable::NumberMask(QString())});
        else if (table.field(field).type == FieldType::String)
            printed.append({Kind::Text, field, RecordTable::NumberMask(QString())});
        else
            printed.append({Kind::Number, field, RecordTable::NumberMask(table.displayFormat(field))});
        titles << column.title;
    }
    if (withOldPrice) {
        printed.append({Kind::Number, oldPriceField, RecordTable::NumberMask(priceMask)});
        titles << oldPriceTitle();
    }
    if (found)
        titles << foundTitle();

    // Windows-1251 to UTF-8 by byte; TAB, CR and LF become blanks so that a
    // field never breaks its line.
    struct Utf8Byte
    {
        char bytes[3];
        uint8_t length;
    };
    Utf8Byte utf8[256];
    for (int b = 0; b < 256; ++b) {
        QByteArray encoded = QString(QChar(Cp1251::toUnicode(uchar(b)))).toUtf8();
        if (b == '\t' || b == '\n' || b == '\r')
            encoded = QByteArray(" ");
        utf8[b].length = uint8_t(encoded.size());
        std::memcpy(utf8[b].bytes, encoded.constData(), size_t(qMin<qsizetype>(3, encoded.size())));
    }

    writeBytes(titles.join(QLatin1Char('\t')).toUtf8() + '\n');
    const int rows = table.rowCount(); // brings the view up to date before the threads read it
    const qsizetype columnCount = printed.size();

    // The lines of rows [from, to): each column of a batch of rows is read
    // at once, its cells fetched ahead, then the lines are put together.
    // Reads the table only, so both cores may format at once.
    const auto formatRows = [&](int from, int to, QByteArray &out) {
        // `size` bytes of `out` are written; room() makes room for n more
        // beyond them (the array grows ahead and is cut to size at the end).
        qsizetype size = out.size();
        const auto room = [&](qsizetype n) {
            if (size + n > out.size())
                out.resize(std::max(size + n, 2 * out.size()));
            return out.data() + size;
        };
        const auto putNumber = [&](qint64 value) {
            char *p = room(24);
            size += std::to_chars(p, p + 24, value).ptr - p;
        };
        constexpr int batch = 64;
        std::vector<QByteArrayView> texts(size_t(columnCount) * batch);
        std::vector<double> numbers(size_t(columnCount) * batch);
        std::unique_ptr<bool[]> unset(new bool[size_t(columnCount) * batch]);
        for (int first = from; first < to; first += batch) {
            const int count = qMin(batch, to - first);
            for (qsizetype c = 0; c < columnCount; ++c) {
                const Printed &column = printed.at(c);
                const size_t at = size_t(c) * batch;
                if (column.kind == Kind::Text)
                    table.bytesAt(first, count, column.field, texts.data() + at);
                else if (column.kind != Kind::RowNumber)
                    table.numbersAt(first, count, column.field, numbers.data() + at, unset.get() + at);
            }
            for (int i = 0; i < count; ++i) {
                for (qsizetype c = 0; c < columnCount; ++c) {
                    if (c > 0)
                        *room(1) = '\t', ++size;
                    const Printed &column = printed.at(c);
                    const size_t at = size_t(c) * batch + size_t(i);
                    switch (column.kind) {
                    case Kind::RowNumber:
                        putNumber(first + i + 1);
                        break;
                    case Kind::Flag:
                        if (!unset[at])
                            putNumber(qint64(numbers[at]));
                        break;
                    case Kind::Text: {
                        const QByteArrayView bytes = texts[at];
                        char *const start = room(3 * bytes.size());
                        char *p = start;
                        for (char ch : bytes) {
                            const Utf8Byte &u = utf8[uchar(ch)];
                            std::memcpy(p, u.bytes, 3);
                            p += u.length;
                        }
                        size += p - start;
                        break;
                    }
                    case Kind::Number:
                        if (!unset[at]) {
                            const qsizetype length = column.mask.writeUtf8(room(1024), 1024, numbers[at]);
                            if (length >= 0) {
                                size += length;
                            } else {
                                QByteArray text;
                                column.mask.appendUtf8(text, numbers[at]);
                                std::memcpy(room(text.size()), text.constData(), size_t(text.size()));
                                size += text.size();
                            }
                        }
                        break;
                    }
                }
                if (found) {
                    const QByteArray &how = (*found)[size_t(first + i)];
                    char *p = room(how.size() + 1);
                    *p = '\t';
                    std::memcpy(p + 1, how.constData(), size_t(how.size()));
                    size += how.size() + 1;
                }
                *room(1) = '\n', ++size;
            }
        }
        out.resize(size);
    };

    // Pieces of rows formatted on both cores and written in their order.
    constexpr int rowsPerPiece = 4096;
    struct Piece
    {
        int from = 0;
        int to = 0;
        QByteArray text;
    };
    std::vector<Piece> pieces(4);
    int nextRow = 0;
    OrderedWork::Steps steps;
    steps.next = [&](size_t slot) {
        if (nextRow >= rows)
            return false;
        Piece &piece = pieces[slot];
        piece.from = nextRow;
        piece.to = qMin(rows, nextRow + rowsPerPiece);
        nextRow = piece.to;
        return true;
    };
    steps.work = [&](size_t slot) {
        Piece &piece = pieces[slot];
        piece.text.resize(0); // keeps its memory for the next rows
        formatRows(piece.from, piece.to, piece.text);
    };
    steps.take = [&](size_t slot) {
        writeBytes(pieces[slot].text);
        return true;
    };
    OrderedWork::run(pieces.size(), OrderedWork::hasTwoCores() && rows > rowsPerPiece, steps);
}

void CliRunner::printOrder(Workspace &workspace)
{
    const GridLayout &grid = workspace.grid(Workspace::Grid::Order);
    QStringList titles;
    for (int c = 2; c < grid.count(); ++c)
        titles << grid.columns.at(c).title;
    QString text = titles.join(QLatin1Char('\t')) + QLatin1Char('\n');

    // The lines exactly as the clipboard export gives them.
    const QString lines = TextExport::clipboardText(workspace);
    if (!lines.isEmpty())
        text += lines + QLatin1Char('\n');
    text += workspace.label(Workspace::Label::Summ) + QLatin1Char('\n');
    const QString hint = workspace.label(Workspace::Label::SummHint);
    if (!hint.isEmpty())
        text += hint + QLatin1Char('\n');
    write(text);
}

void CliRunner::exportOrder(Workspace &workspace, CliPrompts &prompts, const Options &options)
{
    // The window offers the exports only for an order with lines.
    if (!workspace.orderNotEmpty())
        throw OrdixError(QStringLiteral("the order %1 has no lines: %2 not written").arg(options.file, options.outFile));

    const QString &target = options.target;
    if (target == QLatin1String("pdf")) {
        if (!m_pdfWriter)
            throw OrdixError(QStringLiteral("this build cannot print to PDF"));
        m_pdfWriter(workspace, options.outFile);
    } else {
        // The window's own command, with the save dialog answered by OUT.
        prompts.expectSaveFile(options.outFile);
        if (target == QLatin1String("xlsx")) {
            workspace.execute(QStringLiteral("ExportExcel"));
        } else if (target == QLatin1String("txt")) {
            workspace.execute(QStringLiteral("ExportText"));
        } else {
            workspace.execute(QStringLiteral("OrderFileSaveAs"));
            if (!workspace.actions().isDone(QStringLiteral("OrderFileSave")))
                throw OrdixError(QStringLiteral("the order file %1 was not written").arg(options.outFile));
        }
        if (!prompts.saveFileAsked())
            throw OrdixError(QStringLiteral("%1 was not written").arg(options.outFile));
    }
    if (!QFileInfo(options.outFile).isFile())
        throw OrdixError(QStringLiteral("%1 was not written").arg(options.outFile));
}
