#include <QtTest>

#include <cerrno>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <sys/sysmacros.h>
#endif
#ifdef Q_OS_WIN
#include <windows.h>
#endif

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>

#include "cp1251.h"
#ifdef Q_OS_UNIX
#include "filesizelimit.h"
#endif
#include "ordixerror.h"
#include "parallellinereader.h"
#include "recordtable.h"
#include "textfile.h"

namespace
{
    // The lines of one block, as the reader's users split them.
    struct LinesOfBlock : ParallelLineReader::Work
    {
        void parse(QByteArrayView block) override
        {
            lines.clear();
            TextFile::forEachLineOfBlock(block.data(), size_t(block.size()), true, [this](QByteArrayView line, size_t) {
                lines << QString::fromLatin1(line);
                return true;
            });
        }
        QStringList lines;
    };
}

class TestTextFile : public QObject
{
    Q_OBJECT

private slots:
    void splitField_data();
    void splitField();
    void splitFieldAdvancesPastSeparator();
    void splitFieldPastTheEnd();

    void wholeNumber_data();
    void wholeNumber();

    void lineEndings_data();
    void lineEndings();
    void parallelReaderStopsAndPassesErrors();
    void encodeEndsEveryLineWithCrLf();
    void russianTextRoundTripsThroughCodePage();
    void everyCodePageByteWritesAsUtf8();

    void readMissingFileGivesClearError();
    void writeIntoMissingFolderFailsClearly();
    void failedReplacementKeepsOldFile_data();
    void failedReplacementKeepsOldFile();
    void writeReplacesFile();
    void oddTargetsAndLinks_data();
    void oddTargetsAndLinks();
    void windowsTargets_data();
    void windowsTargets();
    void nameWithZeroCharacterIsRefused();

    void fileDateTime();
    void dateTimeText_data();
    void dateTimeText();
    void longDate_data();
    void longDate();

    void decimalParse_data();
    void decimalParse();
    void decimalSeparatorOnlyDotOrComma_data();
    void decimalSeparatorOnlyDotOrComma();
    void decimalFormat_data();
    void decimalFormat();
};

void TestTextFile::splitField_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QChar>("separator");
    QTest::addColumn<QStringList>("fields");

    const QChar bar = QLatin1Char('|');
    QTest::newRow("empty field in the middle") << "a||b" << bar << QStringList{"a", "", "b"};
    QTest::newRow("no empty last field") << "a|b|" << bar << QStringList{"a", "b"};
    QTest::newRow("empty line gives no field") << "" << bar << QStringList{};
    QTest::newRow("leading separator gives an empty first field") << "|a" << bar << QStringList{"", "a"};
    QTest::newRow("lone separator") << "|" << bar << QStringList{""};
    QTest::newRow("two separators") << "||" << bar << QStringList{"", ""};
    QTest::newRow("no separator") << "Болт М8" << bar << QStringList{"Болт М8"};
    QTest::newRow("semicolon") << "12;Болт;;5.50" << QChar(QLatin1Char(';')) << QStringList{"12", "Болт", "", "5.50"};
    QTest::newRow("bar is plain text under semicolon") << "a|b;c" << QChar(QLatin1Char(';')) << QStringList{"a|b", "c"};
    QTest::newRow("blanks are kept") << " a | b " << bar << QStringList{" a ", " b "};
}

void TestTextFile::splitField()
{
    QFETCH(QString, line);
    QFETCH(QChar, separator);
    QFETCH(QStringList, fields);

    QCOMPARE(splitAllFields(line, separator), fields);

    // The byte splitter agrees with the text splitter on the same line.
    const QByteArray bytes = line.toUtf8();
    QStringList byteFields;
    int position = 1;
    while (position <= bytes.size())
        byteFields.append(QString::fromUtf8(SplitField(QByteArrayView(bytes), position, char(separator.unicode()))));
    QCOMPARE(byteFields, fields);
}

void TestTextFile::splitFieldAdvancesPastSeparator()
{
    const QString line = QStringLiteral("12|Болт");
    int position = 1;
    QCOMPARE(SplitField(line, position, QLatin1Char('|')), QStringLiteral("12"));
    QCOMPARE(position, 4);
    QCOMPARE(SplitField(line, position, QLatin1Char('|')), QStringLiteral("Болт"));
    QCOMPARE(position, 8); // one past the end

    position = 3;
    QCOMPARE(SplitField(line, position, QLatin1Char('|')), QString());
    QCOMPARE(position, 4);
}

void TestTextFile::splitFieldPastTheEnd()
{
    // Readers that call the splitter a fixed number of times get empty
    // fields once the line is used up.
    const QString line = QStringLiteral("a|b");
    int position = 4;
    QCOMPARE(SplitField(line, position, QLatin1Char('|')), QString());
    QCOMPARE(position, 4);
    position = 10;
    QCOMPARE(SplitField(line, position, QLatin1Char('|')), QString());
    QCOMPARE(position, 4);

    const QByteArray bytes("a|b");
    position = 7;
    QVERIFY(SplitField(QByteArrayView(bytes), position, '|').isEmpty());
    QCOMPARE(position, 4);
}

void TestTextFile::wholeNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("value");

    QTest::newRow("plain") << "12" << true << 12;
    QTest::newRow("leading blank") << " 12" << true << 12;
    QTest::newRow("several leading blanks and sign") << "   -7" << true << -7;
    QTest::newRow("trailing blank") << "12 " << false << 0;
    QTest::newRow("minus zero") << "-0" << true << 0;
    QTest::newRow("plus sign") << "+5" << true << 5;
    QTest::newRow("leading zeros") << "00042" << true << 42;
    QTest::newRow("largest") << "2147483647" << true << 2147483647;
    QTest::newRow("one past the largest") << "2147483648" << false << 0;
    QTest::newRow("smallest") << "-2147483648" << true << int(-2147483647 - 1);
    QTest::newRow("one below the smallest") << "-2147483649" << false << 0;
    QTest::newRow("very long") << "99999999999999999999999" << false << 0;
    QTest::newRow("empty") << "" << false << 0;
    QTest::newRow("blank only") << "  " << false << 0;
    QTest::newRow("sign only") << "-" << false << 0;
    QTest::newRow("blank after sign") << "- 5" << false << 0;
    QTest::newRow("two signs") << "+-5" << false << 0;
    QTest::newRow("letters after digits") << "12a" << false << 0;
    QTest::newRow("blank inside") << "1 2" << false << 0;
    QTest::newRow("decimal") << "1.0" << false << 0;
    QTest::newRow("tab is no blank") << "\t12" << false << 0;
    QTest::newRow("special marker stays a number") << "-10101" << true << -10101;
}

void TestTextFile::wholeNumber()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(int, value);

    qint32 parsed = 12345;
    QCOMPARE(isWholeNumber(QStringView(text), &parsed), valid);
    if (valid)
        QCOMPARE(parsed, value);

    const QByteArray bytes = text.toLatin1();
    parsed = 12345;
    QCOMPARE(isWholeNumber(QByteArrayView(bytes), &parsed), valid);
    if (valid)
        QCOMPARE(parsed, value);
}

void TestTextFile::lineEndings_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n") << QStringList{"a", "b"};
    QTest::newRow("lone CR") << QByteArray("a\rb\r") << QStringList{"a", "b"};
    QTest::newRow("lone LF") << QByteArray("a\nb\n") << QStringList{"a", "b"};
    QTest::newRow("mixed") << QByteArray("a\r\nb\rc\nd\r\n") << QStringList{"a", "b", "c", "d"};
    QTest::newRow("no final line end") << QByteArray("a\r\nb") << QStringList{"a", "b"};
    QTest::newRow("empty lines kept") << QByteArray("a\r\n\r\nb\r\n") << QStringList{"a", "", "b"};
    QTest::newRow("LF CR is two line ends") << QByteArray("a\n\rb") << QStringList{"a", "", "b"};
    QTest::newRow("CR CR LF is one line end") << QByteArray("a\r\r\nb\r\r\n") << QStringList{"a", "b"};
    QTest::newRow("only a line end") << QByteArray("\r\n") << QStringList{""};
    QTest::newRow("empty file") << QByteArray() << QStringList{};
    QTest::newRow("final blank line") << QByteArray("a\r\n \r\n") << QStringList{"a", " "};
    // The file reader works in blocks of 1 MB: line ends across a block's end.
    const qsizetype block = qsizetype(1) << 20;
    const QByteArray fill(block - 1, 'x');
    QTest::newRow("CR LF across blocks") << fill + "\r\nb" << QStringList{QString::fromLatin1(fill), "b"};
    QTest::newRow("lone CR at a block's end") << fill + "\rb\n" << QStringList{QString::fromLatin1(fill), "b"};
    QTest::newRow("CR at a block's end ends the file") << fill + "\r" << QStringList{QString::fromLatin1(fill)};
    const QByteArray longLine(3 * block + 5, 'y');
    QTest::newRow("line longer than a block")
        << "a\r\n" + longLine + "\r\nb" << QStringList{"a", QString::fromLatin1(longLine), "b"};
}

void TestTextFile::lineEndings()
{
    QFETCH(QByteArray, contents);
    QFETCH(QStringList, lines);

    QCOMPARE(TextFile::decodeLines(contents), lines);

    QBuffer device(&contents);
    QVERIFY(device.open(QIODevice::ReadOnly));
    QStringList streamed;
    qint64 lastRead = 0;
    QVERIFY(TextFile::forEachLine(device, [&](QByteArrayView line, qint64 bytesRead) {
        streamed << QString::fromLatin1(line);
        lastRead = bytesRead;
        return true;
    }));
    QCOMPARE(streamed, lines);
    QCOMPARE(lastRead, contents.size());

    // Read in blocks on two threads, down to blocks of one byte, the lines
    // come back the same and in order.
    for (const size_t blockBytes : {size_t(1), size_t(2), size_t(3), size_t(64), size_t(1) << 20}) {
        QBuffer blocks(&contents);
        QVERIFY(blocks.open(QIODevice::ReadOnly));
        QStringList parallel;
        qint64 lastPosition = 0;
        QVERIFY(ParallelLineReader::run(
            blocks, contents.size(), [] { return std::make_unique<LinesOfBlock>(); },
            [&](ParallelLineReader::Work &work, qint64 position) {
                parallel << static_cast<LinesOfBlock &>(work).lines;
                lastPosition = position;
                return true;
            },
            blockBytes));
        QCOMPARE(parallel, lines);
        QCOMPARE(lastPosition, lines.isEmpty() ? 0 : contents.size());
    }

    const QList<QByteArray> raw = TextFile::splitLines(contents);
    QCOMPARE(raw.size(), lines.size());
    for (qsizetype i = 0; i < raw.size(); ++i)
        QCOMPARE(QString::fromLatin1(raw.at(i)), lines.at(i));

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("lines.txt"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(contents);
    file.close();
    QCOMPARE(TextFile::readLines(path), lines);
}

void TestTextFile::parallelReaderStopsAndPassesErrors()
{
    QByteArray contents;
    for (int i = 0; i < 5000; ++i)
        contents += QByteArray::number(i) + "\r\n";

    // Taking stops the reading: nothing after the block that said so.
    QBuffer device(&contents);
    QVERIFY(device.open(QIODevice::ReadOnly));
    QStringList taken;
    QVERIFY(ParallelLineReader::run(
        device, contents.size(), [] { return std::make_unique<LinesOfBlock>(); },
        [&](ParallelLineReader::Work &work, qint64) {
            taken << static_cast<LinesOfBlock &>(work).lines;
            return taken.size() < 100;
        },
        16));
    QVERIFY(taken.size() >= 100);
    QVERIFY(taken.size() < 110);
    QCOMPARE(taken.constLast(), QString::number(taken.size() - 1));

    // An error while a block is parsed, on whichever thread, reaches the
    // caller once; the rows before it were taken in order.
    struct Failing final : LinesOfBlock
    {
        void parse(QByteArrayView block) override
        {
            LinesOfBlock::parse(block);
            if (lines.contains(QStringLiteral("3000")))
                throw OrdixError(QStringLiteral("bad line 3000"));
        }
    };
    device.seek(0);
    taken.clear();
    QVERIFY_THROWS_EXCEPTION(OrdixError,
                             ParallelLineReader::run(
                                 device, contents.size(), [] { return std::make_unique<Failing>(); },
                                 [&](ParallelLineReader::Work &work, qint64) {
                                     taken << static_cast<LinesOfBlock &>(work).lines;
                                     return true;
                                 },
                                 64));
    QVERIFY(taken.size() <= 3000);
    for (qsizetype i = 0; i < taken.size(); ++i)
        QCOMPARE(taken.at(i), QString::number(i));
}

void TestTextFile::encodeEndsEveryLineWithCrLf()
{
    QCOMPARE(TextFile::encodeLines({"a", "", "b"}), QByteArray("a\r\n\r\nb\r\n"));
    QCOMPARE(TextFile::encodeLines({}), QByteArray());
    QCOMPARE(TextFile::encodeLines({""}), QByteArray("\r\n"));
}

void TestTextFile::everyCodePageByteWritesAsUtf8()
{
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    QByteArray utf8(3 * all.size(), Qt::Uninitialized);
    utf8.truncate(Cp1251::writeUtf8(all, utf8.data()));
    QCOMPARE(utf8, Cp1251::decode(all).toUtf8());
}

void TestTextFile::russianTextRoundTripsThroughCodePage()
{
    const QStringList lines{QStringLiteral("Привет, мир"), QStringLiteral("Ёж №5|ёж")};
    const QByteArray expected("\xCF\xF0\xE8\xE2\xE5\xF2, \xEC\xE8\xF0\r\n"
                              "\xA8\xE6 \xB9"
                              "5|\xB8\xE6\r\n");
    QCOMPARE(TextFile::encodeLines(lines), expected);
    QCOMPARE(TextFile::decodeLines(expected), lines);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("ЗАКАЗ.txt"));
    TextFile::writeLines(path, lines);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), expected);
    QCOMPARE(TextFile::readLines(path), lines);
}

void TestTextFile::readMissingFileGivesClearError()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("ZOLT.TXT"));
    try {
        TextFile::readLines(path);
        QFAIL("reading a missing file did not fail");
    } catch (const OrdixError &error) {
        QVERIFY2(error.message().startsWith(QStringLiteral("Не удалось прочитать файл ")), qPrintable(error.message()));
        QVERIFY2(error.message().contains(QDir::toNativeSeparators(path)), qPrintable(error.message()));
    }
}

void TestTextFile::writeIntoMissingFolderFailsClearly()
{
    // A parent that is a file makes the write fail even for root.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString blocker = dir.filePath(QStringLiteral("notafolder"));
    TextFile::writeLines(blocker, {"x"});
    const QString path = blocker + QStringLiteral("/order.txt");
    try {
        TextFile::writeLines(path, {"Заказ"});
        QFAIL("writing below a file did not fail");
    } catch (const OrdixError &error) {
        QVERIFY2(error.message().startsWith(QStringLiteral("Не удалось записать файл ")), qPrintable(error.message()));
        QVERIFY2(error.message().contains(QDir::toNativeSeparators(path)), qPrintable(error.message()));
    }
    QFile file(blocker);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("x\r\n"));
}

void TestTextFile::failedReplacementKeepsOldFile_data()
{
    QTest::addColumn<int>("size");
    // Small contents stay in the write buffer until the final flush; large
    // ones are written at once. Both must fail without touching the file.
    QTest::newRow("fails in the final flush") << 6000;
    QTest::newRow("fails while writing") << 64 * 1024;
}

void TestTextFile::failedReplacementKeepsOldFile()
{
#ifndef Q_OS_UNIX
    QSKIP("needs a file-size limit (setrlimit), which Windows lacks; windowsTargets covers failed replacements there");
#else
    QFETCH(int, size);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("order.txt"));
    TextFile::writeLines(path, {"old order"});

    const QByteArray big(size, 'x');
    bool failed = false;
    {
        FileSizeLimit limit(4096);
        QVERIFY(limit.isActive());
        try {
            TextFile::writeBytes(path, big);
        } catch (const OrdixError &error) {
            failed = true;
            QVERIFY2(error.message().startsWith(QStringLiteral("Не удалось записать файл ")),
                     qPrintable(error.message()));
            // The cause as the system names it ("File too large").
            QVERIFY2(error.message().endsWith(qt_error_string(EFBIG)), qPrintable(error.message()));
        }
    }
    QVERIFY(failed);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("old order\r\n"));
    // No half-written companion is left behind.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"order.txt"});
#endif
}

void TestTextFile::writeReplacesFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("order.txt"));
    TextFile::writeLines(path, {"first", "second", "third"});
    TextFile::writeLines(path, {"new"});
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("new\r\n"));
}

void TestTextFile::oddTargetsAndLinks_data()
{
    QTest::addColumn<QString>("target"); // what is in the file's place
    QTest::addColumn<bool>("keptFile");  // written as a schema file (Links::Replace)
    QTest::addColumn<bool>("refused");

    QTest::newRow("FIFO") << "fifo" << false << true;
    QTest::newRow("character device") << "device" << false << true;
    QTest::newRow("folder") << "folder" << false << true;
    QTest::newRow("link to a FIFO") << "link to fifo" << false << true;
    QTest::newRow("link to nothing") << "link to nothing" << false << true;
    QTest::newRow("link to a file: the file replaced") << "link to file" << false << false;
    QTest::newRow("kept file, link to a file: the link replaced") << "link to file" << true << false;
    QTest::newRow("kept file, link to nothing: the link replaced") << "link to nothing" << true << false;
    QTest::newRow("kept file, FIFO") << "fifo" << true << true;
}

void TestTextFile::oddTargetsAndLinks()
{
#ifndef Q_OS_UNIX
    QSKIP("FIFOs, device nodes and symbolic links as made here are POSIX; windowsTargets covers Windows");
#else
    QFETCH(QString, target);
    QFETCH(bool, keptFile);
    QFETCH(bool, refused);
    QTemporaryDir dir;
    QTemporaryDir outside;
    const QString path = dir.filePath(QStringLiteral("out.txt"));
    const QByteArray native = QFile::encodeName(path);
    const QString outsideFile = outside.filePath(QStringLiteral("file.txt"));
    const QString outsideFifo = outside.filePath(QStringLiteral("fifo"));
    QVERIFY(mkfifo(QFile::encodeName(outsideFifo).constData(), 0600) == 0);
    TextFile::writeBytes(outsideFile, "outside");

    if (target == QLatin1String("fifo"))
        QVERIFY(mkfifo(native.constData(), 0600) == 0);
    else if (target == QLatin1String("device") && mknod(native.constData(), S_IFCHR | 0600, makedev(1, 3)) != 0)
        QSKIP("no right to make a device node here");
    else if (target == QLatin1String("folder"))
        QVERIFY(QDir().mkdir(path));
    else if (target == QLatin1String("link to fifo"))
        QVERIFY(QFile::link(outsideFifo, path));
    else if (target == QLatin1String("link to nothing"))
        QVERIFY(QFile::link(outside.filePath(QStringLiteral("made.txt")), path));
    else if (target == QLatin1String("link to file"))
        QVERIFY(QFile::link(outsideFile, path));
    struct stat before
    { };
    QVERIFY(lstat(native.constData(), &before) == 0);

    const AtomicFile::Links links = keptFile ? AtomicFile::Links::Replace : AtomicFile::Links::Follow;
    QString message;
    try {
        TextFile::writeBytes(path, "new", links);
    } catch (const OrdixError &error) {
        message = error.message();
    }
    QCOMPARE(!message.isEmpty(), refused);
    struct stat after
    { };
    QVERIFY(lstat(native.constData(), &after) == 0);
    if (refused) {
        QVERIFY2(message.startsWith(QStringLiteral("Не удалось записать файл ") + path + QLatin1Char(':')),
                 qPrintable(message));
        QCOMPARE(after.st_mode, before.st_mode);
        QCOMPARE(after.st_ino, before.st_ino);
    } else if (keptFile) {
        QVERIFY(S_ISREG(after.st_mode));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("new"));
    } else {
        QVERIFY(S_ISLNK(after.st_mode));
    }
    // Nothing reaches outside but through a followed link to a file.
    QFile file(outsideFile);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray(!refused && !keptFile ? "new" : "outside"));
    QCOMPARE(
        QDir(outside.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System).size(),
        2);
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System),
             QStringList{"out.txt"});
#endif
}

void TestTextFile::windowsTargets_data()
{
    QTest::addColumn<QString>("name");    // the file written
    QTest::addColumn<QString>("blocker"); // what stands in the way, if anything
    QTest::addColumn<bool>("refused");

    QTest::newRow("plain file replaced") << "order.txt"
                                         << "" << false;
    QTest::newRow("held open by another program") << "order.txt"
                                                  << "open" << true;
    QTest::newRow("read-only file") << "order.txt"
                                    << "read-only" << true;
    QTest::newRow("device name") << "NUL"
                                 << "" << true;
    QTest::newRow("device name with extension") << "con.txt"
                                                << "" << true;
    QTest::newRow("serial port, lower case") << "com1"
                                             << "" << true;
    QTest::newRow("a name that only starts like a device") << "console.txt"
                                                           << "" << false;
}

void TestTextFile::windowsTargets()
{
#ifndef Q_OS_WIN
    QSKIP("Windows file system rules");
#else
    QFETCH(QString, name);
    QFETCH(QString, blocker);
    QFETCH(bool, refused);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(name);
    const bool device = name.compare(QStringLiteral("console.txt"), Qt::CaseInsensitive) != 0
        && !name.startsWith(QStringLiteral("order"));
    if (!device)
        TextFile::writeBytes(path, "old");
    QFile holder(path);
    const std::wstring native = QDir::toNativeSeparators(path).toStdWString();
    if (blocker == QLatin1String("open")) {
        QVERIFY(holder.open(QIODevice::ReadOnly)); // opened without delete sharing, as most programs do
    } else if (blocker == QLatin1String("read-only")) {
        QVERIFY(::SetFileAttributesW(native.c_str(), FILE_ATTRIBUTE_READONLY));
    }
    const auto restore = qScopeGuard([&] {
        holder.close();
        ::SetFileAttributesW(native.c_str(), FILE_ATTRIBUTE_NORMAL);
    });

    QString message;
    try {
        TextFile::writeBytes(path, "new");
    } catch (const OrdixError &error) {
        message = error.message();
    }
    QVERIFY2(message.isEmpty() != refused, qPrintable(message));
    if (refused)
        QVERIFY2(message.startsWith(QStringLiteral("Не удалось записать файл ")), qPrintable(message));
    holder.close();
    if (!device) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray(refused ? "old" : "new"));
    }
    // No companion is left behind, whatever happened.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
             device ? QStringList() : QStringList{name});
#endif
}

void TestTextFile::fileDateTime()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("ZOLT_OLD.TXT"));
    QVERIFY(TextFile::fileDateTime(path).isNull());

    TextFile::writeLines(path, {"x"});
    const QDateTime stamp(QDate(2026, 12, 8), QTime(14, 5, 9));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(stamp, QFileDevice::FileModificationTime));
    file.close();
    QCOMPARE(TextFile::fileDateTime(path), stamp);
    QCOMPARE(TextFile::dateTimeText(TextFile::fileDateTime(path)), QStringLiteral("08.12.2026 14:05:09"));
}

void TestTextFile::dateTimeText_data()
{
    QTest::addColumn<QDateTime>("dateTime");
    QTest::addColumn<QString>("text");

    QTest::newRow("afternoon") << QDateTime(QDate(2026, 12, 8), QTime(14, 5, 9)) << "08.12.2026 14:05:09";
    QTest::newRow("morning has two-digit hours")
        << QDateTime(QDate(2026, 1, 5), QTime(9, 0, 0)) << "05.01.2026 09:00:00";
    QTest::newRow("exact midnight leaves the time out") << QDateTime(QDate(2026, 12, 8), QTime(0, 0)) << "08.12.2026";
    QTest::newRow("one second after midnight")
        << QDateTime(QDate(2026, 12, 8), QTime(0, 0, 1)) << "08.12.2026 00:00:01";
    QTest::newRow("null") << QDateTime() << "";
}

void TestTextFile::dateTimeText()
{
    QFETCH(QDateTime, dateTime);
    QFETCH(QString, text);
    QCOMPARE(TextFile::dateTimeText(dateTime), text);
    if (dateTime.isValid())
        QCOMPARE(TextFile::shortDate(dateTime.date()), text.left(10));
}

void TestTextFile::longDate_data()
{
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QString>("text");

    QTest::newRow("December") << QDate(2026, 12, 8) << "8 декабря 2026";
    QTest::newRow("January") << QDate(2027, 1, 1) << "1 января 2027";
    QTest::newRow("March") << QDate(2025, 3, 3) << "3 марта 2025";
    QTest::newRow("May") << QDate(2026, 5, 31) << "31 мая 2026";
    QTest::newRow("August") << QDate(2026, 8, 15) << "15 августа 2026";
}

void TestTextFile::longDate()
{
    QFETCH(QDate, date);
    QFETCH(QString, text);
    QCOMPARE(TextFile::longDate(date), text);
}

void TestTextFile::decimalParse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QChar>("separator");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<double>("value");

    const QChar dot = QLatin1Char('.');
    const QChar comma = QLatin1Char(',');
    QTest::newRow("dot") << "5.50" << dot << true << 5.5;
    QTest::newRow("comma under dot") << "5,50" << dot << false << 0.0;
    QTest::newRow("comma") << "5,50" << comma << true << 5.5;
    QTest::newRow("dot under comma") << "5.50" << comma << false << 0.0;
    QTest::newRow("whole") << "12" << dot << true << 12.0;
    QTest::newRow("blanks around and minus") << "  -3.5 " << dot << true << -3.5;
    QTest::newRow("plus") << "+2.25" << dot << true << 2.25;
    QTest::newRow("two separators") << "1.2.3" << dot << false << 0.0;
    QTest::newRow("separator only") << "." << dot << false << 0.0;
    QTest::newRow("empty") << "" << dot << false << 0.0;
    QTest::newRow("letters") << "abc" << dot << false << 0.0;
    QTest::newRow("exponent") << "1e5" << dot << false << 0.0;
    QTest::newRow("grouping blank") << "1 000.00" << dot << false << 0.0;
    QTest::newRow("sign after blank inside") << "- 1" << dot << false << 0.0;
}

void TestTextFile::decimalParse()
{
    QFETCH(QString, text);
    QFETCH(QChar, separator);
    QFETCH(bool, valid);
    QFETCH(double, value);

    const QChar previous = Decimal::separator();
    const auto restore = qScopeGuard([previous] { Decimal::setSeparator(previous); });
    Decimal::setSeparator(separator);

    double parsed = -1;
    QCOMPARE(Decimal::parse(QStringView(text), &parsed), valid);
    if (valid)
        QCOMPARE(parsed, value);
    parsed = -1;
    const QByteArray bytes = text.toLatin1();
    QCOMPARE(Decimal::parse(QByteArrayView(bytes), &parsed), valid);
    if (valid)
        QCOMPARE(parsed, value);
}

void TestTextFile::decimalSeparatorOnlyDotOrComma_data()
{
    QTest::addColumn<QChar>("requested");
    QTest::addColumn<QChar>("inForce");
    QTest::newRow("dot") << QChar(QLatin1Char('.')) << QChar(QLatin1Char('.'));
    QTest::newRow("comma") << QChar(QLatin1Char(',')) << QChar(QLatin1Char(','));
    QTest::newRow("semicolon gives dot") << QChar(QLatin1Char(';')) << QChar(QLatin1Char('.'));
    QTest::newRow("letter gives dot") << QChar(QLatin1Char('x')) << QChar(QLatin1Char('.'));
}

void TestTextFile::decimalSeparatorOnlyDotOrComma()
{
    QFETCH(QChar, requested);
    QFETCH(QChar, inForce);
    const QChar previous = Decimal::separator();
    const auto restore = qScopeGuard([previous] { Decimal::setSeparator(previous); });
    Decimal::setSeparator(QLatin1Char(','));
    Decimal::setSeparator(requested);
    QCOMPARE(Decimal::separator(), inForce);
}

void TestTextFile::decimalFormat_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<QChar>("separator");
    QTest::addColumn<QString>("plain");
    QTest::addColumn<QString>("grouped");

    const QChar dot = QLatin1Char('.');
    const QChar comma = QLatin1Char(',');
    QTest::newRow("millions") << 1234567.5 << 2 << dot << "1234567.50"
                              << "1 234 567.50";
    QTest::newRow("millions with comma") << 1234567.5 << 2 << comma << "1234567,50"
                                         << "1 234 567,50";
    QTest::newRow("negative thousands") << -1234.5 << 2 << dot << "-1234.50"
                                        << "-1 234.50";
    QTest::newRow("three digits need no group") << 123.0 << 2 << dot << "123.00"
                                                << "123.00";
    QTest::newRow("below one") << 0.5 << 2 << dot << "0.50"
                               << "0.50";
    QTest::newRow("rounding carries into a new group") << 999.999 << 2 << dot << "1000.00"
                                                       << "1 000.00";
    QTest::newRow("tiny negative has no minus") << -0.001 << 2 << dot << "0.00"
                                                << "0.00";
    QTest::newRow("no decimals") << 1234567.0 << 0 << dot << "1234567"
                                 << "1 234 567";
    QTest::newRow("negative six digits") << -123456.0 << 0 << dot << "-123456"
                                         << "-123 456";
    // Money rounds half away from zero on the decimal value, not the binary one.
    QTest::newRow("1.005 rounds up") << 1.005 << 2 << dot << "1.01"
                                     << "1.01";
    QTest::newRow("2.675 rounds up") << 2.675 << 2 << dot << "2.68"
                                     << "2.68";
    QTest::newRow("0.125 rounds up") << 0.125 << 2 << dot << "0.13"
                                     << "0.13";
    QTest::newRow("1.015 rounds up") << 1.015 << 2 << comma << "1,02"
                                     << "1,02";
    QTest::newRow("-1.005 rounds away from zero") << -1.005 << 2 << dot << "-1.01"
                                                  << "-1.01";
    QTest::newRow("-2.675 rounds away from zero") << -2.675 << 2 << dot << "-2.68"
                                                  << "-2.68";
    QTest::newRow("0.005 gives a kopeck") << 0.005 << 2 << dot << "0.01"
                                          << "0.01";
    QTest::newRow("1.0049 stays down") << 1.0049 << 2 << dot << "1.00"
                                       << "1.00";
    QTest::newRow("half a kopeck carries into thousands") << 999.995 << 2 << dot << "1000.00"
                                                          << "1 000.00";
    QTest::newRow("large amount") << 1234567.125 << 2 << dot << "1234567.13"
                                  << "1 234 567.13";
    QTest::newRow("amount x count") << 0.1 * 3 << 2 << dot << "0.30"
                                    << "0.30";
    QTest::newRow("half rounds up without decimals") << 2.5 << 0 << dot << "3"
                                                     << "3";
}

void TestTextFile::decimalFormat()
{
    QFETCH(double, value);
    QFETCH(int, decimals);
    QFETCH(QChar, separator);
    QFETCH(QString, plain);
    QFETCH(QString, grouped);

    const QChar previous = Decimal::separator();
    const auto restore = qScopeGuard([previous] { Decimal::setSeparator(previous); });
    Decimal::setSeparator(separator);
    QCOMPARE(Decimal::format(value, decimals), plain);
    QCOMPARE(Decimal::formatGrouped(value, decimals), grouped);
    // The grids' money mask rounds the same way.
    if (decimals == 2)
        QCOMPARE(RecordTable::formatByMask(value, QStringLiteral("# ### ##0.00 р.")), grouped + QStringLiteral(" р."));
}

void TestTextFile::nameWithZeroCharacterIsRefused()
{
    QTemporaryDir dir;
    const QString bad = dir.filePath(QStringLiteral("bad")) + QChar(0) + QStringLiteral("name.txt");
    QVERIFY_THROWS_EXCEPTION(OrdixError, TextFile::writeBytes(bad, QByteArray("x")));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("bad"))));
}

QTEST_GUILESS_MAIN(TestTextFile)
#include "tst_textfile.moc"
