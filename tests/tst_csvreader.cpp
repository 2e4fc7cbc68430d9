#include <QtTest>

#include <QStringDecoder>
#include <QTemporaryDir>

#include "cp1251.h"
#include "cp1251cells.h"
#include "csvbytesplitter.h"
#include "csvdecoder.h"
#include "csvparser.h"
#include "csvreader.h"
#include "ordixerror.h"

namespace
{
    // Text in a single-byte code page, by the reader's own table.
    QByteArray encoded(const QString &text, QByteArrayView encoding)
    {
        const char16_t *table = CsvDecoder::singleByteTable(encoding);
        QByteArray out;
        for (const QChar c : text) {
            int b = 255;
            while (b > 0 && table[b] != c.unicode())
                --b;
            out.append(char(b));
        }
        return out;
    }

    QByteArray utf16(const QString &text, bool bigEndian)
    {
        QByteArray out;
        for (const QChar c : text) {
            const char hi = char(c.unicode() >> 8), lo = char(c.unicode() & 0xFF);
            out.append(bigEndian ? hi : lo).append(bigEndian ? lo : hi);
        }
        return out;
    }

    // Rows as "index:[cell][cell]", separated by blanks; a line end in a
    // cell is "\n".
    QString compact(const QList<SheetRow> &rows)
    {
        QStringList out;
        for (const SheetRow &row : rows) {
            QString s = QString::number(row.index) + u':';
            for (const SheetCell &cell : row.cells) {
                const QString text = QString(cell.text).replace(u'\n', QLatin1String("\\n"));
                s += cell.kind == SheetCell::Kind::Text ? u'[' + text + u']' : QStringLiteral("{not text}");
            }
            out << s;
        }
        return out.join(u' ');
    }

    QList<SheetRow> readAll(CsvReader &reader)
    {
        QList<SheetRow> rows;
        reader.readSheet(0, [&rows](const SheetRow &row) {
            rows << row;
            return true;
        });
        return rows;
    }

    class KeptRows final : public CsvReader::ChunkWork
    {
    public:
        // `bytes`: the records the bytes settle are taken as Windows-1251.
        explicit KeptRows(bool bytes)
            : m_bytes(bytes)
        { }
        void clear() override { rows.clear(); }
        bool bytesRow(qint64 index, const QByteArrayView *fields, qsizetype count) override
        {
            if (!m_bytes || std::none_of(fields, fields + count, Cp1251Cells::isFilled))
                return false;
            SheetRow &row = rows.emplaceBack();
            row.index = index;
            for (qsizetype f = 0; f < count; ++f)
                row.cells.append({SheetCell::Kind::Text, 0, Cp1251::decode(fields[f]), {}});
            return true;
        }
        void row(const SheetRow &row) override
        {
            rows << row;
            for (SheetCell &cell : rows.last().cells)
                cell.text = QString(cell.text.constData(), cell.text.size()); // its own copy
        }
        QList<SheetRow> rows;

    private:
        bool m_bytes;
    };

    // The rows as the chunks on two threads give them.
    QList<SheetRow> readAllInChunks(CsvReader &reader, bool bytes)
    {
        QList<SheetRow> rows;
        reader.readChunks(
            1, [bytes] { return std::make_unique<KeptRows>(bytes); },
            [&rows](CsvReader::ChunkWork &work) {
                rows << static_cast<KeptRows &>(work).rows;
                return true;
            });
        return rows;
    }
}

class TestCsvReader : public QObject
{
    Q_OBJECT

private slots:
    void reads_data();
    void reads();
    void piecesReadAsTheWhole();
    void stopsWhenAsked();
    void tablesMatchQtCodecs();
    void utf8TextToCodePage_data();
    void utf8TextToCodePage();
    void missingFileIsReported();

private:
    QTemporaryDir m_dir;
};

void TestCsvReader::reads_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("forcedEncoding");
    QTest::addColumn<char>("forcedDelimiter");
    QTest::addColumn<QByteArray>("encoding");
    QTest::addColumn<char>("delimiter");
    QTest::addColumn<QString>("rows");
    QTest::addColumn<QString>("note");

    const QString mixed =
        QStringLiteral("Наименование;Цена\nБолт крепления колеса оцинкованный;12,50\nГайка колёсная;4,30\n");
    const QString caps =
        QStringLiteral("НАИМЕНОВАНИЕ;ЦЕНА\nКОЛОДКИ ТОРМОЗНЫЕ ПЕРЕДНИЕ;1250\nФИЛЬТР МАСЛЯНЫЙ;180\nРЕМЕНЬ ГРМ;540\n");
    const QString mixedRows =
        QStringLiteral("0:[Наименование][Цена] 1:[Болт крепления колеса оцинкованный][12,50] 2:[Гайка колёсная][4,30]");
    const QString capsRows = QStringLiteral(
        "0:[НАИМЕНОВАНИЕ][ЦЕНА] 1:[КОЛОДКИ ТОРМОЗНЫЕ ПЕРЕДНИЕ][1250] 2:[ФИЛЬТР МАСЛЯНЫЙ][180] 3:[РЕМЕНЬ ГРМ][540]");
    const QByteArray none;
    auto row = [&](const char *name, const QByteArray &bytes, const char *encoding, char delimiter, const QString &rows,
                   const QString &note = {}) {
        QTest::newRow(name) << bytes << none << char(0) << QByteArray(encoding) << delimiter << rows << note;
    };

    row("semicolon, decimal commas and leading zeros", "Код;Цена\n000123;10,50\n", "UTF-8", ';',
        "0:[Код][Цена] 1:[000123][10,50]");
    row("comma", "a,b,c\n1,2,3\n", "UTF-8", ',', "0:[a][b][c] 1:[1][2][3]");
    row("tab, blanks kept", "a\t b \n1\t2\n", "UTF-8", '\t', "0:[a][ b ] 1:[1][2]");
    row("bar", "a|b\n1|2", "UTF-8", '|', "0:[a][b] 1:[1][2]");
    row("title without delimiter", "Прайс-лист от 01.02.2024\nКод;Название;Цена\n1;Болт;10\n2;Гайка;5\n", "UTF-8", ';',
        "0:[Прайс-лист от 01.02.2024] 1:[Код][Название][Цена] 2:[1][Болт][10] 3:[2][Гайка][5]");
    row("title with commas above tabs", "Склад, Москва, Тверская\n\na\tb\tc\n1\t2\t3\n", "UTF-8", '\t',
        "0:[Склад, Москва, Тверская] 2:[a][b][c] 3:[1][2][3]");
    row("single column", "Болт\nГайка\n", "UTF-8", ';', "0:[Болт] 1:[Гайка]");
    row("empty file", "", "UTF-8", ';', "");
    row("utf-8 bom", "\xEF\xBB\xBFКод,Цена\n1,2\n", "UTF-8", ',', "0:[Код][Цена] 1:[1][2]");
    row("utf-16le bom", "\xFF\xFE" + utf16(mixed, false), "UTF-16LE", ';', mixedRows);
    row("utf-16be bom", "\xFE\xFF" + utf16(mixed, true), "UTF-16BE", ';', mixedRows);
    row("utf-16le without bom", utf16(mixed, false), "UTF-16LE", ';', mixedRows);
    row("windows-1251", Cp1251::encode(mixed), "windows-1251", ';', mixedRows);
    row("windows-1251 in capitals is not koi8-r", Cp1251::encode(caps), "windows-1251", ';', capsRows);
    row("ibm866", encoded(mixed, "IBM866"), "IBM866", ';', mixedRows);
    row("ibm866 in capitals", encoded(caps, "IBM866"), "IBM866", ';', capsRows);
    row("koi8-r", encoded(mixed, "KOI8-R"), "KOI8-R", ';', mixedRows);
    row("koi8-r in capitals", encoded(caps, "KOI8-R"), "KOI8-R", ';', capsRows);
    row("a few windows-1251 words stay windows-1251", Cp1251::encode(QStringLiteral("Болт;5\n")), "windows-1251", ';',
        "0:[Болт][5]");
    row("broken utf-8 byte among good text", "Болт колеса;1\nГайка колёсная;2\nШайба \xFF;3\n", "UTF-8", ';',
        QStringLiteral("0:[Болт колеса][1] 1:[Гайка колёсная][2] 2:[Шайба \uFFFD][3]"), "заменены");
    row("characters of three bytes, and ones windows-1251 lacks", "№5 — Болт;€\nШайба ⌀8;😀\n", "UTF-8", ';',
        QStringLiteral("0:[№5 — Болт][€] 1:[Шайба ⌀8][😀]"));
    row("nul", QByteArray("a\0b;c\n", 6), "UTF-8", ';', QStringLiteral("0:[a") + QChar(0) + QStringLiteral("b][c]"));
    row("quoted delimiters, quotes and line ends", "\"a;b\";\"say \"\"hi\"\"\"\n\"two\r\nlines\";x\n", "UTF-8", ';',
        "0:[a;b][say \"hi\"] 1:[two\\nlines][x]");
    row("quotes inside an unquoted field are text", "Труба 1/2\";x\"y\"\n1;2\n", "UTF-8", ';',
        "0:[Труба 1/2\"][x\"y\"] 1:[1][2]");
    row("text after a closing quote", "\"ab\"c;d\n1;2\n", "UTF-8", ';', "0:[abc][d] 1:[1][2]");
    row("missing closing quote", "a;b\n1;\"open\n2;3\n", "UTF-8", ';', "0:[a][b] 1:[1][open\\n2;3\\n]", "строке 2");
    row("cr line ends", "a;b\r1;2\r\r3;4", "UTF-8", ';', "0:[a][b] 1:[1][2] 3:[3][4]");
    row("quoted line ends, a lone cr and a bom", "\xEF\xBB\xBF\"a\r\rb\";\"\"\"\n\";c\r1;2\r\n", "UTF-8", ';',
        "0:[a\\n\\nb][\"\\n][c] 1:[1][2]");
    row("blank records are counted", "a;b\r\n\r\n;\r\n  ; \r\nc;d\r\n", "UTF-8", ';', "0:[a][b] 4:[c][d]");

    auto forced = [&](const char *name, const QByteArray &bytes, const char *encoding, char delimiter,
                      const QString &rows, const QString &note = {}) {
        QTest::newRow(name) << bytes << QByteArray(encoding) << delimiter << QByteArray(encoding) << delimiter << rows
                            << note;
    };
    forced("forced encoding and delimiter", Cp1251::encode(QStringLiteral("Цена;1,5\n")), "KOI8-R", ',',
           "0:[жЕМЮ;1][5]");
    QTest::newRow("forced name in any case") << QByteArray("a;b\n") << QByteArray("koi8-r") << char(0)
                                             << QByteArray("KOI8-R") << ';' << QStringLiteral("0:[a][b]") << QString();
    forced("forced utf-8 on windows-1251", Cp1251::encode(QStringLiteral("Цена;1\n")), "UTF-8", ';',
           QStringLiteral("0:[\uFFFD\uFFFD\uFFFD\uFFFD][1]"), "заменены");
}

void TestCsvReader::reads()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, forcedEncoding);
    QFETCH(char, forcedDelimiter);
    QFETCH(QByteArray, encoding);
    QFETCH(char, delimiter);
    QFETCH(QString, rows);
    QFETCH(QString, note);

    const QString path = m_dir.filePath(QStringLiteral("прайс.2024.csv"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
    file.close();

    CsvReader reader(path, {forcedEncoding, forcedDelimiter});
    QCOMPARE(reader.options().encoding, encoding);
    QCOMPARE(reader.options().delimiter, delimiter);
    QCOMPARE(reader.sheets().value(0).name, QStringLiteral("прайс.2024"));
    QCOMPARE(compact(readAll(reader)), rows);
    QCOMPARE(reader.notes().join(u' ').contains(note), true);
    QCOMPARE(reader.notes().isEmpty(), note.isEmpty());
    if (reader.readsInChunks()) {
        const QStringList notes = reader.notes();
        for (const bool bytes : {false, true}) {
            QCOMPARE(compact(readAllInChunks(reader, bytes)), rows);
            QCOMPARE(reader.notes(), notes);
        }
    }
}

void TestCsvReader::piecesReadAsTheWhole()
{
    // Quotes, CR LF and characters of two bytes at every block boundary.
    const QString text = QStringLiteral("\"a\"\"b\";\"x\r\ny\"\r\nБолт;ё\r\r\n\"\"\r\n\"z\"q;\"");
    const QString rows = QStringLiteral("0:[a\"b][x\\ny] 1:[Болт][ё] 4:[zq][] 4");
    const struct
    {
        QByteArray encoding;
        QByteArray bytes;
        QString rows;
    } cases[] = {
        {"UTF-8", text.toUtf8(), rows},
        {"UTF-16LE", utf16(text, false), rows},
        {"UTF-16LE", utf16(text, false).chopped(1), {}},
        // Broken characters: each byte becomes one U+FFFD wherever a block ends.
        {"UTF-8", "\xEF\xBB;\xE0\x80x;\xD0\xD0\xB1\n\xF0\x90\x80",
         QStringLiteral("0:[\uFFFD\uFFFD][\uFFFD\uFFFDx][\uFFFDб] 1:[\uFFFD\uFFFD\uFFFD] -1")},
    };
    for (const auto &c : cases) {
        const auto parse = [&](qsizetype cut) -> QString {
            QList<SheetRow> rows;
            CsvDecoder decoder(c.encoding);
            CsvParser parser(u';', [&rows](const SheetRow &row) {
                rows << row;
                return true;
            });
            parser.feed(decoder.decode(c.bytes.first(cut)));
            parser.feed(decoder.decode(c.bytes.sliced(cut)));
            parser.feed(decoder.finish());
            parser.finish();
            return compact(rows) + u' ' + QString::number(parser.unclosedQuoteRecord());
        };
        const QString whole = parse(c.bytes.size());
        if (!c.rows.isEmpty())
            QCOMPARE(whole, c.rows);
        for (qsizetype cut = 0; cut < c.bytes.size(); ++cut)
            QCOMPARE(parse(cut), whole);
        if (c.encoding != "UTF-8")
            continue;
        // Chunks of whole records, from a block of any length: each parsed
        // on its own, they give the rows of the whole.
        for (qsizetype have = 1; have < c.bytes.size(); ++have) {
            const size_t cut = CsvReader::wholeRecordsEnd(c.bytes.constData(), size_t(have), ';');
            if (cut == 0)
                continue;
            QList<SheetRow> rows;
            qint64 next = 0, unclosed = -1;
            for (const QByteArrayView chunk : {c.bytes.first(qsizetype(cut)), c.bytes.sliced(qsizetype(cut))}) {
                CsvDecoder decoder(c.encoding);
                CsvParser parser(
                    u';',
                    [&rows](const SheetRow &row) {
                        rows << row;
                        return true;
                    },
                    next);
                parser.feed(decoder.decode(chunk));
                parser.feed(decoder.finish());
                parser.finish();
                next = parser.nextRecord();
                unclosed = parser.unclosedQuoteRecord();
            }
            QCOMPARE(compact(rows) + u' ' + QString::number(unclosed), whole);
        }
    }
}

void TestCsvReader::stopsWhenAsked()
{
    // Several blocks of the reader.
    const QString path = m_dir.filePath(QStringLiteral("big.csv"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    for (int i = 0; i < 300000; ++i)
        file.write(QByteArray::number(i) + ";Болт;1,5\n");
    file.close();

    CsvReader reader(path);
    for (int pass = 0; pass < 2; ++pass) {
        qint64 calls = 0, last = -1;
        reader.readSheet(0, [&](const SheetRow &row) {
            last = row.index;
            return ++calls < 200;
        });
        QCOMPARE(calls, 200);
        QCOMPARE(last, 199);
    }
}

void TestCsvReader::tablesMatchQtCodecs()
{
    // The tables stand in for Qt's codecs where Qt has none (no ICU). ICU
    // swaps a few control characters of 866; only the letters matter.
    int compared = 0;
    for (const char *name : {"windows-1251", "IBM866", "KOI8-R"}) {
        const char16_t *table = CsvDecoder::singleByteTable(name);
        QVERIFY(table);
        for (int b = 0x80; b < 256; ++b) {
            QStringDecoder qt(name);
            if (!qt.isValid())
                break;
            const QString decoded = qt(QByteArray(1, char(b)));
            if (table[b] != 0xFFFD)
                QCOMPARE(decoded, QString(QChar(table[b])));
            ++compared;
        }
    }
    if (compared == 0)
        QSKIP("Qt has no Cyrillic code pages here");
}

void TestCsvReader::utf8TextToCodePage_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("letters and digits") << QByteArray("Болт М10х1,25 ГАЗ-3110 оцинкованный, ЯЧСМИТЬБЮ яфыва");
    QTest::newRow("yo") << QByteArray("ЁЛКА ёлка Ёж ёжик ЁЁЁЁЁЁЁЁ ёёёёёёёё");
    QTest::newRow("other characters of the code page")
        << QByteArray("Сальник «Елабуга» №12 — 5 € ° Ђурђевац Ѓ ѓ Ї ї Є є Ў ў ґ");
    QTest::newRow("characters it lacks") << QByteArray("Ñandú Болт 😀 Ȁ");
    QTest::newRow("NUL") << QByteArray("Болт\0гайка", 19);
    QTest::newRow("cut character") << QByteArray("Болт гайка \xD0");
    QTest::newRow("stray bytes") << QByteArray("Болт \x80\x81 \xC0\x80 \xD0\xD0\x91 \xED\xA0\x80 шайба");
    QTest::newRow("continuation bytes") << QByteArray(20, '\x80') + "Болт";
    QTest::newRow("ASCII") << QByteArray("Bolt M10x1.25 GAZ-3110 zinc plated, pack of 100");
}

void TestCsvReader::utf8TextToCodePage()
{
    // At every place in the blocks the conversion takes at once, with the
    // same result as Qt's decoder gives, and no byte written past the room
    // the text itself took.
    QFETCH(QByteArray, text);
    for (int ascii = 0; ascii <= 16; ++ascii) {
        for (int letters = 0; letters <= 2; ++letters) {
            for (const int tail : {0, 1, 7, 15, 16}) {
                const QByteArray input =
                    QByteArray(ascii, 'x') + QByteArray("Ж").repeated(letters) + text + QByteArray(tail, 'y');
                const QString decoded = QString::fromUtf8(input);
                bool encodable = true;
                const QByteArray expected = Cp1251::encode(decoded, &encodable);
                const bool expectedExact = encodable && !input.contains('\0') && decoded.toUtf8() == input;

                QByteArray out(input.size() + 1, '#');
                bool exact = true;
                const char *end = CsvByteSplitter::utf8ToCp1251(input.constData(), input.constEnd(), out.data(), exact);
                QCOMPARE(out.back(), '#');
                QCOMPARE(exact, expectedExact);
                if (exact)
                    QCOMPARE(QByteArrayView(out.constData(), end - out.constData()), expected);
            }
        }
    }
}

void TestCsvReader::missingFileIsReported()
{
    QVERIFY_THROWS_EXCEPTION(OrdixError, CsvReader(m_dir.filePath(QStringLiteral("нет.csv"))));
    const QString path = m_dir.filePath(QStringLiteral("a.csv"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QVERIFY_THROWS_EXCEPTION(OrdixError, CsvReader(path, {"EBCDIC-no-such", 0}));
}

QTEST_GUILESS_MAIN(TestCsvReader)
#include "tst_csvreader.moc"
