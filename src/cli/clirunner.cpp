#include "clirunner.h"

#include "actionid.h"
#include "pricefields.h"
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
#include <QTemporaryDir>

#include "actionlist.h"
#include "carmodels.h"
#include "cp1251.h"
#include "clilayout.h"
#include "clioptions.h"
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
    const QString Find = QStringLiteral("find");

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
{ }

int CliRunner::run(const QStringList &arguments)
{
    CliOptions options;
    QString problem;
    if (!CliOptions::parse(arguments, &options, &problem)) {
        m_err.write((QStringLiteral("ordix-cli: ") + problem + QStringLiteral("\n\n") + CliOptions::usage()).toUtf8());
        return UsageError;
    }
    if (options.help) {
        write(CliOptions::usage(options.command));
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

int CliRunner::execute(const CliOptions &options)
{
    const CurrentFolder folder(options.dir.isEmpty() ? QStringLiteral(".") : options.dir);
    PrivateSchemaFolder schemaFolder;

    Workspace workspace;
    CliPrompts prompts;
    SilentProgress progress;
    setUp(workspace, prompts, progress);
    if (options.mode != 0)
        workspace.settings().priceMode = options.mode;
    prompts.setOutput([this](const QString &text) { note(text); },
                      [this](const QString &text) { m_err.write(text.toUtf8()); });
    workspace.setForcedPriceLayout(options.layout);
    if (options.command == QLatin1String("layout"))
        return CliLayout::run(options, [this](const QString &text) { write(text); });

    if (options.command == Price) {
        const PriceLoadResult load = PriceLoader::loadFile(workspace, options.file);
        const int skipped = load.skippedLines;
        if (skipped > 0 && workspace.price().rowCount() == 0) {
            throw OrdixError(QStringLiteral("no row read from the price list %1: %2")
                                 .arg(options.file, workspace.label(Workspace::Label::Status)));
        }
        if (skipped > 0 || load.cutAnalogueRows > 0)
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
            const QString index =
                (options.descending ? QStringLiteral("Rev") : QStringLiteral("Pre")) + table.field(field).name;
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
        if (result.cut)
            note(PartSearch::queryCutNote());
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

void CliRunner::readOrder(Workspace &workspace, const CliOptions &options)
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
    if (!workspace.actions().isEnabled(ActionId::CoordinateOrder))
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

namespace
{
    // What a printed column of the price list is, worked out once: text
    // columns are copied from the table's Windows-1251 bytes to UTF-8,
    // numbers formatted by their mask.
    enum class PrintedKind
    {
        RowNumber,
        Flag,
        Text,
        Number
    };
    struct PrintedColumn
    {
        PrintedKind kind;
        int field;
        RecordTable::NumberMask mask;
    };

    // The visible columns of the price grid, and the old price after them
    // when asked for; their titles go to `titles`.
    QList<PrintedColumn> printedColumns(const RecordTable &table, const GridLayout &grid, bool withOldPrice,
                                        QStringList *titles)
    {
        const int flagField = PriceFields::of(table, PriceFields::AvailabilityFlag);
        const int oldPriceField = PriceFields::of(table, PriceFields::OldPrice);
        const QString priceMask = table.displayFormat(PriceFields::of(table, PriceFields::Price));
        QList<PrintedColumn> printed;
        for (const GridColumn &column : grid.columns) {
            if (!column.visible)
                continue;
            const int field = column.fieldPosition;
            if (field < 0)
                printed.append({PrintedKind::RowNumber, field, RecordTable::NumberMask(QString())});
            else if (field == flagField)
                printed.append({PrintedKind::Flag, field, RecordTable::NumberMask(QString())});
            else if (table.field(field).type == FieldType::String)
                printed.append({PrintedKind::Text, field, RecordTable::NumberMask(QString())});
            else
                printed.append({PrintedKind::Number, field, RecordTable::NumberMask(table.displayFormat(field))});
            *titles << column.title;
        }
        if (withOldPrice) {
            printed.append({PrintedKind::Number, oldPriceField, RecordTable::NumberMask(priceMask)});
            *titles << CliRunner::oldPriceTitle();
        }
        return printed;
    }

    // Bytes put at the end of an array that grows ahead of them and is cut
    // to size at the end.
    class GrowingBytes final
    {
    public:
        explicit GrowingBytes(QByteArray &out)
            : m_out(out)
            , m_size(out.size())
        { }
        ~GrowingBytes() { m_out.resize(m_size); }

        // Room for n more bytes after those written.
        char *room(qsizetype n)
        {
            if (m_size + n > m_out.size())
                m_out.resize(std::max(m_size + n, 2 * m_out.size()));
            return m_out.data() + m_size;
        }
        void wrote(qsizetype n) { m_size += n; }
        void put(char c)
        {
            *room(1) = c;
            ++m_size;
        }
        void putNumber(qint64 value)
        {
            char *p = room(24);
            m_size += std::to_chars(p, p + 24, value).ptr - p;
        }
        void putBytes(const QByteArray &bytes)
        {
            std::memcpy(room(bytes.size()), bytes.constData(), size_t(bytes.size()));
            m_size += bytes.size();
        }

    private:
        QByteArray &m_out;
        qsizetype m_size;
    };

    // A text cell as UTF-8; TAB, CR and LF become blanks so that a field
    // never breaks its line.
    void putText(GrowingBytes &out, QByteArrayView bytes)
    {
        char *const start = out.room(3 * bytes.size());
        char *const end = start + Cp1251::writeUtf8(bytes, start);
        for (char *p = start; p < end; ++p) {
            if (*p == '\t' || *p == '\n' || *p == '\r')
                *p = ' ';
        }
        out.wrote(end - start);
    }

    void putMasked(GrowingBytes &out, const RecordTable::NumberMask &mask, double value)
    {
        const qsizetype length = mask.writeUtf8(out.room(1024), 1024, value);
        if (length >= 0) {
            out.wrote(length);
        } else {
            QByteArray text;
            mask.appendUtf8(text, value);
            out.putBytes(text);
        }
    }

    // The lines of rows [from, to) appended to `out`: each column of a batch
    // of rows is read at once, its cells fetched ahead, then the lines are
    // put together. Reads the table only, so both cores may format at once.
    void formatPriceRows(const RecordTable &table, const QList<PrintedColumn> &printed,
                         const std::vector<QByteArray> *found, int from, int to, QByteArray &bytes)
    {
        GrowingBytes out(bytes);
        const qsizetype columnCount = printed.size();
        constexpr int batch = 64;
        std::vector<QByteArrayView> texts(size_t(columnCount) * batch);
        std::vector<double> numbers(size_t(columnCount) * batch);
        std::unique_ptr<bool[]> unset(new bool[size_t(columnCount) * batch]);
        for (int first = from; first < to; first += batch) {
            const int count = qMin(batch, to - first);
            for (qsizetype c = 0; c < columnCount; ++c) {
                const PrintedColumn &column = printed.at(c);
                const size_t at = size_t(c) * batch;
                if (column.kind == PrintedKind::Text)
                    table.bytesAt(first, count, column.field, texts.data() + at);
                else if (column.kind != PrintedKind::RowNumber)
                    table.numbersAt(first, count, column.field, numbers.data() + at, unset.get() + at);
            }
            for (int i = 0; i < count; ++i) {
                for (qsizetype c = 0; c < columnCount; ++c) {
                    if (c > 0)
                        out.put('\t');
                    const PrintedColumn &column = printed.at(c);
                    const size_t at = size_t(c) * batch + size_t(i);
                    switch (column.kind) {
                    case PrintedKind::RowNumber:
                        out.putNumber(first + i + 1);
                        break;
                    case PrintedKind::Flag:
                        if (!unset[at])
                            out.putNumber(qint64(numbers[at]));
                        break;
                    case PrintedKind::Text:
                        putText(out, texts[at]);
                        break;
                    case PrintedKind::Number:
                        if (!unset[at])
                            putMasked(out, column.mask, numbers[at]);
                        break;
                    }
                }
                if (found) {
                    out.put('\t');
                    out.putBytes((*found)[size_t(first + i)]);
                }
                out.put('\n');
            }
        }
    }
}

void CliRunner::printPrice(Workspace &workspace, bool withOldPrice, const std::vector<QByteArray> *found)
{
    const RecordTable &table = workspace.price();
    QStringList titles;
    const QList<PrintedColumn> printed =
        printedColumns(table, workspace.grid(Workspace::Grid::Price), withOldPrice, &titles);
    if (found)
        titles << foundTitle();

    writeBytes(titles.join(QLatin1Char('\t')).toUtf8() + '\n');
    const int rows = table.rowCount(); // brings the view up to date before the threads read it

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
        formatPriceRows(table, printed, found, piece.from, piece.to, piece.text);
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

void CliRunner::exportOrder(Workspace &workspace, CliPrompts &prompts, const CliOptions &options)
{
    // The window offers the exports only for an order with lines.
    if (!workspace.orderNotEmpty())
        throw OrdixError(
            QStringLiteral("the order %1 has no lines: %2 not written").arg(options.file, options.outFile));

    const QString &target = options.target;
    if (target == QLatin1String("pdf")) {
        if (!m_pdfWriter)
            throw OrdixError(QStringLiteral("this build cannot print to PDF"));
        m_pdfWriter(workspace, options.outFile);
    } else {
        // The window's own command, with the save dialog answered by OUT.
        prompts.expectSaveFile(options.outFile);
        if (target == QLatin1String("xlsx")) {
            workspace.execute(ActionId::ExportExcel);
        } else if (target == QLatin1String("txt")) {
            workspace.execute(ActionId::ExportText);
        } else {
            workspace.execute(ActionId::OrderFileSaveAs);
            if (!workspace.actions().isDone(ActionId::OrderFileSave))
                throw OrdixError(QStringLiteral("the order file %1 was not written").arg(options.outFile));
        }
        if (!prompts.saveFileAsked())
            throw OrdixError(QStringLiteral("%1 was not written").arg(options.outFile));
    }
    if (!QFileInfo(options.outFile).isFile())
        throw OrdixError(QStringLiteral("%1 was not written").arg(options.outFile));
}
