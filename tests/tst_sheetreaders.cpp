// The xlsx and ods readers on files built here member by member, so that
// each case has exactly the pitfall it names: the order of the members,
// missing parts, declared sizes that lie, damage and zip bombs.
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include <archive.h>
#include <archive_entry.h>

#include "cp1251.h"
#include "importfixture.h"
#include "odsreader.h"
#include "ordixerror.h"
#include "progressreporter.h"
#include "sheetnotes.h"
#include "supplierlist.h"
#include "xlsxreader.h"
#include "xmlscanner.h"

namespace
{
    struct Part
    {
        QString name;
        QByteArray data;
    };
    using Parts = QList<Part>;

    const QByteArray Ns = "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
                          "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"";
    const QByteArray RelType = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";

    QByteArray sheet(const QByteArray &rows, const QByteArray &before = {})
    {
        return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<worksheet " + Ns + ">" + before
            + "<sheetData>" + rows + "</sheetData><pageMargins left=\"0.7\"/></worksheet>";
    }

    QByteArray inl(const char *ref, const QByteArray &text)
    {
        return QByteArray("<c r=\"") + ref + "\" t=\"inlineStr\"><is><t>" + text + "</t></is></c>";
    }

    struct Book
    {
        QList<QByteArray> sheets = {};
        QByteArray strings = {};       // the <si> items; none: no shared strings part
        QByteArray numberFormats = {}; // <numFmt> items
        QByteArray cellFormats = {};   // the numFmtId of each <xf> of cellXfs, "0 164 14"
        QByteArray workbookPr = {};
        QByteArray states = {}; // the state of each sheet: "-h" for a visible and a hidden one
        QByteArray targetPrefix = "worksheets/";
        bool reversed = false; // the members in the opposite order
    };

    // A workbook as Excel lays it out: the sheets come before the shared strings.
    Parts makeXlsx(const Book &b)
    {
        QByteArray entries, links, types;
        for (qsizetype i = 0; i < b.sheets.size(); ++i) {
            const QByteArray n = QByteArray::number(i + 1);
            const QByteArray state = i < b.states.size() && b.states[i] == 'h' ? " state=\"hidden\"" : "";
            entries += "<sheet name=\"Лист" + n + "\" sheetId=\"" + n + "\"" + state + " r:id=\"rId" + n + "\"/>";
            links += "<Relationship Id=\"rId" + n + "\" Type=\"" + RelType + "worksheet\" Target=\"" + b.targetPrefix
                + "sheet" + n + ".xml\"/>";
        }
        links += "<Relationship Id=\"rS\" Type=\"" + RelType + "styles\" Target=\"styles.xml\"/>";
        if (!b.strings.isNull())
            links += "<Relationship Id=\"rT\" Type=\"" + RelType + "sharedStrings\" Target=\"sharedStrings.xml\"/>";
        Parts parts{
            {"[Content_Types].xml", "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"/>"},
            {"_rels/.rels",
             "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
             "<Relationship Id=\"rId1\" Type=\""
                 + RelType
                 + "officeDocument\" Target=\"xl/workbook.xml\"/>"
                   "</Relationships>"},
            {"xl/workbook.xml", "<workbook " + Ns + ">" + b.workbookPr + "<sheets>" + entries + "</sheets></workbook>"},
            {"xl/_rels/workbook.xml.rels", "<Relationships>" + links + "</Relationships>"}};
        for (qsizetype i = 0; i < b.sheets.size(); ++i)
            parts.append({QStringLiteral("xl/worksheets/sheet%1.xml").arg(i + 1), b.sheets[i]});
        QByteArray xfs;
        for (const QByteArray &id : b.cellFormats.split(' '))
            xfs += "<xf numFmtId=\"" + (id.isEmpty() ? "0" : id) + "\" fontId=\"0\"><alignment/></xf>";
        parts.append({"xl/styles.xml",
                      "<styleSheet " + Ns + "><numFmts>" + b.numberFormats
                          + "</numFmts><cellStyleXfs><xf numFmtId=\"2\"/></cellStyleXfs><cellXfs>" + xfs
                          + "</cellXfs></styleSheet>"});
        if (!b.strings.isNull())
            parts.append({"xl/sharedStrings.xml", "<sst " + Ns + ">" + b.strings + "</sst>"});
        if (b.reversed)
            std::reverse(parts.begin(), parts.end());
        return parts;
    }

    Parts makeOds(const QByteArray &tables, const QByteArray &styles = {}, const QByteArray &manifest = {})
    {
        return {{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"},
                {"content.xml",
                 "<office:document-content xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
                 "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
                 "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\"><office:automatic-styles>"
                     + styles + "</office:automatic-styles><office:body><office:spreadsheet>" + tables
                     + "</office:spreadsheet></office:body></office:document-content>"},
                {"META-INF/manifest.xml",
                 "<manifest:manifest><manifest:file-entry manifest:full-path=\"content.xml\">" + manifest
                     + "</manifest:file-entry></manifest:manifest>"}};
    }

    QByteArray table(const char *name, const QByteArray &rows, const QByteArray &extra = {})
    {
        return QByteArray("<table:table table:name=\"") + name + "\"" + extra + ">" + rows + "</table:table>";
    }

    QByteArray cell(const QByteArray &text, const QByteArray &attributes = " office:value-type=\"string\"")
    {
        return "<table:table-cell" + attributes + "><text:p>" + text + "</text:p></table:table-cell>";
    }

    enum Damage
    {
        Intact,
        Truncated, // the file cut in half
        Corrupted, // bytes of the sheet's compressed data overwritten
        Encrypted, // the members encrypted with a password
        NotZip     // the parts written one after another, no archive
    };

    void writeZip(const QString &path, const Parts &parts, Damage damage)
    {
        if (damage == NotZip) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            for (const Part &p : parts)
                file.write(p.data);
            return;
        }
        std::unique_ptr<archive, int (*)(archive *)> writer(archive_write_new(), archive_write_free);
        archive *a = writer.get();
        archive_write_set_format_zip(a);
        if (damage == Encrypted) {
            QCOMPARE(archive_write_set_options(a, "zip:encryption=zipcrypt"), ARCHIVE_OK);
            archive_write_set_passphrase(a, "secret");
        }
        QCOMPARE(archive_write_open_filename(a, QFile::encodeName(path).constData()), ARCHIVE_OK);
        for (const Part &p : parts) {
            std::unique_ptr<archive_entry, void (*)(archive_entry *)> entry(archive_entry_new(), archive_entry_free);
            archive_entry_set_pathname_utf8(entry.get(), p.name.toUtf8().constData());
            archive_entry_set_filetype(entry.get(), AE_IFREG);
            archive_entry_set_perm(entry.get(), 0644);
            archive_entry_set_size(entry.get(), p.data.size());
            QCOMPARE(archive_write_header(a, entry.get()), ARCHIVE_OK);
            QCOMPARE(archive_write_data(a, p.data.constData(), size_t(p.data.size())), la_ssize_t(p.data.size()));
        }
        QCOMPARE(archive_write_close(a), ARCHIVE_OK);
        if (damage == Truncated || damage == Corrupted) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QByteArray bytes = file.readAll();
            if (damage == Truncated) {
                bytes.truncate(bytes.size() / 2);
            } else {
                const qsizetype at = bytes.indexOf("xl/worksheets/sheet1.xml") + 100;
                for (qsizetype i = at; i < at + 24; ++i)
                    bytes[i] = char(bytes[i] ^ 0x5A);
            }
            file.resize(0);
            file.seek(0);
            file.write(bytes);
        }
    }

    // The tokens of `xml` fed in pieces of `piece` bytes: "<name a=v>",
    // "</name>", "'text'" (attributes a, b and c looked up by name).
    QString tokens(const QByteArray &xml, qsizetype piece)
    {
        XmlScanner scanner;
        QStringList out;
        const auto drain = [&] {
            for (XmlScanner::Token t; (t = scanner.next()) != XmlScanner::Token::NeedData;) {
                if (t == XmlScanner::Token::StartElement) {
                    QString tag = QLatin1Char('<') + QString::fromUtf8(scanner.name());
                    for (const char *a : {"a", "b", "c", "x:c"}) {
                        if (!scanner.attribute(QByteArrayView(a)).isNull())
                            tag += QLatin1Char(' ') + QLatin1String(a) + QLatin1Char('=')
                                + scanner.attributeText(QByteArrayView(a));
                    }
                    out.append(tag + QLatin1Char('>'));
                } else if (t == XmlScanner::Token::EndElement) {
                    out.append(QStringLiteral("</") + QString::fromUtf8(scanner.name()) + QLatin1Char('>'));
                } else if (t == XmlScanner::Token::Text) {
                    std::string text;
                    scanner.appendText(text);
                    out.append(QLatin1Char('\'') + QString::fromStdString(text) + QLatin1Char('\''));
                }
            }
        };
        for (qsizetype i = 0; i < xml.size(); i += piece) {
            scanner.feed(QByteArrayView(xml).sliced(i, qMin(piece, xml.size() - i)));
            drain();
        }
        scanner.finish();
        drain();
        return out.join(QLatin1Char(' '));
    }

    QString render(const SheetRow &row)
    {
        QStringList cells;
        for (qsizetype c = 0; c < row.cells.size(); ++c) {
            const SheetCell &cell = row.cells[c];
            QString v;
            switch (cell.kind) {
            case SheetCell::Kind::Empty:
                continue;
            case SheetCell::Kind::Text:
                v = cell.text;
                break;
            case SheetCell::Kind::Number:
                v = QLatin1Char('#') + QString::number(cell.number, 'g', 15)
                    + (cell.numberFormat.isEmpty() ? QString() : QLatin1Char('@') + cell.numberFormat)
                    + (cell.text.isEmpty() ? QString() : QLatin1Char('~') + cell.text);
                break;
            case SheetCell::Kind::Bool:
                v = QLatin1Char('?') + QString::number(cell.number);
                break;
            case SheetCell::Kind::Error:
                v = QLatin1Char('!') + cell.text;
                break;
            }
            cells.append(SheetNotes::columnName(int(c)) + QLatin1Char('=')
                         + v.replace(QLatin1Char('\n'), QLatin1String("\\n")));
        }
        return QString::number(row.index + 1) + (row.hidden ? QStringLiteral("h:") : QStringLiteral(":"))
            + cells.join(QLatin1Char('|'));
    }

    // The sheet names ("*" after a hidden one) and what the reader says
    // after the sheet is read.
    QString describe(const SheetReader &reader)
    {
        QStringList names;
        for (const SheetInfo &s : reader.sheets())
            names.append(s.name + (s.hidden ? QStringLiteral("*") : QString()));
        QString text = names.join(QLatin1Char('|'));
        if (reader.uses1904Dates())
            text += QStringLiteral(" 1904");
        QStringList columns;
        for (int c : reader.hiddenColumns())
            columns.append(SheetNotes::columnName(c));
        if (!columns.isEmpty())
            text += QStringLiteral(" cols=") + columns.join(QLatin1Char(','));
        if (!reader.notes().isEmpty())
            text += QStringLiteral(" notes=") + reader.notes().join(QLatin1Char('/'));
        return text;
    }
}

Q_DECLARE_METATYPE(Parts)

class TestSheetReaders final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    enum Limit
    {
        Default,
        Size1MiB,     // a member may inflate to 1 MiB
        RatioFrom1MiB // the 200:1 ratio counts from 1 MiB on
    };

    void addColumns()
    {
        QTest::addColumn<Parts>("parts");
        QTest::addColumn<int>("damage");
        QTest::addColumn<int>("limit");
        QTest::addColumn<int>("sheet");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("info");
    }

    void run(bool isOds)
    {
        QFETCH(Parts, parts);
        QFETCH(int, damage);
        QFETCH(int, limit);
        QFETCH(int, sheet);
        QFETCH(QString, expected);
        QFETCH(QString, info);
        const QString path =
            m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('_')));
        writeZip(path, parts, Damage(damage));
        ZipStream::Limits limits;
        if (limit == Size1MiB)
            limits.maxMemberSize = 1024 * 1024;
        if (limit == RatioFrom1MiB)
            limits.ratioFrom = 1024 * 1024;
        // A workbook is read as cells and on its bytes, the same.
        for (const bool bytes : {false, true}) {
            if (bytes && isOds)
                break;
            QStringList rows;
            try {
                std::unique_ptr<SheetReader> reader;
                if (isOds)
                    reader = std::make_unique<OdsReader>(path, limits);
                else
                    reader = std::make_unique<XlsxReader>(path, limits);
                const auto keep = [&](const SheetRow &row) {
                    rows.append(render(row));
                    return true;
                };
                if (bytes)
                    readBytes(static_cast<XlsxReader &>(*reader), sheet, keep);
                else
                    reader->readSheet(sheet, keep);
                QCOMPARE(rows.join(QLatin1Char(';')), expected);
                QCOMPARE(describe(*reader), info);
            } catch (const OrdixError &e) {
                if (!expected.startsWith(QLatin1String("error: ")))
                    QFAIL(qPrintable(e.message()));
                QVERIFY2(e.message().contains(expected.mid(7)), qPrintable(e.message()));
            }
        }
    }

    static void readBytes(XlsxReader &reader, int sheet, const std::function<bool(const SheetRow &)> &onRow)
    {
        reader.readSheetBytes(sheet, [&](XlsxReader::ByteRows &batch) {
            for (const XlsxReader::ByteRows::Row &r : batch.rows) {
                SheetRow row = r.slow >= 0 ? batch.slowRows[size_t(r.slow)] : SheetRow{r.index, r.hidden, {}};
                for (quint32 c = 0; r.slow < 0 && c < r.count; ++c)
                    row.cells.append(reader.cellOf(batch.cells[r.first + c]));
                if (!onRow(row))
                    return false;
            }
            return true;
        });
    }

    // The items of a list, one text each, with the count of each class.
    static QStringList items(SupplierList &list, const ImportLayout &layout)
    {
        QStringList out;
        const SupplierList::Result result = list.read(layout, [&](const QByteArrayView *values) {
            QStringList fields;
            for (int v = 0; v < 9; ++v)
                fields.append(Cp1251::decode(values[v]));
            out.append(fields.join(QLatin1Char('|')));
            return true;
        });
        for (const qint64 count : result.counts)
            out.append(QString::number(count));
        out.append(QString::number(result.damagedCodes));
        return out;
    }

private slots:
    void xlsx_data()
    {
        addColumns();
        const QByteArray two = sheet("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c></row>");
        const QByteArray spaces(8 * 1024 * 1024, ' ');
        QByteArray rows;
        for (int r = 1; r <= 300; ++r)
            rows += "<row r=\"" + QByteArray::number(r) + "\"><c r=\"A" + QByteArray::number(r) + "\"><v>"
                + QByteArray::number(r * 7919) + "</v></c></row>";
        auto row = [](const char *name, const Parts &parts, const char *expected, const char *info = "Лист1",
                      int sheet = 0, int damage = Intact, int limit = Default) {
            QTest::newRow(name) << parts << damage << limit << sheet << QString::fromUtf8(expected)
                                << QString::fromUtf8(info);
        };

        row("shared, rich and inline strings",
            makeXlsx(
                {.sheets = {sheet("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c></row>"
                                  "<row r=\"2\"><c r=\"A2\" t=\"s\"><v>2</v></c>"
                                  + inl("B2", "Фильтр &amp; &#1084;асло") + "<c r=\"C2\" t=\"s\"><v>99</v></c></row>")},
                 .strings =
                     "<si><t>Код</t></si><si><t xml:space=\"preserve\"> Цена </t></si>"
                     "<si><r><t>Мас</t></r><r><rPr><b/></rPr><t>ло_x000D_</t></r><rPh><t>ignored</t></rPh></si>"}),
            "1:A=Код|B= Цена ;2:A=Масло\r|B=Фильтр & масло");
        row("no shared strings part",
            makeXlsx({.sheets = {sheet("<row r=\"1\">" + inl("A1", "x") + "<c r=\"B1\"><v>2.5</v></c></row>")}}),
            "1:A=x|B=#2.5@General");
        row("rows and cells without r",
            makeXlsx({.sheets = {sheet(
                          "<row><c t=\"inlineStr\"><is><t>a</t></is></c><c><v>1</v></c></row>"
                          "<row r=\"4\"><c r=\"C4\"><v>3</v></c><c><v>4</v></c></row><row><c><v>5</v></c></row>")}}),
            "1:A=a|B=#1@General;4:C=#3@General|D=#4@General;5:A=#5@General");
        row("namespace prefixes, a row left open",
            makeXlsx(
                {.sheets =
                     {"<x:worksheet xmlns:x=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><x:sheetData>"
                      "<x:row r=\"1\"><x:c r=\"A1\" t=\"inlineStr\"><x:is><x:t>a</x:t></x:is></x:c><x:row r=\"2\">"
                      "<x:c r=\"B2\" x:s=\"1\"><x:v>3</x:v></x:c></x:row></x:sheetData></x:worksheet>"},
                 .cellFormats = "0 1"}),
            "1:A=a;2:B=#3@0");
        row("formulas with and without a stored result",
            makeXlsx(
                {.sheets = {sheet("<row r=\"1\"><c r=\"A1\"><f>1+1</f><v>2</v></c><c r=\"B1\"><f>A1*2</f></c>"
                                  "<c r=\"C1\" t=\"str\"><f>\"x\"</f><v>x&lt;y</v></c><c r=\"D1\" t=\"e\"><f>1/0</f>"
                                  "<v>#DIV/0!</v></c><c r=\"E1\" t=\"b\"><v>1</v></c></row>"
                                  "<row r=\"2\"><c r=\"A2\"><f>B1</f></c></row>")}}),
            "1:A=#2@General|C=x<y|D=!#DIV/0!|E=?1");
        row("custom and built-in number formats",
            makeXlsx(
                {.sheets = {sheet("<row r=\"1\"><c r=\"A1\" s=\"1\"><v>42</v></c><c r=\"B1\" s=\"2\"><v>45000</v></c>"
                                  "<c r=\"C1\" s=\"3\"><v>0.5</v></c><c r=\"D1\" s=\"9\"><v>7</v></c></row>")},
                 .numberFormats = "<numFmt numFmtId=\"164\" formatCode=\"000000\"/>"
                                  "<numFmt numFmtId=\"165\" formatCode=\"#,##0.00&quot;р.&quot;\"/>",
                 .cellFormats = "0 164 14 165"}),
            "1:A=#42@000000|B=#45000@mm-dd-yy|C=#0.5@#,##0.00\"р.\"|D=#7@General");
        row("1904 dates",
            makeXlsx({.sheets = {sheet("<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>")},
                      .workbookPr = "<workbookPr date1904=\"1\"/>"}),
            "1:A=#1@General", "Лист1 1904");
        row("hidden rows and columns",
            makeXlsx({.sheets = {sheet(
                          "<row r=\"1\">" + inl("A1", "a") + inl("E1", "e") + "</row><row r=\"2\" hidden=\"1\">"
                              + inl("A2", "b") + "</row><row r=\"3\" hidden=\"1\"/>",
                          "<cols><col min=\"2\" max=\"2\" hidden=\"1\"/><col min=\"4\" max=\"4\" hidden=\"true\"/>"
                          "<col min=\"3\" max=\"3\" width=\"9\"/></cols>")}}),
            "1:A=a|E=e;2h:A=b", "Лист1 cols=B,D notes=Скрыто строк: 1/Скрыты столбцы: B, D");
        row("second sheet, hidden, chosen",
            makeXlsx({.sheets = {sheet(inl("A1", "first")), sheet("<row r=\"7\">" + inl("B7", "second") + "</row>")},
                      .states = "-h"}),
            "7:B=second", "Лист1|Лист2*", 1);
        row("sheet before shared strings and workbook",
            makeXlsx({.sheets = {two}, .strings = "<si><t>late</t></si>", .reversed = true}), "1:A=late");
        row("absolute relationship targets",
            makeXlsx({.sheets = {two}, .strings = "<si><t>abs</t></si>", .targetPrefix = "/xl/worksheets/"}),
            "1:A=abs");
        row("declared dimension larger than the data",
            makeXlsx({.sheets = {sheet("<row r=\"1\">" + inl("A1", "a") + "</row><row r=\"2\">" + inl("B2", "b")
                                           + "</row><row r=\"3\">" + inl("C3", "c") + "</row>",
                                       "<dimension ref=\"A1:XFD1048576\"/>")}}),
            "1:A=a;2:B=b;3:C=c");
        const QByteArray weird = "<row r=\"1\" spans=\"1:3\" x14ac:dyDescent=\"0.25\">"
            + inl("A1", "&lt;b&gt; &amp; &#1084;")
            + "<c r=\"B1\" t=\"inlineStr\"><is><t xml:space=\"preserve\"> x </t></is></c></row>"
              "<row><c t=\"inlineStr\"><is><t><![CDATA[a<b]]></t></is></c><c><v>1&#46;5</v></c></row>"
              "<row><c t=\"inlineStr\"><is><r><t>Мас</t></r><r><rPr/><t>ло</t></r></is></c><c t=\"b\"><v>0</v></c>"
              "</row><row><c r=\"C4\"><v>1</v></c><c><f t=\"shared\" si=\"0\"/><v>4</v></c><c><v/></c><c t=\"s\">"
              "<v>0</v></c><c t=\"s\"><v>1</v></c><c t=\"s\"><v>2</v></c><c t=\"str\"><f>A1</f><v>s_x0009_t</v></c>"
              "</row><row r=\"6\"><c r=\"B6\" s=\"1\"><v> 0012.50 </v></c><c r=\"A6\"><v>-0</v></c></row>";
        row("rows read on the bytes and as XML among them",
            makeXlsx({.sheets = {sheet(weird)},
                      .strings = "<si><t>Цена, ₽</t></si><si><t>cr_x000D_</t></si><si><t>a_x20AC_b</t></si>",
                      .cellFormats = "0 2"}),
            "1:A=<b> & м|B= x ;2:A=a<b|B=#1.5@General;3:A=Масло|B=?0;"
            "4:C=#1@General|D=#4@General|F=Цена, ₽|G=cr\r|H=a€b|I=s\tt;6:A=#0@General|B=#12.5@0.00");
        const QByteArray four =
            sheet("<row r=\"1\"><c t=\"s\"><v>0</v></c><c t=\"s\"><v>1</v></c><c t=\"s\"><v>2</v></c>"
                  "<c t=\"s\"><v>3</v></c><c t=\"s\"><v>4</v></c></row>");
        row("shared strings read on the bytes and as XML among them",
            makeXlsx({.sheets = {four},
                      .strings = "<si><t>x&amp;y</t></si> <si><t><![CDATA[a<b]]></t></si><si><t/></si><si>"
                                 "<t xml:space=\"preserve\" a='>'>q</t></si><si><t>z</t><rPh><t>no</t></rPh></si>"}),
            "1:A=x&y|B=a<b|D=q|E=z");
        row("shared strings: a comment hands the rest to XML",
            makeXlsx({.sheets = {four},
                      .strings = "<si><t>a</t></si><!-- c --><si><t>b</t></si><rPh/><si><t>c</t></si></sst>"
                                 "<si><t>d</t></si><si><t>e</t></si>"}),
            "1:A=a|B=b|C=c|D=d|E=e");
        row("a comment between rows: the rest as XML",
            makeXlsx({.sheets = {sheet("<row r=\"1\">" + inl("A1", "a") + "</row><!-- note --><row r=\"3\">"
                                       + inl("A3", "b") + "</row><row>" + inl("A4", "c") + "</row>")}}),
            "1:A=a;3:A=b;4:A=c");
        row("lone cell at XFD1048576",
            makeXlsx(
                {.sheets = {sheet(
                     "<row r=\"1048576\"><c r=\"XFD1048576\"><v>1</v></c><c r=\"XFE1048576\"><v>2</v></c></row>")}}),
            "1048576:XFD=#1@General");
        row("damaged: truncated", makeXlsx({.sheets = {two}, .strings = "<si/>"}), "error: повреждён", "", 0,
            Truncated);
        row("damaged: sheet data overwritten", makeXlsx({.sheets = {sheet(rows)}}), "error: повреждён", "", 0,
            Corrupted);
        row("not a workbook zip", {{"readme.txt", "hello"}}, "error: не является книгой Excel");
        row("not a zip", {{"a.csv", "Код;Цена\n1;2\n"}}, "error: не является книгой Excel", "", 0, NotZip);
        const QByteArray ole("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
        const QString stream = QStringLiteral("EncryptedPackage");
        row("password-protected book",
            {{"cfb", ole + QByteArray(700, '\0') + QByteArray(reinterpret_cast<const char *>(stream.utf16()), 32)}},
            "error: защищена паролем", "", 0, NotZip);
        row("xls under the xlsx name", {{"cfb", ole + QByteArray(700, '\0')}}, "error: Excel 97–2003 (xls)", "", 0,
            NotZip);
        row("ods given as xlsx", makeOds(table("T", "")), "error: таблица OpenDocument (ods)");
        row("encrypted members", makeXlsx({.sheets = {two}}), "error: защищён паролем", "", 0, Encrypted);
        row("member inflating past the size limit", makeXlsx({.sheets = {sheet(spaces)}}), "error: zip-бомба", "", 0,
            Intact, Size1MiB);
        row("member inflating past the ratio", makeXlsx({.sheets = {sheet(spaces)}}), "error: zip-бомба", "", 0, Intact,
            RatioFrom1MiB);
    }

    void xlsx() { run(false); }

    void ods_data()
    {
        addColumns();
        auto row = [](const char *name, const Parts &parts, const char *expected, const char *info = "T", int sheet = 0,
                      int damage = Intact) {
            QTest::newRow(name) << parts << damage << int(Default) << sheet << QString::fromUtf8(expected)
                                << QString::fromUtf8(info);
        };
        const QByteArray filler = "<table:table-row table:number-rows-repeated=\"1048574\">"
                                  "<table:table-cell table:number-columns-repeated=\"16384\"/></table:table-row>";

        row("repeated empty rows and columns at the end",
            makeOds(
                table("T",
                      "<table:table-row>" + cell("a")
                          + "<table:table-cell table:number-columns-repeated=\"16383\"/>"
                            "</table:table-row><table:table-row><table:table-cell table:number-columns-repeated=\"2\"/>"
                          + cell("b") + "</table:table-row>" + filler)),
            "1:A=a;2:C=b");
        row("repeated row and cell with data",
            makeOds(table("T",
                          "<table:table-row table:number-rows-repeated=\"3\">"
                              + cell("x", " office:value-type=\"string\" table:number-columns-repeated=\"2\"")
                              + "</table:table-row>"
                                "<table:table-row table:number-rows-repeated=\"5\"/><table:table-row>"
                              + cell("y") + "</table:table-row>")),
            "1:A=x|B=x;2:A=x|B=x;3:A=x|B=x;9:A=y");
        row("spaces, paragraphs, spans, a comment",
            makeOds(
                table("T",
                      "<table:table-row><table:table-cell office:value-type=\"string\"><office:annotation><text:p>note"
                      "</text:p></office:annotation><text:p>a<text:s text:c=\"3\"/>b<text:s/>&amp;</text:p>"
                      "<text:p>c<text:span>d</text:span></text:p></table:table-cell></table:table-row>")),
            "1:A=a   b &\\ncd");
        row("typed values with their shown text",
            makeOds(table("T",
                          "<table:table-row>" + cell("1 234,50", " office:value-type=\"float\" office:value=\"1234.5\"")
                              + cell("15%", " office:value-type=\"percentage\" office:value=\"0.15\"")
                              + cell("ИСТИНА", " office:value-type=\"boolean\" office:boolean-value=\"true\"")
                              + cell("01.02.2024", " office:value-type=\"date\" office:date-value=\"2024-02-01\"")
                              + "<table:table-cell office:value-type=\"date\" office:date-value=\"2024-03-01\"/>"
                              + cell("#Н/Д", " office:value-type=\"string\" calcext:value-type=\"error\"")
                              + "<table:covered-table-cell/>" + cell("plain", "") + "</table:table-row>")),
            "1:A=#1234.5~1 234,50|B=#0.15~15%|C=?1|D=01.02.2024|E=2024-03-01|F=!#Н/Д|H=plain");
        row("hidden rows, columns and tables; second table chosen",
            makeOds(table("A", "<table:table-row>" + cell("first") + "</table:table-row>", " table:style-name=\"ta2\"")
                        + table("B",
                                "<table:table-column table:number-columns-repeated=\"2\"/><table:table-column "
                                "table:visibility=\"collapse\"/><table:table-row table:visibility=\"collapse\">"
                                    + cell("x") + "</table:table-row><table:table-row table:visibility=\"filter\">"
                                    + cell("y") + cell("z") + cell("w") + "</table:table-row>"),
                    "<style:style style:name=\"ta2\" style:family=\"table\"><style:table-properties "
                    "table:display=\"false\"/>"
                    "</style:style>"),
            "1h:A=x;2h:A=y|B=z|C=w", "A*|B cols=C notes=Скрыто строк: 2/Скрыт столбец: C", 1);
        row("xlsx given as ods", makeXlsx({.sheets = {sheet("")}}), "error: книга Excel (xlsx)");
        row("encrypted content", makeOds(table("T", ""), {}, "<manifest:encryption-data/>"), "error: защищена паролем");
        row("damaged: truncated", makeOds(table("T", QByteArray(3000, ' '))), "error: повреждён", "T", 0, Truncated);
    }

    void ods() { run(true); }

    // Reading stops with the callback and does not inflate the rest: the
    // same sheet read to its end trips the size limit.
    void stopEarly()
    {
        const QString path = m_dir.filePath(QStringLiteral("stop.xlsx"));
        writeZip(path,
                 makeXlsx({.sheets = {sheet("<row r=\"1\">" + inl("A1", "a") + "</row><row r=\"2\">" + inl("A2", "b")
                                            + "</row>" + QByteArray(4 * 1024 * 1024, ' '))}}),
                 Intact);
        ZipStream::Limits limits;
        limits.maxMemberSize = 1024 * 1024;
        XlsxReader reader(path, limits);
        int rows = 0;
        reader.readSheet(0, [&](const SheetRow &) { return ++rows < 1; });
        QCOMPARE(rows, 1);
        QVERIFY_THROWS_EXCEPTION(OrdixError, reader.readSheet(0, [](const SheetRow &) { return true; }));

        // On the bytes, after the first batch of rows.
        QByteArray many;
        for (int r = 1; r <= 2000; ++r)
            many += "<row>" + inl("A1", QByteArray::number(r)) + "</row>";
        writeZip(path, makeXlsx({.sheets = {sheet(many + QByteArray(4 * 1024 * 1024, ' '))}}), Intact);
        XlsxReader bytes(path, limits);
        int batches = 0;
        bytes.readSheetBytes(0, [&](XlsxReader::ByteRows &) { return ++batches < 1; });
        QCOMPARE(batches, 1);
    }

    // A repeated row with data ends at the last row a sheet can have.
    void odsRowLimit()
    {
        const QString path = m_dir.filePath(QStringLiteral("limit.ods"));
        writeZip(path,
                 makeOds(table("T",
                               "<table:table-row table:number-rows-repeated=\"1048570\"/><table:table-row "
                               "table:number-rows-repeated=\"2000000\">"
                                   + cell("x") + "</table:table-row>")),
                 Intact);
        OdsReader reader(path);
        qint64 rows = 0;
        qint64 last = 0;
        reader.readSheet(0, [&](const SheetRow &row) {
            ++rows;
            last = row.index;
            return true;
        });
        QCOMPARE(rows, 6);
        QCOMPARE(last, OdsReader::MaxRows - 1);
        QCOMPARE(reader.notes(), QStringList{QStringLiteral("Строки после 1048576-й не прочитаны")});
    }

    // Every split of the input into blocks gives the same tokens.
    void scannerBlocks_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<QString>("expected");
        QTest::newRow("declaration, document type, comment")
            << QByteArray("<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY e \"v\">]><!-- a > b --><r a=\"1\"/>")
            << "<r a=1> </r>";
        QTest::newRow("quotes and > inside values, spaces around =")
            << QByteArray("<r a='x>y' b = \"q&amp;&quot;\" x:c=\"z\">t</r>") << "<r a=x>y b=q&\" c=z x:c=z> 't' </r>";
        QTest::newRow("entities and character references")
            << QByteArray("<t>&lt;&#1082;&#x41;&unknown;&amp &#0;</t>") << "<t> '<кA&unknown;&amp \uFFFD' </t>";
        QTest::newRow("CDATA kept as written") << QByteArray("<t><![CDATA[a<b&amp;]]]></t>") << "<t> 'a<b&amp;]' </t>";
        QTest::newRow("prefixed names") << QByteArray("<x:row x:a=\"1\"><x:c/></x:row>") << "<row a=1> <c> </c> </row>";
        QTest::newRow("stray <") << QByteArray("<t>a < b</t>") << "<t> 'a ' '<' ' b' </t>";
        QTest::newRow("cut off at the end") << QByteArray("<r><t>abc</t><c a=\"1") << "<r> <t> 'abc' </t>";
    }

    void scannerBlocks()
    {
        QFETCH(QByteArray, xml);
        QFETCH(QString, expected);
        expected.replace(QStringLiteral("\\uFFFD"), QString(QChar(0xFFFD)));
        for (qsizetype piece = 1; piece <= xml.size(); ++piece)
            QCOMPARE(tokens(xml, piece), expected);
    }

    // The items of a workbook read on its bytes are those of the same rows
    // read as cells (sheets written as importfixture.h writes them).
    void bytesAsCells_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("codes, prices and packs as numbers")
            << "Прайс\n\nКод|Наименование|Артикул|Производитель|Кратность|Цена\n"
               "#101|Фильтр масляный|W 712|MANN|#1|#350.5\n#102|Свеча|#12345@000000|NGK|#2.5|#99\n"
               "#2.5E+20|Болт|#1.2E+3@0.00E+00|DIN|#0.00001|#1.25\n#-7|Гайка|#-0|#45000@dd.mm.yyyy|#3|#-0\n"
               "#104|Шайба|#1e15|Ёж ₽|#1|#12345678901.123";
        QTest::newRow("decimal comma, groups, totals")
            << "Код|Наименование|Артикул|Цена|Наличие\nТормоза\n#1|Колодки|GDB1550|1 234,50|есть\n"
               "#2|Диск|0986494563|#2890|нет\n#3|Код 3|X|12,5|#0\nИтого||||\nКод|Наименование|Артикул|Цена|Наличие\n"
               "#4|Трос|A-4|#0.1|#-1\n#5|中文|B|7,25|ожидается";
    }

    void bytesAsCells()
    {
        QFETCH(QString, text);
        // The sheet as a workbook: texts shared, numbers with a style of
        // their format.
        QByteArray rows, strings, formats, styles = "0";
        QStringList formatCodes;
        const QList<SheetRow> sheetData = sheetRows(text);
        for (const SheetRow &row : sheetData) {
            rows += "<row r=\"" + QByteArray::number(row.index + 1) + "\">";
            for (qsizetype c = 0; c < row.cells.size(); ++c) {
                const SheetCell &cell = row.cells[c];
                const QByteArray ref = SheetNotes::columnName(int(c)).toLatin1() + QByteArray::number(row.index + 1);
                if (cell.kind == SheetCell::Kind::Text) {
                    rows += "<c r=\"" + ref + "\" t=\"s\"><v>" + QByteArray::number(strings.count("<si>")) + "</v></c>";
                    strings += "<si><t>" + cell.text.toUtf8() + "</t></si>";
                } else if (cell.kind == SheetCell::Kind::Number) {
                    qsizetype style = 0;
                    if (!cell.numberFormat.isEmpty()) {
                        if (!formatCodes.contains(cell.numberFormat)) {
                            formatCodes.append(cell.numberFormat);
                            const QByteArray id = QByteArray::number(163 + formatCodes.size());
                            formats +=
                                "<numFmt numFmtId=\"" + id + "\" formatCode=\"" + cell.numberFormat.toUtf8() + "\"/>";
                            styles += " " + id;
                        }
                        style = formatCodes.indexOf(cell.numberFormat) + 1;
                    }
                    rows += "<c r=\"" + ref + "\" s=\"" + QByteArray::number(style) + "\"><v>"
                        + (cell.number == 0 && std::signbit(cell.number) ? QByteArray("-0")
                                                                         : QByteArray::number(cell.number, 'g', 17))
                        + "</v></c>";
                }
            }
            rows += "</row>";
        }
        const QString path = m_dir.filePath(QStringLiteral("%1.xlsx").arg(QTest::currentDataTag()));
        writeZip(
            path,
            makeXlsx({.sheets = {sheet(rows)}, .strings = strings, .numberFormats = formats, .cellFormats = styles}),
            Intact);
        SupplierList cells(path, ListFormat::Xlsx, std::make_unique<MemorySheetReader>(text));
        const ImportLayout layout = cells.guess();
        SupplierList bytes(path);
        const QStringList expected = items(cells, layout);
        QVERIFY(expected.size() > 10);
        QCOMPARE(items(bytes, layout), expected);
    }

    // Escape during the read of a workbook on its bytes stops both cores
    // and keeps the items before it.
    void escapeStopsTheRead()
    {
        struct Stop final : public ProgressReporter
        {
            void startProgress(const QString &, int, int) override { }
            void stepProgress(int) override { }
            bool stopRequested() override { return true; }
        } progress;
        QByteArray rows = "<row>" + inl("A1", "Код") + inl("B1", "Наименование") + inl("C1", "Цена") + "</row>";
        for (int r = 2; r <= 50000; ++r)
            rows +=
                "<row><c><v>" + QByteArray::number(r) + "</v></c>" + inl("B1", "Деталь") + "<c><v>1.5</v></c></row>";
        const QString path = m_dir.filePath(QStringLiteral("escape.xlsx"));
        writeZip(path, makeXlsx({.sheets = {sheet(rows)}}), Intact);
        SupplierList list(path);
        qint64 items = 0;
        const SupplierList::Result result = list.read(
            list.guess(), [&](const QByteArrayView *) { return ++items > 0; }, &progress);
        QVERIFY(result.stopped);
        QVERIFY(items > 0 && items < 49999);
    }

    void initTestCase() { QVERIFY(m_dir.isValid()); }
};

QTEST_GUILESS_MAIN(TestSheetReaders)
#include "tst_sheetreaders.moc"
