#include <QtTest>

#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>

#include "filesizelimit.h"
#include "scriptedprompts.h"
#include "settings.h"
#include "textfile.h"

namespace
{
    // A complete user.ini as the program writes it; "ООО Ромашка" and
    // "г. Тула" in Windows-1251.
    const QByteArray fullIni("Customer=\xCE\xCE\xCE \xD0\xEE\xEC\xE0\xF8\xEA\xE0\r\n"
                             "Discount=-3.50\r\n"
                             "UserWSL=2\r\n"
                             "Pack=no\r\n"
                             "Delivery=yes\r\n"
                             "Payment=clearing\r\n"
                             "Addr=\xE3. \xD2\xF3\xEB\xE0\r\n"
                             "Phone=+7 4872 00-00-00\r\n"
                             "Contact=Petrov\r\n"
                             "Bank=Bank\r\n"
                             "BIK=044525000\r\n"
                             "SettlementAccount=40702810000000000001\r\n"
                             "CorrespondentAccount=30101810400000000225\r\n"
                             "INN=7100000000\r\n"
                             "\r\n"
                             "URL=http://mirror.example/data/pricetxt.exe\r\n"
                             "AutoLoadPrice=YES\r\n"
                             "defaultDecimalSeparator=.\r\n"
                             "defaultPriceSeparator=;\r\n"
                             "ShowLegend=no\r\n"
                             "DefaultCurrency=$\r\n");

    const QByteArray defaultIni("Customer=\r\n"
                                "Discount=0.00\r\n"
                                "UserWSL=1\r\n"
                                "Pack=yes\r\n"
                                "Delivery=no\r\n"
                                "Payment=cash\r\n"
                                "Addr=\r\n"
                                "Phone=\r\n"
                                "Contact=\r\n"
                                "Bank=\r\n"
                                "BIK=\r\n"
                                "SettlementAccount=\r\n"
                                "CorrespondentAccount=\r\n"
                                "INN=\r\n"
                                "\r\n"
                                "URL=http://www.zolt.example/data/pricetxt.exe\r\n"
                                "AutoLoadPrice=no\r\n"
                                "defaultDecimalSeparator=.\r\n"
                                "defaultPriceSeparator=|\r\n"
                                "ShowLegend=yes\r\n"
                                "DefaultCurrency=\xF0.\r\n");

    const QString saveQuestion = QStringLiteral("Can't save user information into user.ini file.");

    // Sets the program-wide separator for one test and restores it.
    auto useDecimalSeparator(QChar separator)
    {
        const QChar previous = Decimal::separator();
        Decimal::setSeparator(separator);
        return qScopeGuard([previous] { Decimal::setSeparator(previous); });
    }

    QByteArray readAll(const QString &path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return QByteArray();
        return file.readAll();
    }

    QStringList currencyTexts(const QList<RCurrency> &list, QChar decimalSeparator)
    {
        QStringList texts;
        for (qsizetype i = 0; i < list.size(); ++i)
            texts.append(Currencies::displayText(list.at(i), i == 0, decimalSeparator));
        return texts;
    }

    // Answers Retry once after taking away what blocked the write.
    class UnblockingPrompts final : public UserPrompts
    {
    public:
        explicit UnblockingPrompts(QString blocker)
            : m_blocker(std::move(blocker))
        { }
        int asked = 0;
        Answer askYesNo(const QString &) override { return Answer::No; }
        Answer askYesNoCancel(const QString &) override { return Answer::Cancel; }
        void message(const QString &, Icon, const QString &) override { }
        Answer askRetryCancel(const QString &, const QString &) override
        {
            ++asked;
            QFile::remove(m_blocker);
            QDir().mkpath(m_blocker);
            return Answer::Retry;
        }
        QString openFile(const FileDialog &) override { return QString(); }
        QString saveFile(const FileDialog &) override { return QString(); }
        bool askQuantity(const QuantityRequest &, int *) override { return false; }

    private:
        QString m_blocker;
    };
}

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void fullFileRoundTripsByteForByte();
    void missingFileGivesDefaults();
    void defaultsAreSavedInFixedOrder();
    void emptyFileLeavesTextSettingsEmpty();

    void discountUsesTheFilesSeparator_data();
    void discountUsesTheFilesSeparator();
    void discountIsWrittenWithSeparatorInForce_data();
    void discountIsWrittenWithSeparatorInForce();

    void priceMode_data();
    void priceMode();
    void showLegend_data();
    void showLegend();
    void keyLookup_data();
    void keyLookup();
    void separators_data();
    void separators();
    void effectiveDecimalSeparator_data();
    void effectiveDecimalSeparator();

    void saveAsksRetryUntilCancel();
    void retryWritesOnceTheCauseIsGone();
    void failedSaveKeepsOldFile();
    void saveWithoutPromptsReportsFailure();

    void currencyList_data();
    void currencyList();
    void currencyRates();
    void indexOfSymbol_data();
    void indexOfSymbol();
};

void TestSettings::fullFileRoundTripsByteForByte()
{
    const auto restore = useDecimalSeparator(QLatin1Char('.'));
    const Settings s = SettingsFile::parse(fullIni);
    QCOMPARE(s.customer, QStringLiteral("ООО Ромашка"));
    QCOMPARE(s.discount, -3.5f);
    QCOMPARE(s.priceMode, 2);
    QCOMPARE(s.pack, QStringLiteral("no"));
    QCOMPARE(s.delivery, QStringLiteral("yes"));
    QCOMPARE(s.payment, QStringLiteral("clearing"));
    QCOMPARE(s.addr, QStringLiteral("г. Тула"));
    QCOMPARE(s.phone, QStringLiteral("+7 4872 00-00-00"));
    QCOMPARE(s.contact, QStringLiteral("Petrov"));
    QCOMPARE(s.bank, QStringLiteral("Bank"));
    QCOMPARE(s.bik, QStringLiteral("044525000"));
    QCOMPARE(s.settlementAccount, QStringLiteral("40702810000000000001"));
    QCOMPARE(s.correspondentAccount, QStringLiteral("30101810400000000225"));
    QCOMPARE(s.inn, QStringLiteral("7100000000"));
    QCOMPARE(s.url, QStringLiteral("http://mirror.example/data/pricetxt.exe"));
    QCOMPARE(s.autoLoadPrice, QStringLiteral("YES"));
    QVERIFY(s.autoLoad());
    QCOMPARE(s.decimalSeparator, QLatin1Char('.'));
    QCOMPARE(s.priceSeparator, QLatin1Char(';'));
    QCOMPARE(s.showLegend, false);
    QCOMPARE(s.defaultCurrency, QStringLiteral("$"));

    QCOMPARE(SettingsFile::serialize(s), fullIni);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("user.ini"));
    ScriptedPrompts prompts;
    QVERIFY(SettingsFile::save(s, path, &prompts));
    QVERIFY(prompts.records().isEmpty());
    QCOMPARE(readAll(path), fullIni);
    QCOMPARE(SettingsFile::serialize(SettingsFile::load(path)), fullIni);
}

void TestSettings::missingFileGivesDefaults()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const Settings s = SettingsFile::load(dir.filePath(QStringLiteral("user.ini")));
    QCOMPARE(s.customer, QString());
    QCOMPARE(s.inn, QString());
    QCOMPARE(s.delivery, QStringLiteral("no"));
    QCOMPARE(s.pack, QStringLiteral("yes"));
    QCOMPARE(s.payment, QStringLiteral("cash"));
    QCOMPARE(s.discount, 0.0f);
    QCOMPARE(s.priceMode, 1);
    QCOMPARE(s.url, QStringLiteral("http://www.zolt.example/data/pricetxt.exe"));
    QCOMPARE(s.autoLoadPrice, QStringLiteral("no"));
    QVERIFY(!s.autoLoad());
    QCOMPARE(s.decimalSeparator, QLatin1Char('.'));
    QCOMPARE(s.priceSeparator, QLatin1Char('|'));
    QCOMPARE(s.showLegend, true);
    QCOMPARE(s.defaultCurrency, QStringLiteral("р."));
    QCOMPARE(s.currentCurrency.rate, 1.0f);
    QCOMPARE(s.currentCurrency.name, QStringLiteral("Рубль"));
    QCOMPARE(s.currentCurrency.symbol, QStringLiteral("р."));
}

void TestSettings::defaultsAreSavedInFixedOrder()
{
    const auto restore = useDecimalSeparator(QLatin1Char('.'));
    QCOMPARE(SettingsFile::serialize(Settings()), defaultIni);
}

void TestSettings::emptyFileLeavesTextSettingsEmpty()
{
    // Unlike a missing file, an existing file without the keys gives empty
    // texts, not the defaults, and hides the legend.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("user.ini"));
    QVERIFY(QFile(path).open(QIODevice::WriteOnly));
    const Settings s = SettingsFile::load(path);
    QCOMPARE(s.delivery, QString());
    QCOMPARE(s.pack, QString());
    QCOMPARE(s.payment, QString());
    QCOMPARE(s.url, QString());
    QCOMPARE(s.defaultCurrency, QString());
    QCOMPARE(s.discount, 0.0f);
    QCOMPARE(s.priceMode, 1);
    QCOMPARE(s.decimalSeparator, QLatin1Char('.'));
    QCOMPARE(s.priceSeparator, QLatin1Char('|'));
    QCOMPARE(s.showLegend, false);
}

void TestSettings::discountUsesTheFilesSeparator_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QChar>("programSeparator");
    QTest::addColumn<float>("discount");

    const QChar dot = QLatin1Char('.');
    const QChar comma = QLatin1Char(',');
    QTest::newRow("dot file under comma program")
        << QByteArray("Discount=5.00\r\ndefaultDecimalSeparator=.\r\n") << comma << 5.0f;
    QTest::newRow("comma file under dot program")
        << QByteArray("Discount=5,00\r\ndefaultDecimalSeparator=,\r\n") << dot << 5.0f;
    QTest::newRow("separator line after the discount")
        << QByteArray("defaultDecimalSeparator=,\r\nDiscount=7,25\r\n") << dot << 7.25f;
    QTest::newRow("comma without separator line") << QByteArray("Discount=5,00\r\n") << comma << 0.0f;
    QTest::newRow("odd separator means dot")
        << QByteArray("Discount=5.25\r\ndefaultDecimalSeparator=;\r\n") << comma << 5.25f;
    QTest::newRow("markup") << QByteArray("Discount=-3.50\r\n") << dot << -3.5f;
    QTest::newRow("accumulative") << QByteArray("Discount=111.00\r\n") << dot << 111.0f;
    QTest::newRow("no number") << QByteArray("Discount=abc\r\n") << dot << 0.0f;
    QTest::newRow("beyond the float range") << QByteArray("Discount=1" + QByteArray(60, '0') + "\r\n") << dot << 0.0f;
}

void TestSettings::discountUsesTheFilesSeparator()
{
    QFETCH(QByteArray, contents);
    QFETCH(QChar, programSeparator);
    QFETCH(float, discount);

    const auto restore = useDecimalSeparator(programSeparator);
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    const auto restoreLocale = qScopeGuard([] { QLocale::setDefault(QLocale::c()); });
    QCOMPARE(SettingsFile::parse(contents).discount, discount);
}

void TestSettings::discountIsWrittenWithSeparatorInForce_data()
{
    QTest::addColumn<float>("discount");
    QTest::addColumn<QChar>("separator");
    QTest::addColumn<QByteArray>("line");

    const QChar dot = QLatin1Char('.');
    const QChar comma = QLatin1Char(',');
    QTest::newRow("percent") << 5.0f << dot << QByteArray("Discount=5.00\r\n");
    QTest::newRow("percent with comma") << 5.0f << comma << QByteArray("Discount=5,00\r\n");
    QTest::newRow("markup") << -3.5f << dot << QByteArray("Discount=-3.50\r\n");
    QTest::newRow("accumulative") << 111.0f << dot << QByteArray("Discount=111.00\r\n");
    QTest::newRow("float rounding") << 2.675f << dot << QByteArray("Discount=2.67\r\n");
}

void TestSettings::discountIsWrittenWithSeparatorInForce()
{
    QFETCH(float, discount);
    QFETCH(QChar, separator);
    QFETCH(QByteArray, line);

    const auto restore = useDecimalSeparator(separator);
    Settings s;
    s.discount = discount;
    const QByteArray bytes = SettingsFile::serialize(s);
    QVERIFY2(bytes.contains(QByteArray("\r\n" + line)), bytes.constData());
}

void TestSettings::priceMode_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<int>("mode");
    QTest::newRow("1") << QByteArray("1") << 1;
    QTest::newRow("2") << QByteArray("2") << 2;
    QTest::newRow("leading blank") << QByteArray(" 2") << 2;
    QTest::newRow("0") << QByteArray("0") << 1;
    QTest::newRow("3") << QByteArray("3") << 1;
    QTest::newRow("-2") << QByteArray("-2") << 1;
    QTest::newRow("abc") << QByteArray("abc") << 1;
    QTest::newRow("trailing blank") << QByteArray("2 ") << 1;
    QTest::newRow("empty") << QByteArray("") << 1;
    QTest::newRow("out of range") << QByteArray("4294967298") << 1;
}

void TestSettings::priceMode()
{
    QFETCH(QByteArray, value);
    QFETCH(int, mode);
    QCOMPARE(SettingsFile::parse("UserWSL=" + value + "\r\n").priceMode, mode);
}

void TestSettings::showLegend_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<bool>("shown");
    QTest::newRow("yes") << QByteArray("ShowLegend=yes\r\n") << true;
    QTest::newRow("Yes with capital") << QByteArray("ShowLegend=Yes\r\n") << false;
    QTest::newRow("YES") << QByteArray("ShowLegend=YES\r\n") << false;
    QTest::newRow("trailing blank") << QByteArray("ShowLegend=yes \r\n") << false;
    QTest::newRow("no") << QByteArray("ShowLegend=no\r\n") << false;
    QTest::newRow("key in other case") << QByteArray("showlegend=yes\r\n") << true;
    QTest::newRow("missing key") << QByteArray("Customer=x\r\n") << false;
}

void TestSettings::showLegend()
{
    QFETCH(QByteArray, contents);
    QFETCH(bool, shown);
    QCOMPARE(SettingsFile::parse(contents).showLegend, shown);
}

void TestSettings::keyLookup_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("customer");
    QTest::newRow("blanks around the equals sign") << QByteArray(" Customer = x\r\n") << "";
    QTest::newRow("blank before the equals sign") << QByteArray("Customer =x\r\n") << "";
    QTest::newRow("lower case key") << QByteArray("customer=x\r\n") << "x";
    QTest::newRow("upper case key") << QByteArray("CUSTOMER=\xC8\xE2\xE0\xED\xEE\xE2\r\n") << "Иванов";
    QTest::newRow("first line wins") << QByteArray("Customer=a\r\nCustomer=b\r\n") << "a";
    QTest::newRow("value keeps its blanks") << QByteArray("Customer= a \r\n") << " a ";
    QTest::newRow("value with equals sign") << QByteArray("Customer=a=b\r\n") << "a=b";
    QTest::newRow("line without equals sign") << QByteArray("Customer\r\n") << "";
    QTest::newRow("longer key") << QByteArray("CustomerName=x\r\n") << "";
    QTest::newRow("lone LF line ends") << QByteArray("Addr=y\nCustomer=x\n") << "x";
}

void TestSettings::keyLookup()
{
    QFETCH(QByteArray, contents);
    QFETCH(QString, customer);
    QCOMPARE(SettingsFile::parse(contents).customer, customer);
}

void TestSettings::separators_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QChar>("decimalSeparator");
    QTest::addColumn<QChar>("priceSeparator");
    QTest::newRow("missing") << QByteArray() << QChar(QLatin1Char('.')) << QChar(QLatin1Char('|'));
    QTest::newRow("empty values") << QByteArray("defaultDecimalSeparator=\r\ndefaultPriceSeparator=\r\n")
                                  << QChar(QLatin1Char('.')) << QChar(QLatin1Char('|'));
    QTest::newRow("first character counts") << QByteArray("defaultDecimalSeparator=,.\r\ndefaultPriceSeparator=;;\r\n")
                                            << QChar(QLatin1Char(',')) << QChar(QLatin1Char(';'));
    QTest::newRow("tab as price separator")
        << QByteArray("defaultPriceSeparator=\t\r\n") << QChar(QLatin1Char('.')) << QChar(QLatin1Char('\t'));
}

void TestSettings::separators()
{
    QFETCH(QByteArray, contents);
    QFETCH(QChar, decimalSeparator);
    QFETCH(QChar, priceSeparator);
    const Settings s = SettingsFile::parse(contents);
    QCOMPARE(s.decimalSeparator, decimalSeparator);
    QCOMPARE(s.priceSeparator, priceSeparator);
}

void TestSettings::effectiveDecimalSeparator_data()
{
    QTest::addColumn<QChar>("stored");
    QTest::addColumn<QChar>("effective");
    QTest::newRow("dot") << QChar(QLatin1Char('.')) << QChar(QLatin1Char('.'));
    QTest::newRow("comma") << QChar(QLatin1Char(',')) << QChar(QLatin1Char(','));
    QTest::newRow("semicolon") << QChar(QLatin1Char(';')) << QChar(QLatin1Char('.'));
}

void TestSettings::effectiveDecimalSeparator()
{
    QFETCH(QChar, stored);
    QFETCH(QChar, effective);
    Settings s;
    s.decimalSeparator = stored;
    QCOMPARE(s.effectiveDecimalSeparator(), effective);
    // The odd character itself is kept for the file.
    const auto restore = useDecimalSeparator(QLatin1Char('.'));
    QVERIFY(SettingsFile::serialize(s).contains(
        QByteArray("\r\ndefaultDecimalSeparator=" + QString(stored).toLatin1() + "\r\n")));
}

void TestSettings::saveAsksRetryUntilCancel()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString blocker = dir.filePath(QStringLiteral("notafolder"));
    TextFile::writeLines(blocker, {"x"});
    const QString path = blocker + QStringLiteral("/user.ini");

    ScriptedPrompts prompts;
    prompts.queueAnswer(UserPrompts::Answer::Retry);
    prompts.queueAnswer(UserPrompts::Answer::Retry);
    prompts.queueAnswer(UserPrompts::Answer::Cancel);
    Settings s;
    s.customer = QStringLiteral("ООО Ромашка");
    QVERIFY(!SettingsFile::save(s, path, &prompts));
    QVERIFY(prompts.allAnswersUsed());
    QCOMPARE(prompts.texts(QStringLiteral("retrycancel")), QStringList(3, saveQuestion));
    for (const ScriptedPrompts::Record &record : prompts.records()) {
        QCOMPARE(record.title, QStringLiteral("Warning"));
        QCOMPARE(record.icon, UserPrompts::Icon::Warning);
    }
    QCOMPARE(s.customer, QStringLiteral("ООО Ромашка"));
    QCOMPARE(readAll(blocker), QByteArray("x\r\n"));
}

void TestSettings::retryWritesOnceTheCauseIsGone()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString blocker = dir.filePath(QStringLiteral("settings"));
    TextFile::writeLines(blocker, {"x"});
    const QString path = blocker + QStringLiteral("/user.ini");

    const auto restore = useDecimalSeparator(QLatin1Char('.'));
    UnblockingPrompts prompts(blocker);
    const Settings s = SettingsFile::parse(fullIni);
    QVERIFY(SettingsFile::save(s, path, &prompts));
    QCOMPARE(prompts.asked, 1);
    QCOMPARE(readAll(path), fullIni);
}

void TestSettings::failedSaveKeepsOldFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("user.ini"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(fullIni);
    }

    const auto restore = useDecimalSeparator(QLatin1Char('.'));
    Settings s = SettingsFile::parse(fullIni);
    s.customer = QString(2000, QLatin1Char('x'));
    ScriptedPrompts prompts;
    prompts.queueAnswer(UserPrompts::Answer::Retry);
    {
        FileSizeLimit limit(1024);
        FILE_SIZE_LIMIT_OR_SKIP(limit);
        QVERIFY(!SettingsFile::save(s, path, &prompts)); // Retry, then the empty queue cancels
    }
    QCOMPARE(prompts.texts(), QStringList(2, saveQuestion));
    QCOMPARE(readAll(path), fullIni);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"user.ini"});
}

void TestSettings::saveWithoutPromptsReportsFailure()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString blocker = dir.filePath(QStringLiteral("file"));
    TextFile::writeLines(blocker, {"x"});
    QVERIFY(!SettingsFile::save(Settings(), blocker + QStringLiteral("/user.ini"), nullptr));
}

void TestSettings::currencyList_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QChar>("separator");
    QTest::addColumn<QChar>("decimalSeparator");
    QTest::addColumn<QStringList>("entries");

    const QChar bar = QLatin1Char('|');
    const QChar dot = QLatin1Char('.');
    const QChar comma = QLatin1Char(',');
    const QString rouble = QStringLiteral("Рубль (р.)");

    QTest::newRow("one currency") << "курс|28.5|Доллар|$" << bar << dot << QStringList{rouble, "Доллар ($) - 28.50"};
    QTest::newRow("two currencies, keyword capitalised")
        << "Курс|28.50|Доллар США|$|32.10|Евро|€" << bar << dot
        << QStringList{rouble, "Доллар США ($) - 28.50", "Евро (€) - 32.10"};
    QTest::newRow("rate keyword gives none") << "rate|28.5|Dollar|$" << bar << dot << QStringList{rouble};
    QTest::newRow("no keyword") << "Код|Наименование" << bar << dot << QStringList{rouble};
    QTest::newRow("empty line") << "" << bar << dot << QStringList{rouble};
    QTest::newRow("keyword alone") << "курс" << bar << dot << QStringList{rouble};
    QTest::newRow("incomplete triple") << "курс|28.5|Доллар" << bar << dot << QStringList{rouble};
    QTest::newRow("complete then incomplete")
        << "курс|28.5|Доллар|$|32.1|Евро" << bar << dot << QStringList{rouble, "Доллар ($) - 28.50"};
    QTest::newRow("empty name skips the triple")
        << "курс|28.5||$|30|Евро|€" << bar << dot << QStringList{rouble, "Евро (€) - 30.00"};
    QTest::newRow("rate no number counts as one")
        << "курс|abc|Доллар|$" << bar << dot << QStringList{rouble, "Доллар ($) - 1.00"};
    QTest::newRow("comma rate under dot is no number")
        << "курс|28,5|Доллар|$" << bar << dot << QStringList{rouble, "Доллар ($) - 1.00"};
    QTest::newRow("comma separator") << "курс|28,5|Доллар|$" << bar << comma
                                     << QStringList{rouble, "Доллар ($) - 28,50"};
    QTest::newRow("zero rate is not offered")
        << "курс|0|Доллар|$|32.1|Евро|€" << bar << dot << QStringList{rouble, "Евро (€) - 32.10"};
    QTest::newRow("negative rate is not offered") << "курс|-28.5|Доллар|$" << bar << dot << QStringList{rouble};
    QTest::newRow("rate beyond the float range is not offered")
        << "курс|1" + QString(60, QLatin1Char('0')) + "|Доллар|$" << bar << dot << QStringList{rouble};
    QTest::newRow("semicolon separator") << "курс;28.5;Доллар;$" << QChar(QLatin1Char(';')) << dot
                                         << QStringList{rouble, "Доллар ($) - 28.50"};
    QTest::newRow("trailing separator") << "курс|28.5|Доллар|$|" << bar << dot
                                        << QStringList{rouble, "Доллар ($) - 28.50"};
}

void TestSettings::currencyList()
{
    QFETCH(QString, line);
    QFETCH(QChar, separator);
    QFETCH(QChar, decimalSeparator);
    QFETCH(QStringList, entries);
    QCOMPARE(currencyTexts(Currencies::fromRateLine(line, separator, decimalSeparator), decimalSeparator), entries);
}

void TestSettings::currencyRates()
{
    const QList<RCurrency> list =
        Currencies::fromRateLine(QStringLiteral("курс|28.5|Доллар|$|abc|Евро|€"), QLatin1Char('|'), QLatin1Char('.'));
    QCOMPARE(list.size(), 3);
    QCOMPARE(list.at(0), RCurrency::rouble());
    QCOMPARE(list.at(1).rate, 28.5f);
    QCOMPARE(list.at(1).name, QStringLiteral("Доллар"));
    QCOMPARE(list.at(1).symbol, QStringLiteral("$"));
    QCOMPARE(list.at(2).rate, 1.0f);
}

void TestSettings::indexOfSymbol_data()
{
    QTest::addColumn<QString>("symbol");
    QTest::addColumn<int>("index");
    QTest::newRow("rouble") << "р." << 0;
    QTest::newRow("last of two matches") << "$" << 3;
    QTest::newRow("single match") << "€" << 2;
    QTest::newRow("none gives the first") << "£" << 0;
    QTest::newRow("case matters") << "Р." << 0;
}

void TestSettings::indexOfSymbol()
{
    QFETCH(QString, symbol);
    QFETCH(int, index);
    const QList<RCurrency> list = Currencies::fromRateLine(
        QStringLiteral("курс|28.5|Доллар|$|32.1|Евро|€|29|Доллар США|$"), QLatin1Char('|'), QLatin1Char('.'));
    QCOMPARE(list.size(), 4);
    QCOMPARE(Currencies::indexOfSymbol(list, symbol), index);
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
