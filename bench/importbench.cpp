// Other suppliers' lists: the generated price list written as an xlsx
// workbook (shared strings, numbers with their formats, as spreadsheets
// write it) and as a UTF-8 CSV file, each read into the price table through
// a saved layout, against the wholesaler's own text list; the workbook also
// against SheetJS and openpyxl (read-only) reading the same file, when they
// are installed (bench/setup-peers.sh). Detection and the preview of the
// large CSV file are timed on their own.
#include <cstdio>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <archive.h>
#include <archive_entry.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include "benchregistry.h"
#include "cp1251.h"
#include "layoutstore.h"
#include "priceloader.h"
#include "supplierlist.h"
#include "textfile.h"

namespace
{
    // The generated list's fields, from its "|"-separated lines.
    struct ListRow
    {
        QByteArray fields[9];
    };

    void forEachListRow(const QString &path, const std::function<void(const QByteArrayView *fields)> &onRow)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return;
        bool header = true;
        TextFile::forEachLine(file, [&](QByteArrayView line, qint64) {
            if (header) {
                header = false;
                return true;
            }
            QByteArrayView fields[9];
            int position = 1;
            for (QByteArrayView &field : fields)
                field = position <= line.size() ? SplitField(line, position, '|') : QByteArrayView();
            onRow(fields);
            return true;
        });
    }

    QByteArray xmlEscaped(const QByteArray &utf8)
    {
        QByteArray out;
        out.reserve(utf8.size());
        for (char c : utf8) {
            switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
            }
        }
        return out;
    }

    void addMember(archive *zip, const char *name, const QByteArray &bytes)
    {
        archive_entry *entry = archive_entry_new();
        archive_entry_set_pathname(entry, name);
        archive_entry_set_filetype(entry, AE_IFREG);
        archive_entry_set_perm(entry, 0644);
        archive_entry_set_size(entry, bytes.size());
        archive_write_header(zip, entry);
        archive_write_data(zip, bytes.constData(), size_t(bytes.size()));
        archive_entry_free(entry);
    }

    const char *Header[8] = {"Код",       "Наименование", "Артикул", "Производитель",
                             "Кратность", "Цена, руб.",   "Наличие", "Группа"};
    // Columns of the generated list for the eight of the workbook.
    const int Source[8] = {0, 1, 2, 3, 4, 5, 6, 7};

    // The list as a workbook: a title row, the header, then the rows; codes
    // and prices are numbers (prices with the format "0.00"), texts shared.
    qint64 writeXlsx(const QString &from, const QString &to, qint64 limit)
    {
        QHash<QByteArray, int> shared;
        QByteArray strings;
        const auto sharedIndex = [&](const QByteArray &utf8) {
            auto it = shared.constFind(utf8);
            if (it != shared.constEnd())
                return it.value();
            const int index = int(shared.size());
            shared.insert(utf8, index);
            strings += "<si><t>" + xmlEscaped(utf8) + "</t></si>";
            return index;
        };
        QByteArray sheet = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                           "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
                           "<dimension ref=\"A1:H1048576\"/><sheetData>";
        sheet += "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>" + QByteArray::number(sharedIndex("Прайс-лист поставщика"))
            + "</v></c></row>";
        sheet += "<row r=\"2\">";
        for (int c = 0; c < 8; ++c)
            sheet += "<c t=\"s\"><v>" + QByteArray::number(sharedIndex(Header[c])) + "</v></c>";
        sheet += "</row>";
        qint64 rows = 0;
        forEachListRow(from, [&](const QByteArrayView *fields) {
            if (rows >= limit)
                return;
            const QByteArray r = QByteArray::number(rows + 3);
            sheet += "<row r=\"" + r + "\">";
            for (int c = 0; c < 8; ++c) {
                const QByteArrayView value = fields[Source[c]];
                if (value.isEmpty())
                    continue;
                if (c == 0 || c == 4)
                    sheet += "<c><v>" + value.toByteArray() + "</v></c>";
                else if (c == 5)
                    sheet += "<c s=\"1\"><v>" + value.toByteArray() + "</v></c>";
                else
                    sheet +=
                        "<c t=\"s\"><v>" + QByteArray::number(sharedIndex(Cp1251::decode(value).toUtf8())) + "</v></c>";
            }
            sheet += "</row>";
            ++rows;
        });
        sheet += "</sheetData></worksheet>";
        const QByteArray sst = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                               "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" count=\""
            + QByteArray::number(shared.size()) + "\" uniqueCount=\"" + QByteArray::number(shared.size()) + "\">"
            + strings + "</sst>";

        archive *zip = archive_write_new();
        archive_write_set_format_zip(zip);
        archive_write_open_filename(zip, QFile::encodeName(to).constData());
        addMember(
            zip, "[Content_Types].xml",
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Types "
            "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
            "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
            "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
            "<Override PartName=\"/xl/workbook.xml\" "
            "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
            "<Override PartName=\"/xl/worksheets/sheet1.xml\" "
            "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>"
            "<Override PartName=\"/xl/sharedStrings.xml\" "
            "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml\"/>"
            "<Override PartName=\"/xl/styles.xml\" "
            "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml\"/>"
            "</Types>");
        addMember(zip, "_rels/.rels",
                  "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships "
                  "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                  "<Relationship Id=\"rId1\" "
                  "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
                  "Target=\"xl/workbook.xml\"/>"
                  "</Relationships>");
        addMember(zip, "xl/workbook.xml",
                  "<?xml version=\"1.0\" encoding=\"UTF-8\"?><workbook "
                  "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
                  "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"><sheets>"
                  "<sheet name=\"Прайс\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>");
        addMember(zip, "xl/_rels/workbook.xml.rels",
                  "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships "
                  "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                  "<Relationship Id=\"rId1\" "
                  "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\" "
                  "Target=\"worksheets/sheet1.xml\"/>"
                  "<Relationship Id=\"rId2\" "
                  "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings\" "
                  "Target=\"sharedStrings.xml\"/>"
                  "<Relationship Id=\"rId3\" "
                  "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles\" "
                  "Target=\"styles.xml\"/>"
                  "</Relationships>");
        addMember(zip, "xl/styles.xml",
                  "<?xml version=\"1.0\" encoding=\"UTF-8\"?><styleSheet "
                  "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
                  "<cellXfs count=\"2\"><xf numFmtId=\"0\"/><xf numFmtId=\"2\" "
                  "applyNumberFormat=\"1\"/></cellXfs></styleSheet>");
        addMember(zip, "xl/worksheets/sheet1.xml", sheet);
        addMember(zip, "xl/sharedStrings.xml", sst);
        archive_write_close(zip);
        archive_write_free(zip);
        return rows;
    }

    void writeCsv(const QString &from, const QString &to)
    {
        QFile out(to);
        if (!out.open(QIODevice::WriteOnly))
            return;
        QByteArray block = "Прайс-лист поставщика\n";
        for (int c = 0; c < 8; ++c)
            block += QByteArray(Header[c]) + (c < 7 ? ";" : "\n");
        forEachListRow(from, [&](const QByteArrayView *fields) {
            for (int c = 0; c < 8; ++c) {
                QByteArray value = Cp1251::decode(fields[Source[c]]).toUtf8();
                if (c == 5)
                    value.replace('.', ',');
                if (value.contains(';') || value.contains('"'))
                    value = '"' + value.replace("\"", "\"\"") + '"';
                block += value;
                block += c < 7 ? ';' : '\n';
            }
            if (block.size() > (1 << 20)) {
                out.write(block);
                block.clear();
            }
        });
        out.write(block);
    }

    struct Loads
    {
        double best = 0;
        qint64 rows = 0;
        qint64 peak = 0;
    };

    // The best of five loads of each file through the real loader, the
    // files taken in turn so that a change in the machine's load falls on
    // all alike; with the peak resident growth of the worst, measured as the
    // native load's is: over the resident size before it, the benchmark's
    // own freed memory (the generated workbook) given back first so that it
    // neither counts nor hides the load's.
    std::vector<Loads> bestLoads(const QStringList &paths)
    {
        std::vector<Loads> loads(size_t(paths.size()));
        for (int round = 0; round < 5; ++round) {
            for (qsizetype i = 0; i < paths.size(); ++i) {
#if defined(__GLIBC__)
                malloc_trim(0);
#endif
                Loads &of = loads[size_t(i)];
                const qint64 base = residentBytes();
                resetPeakResident();
                auto session = std::make_unique<PriceSession>();
                Stopwatch watch;
                loadWithRealLoader(*session, paths.at(i));
                const double ms = watch.ms();
                of.rows = session->workspace.price().rowCount();
                of.peak = qMax(of.peak, peakResidentBytes() - base);
                if (round == 0 || ms < of.best)
                    of.best = ms;
            }
        }
        return loads;
    }

    // A peer reading the workbook, as a process; -1 when it is not there.
    double peerMs(const QString &program, const QStringList &arguments)
    {
        if (QStandardPaths::findExecutable(program).isEmpty())
            return -1;
        QProcess process;
        QElapsedTimer timer;
        timer.start();
        process.start(program, arguments);
        if (!process.waitForFinished(-1) || process.exitCode() != 0) {
            std::fprintf(stderr, "ordix-bench: %s failed: %s\n", qPrintable(program),
                         process.readAllStandardError().constData());
            return -1;
        }
        return double(timer.elapsed());
    }

    QString sheetJsFolder()
    {
        const QString forced = qEnvironmentVariable("ORDIX_SHEETJS");
        if (!forced.isEmpty())
            return forced;
        return QDir::homePath() + QStringLiteral("/.cache/ordix-bench/node_modules/xlsx");
    }

    void runImport(BenchContext &ctx)
    {
        // The layout saved once, as after the buyer's first confirmation.
        QTemporaryDir layouts;
        qputenv("ORDIX_LAYOUT_DIR", layouts.path().toLocal8Bit());
        ctx.price = nullptr;
        ctx.session.reset();

        const QString xlsx = ctx.workDir.filePath(QStringLiteral("supplier.xlsx"));
        const QString csv = ctx.workDir.filePath(QStringLiteral("supplier.csv"));
        writeXlsx(ctx.priceFile, xlsx, ctx.rows);
        writeCsv(ctx.priceFile, csv);
        for (const QString &path : {xlsx, csv}) {
            SupplierList list(path);
            ImportLayout layout = list.guess();
            layout.name = QFileInfo(path).suffix();
            LayoutStore().save(layout);
        }
        const double fileMb = double(ctx.priceFileBytes) / 1e6;

        const std::vector<Loads> loads = bestLoads({ctx.priceFile, xlsx, csv});
        const Loads &native = loads[0], &book = loads[1], &text = loads[2];
        reportRatio(QStringLiteral("import_xlsx"), book.best, native.best,
                    QStringLiteral(" vs=native_txt rows=%1 goal_ratio<=3").arg(book.rows));
        std::printf("rss_import_xlsx ordix_mb=%.1f native_file_mb=%.1f ratio=%.2f goal_ratio<=2.5"
                    " note=\"peak resident growth\"\n",
                    double(book.peak) / 1e6, fileMb, double(book.peak) / 1e6 / fileMb);
        reportRatio(QStringLiteral("import_csv"), text.best, native.best,
                    QStringLiteral(" vs=native_txt rows=%1 goal_ratio<=1.2").arg(text.rows));

        // Detection and the preview of the large text file, as the dialog
        // opens it.
        double detectMs = 0;
        for (int round = 0; round < 3; ++round) {
            Stopwatch watch;
            SupplierList list(csv);
            list.guess();
            detectMs = round == 0 ? watch.ms() : qMin(detectMs, watch.ms());
        }
        std::printf("import_detect_preview ordix_ms=%.1f file_mb=%.1f goal_ms<300\n", detectMs,
                    double(QFileInfo(csv).size()) / 1e6);

        // The peers, on the same workbook.
        const QString sheetJs = sheetJsFolder();
        if (QFileInfo::exists(sheetJs)) {
            const QString script =
                QStringLiteral("const X=require(process.argv[1]);const wb=X.readFile(process.argv[2],{dense:true});"
                               "const rows=X.utils.sheet_to_json(wb.Sheets[wb.SheetNames[0]],{header:1});"
                               "if(rows.length<2)process.exit(1);");
            const double ms = peerMs(QStringLiteral("node"), {QStringLiteral("-e"), script, sheetJs, xlsx});
            if (ms > 0)
                reportRatio(QStringLiteral("import_xlsx_sheetjs"), book.best, ms,
                            QStringLiteral(" vs=sheetjs goal_ratio<=0.5"));
        } else {
            std::printf("import_xlsx_sheetjs skipped: no SheetJS at %s (bench/setup-peers.sh installs it)\n",
                        qPrintable(sheetJs));
        }
        // openpyxl read-only takes minutes on a million rows: both read a
        // workbook of the first 100,000 rows.
        const QString small = ctx.workDir.filePath(QStringLiteral("supplier-100k.xlsx"));
        writeXlsx(ctx.priceFile, small, 100000);
        SupplierList smallList(small);
        {
            ImportLayout layout = smallList.guess();
            layout.name = QStringLiteral("xlsx");
            LayoutStore().save(layout);
        }
        const Loads smallLoads = bestLoads({small}).front();
        const QString pyScript = QStringLiteral(
            "import sys, openpyxl\nwb = openpyxl.load_workbook(sys.argv[1], read_only=True)\n"
            "n = sum(1 for _ in wb.worksheets[0].iter_rows(values_only=True))\nsys.exit(0 if n > 1 else 1)\n");
        // The system's Python: Debian's openpyxl is installed for it.
        const QString python = QFileInfo::exists(QStringLiteral("/usr/bin/python3"))
            ? QStringLiteral("/usr/bin/python3")
            : QStringLiteral("python3");
        const double pyMs = peerMs(python, {QStringLiteral("-c"), pyScript, small});
        if (pyMs > 0)
            reportRatio(QStringLiteral("import_xlsx_openpyxl"), smallLoads.best, pyMs,
                        QStringLiteral(" vs=openpyxl_read_only rows=%1 goal_ratio<=0.05").arg(smallLoads.rows));
        else
            std::printf("import_xlsx_openpyxl skipped: python3-openpyxl is not installed\n");
        qunsetenv("ORDIX_LAYOUT_DIR");
    }

    const BenchRegistrar importRegistrar(QStringLiteral("import"), 95, &runImport);
}

qint64 writeSupplierXlsx(const QString &from, const QString &to, qint64 limit)
{
    return writeXlsx(from, to, limit);
}

void writeSupplierCsv(const QString &from, const QString &to)
{
    writeCsv(from, to);
}
