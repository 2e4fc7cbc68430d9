#pragma once

#include <QString>
#include <QStringList>

// The three discount radio buttons of the settings dialog.
enum class DiscountKind
{
    Accumulative, // RadioDiscountAccumul: the number box is disabled
    Percent,      // RadioDiscountPerc
    Extra         // RadioDExtra: a markup
};

// The values of the settings dialog's controls, as the dialog shows them and
// hands them back. The logic fills it from the settings and takes it back;
// the dialog only moves it in and out of its widgets.
struct PreferencesForm
{
    // Page "Заказчик"
    bool delivery = false;  // CheckBoxDelivery
    bool pack = false;      // CheckBoxPack
    QString customer;       // EditCustomer
    QStringList currencies; // CurrencyComboBox entries
    int currencyIndex = 0;  // -1: none selected
    bool clearing = false;  // RadioClearing, else RadioCash
    DiscountKind discountKind = DiscountKind::Percent;
    double discountNumber = 0; // EditDiscount, 0 to 100

    // Page "Контакты"
    QString addr;                 // EditAddr
    QString phone;                // EditPhone
    QString contact;              // EditContact
    QString bank;                 // EditBank
    QString bik;                  // EditBIK
    QString settlementAccount;    // EditSettlementAccount
    QString correspondentAccount; // EditCorrespondentAccount
    QString inn;                  // EditINN

    // Page "Общие"
    bool autoLoadPrice = false; // CheckBoxAutoLoadPrice
    int priceModeIndex = 0;     // RadioGroupUserWSL: 0 мелкооптовые, 1 специальные, -1 none
    QString url;                // EditURL

    bool operator==(const PreferencesForm &other) const = default;
};
