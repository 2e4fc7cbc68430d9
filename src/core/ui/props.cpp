#include "props.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "textfile.h"

namespace
{
    template<typename W>
    W *named(W *widget, const char *name)
    {
        widget->setObjectName(QLatin1String(name));
        return widget;
    }

    QLineEdit *addEdit(QFormLayout *form, const QString &label, const char *name)
    {
        auto *edit = named(new QLineEdit, name);
        form->addRow(label, edit);
        return edit;
    }

    // Shows a number with the program's decimal separator.
    QLocale numberLocale()
    {
        QLocale locale =
            Decimal::separator() == QLatin1Char(',') ? QLocale(QLocale::Russian, QLocale::Russia) : QLocale::c();
        locale.setNumberOptions(QLocale::OmitGroupSeparator);
        return locale;
    }
}

TPropertiesDlg::TPropertiesDlg(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("PropertiesDlg"));
    setWindowTitle(QStringLiteral("Настройки..."));
    setModal(true);

    m_pages = named(new QTabWidget(this), "PageControl");

    // Page "Заказчик"
    auto *customerPage = named(new QWidget, "TabSheetCustomer");
    {
        auto *goods = new QGroupBox(QStringLiteral(" Товар "));
        m_delivery = named(new QCheckBox(QStringLiteral("Необходима доставка товара")), "CheckBoxDelivery");
        m_pack = named(new QCheckBox(QStringLiteral("Необходима упаковка товара")), "CheckBoxPack");
        auto *goodsLayout = new QVBoxLayout(goods);
        goodsLayout->addWidget(m_delivery);
        goodsLayout->addWidget(m_pack);

        auto *general = new QGroupBox(QStringLiteral(" Общие "));
        auto *generalLayout = new QFormLayout(general);
        m_customer = addEdit(generalLayout, QStringLiteral("Заказчик:"), "EditCustomer");
        m_currency = named(new QComboBox, "CurrencyComboBox");
        m_currency->setEditable(false);
        generalLayout->addRow(QStringLiteral("Валюта:"), m_currency);

        auto *payment = new QGroupBox(QStringLiteral(" Форма оплаты "));
        m_cash = named(new QRadioButton(QStringLiteral("Наличный расчет")), "RadioCash");
        m_clearing = named(new QRadioButton(QStringLiteral("Безналичный расчет")), "RadioClearing");
        auto *paymentLayout = new QVBoxLayout(payment);
        paymentLayout->addWidget(m_cash);
        paymentLayout->addWidget(m_clearing);

        auto *discount = new QGroupBox(QStringLiteral(" Скидка/наценка  "));
        m_discountAccumul = named(new QRadioButton(QStringLiteral("Накопительная")), "RadioDiscountAccumul");
        m_discountPerc = named(new QRadioButton(QStringLiteral("Процентная")), "RadioDiscountPerc");
        m_discountExtra = named(new QRadioButton(QStringLiteral("Наценка")), "RadioDExtra");
        m_discount = named(new QDoubleSpinBox, "EditDiscount");
        m_discount->setRange(0.0, 100.0);
        m_discount->setDecimals(2);
        m_discount->setSuffix(QStringLiteral(" %"));
        auto *discountLayout = new QGridLayout(discount);
        discountLayout->addWidget(m_discountAccumul, 0, 0);
        discountLayout->addWidget(m_discountPerc, 1, 0);
        discountLayout->addWidget(m_discountExtra, 2, 0);
        discountLayout->addWidget(m_discount, 1, 1, 2, 1, Qt::AlignVCenter);
        for (QRadioButton *button : {m_discountAccumul, m_discountPerc, m_discountExtra})
            connect(button, &QRadioButton::clicked, this, &TPropertiesDlg::updateDiscountBox);
        // Setting a button from code re-evaluates the box as well.
        connect(m_discountAccumul, &QRadioButton::toggled, this, &TPropertiesDlg::updateDiscountBox);

        auto *bottom = new QHBoxLayout;
        bottom->addWidget(payment);
        bottom->addWidget(discount);
        auto *layout = new QVBoxLayout(customerPage);
        layout->addWidget(goods);
        layout->addWidget(general);
        layout->addLayout(bottom);
        layout->addStretch();
    }
    m_pages->addTab(customerPage, QStringLiteral("Заказчик"));

    // Page "Контакты"
    auto *contactsPage = named(new QWidget, "TabSheetContacts");
    {
        auto *contact = new QGroupBox(QStringLiteral(" Контактная информация "));
        auto *contactLayout = new QFormLayout(contact);
        m_addr = addEdit(contactLayout, QStringLiteral("Адрес:"), "EditAddr");
        m_phone = addEdit(contactLayout, QStringLiteral("Телефон/факс:"), "EditPhone");
        m_contact = addEdit(contactLayout, QStringLiteral("Контактное лицо:"), "EditContact");

        auto *bank = new QGroupBox(QStringLiteral(" Реквизиты "));
        auto *bankLayout = new QFormLayout(bank);
        m_bank = addEdit(bankLayout, QStringLiteral("Банк:"), "EditBank");
        m_bik = addEdit(bankLayout, QStringLiteral("БИК:"), "EditBIK");
        m_settlementAccount = addEdit(bankLayout, QStringLiteral("Расчетный счет:"), "EditSettlementAccount");
        m_correspondentAccount = addEdit(bankLayout, QStringLiteral("Кор. счет:"), "EditCorrespondentAccount");
        m_inn = addEdit(bankLayout, QStringLiteral("ИНН:"), "EditINN");

        auto *layout = new QVBoxLayout(contactsPage);
        layout->addWidget(contact);
        layout->addWidget(bank);
        layout->addStretch();
    }
    m_pages->addTab(contactsPage, QStringLiteral("Контакты"));

    // Page "Общие"
    auto *generalPage = named(new QWidget, "TabSheetGeneral");
    {
        auto *startup = new QGroupBox(QStringLiteral(" Запуск "));
        m_autoLoadPrice =
            named(new QCheckBox(QStringLiteral("Автоматически загружать прайс")), "CheckBoxAutoLoadPrice");
        m_priceMode = named(new QGroupBox(QStringLiteral(" Тип цен, используемых при заказе ")), "RadioGroupUserWSL");
        m_priceModeButtons = new QButtonGroup(this);
        auto *modeLayout = new QVBoxLayout(m_priceMode);
        const QStringList modes{QStringLiteral("мелкооптовые"), QStringLiteral("специальные")};
        for (int i = 0; i < modes.size(); ++i) {
            auto *button = new QRadioButton(modes.at(i));
            button->setObjectName(QStringLiteral("RadioGroupUserWSLItem%1").arg(i));
            m_priceModeButtons->addButton(button, i);
            modeLayout->addWidget(button);
        }
        auto *startupLayout = new QVBoxLayout(startup);
        startupLayout->addWidget(m_autoLoadPrice);
        startupLayout->addWidget(m_priceMode);

        auto *price = new QGroupBox(QStringLiteral(" Прайс-лист "));
        auto *priceLayout = new QVBoxLayout(price);
        m_url = named(new QLineEdit, "EditURL");
        priceLayout->addWidget(new QLabel(QStringLiteral("Интернет-адрес новых прайс-листов:")));
        priceLayout->addWidget(m_url);

        auto *layout = new QVBoxLayout(generalPage);
        layout->addWidget(startup);
        layout->addWidget(price);
        layout->addStretch();
    }
    m_pages->addTab(generalPage, QStringLiteral("Общие"));

    auto *ok = named(new QPushButton(QStringLiteral("OK")), "OKBtn");
    ok->setDefault(true);
    auto *cancel = named(new QPushButton(QStringLiteral("Cancel")), "CancelBtn");
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_pages);
    layout->addLayout(buttons);
    resize(460, 440);
}

void TPropertiesDlg::load(const PreferencesForm &form)
{
    m_delivery->setChecked(form.delivery);
    m_pack->setChecked(form.pack);
    m_customer->setText(form.customer);
    m_currency->clear();
    m_currency->addItems(form.currencies);
    m_currency->setCurrentIndex(form.currencyIndex < m_currency->count() ? form.currencyIndex : -1);
    m_clearing->setChecked(form.clearing);
    m_cash->setChecked(!form.clearing);

    m_discount->setLocale(numberLocale());
    m_discount->setValue(form.discountNumber);
    switch (form.discountKind) {
    case DiscountKind::Accumulative:
        m_discountAccumul->setChecked(true);
        break;
    case DiscountKind::Percent:
        m_discountPerc->setChecked(true);
        break;
    case DiscountKind::Extra:
        m_discountExtra->setChecked(true);
        break;
    }
    updateDiscountBox();

    m_addr->setText(form.addr);
    m_phone->setText(form.phone);
    m_contact->setText(form.contact);
    m_bank->setText(form.bank);
    m_bik->setText(form.bik);
    m_settlementAccount->setText(form.settlementAccount);
    m_correspondentAccount->setText(form.correspondentAccount);
    m_inn->setText(form.inn);

    m_autoLoadPrice->setChecked(form.autoLoadPrice);
    // An exclusive group cannot show "none" unless it stops being exclusive
    // for a moment.
    m_priceModeButtons->setExclusive(false);
    for (QAbstractButton *button : m_priceModeButtons->buttons())
        button->setChecked(m_priceModeButtons->id(button) == form.priceModeIndex);
    m_priceModeButtons->setExclusive(true);
    m_url->setText(form.url);

    m_pages->setCurrentIndex(0);
}

PreferencesForm TPropertiesDlg::form() const
{
    PreferencesForm form;
    form.delivery = m_delivery->isChecked();
    form.pack = m_pack->isChecked();
    form.customer = m_customer->text();
    for (int i = 0; i < m_currency->count(); ++i)
        form.currencies.append(m_currency->itemText(i));
    form.currencyIndex = m_currency->currentIndex();
    form.clearing = m_clearing->isChecked();
    if (!m_discount->isEnabled())
        form.discountKind = DiscountKind::Accumulative;
    else if (m_discountPerc->isChecked())
        form.discountKind = DiscountKind::Percent;
    else
        form.discountKind = DiscountKind::Extra;
    form.discountNumber = m_discount->value();

    form.addr = m_addr->text();
    form.phone = m_phone->text();
    form.contact = m_contact->text();
    form.bank = m_bank->text();
    form.bik = m_bik->text();
    form.settlementAccount = m_settlementAccount->text();
    form.correspondentAccount = m_correspondentAccount->text();
    form.inn = m_inn->text();

    form.autoLoadPrice = m_autoLoadPrice->isChecked();
    form.priceModeIndex = m_priceModeButtons->checkedId();
    form.url = m_url->text();
    return form;
}

bool TPropertiesDlg::execute(PreferencesForm &form)
{
    load(form);
    if (exec() != QDialog::Accepted)
        return false;
    form = this->form();
    return true;
}

void TPropertiesDlg::updateDiscountBox()
{
    m_discount->setEnabled(!m_discountAccumul->isChecked());
}
