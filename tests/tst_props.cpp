#include <QtTest>

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>

#include <functional>

#include "actionid.h"
#include "applicationwindows.h"
#include "main.h"
#include "preferences.h"
#include "props.h"
#include "scriptedprompts.h"
#include "settings.h"
#include "textfile.h"
#include "workspace.h"

namespace
{
    template<typename W>
    W *child(QWidget *parent, const char *name)
    {
        W *widget = parent->findChild<W *>(QLatin1String(name));
        if (!widget)
            qWarning("no control %s", name);
        return widget;
    }

    // Runs `step` once the dialog is on screen, from inside its modal loop.
    void whenShown(QWidget *dialog, std::function<void()> step)
    {
        auto *timer = new QTimer(dialog);
        timer->setInterval(10);
        QObject::connect(timer, &QTimer::timeout, dialog, [timer, dialog, step] {
            if (!dialog->isVisible())
                return;
            timer->stop();
            timer->deleteLater();
            step();
            // A step that failed half-way must not leave the test waiting.
            if (auto *modal = qobject_cast<QDialog *>(dialog); modal && modal->isVisible())
                modal->reject();
        });
        timer->start();
    }

    void writeIni(const QStringList &lines)
    {
        TextFile::writeLines(QStringLiteral("user.ini"), lines);
    }

    QString iniValue(const QString &key)
    {
        const QStringList lines = TextFile::readLines(QStringLiteral("user.ini"));
        for (const QString &line : lines) {
            if (line.startsWith(key + QLatin1Char('=')))
                return line.mid(key.size() + 1);
        }
        return QStringLiteral("<missing>");
    }

    PreferencesForm sampleForm()
    {
        PreferencesForm form;
        form.delivery = true;
        form.pack = false;
        form.customer = QStringLiteral("ООО \"Ромашка\"");
        form.currencies = QStringList{QStringLiteral("Рубль (р.)"), QStringLiteral("Доллар ($) - 28.50")};
        form.currencyIndex = 1;
        form.clearing = true;
        form.discountKind = DiscountKind::Extra;
        form.discountNumber = 3.5;
        form.addr = QStringLiteral("ул. Ленина, 1");
        form.phone = QStringLiteral("123-45-67");
        form.contact = QStringLiteral("Иванов И.И.");
        form.bank = QStringLiteral("Банк");
        form.bik = QStringLiteral("044525225");
        form.settlementAccount = QStringLiteral("40702810");
        form.correspondentAccount = QStringLiteral("30101810");
        form.inn = QStringLiteral("7701234567");
        form.autoLoadPrice = true;
        form.priceModeIndex = 1;
        form.url = QStringLiteral("http://example.org/data/pricetxt.exe");
        return form;
    }
}

class TestProps : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void controlsHaveTheirNamesAndTexts();
    void everyControlGoesInAndOut_data();
    void everyControlGoesInAndOut();
    void discountIntoTheControls_data();
    void discountIntoTheControls();
    void discountOutOfTheControls_data();
    void discountOutOfTheControls();
    void numberBoxFollowsTheRadioButtons();
    void eachShowingOpensOnTheFirstPage();
    void currencyBoxListsTheRateLine();
    void editsAreCleanedOnTheWayBack();

    void commandRoundTripSavesAccumulativeDiscount();
    void cancelChangesNothing();
    void priceModeQuestion_data();
    void priceModeQuestion();
    void roubleOnlyMakesItTheDefaultCurrency();

private:
    QTemporaryDir *m_dir = nullptr;
    QString m_oldCurrent;
};

void TestProps::init()
{
    m_oldCurrent = QDir::currentPath();
    m_dir = new QTemporaryDir;
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir::setCurrent(m_dir->path()));
    Decimal::setSeparator(QLatin1Char('.'));
}

void TestProps::cleanup()
{
    QDir::setCurrent(m_oldCurrent);
    delete m_dir;
    m_dir = nullptr;
    Decimal::setSeparator(QLatin1Char('.'));
}

void TestProps::controlsHaveTheirNamesAndTexts()
{
    TPropertiesDlg dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Настройки..."));
    auto *pages = dialog.findChild<QTabWidget *>();
    QVERIFY(pages);
    QCOMPARE(pages->count(), 3);
    QCOMPARE(pages->tabText(0), QStringLiteral("Заказчик"));
    QCOMPARE(pages->tabText(1), QStringLiteral("Контакты"));
    QCOMPARE(pages->tabText(2), QStringLiteral("Общие"));

    QCOMPARE(child<QCheckBox>(&dialog, "CheckBoxDelivery")->text(), QStringLiteral("Необходима доставка товара"));
    QCOMPARE(child<QCheckBox>(&dialog, "CheckBoxPack")->text(), QStringLiteral("Необходима упаковка товара"));
    QCOMPARE(child<QRadioButton>(&dialog, "RadioCash")->text(), QStringLiteral("Наличный расчет"));
    QCOMPARE(child<QRadioButton>(&dialog, "RadioClearing")->text(), QStringLiteral("Безналичный расчет"));
    QCOMPARE(child<QRadioButton>(&dialog, "RadioDiscountAccumul")->text(), QStringLiteral("Накопительная"));
    QCOMPARE(child<QRadioButton>(&dialog, "RadioDiscountPerc")->text(), QStringLiteral("Процентная"));
    QCOMPARE(child<QRadioButton>(&dialog, "RadioDExtra")->text(), QStringLiteral("Наценка"));
    QCOMPARE(child<QCheckBox>(&dialog, "CheckBoxAutoLoadPrice")->text(),
             QStringLiteral("Автоматически загружать прайс"));
    QCOMPARE(child<QGroupBox>(&dialog, "RadioGroupUserWSL")->title(),
             QStringLiteral(" Тип цен, используемых при заказе "));
    for (const char *name : {"EditCustomer", "EditAddr", "EditPhone", "EditContact", "EditBank", "EditBIK",
                             "EditSettlementAccount", "EditCorrespondentAccount", "EditINN", "EditURL"})
        QVERIFY2(child<QLineEdit>(&dialog, name), name);
    QVERIFY(child<QComboBox>(&dialog, "CurrencyComboBox"));
    auto *discount = child<QDoubleSpinBox>(&dialog, "EditDiscount");
    QCOMPARE(discount->minimum(), 0.0);
    QCOMPARE(discount->maximum(), 100.0);

    QStringList groups;
    for (const QGroupBox *box : dialog.findChildren<QGroupBox *>())
        groups.append(box->title());
    for (const QString &title :
         {QStringLiteral(" Товар "), QStringLiteral(" Общие "), QStringLiteral(" Форма оплаты "),
          QStringLiteral(" Скидка/наценка  "), QStringLiteral(" Контактная информация "), QStringLiteral(" Реквизиты "),
          QStringLiteral(" Запуск "), QStringLiteral(" Прайс-лист ")})
        QVERIFY2(groups.contains(title), qPrintable(title));

    auto *ok = child<QPushButton>(&dialog, "OKBtn");
    QCOMPARE(ok->text(), QStringLiteral("OK"));
    QVERIFY(ok->isDefault());
    QCOMPARE(child<QPushButton>(&dialog, "CancelBtn")->text(), QStringLiteral("Cancel"));
}

void TestProps::everyControlGoesInAndOut_data()
{
    QTest::addColumn<PreferencesForm>("form");
    QTest::newRow("everything set") << sampleForm();
    PreferencesForm other;
    other.pack = true;
    other.currencies = QStringList{QStringLiteral("Рубль (р.)")};
    other.currencyIndex = 0;
    other.discountKind = DiscountKind::Percent;
    other.discountNumber = 12.25;
    other.priceModeIndex = 0;
    QTest::newRow("defaults with a percent discount") << other;
    PreferencesForm accumulative = sampleForm();
    accumulative.discountKind = DiscountKind::Accumulative;
    accumulative.discountNumber = 0;
    accumulative.clearing = false;
    accumulative.priceModeIndex = -1;
    QTest::newRow("accumulative, cash, no price mode") << accumulative;
}

void TestProps::everyControlGoesInAndOut()
{
    QFETCH(PreferencesForm, form);
    TPropertiesDlg dialog;
    dialog.load(form);
    QCOMPARE(child<QLineEdit>(&dialog, "EditBIK")->text(), form.bik);
    QCOMPARE(child<QCheckBox>(&dialog, "CheckBoxDelivery")->isChecked(), form.delivery);
    QCOMPARE(child<QRadioButton>(&dialog, "RadioClearing")->isChecked(), form.clearing);
    QCOMPARE(child<QRadioButton>(&dialog, "RadioCash")->isChecked(), !form.clearing);
    QCOMPARE(child<QComboBox>(&dialog, "CurrencyComboBox")->currentIndex(), form.currencyIndex);
    const PreferencesForm back = dialog.form();
    QCOMPARE(back.delivery, form.delivery);
    QCOMPARE(back.pack, form.pack);
    QCOMPARE(back.customer, form.customer);
    QCOMPARE(back.currencies, form.currencies);
    QCOMPARE(back.currencyIndex, form.currencyIndex);
    QCOMPARE(back.clearing, form.clearing);
    QCOMPARE(back.discountKind, form.discountKind);
    QCOMPARE(back.discountNumber, form.discountNumber);
    QCOMPARE(back.addr, form.addr);
    QCOMPARE(back.phone, form.phone);
    QCOMPARE(back.contact, form.contact);
    QCOMPARE(back.bank, form.bank);
    QCOMPARE(back.bik, form.bik);
    QCOMPARE(back.settlementAccount, form.settlementAccount);
    QCOMPARE(back.correspondentAccount, form.correspondentAccount);
    QCOMPARE(back.inn, form.inn);
    QCOMPARE(back.autoLoadPrice, form.autoLoadPrice);
    QCOMPARE(back.priceModeIndex, form.priceModeIndex);
    QCOMPARE(back.url, form.url);
    QVERIFY(back == form);
}

void TestProps::discountIntoTheControls_data()
{
    QTest::addColumn<float>("discount");
    QTest::addColumn<QString>("radio");
    QTest::addColumn<double>("number");
    QTest::addColumn<bool>("boxEnabled");
    QTest::newRow("accumulative 111") << 111.0f << "RadioDiscountAccumul" << 0.0 << false;
    QTest::newRow("exactly 100 is accumulative") << 100.0f << "RadioDiscountAccumul" << 0.0 << false;
    QTest::newRow("percent 5") << 5.0f << "RadioDiscountPerc" << 5.0 << true;
    QTest::newRow("zero is a percent") << 0.0f << "RadioDiscountPerc" << 0.0 << true;
    QTest::newRow("99.5 percent") << 99.5f << "RadioDiscountPerc" << 99.5 << true;
    QTest::newRow("markup 3.5") << -3.5f << "RadioDExtra" << 3.5 << true;
}

void TestProps::discountIntoTheControls()
{
    QFETCH(float, discount);
    QFETCH(QString, radio);
    QFETCH(double, number);
    QFETCH(bool, boxEnabled);
    Settings settings;
    settings.discount = discount;
    CurrencyList currencies;
    TPropertiesDlg dialog;
    dialog.load(Preferences::fill(settings, currencies));
    QVERIFY(dialog.findChild<QRadioButton *>(radio)->isChecked());
    auto *box = child<QDoubleSpinBox>(&dialog, "EditDiscount");
    QCOMPARE(box->value(), number);
    QCOMPARE(box->isEnabled(), boxEnabled);
}

void TestProps::discountOutOfTheControls_data()
{
    QTest::addColumn<QString>("radio");
    QTest::addColumn<double>("number");
    QTest::addColumn<float>("discount");
    QTest::newRow("accumulative stores 111") << "RadioDiscountAccumul" << 0.0 << 111.0f;
    QTest::newRow("accumulative ignores the number") << "RadioDiscountAccumul" << 7.0 << 111.0f;
    QTest::newRow("percent 7.5") << "RadioDiscountPerc" << 7.5 << 7.5f;
    QTest::newRow("markup 10 is negative") << "RadioDExtra" << 10.0 << -10.0f;
}

void TestProps::discountOutOfTheControls()
{
    QFETCH(QString, radio);
    QFETCH(double, number);
    QFETCH(float, discount);
    TPropertiesDlg dialog;
    dialog.load(PreferencesForm());
    dialog.show();
    auto *box = child<QDoubleSpinBox>(&dialog, "EditDiscount");
    box->setValue(number);
    QTest::mouseClick(dialog.findChild<QRadioButton *>(radio), Qt::LeftButton);
    const PreferencesForm form = dialog.form();
    QCOMPARE(Preferences::discountOut(form.discountKind, form.discountNumber), discount);
}

void TestProps::numberBoxFollowsTheRadioButtons()
{
    TPropertiesDlg dialog;
    dialog.load(PreferencesForm());
    dialog.show();
    auto *box = child<QDoubleSpinBox>(&dialog, "EditDiscount");
    QVERIFY(box->isEnabled());
    QTest::mouseClick(child<QRadioButton>(&dialog, "RadioDiscountAccumul"), Qt::LeftButton);
    QVERIFY(!box->isEnabled());
    QTest::mouseClick(child<QRadioButton>(&dialog, "RadioDExtra"), Qt::LeftButton);
    QVERIFY(box->isEnabled());
    QTest::mouseClick(child<QRadioButton>(&dialog, "RadioDiscountAccumul"), Qt::LeftButton);
    QTest::mouseClick(child<QRadioButton>(&dialog, "RadioDiscountPerc"), Qt::LeftButton);
    QVERIFY(box->isEnabled());
}

void TestProps::eachShowingOpensOnTheFirstPage()
{
    TPropertiesDlg dialog;
    auto *pages = dialog.findChild<QTabWidget *>();
    PreferencesForm form;
    whenShown(&dialog, [&] {
        pages->setCurrentIndex(2);
        dialog.reject();
    });
    QVERIFY(!dialog.execute(form));
    QCOMPARE(pages->currentIndex(), 2);
    whenShown(&dialog, [&] {
        QCOMPARE(pages->currentIndex(), 0);
        dialog.reject();
    });
    QVERIFY(!dialog.execute(form));
}

void TestProps::currencyBoxListsTheRateLine()
{
    Settings settings;
    settings.currencyRateLine = QStringLiteral("курс|28.5|Доллар|$");
    settings.defaultCurrency = QStringLiteral("$");
    CurrencyList currencies;
    TPropertiesDlg dialog;
    dialog.load(Preferences::fill(settings, currencies));
    auto *box = child<QComboBox>(&dialog, "CurrencyComboBox");
    QCOMPARE(box->count(), 2);
    QCOMPARE(box->itemText(0), QStringLiteral("Рубль (р.)"));
    QCOMPARE(box->itemText(1), QStringLiteral("Доллар ($) - 28.50"));
    QCOMPARE(box->currentIndex(), 1);

    Preferences::takeBack(dialog.form(), settings, currencies);
    QCOMPARE(settings.defaultCurrency, QStringLiteral("$"));
    QCOMPARE(settings.currentCurrency.name, QStringLiteral("Доллар"));
    QCOMPARE(settings.currentCurrency.rate, 28.5f);
}

void TestProps::editsAreCleanedOnTheWayBack()
{
    PreferencesForm form = sampleForm();
    form.customer = QStringLiteral(" \t ИП Петров \r\n");
    form.url = QStringLiteral("  http://x/y.exe ");
    form.inn = QStringLiteral("\x01"
                              "77 01\x7f");
    Settings settings;
    CurrencyList currencies;
    Preferences::takeBack(form, settings, currencies);
    QCOMPARE(settings.customer, QStringLiteral("ИП Петров"));
    QCOMPARE(settings.url, QStringLiteral("http://x/y.exe"));
    // Only the ends are cleaned; DEL is no control character here.
    QCOMPARE(settings.inn, QStringLiteral("77 01\x7f"));
    QCOMPARE(settings.delivery, QStringLiteral("yes"));
    QCOMPARE(settings.pack, QStringLiteral("no"));
    QCOMPARE(settings.autoLoadPrice, QStringLiteral("yes"));
    QCOMPARE(settings.payment, QStringLiteral("clearing"));
    QCOMPARE(settings.priceMode, 2);
    QCOMPARE(settings.discount, -3.5f);
}

void TestProps::commandRoundTripSavesAccumulativeDiscount()
{
    ApplicationWindows windows;
    TMakeOrderForm &form = windows.mainForm();
    ScriptedPrompts prompts;
    form.workspace().setPrompts(&prompts);
    TPropertiesDlg &dialog = windows.propertiesDlg();

    whenShown(&dialog, [&] {
        child<QLineEdit>(&dialog, "EditCustomer")->setText(QStringLiteral("  ООО Ромашка\t"));
        QTest::mouseClick(child<QRadioButton>(&dialog, "RadioDiscountAccumul"), Qt::LeftButton);
        QTest::mouseClick(child<QRadioButton>(&dialog, "RadioClearing"), Qt::LeftButton);
        child<QCheckBox>(&dialog, "CheckBoxPack")->setChecked(false);
        child<QLineEdit>(&dialog, "EditPhone")->setText(QStringLiteral("555"));
        QTest::mouseClick(child<QPushButton>(&dialog, "OKBtn"), Qt::LeftButton);
    });
    form.action(ActionId::Preferences)->trigger();

    const Settings &settings = form.workspace().settings();
    QCOMPARE(settings.customer, QStringLiteral("ООО Ромашка"));
    QCOMPARE(settings.discount, 111.0f);
    QCOMPARE(settings.payment, QStringLiteral("clearing"));
    QCOMPARE(settings.pack, QStringLiteral("no"));
    QCOMPARE(form.windowTitle(), QStringLiteral("ZOLT Ordix 3 :: ООО Ромашка"));
    QCOMPARE(iniValue(QStringLiteral("Discount")), QStringLiteral("111.00"));
    QCOMPARE(iniValue(QStringLiteral("Customer")), QStringLiteral("ООО Ромашка"));
    QCOMPARE(iniValue(QStringLiteral("Payment")), QStringLiteral("clearing"));
    QCOMPARE(iniValue(QStringLiteral("Phone")), QStringLiteral("555"));
    QVERIFY(prompts.records().isEmpty());

    // The next showing brings the saved values back.
    whenShown(&dialog, [&] {
        QVERIFY(child<QRadioButton>(&dialog, "RadioDiscountAccumul")->isChecked());
        QVERIFY(!child<QDoubleSpinBox>(&dialog, "EditDiscount")->isEnabled());
        QCOMPARE(child<QLineEdit>(&dialog, "EditCustomer")->text(), QStringLiteral("ООО Ромашка"));
        dialog.reject();
    });
    form.action(ActionId::Preferences)->trigger();
}

void TestProps::cancelChangesNothing()
{
    ApplicationWindows windows;
    TMakeOrderForm &form = windows.mainForm();
    ScriptedPrompts prompts;
    form.workspace().setPrompts(&prompts);
    TPropertiesDlg &dialog = windows.propertiesDlg();
    whenShown(&dialog, [&] {
        child<QLineEdit>(&dialog, "EditCustomer")->setText(QStringLiteral("Другой"));
        QTest::mouseClick(child<QRadioButton>(&dialog, "RadioDExtra"), Qt::LeftButton);
        QTest::mouseClick(child<QPushButton>(&dialog, "CancelBtn"), Qt::LeftButton);
    });
    form.action(ActionId::Preferences)->trigger();
    QCOMPARE(form.workspace().settings().customer, QString());
    QCOMPARE(form.workspace().settings().discount, 0.0f);
    QCOMPARE(form.windowTitle(), QStringLiteral("ZOLT Ordix 3"));
    QVERIFY(!QFile::exists(QStringLiteral("user.ini")));
}

void TestProps::priceModeQuestion_data()
{
    QTest::addColumn<QString>("priceFile");
    QTest::addColumn<bool>("changeMode");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("reloaded");
    const int yes = int(UserPrompts::Answer::Yes);
    const int no = int(UserPrompts::Answer::No);
    QTest::newRow("no price list: nothing asked") << QString() << true << yes << false << false;
    QTest::newRow("price list loaded, Yes reloads") << QStringLiteral("ZOLT.TXT") << true << yes << true << true;
    QTest::newRow("price list loaded, No keeps the old prices")
        << QStringLiteral("ZOLT.TXT") << true << no << true << false;
    QTest::newRow("mode unchanged: nothing asked") << QStringLiteral("ZOLT.TXT") << false << yes << false << false;
}

void TestProps::priceModeQuestion()
{
    QFETCH(QString, priceFile);
    QFETCH(bool, changeMode);
    QFETCH(int, answer);
    QFETCH(bool, asked);
    QFETCH(bool, reloaded);

    ApplicationWindows windows;
    TMakeOrderForm &form = windows.mainForm();
    Workspace &ws = form.workspace();
    ScriptedPrompts prompts;
    prompts.queueAnswer(UserPrompts::Answer(answer));
    ws.setPrompts(&prompts);
    ws.setPriceFileName(priceFile);
    ws.setOldPriceFileName(QStringLiteral("ZOLT_OLD.TXT"));
    QStringList loads;
    ws.setPriceLoader([&](const QString &primary, const QString &fallback) {
        // As the real loader, whose PriceClose clears the workspace's names
        // before the names given are used.
        ws.setPriceFileName(QString());
        ws.setOldPriceFileName(QString());
        loads.append(primary + QLatin1Char('+') + fallback);
        // The reload sees the new mode.
        QCOMPARE(ws.settings().priceMode, 2);
    });

    TPropertiesDlg &dialog = windows.propertiesDlg();
    whenShown(&dialog, [&] {
        if (changeMode) {
            dialog.findChild<QTabWidget *>()->setCurrentIndex(2);
            dialog.findChild<QRadioButton *>(QStringLiteral("RadioGroupUserWSLItem1"))->click();
        }
        dialog.accept();
    });
    form.action(ActionId::Preferences)->trigger();

    QCOMPARE(ws.settings().priceMode, changeMode ? 2 : 1);
    const QStringList expectedQuestions = asked
        ? QStringList{QStringLiteral("Вы изменили режим работы с ценами.\n"
                                     "Изменения вступят в силу только после повторного открытия "
                                     "прайс-листа\nСделать это сейчас?")}
        : QStringList();
    QCOMPARE(prompts.questions(), expectedQuestions);
    QCOMPARE(loads, reloaded ? QStringList{QStringLiteral("ZOLT.TXT+ZOLT_OLD.TXT")} : QStringList());
    QCOMPARE(iniValue(QStringLiteral("UserWSL")), changeMode ? QStringLiteral("2") : QStringLiteral("1"));
}

void TestProps::roubleOnlyMakesItTheDefaultCurrency()
{
    writeIni({QStringLiteral("Customer=Иванов"), QStringLiteral("DefaultCurrency=$")});
    ApplicationWindows windows;
    TMakeOrderForm &form = windows.mainForm();
    ScriptedPrompts prompts;
    form.workspace().setPrompts(&prompts);
    QCOMPARE(form.workspace().settings().defaultCurrency, QStringLiteral("$"));
    TPropertiesDlg &dialog = windows.propertiesDlg();
    whenShown(&dialog, [&] {
        auto *box = child<QComboBox>(&dialog, "CurrencyComboBox");
        QCOMPARE(box->count(), 1);
        QCOMPARE(box->itemText(0), QStringLiteral("Рубль (р.)"));
        QCOMPARE(box->currentIndex(), 0);
        dialog.accept();
    });
    form.action(ActionId::Preferences)->trigger();
    QCOMPARE(form.workspace().settings().defaultCurrency, QStringLiteral("р."));
    QCOMPARE(iniValue(QStringLiteral("DefaultCurrency")), QStringLiteral("р."));
}

QTEST_MAIN(TestProps)
#include "tst_props.moc"
