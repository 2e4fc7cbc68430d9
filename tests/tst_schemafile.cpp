#include <QtTest>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "ordixerror.h"
#include "priceloader.h"
#include "schemafile.h"
#include "textfile.h"

namespace
{

    bool sameFields(const QList<FieldDef> &a, const QList<FieldDef> &b)
    {
        if (a.size() != b.size())
            return false;
        for (qsizetype i = 0; i < a.size(); ++i) {
            if (a[i].name != b[i].name || a[i].type != b[i].type || a[i].width != b[i].width)
                return false;
        }
        return true;
    }
}

class TestSchemaFile : public QObject
{
    Q_OBJECT

private slots:
    void priceSchemaBytes();
    void writeReadRemove();
    void notASchema_data();
    void notASchema();
    void unwritableFolder();
    void linksInThePlaceAreReplacedNotFollowed_data();
    void linksInThePlaceAreReplacedNotFollowed();
};

void TestSchemaFile::priceSchemaBytes()
{
    const QByteArray expected("<?xml version=\"1.0\" encoding=\"windows-1251\" standalone=\"yes\"?>\r\n"
                              "<DATAPACKET Version=\"2.0\"><METADATA><FIELDS>\r\n"
                              "<FIELD attrname=\"AvailabilityFlag\" fieldtype=\"i2\"/>\r\n"
                              "<FIELD attrname=\"CODE\" fieldtype=\"i4\"/>\r\n"
                              "<FIELD attrname=\"Name\" fieldtype=\"string\" WIDTH=\"200\"/>\r\n"
                              "<FIELD attrname=\"CatalogID\" fieldtype=\"string\" WIDTH=\"100\"/>\r\n"
                              "<FIELD attrname=\"ProductionOf\" fieldtype=\"string\" WIDTH=\"100\"/>\r\n"
                              "<FIELD attrname=\"Pack\" fieldtype=\"string\" WIDTH=\"20\"/>\r\n"
                              "<FIELD attrname=\"Price\" fieldtype=\"r8\"/>\r\n"
                              "<FIELD attrname=\"Group\" fieldtype=\"string\" WIDTH=\"200\"/>\r\n"
                              "<FIELD attrname=\"Analogue\" fieldtype=\"string\" WIDTH=\"200\"/>\r\n"
                              "<FIELD attrname=\"OldPrice\" fieldtype=\"r8\"/>\r\n"
                              "</FIELDS><PARAMS/></METADATA><ROWDATA></ROWDATA></DATAPACKET>\r\n");
    QCOMPARE(SchemaFile::serialize(PriceLoader::priceFields()), expected);
}

void TestSchemaFile::writeReadRemove()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("DStruct.xml"));
    TextFile::writeLines(path, {"an older, longer file that must be replaced completely", "x", "y"});

    SchemaFile::write(path, PriceLoader::priceFields());
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), SchemaFile::serialize(PriceLoader::priceFields()));
    file.close();
    QVERIFY(sameFields(SchemaFile::read(path), PriceLoader::priceFields()));
    const QList<FieldDef> named{{QStringLiteral("ЮЋ&quot;<>\""), FieldType::String, 5}}; // ЮЋ: DE 8E, UTF-8 too
    SchemaFile::write(path, named);
    QVERIFY(sameFields(SchemaFile::read(path), named));

    SchemaFile::remove(path);
    QVERIFY(!QFile::exists(path));
    SchemaFile::remove(path); // a missing file is no error
}

void TestSchemaFile::notASchema_data()
{
    QTest::addColumn<QStringList>("lines");
    const QString declaration = QStringLiteral(R"(<?xml version="1.0" encoding="windows-1251" standalone="yes"?>)");
    const QString opening = QStringLiteral(R"(<DATAPACKET Version="2.0"><METADATA><FIELDS>)");
    const QString closing = QStringLiteral(R"(</FIELDS><PARAMS/></METADATA><ROWDATA></ROWDATA></DATAPACKET>)");

    QTest::newRow("price list") << QStringList{"Код|Наименование", "12|Болт"};
    QTest::newRow("empty file") << QStringList{};
    QTest::newRow("no closing line") << QStringList{declaration, opening, R"(<FIELD attrname="CODE" fieldtype="i4"/>)"};
    QTest::newRow("unknown type") << QStringList{declaration, opening, R"(<FIELD attrname="CODE" fieldtype="i8"/>)",
                                                 closing};
    QTest::newRow("text without width") << QStringList{declaration, opening,
                                                       R"(<FIELD attrname="Name" fieldtype="string"/>)", closing};
    QTest::newRow("number with width") << QStringList{declaration, opening,
                                                      R"(<FIELD attrname="CODE" fieldtype="i4" WIDTH="5"/>)", closing};
    QTest::newRow("byte the code page lacks") // "~" stands for 98, no character in Windows-1251
        << QStringList{declaration, opening, R"(<FIELD attrname="CO~DE" fieldtype="i4"/>)", closing};
}

void TestSchemaFile::notASchema()
{
    QFETCH(QStringList, lines);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("RModels.xml"));
    TextFile::writeBytes(path, TextFile::encodeLines(lines).replace('~', '\x98'));
    QVERIFY_THROWS_EXCEPTION(OrdixError, SchemaFile::read(path));
}

void TestSchemaFile::unwritableFolder()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString blocker = dir.filePath(QStringLiteral("file"));
    TextFile::writeLines(blocker, {"x"});
    try {
        SchemaFile::write(blocker + QStringLiteral("/DStruct.xml"), PriceLoader::priceFields());
        QFAIL("writing below a file did not fail");
    } catch (const OrdixError &error) {
        QVERIFY2(error.message().contains(QStringLiteral("DStruct.xml")), qPrintable(error.message()));
    }
}

QTEST_GUILESS_MAIN(TestSchemaFile)
void TestSchemaFile::linksInThePlaceAreReplacedNotFollowed_data()
{
    QTest::addColumn<bool>("targetExists");
    QTest::newRow("link to another folder's file") << true;
    QTest::newRow("dangling link to another folder") << false;
}

void TestSchemaFile::linksInThePlaceAreReplacedNotFollowed()
{
    QFETCH(bool, targetExists);
    QTemporaryDir dir;
    QTemporaryDir outside;
    const QString target = outside.filePath(QStringLiteral("target.xml"));
    if (targetExists)
        TextFile::writeBytes(target, "someone else's");
    const QString path = dir.filePath(QStringLiteral("DStruct.xml"));
    QVERIFY(QFile::link(target, path));
    const QList<FieldDef> fields{{QStringLiteral("CODE"), FieldType::I4, 0}};

    SchemaFile::write(path, fields);
    QVERIFY(!QFileInfo(path).isSymLink());
    QCOMPARE(SchemaFile::read(path).size(), 1);
    SchemaFile::remove(path);
    QVERIFY(!QFileInfo::exists(path));

    // Removing goes for the link, not the file it names.
    QVERIFY(QFile::link(target, path));
    SchemaFile::remove(path);
    QVERIFY(!QFileInfo(path).isSymLink());
    QCOMPARE(QFileInfo::exists(target), targetExists);
    if (targetExists) {
        QFile file(target);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("someone else's"));
    }
}

#include "tst_schemafile.moc"
