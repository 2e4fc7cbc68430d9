#pragma once

#include <QDialog>

#include "preferencesform.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QGroupBox;
class QLineEdit;
class QRadioButton;
class QTabWidget;

// The settings dialog "Настройки...": three pages with the customer's
// details, contacts and bank details, and the start-up and price options.
// It only moves a PreferencesForm in and out of its controls; the command
// Preferences decides what the values mean.
class TPropertiesDlg final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TPropertiesDlg)

public:
    explicit TPropertiesDlg(QWidget *parent = nullptr);

    // Puts the values into the controls and turns to the first page.
    void load(const PreferencesForm &form);
    // The values of the controls.
    PreferencesForm form() const;
    // Shows the dialog modally on the form; on OK the form receives the
    // entered values and the answer is true.
    bool execute(PreferencesForm &form);

private:
    void updateDiscountBox();

    QTabWidget *m_pages = nullptr;
    QCheckBox *m_delivery = nullptr;
    QCheckBox *m_pack = nullptr;
    QLineEdit *m_customer = nullptr;
    QComboBox *m_currency = nullptr;
    QRadioButton *m_cash = nullptr;
    QRadioButton *m_clearing = nullptr;
    QRadioButton *m_discountAccumul = nullptr;
    QRadioButton *m_discountPerc = nullptr;
    QRadioButton *m_discountExtra = nullptr;
    QDoubleSpinBox *m_discount = nullptr;
    QLineEdit *m_addr = nullptr;
    QLineEdit *m_phone = nullptr;
    QLineEdit *m_contact = nullptr;
    QLineEdit *m_bank = nullptr;
    QLineEdit *m_bik = nullptr;
    QLineEdit *m_settlementAccount = nullptr;
    QLineEdit *m_correspondentAccount = nullptr;
    QLineEdit *m_inn = nullptr;
    QCheckBox *m_autoLoadPrice = nullptr;
    QGroupBox *m_priceMode = nullptr;
    QButtonGroup *m_priceModeButtons = nullptr;
    QLineEdit *m_url = nullptr;
};
