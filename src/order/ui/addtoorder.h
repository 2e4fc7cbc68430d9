#pragma once

#include <QDialog>

#include "packspinbox.h"
#include "userprompts.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

// The quantity dialog "Добавить в заказ", shown for adding a part and for
// changing a line's quantity: the part's name as the group's caption, its
// price, the quantity (1 to 2147483647) and the amount, kept current as the
// quantity is typed. For a part packed by more than one, "Норма упаковки: N"
// shows under the quantity, marked while the quantity is no multiple of N
// (the quantity itself is left as typed), and the spin box steps by whole
// packs. With the customer's discount or markup, a line under the sum tells
// what the order line will cost ("С учётом скидки 5%: …").
class TAddToOrderForm final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TAddToOrderForm)

public:
    explicit TAddToOrderForm(QWidget *parent = nullptr);
    ~TAddToOrderForm() override;

    // Fills the dialog from the request, shows it modally and, on OK, stores
    // the entered quantity. The window's askQuantity() calls this.
    bool ask(const UserPrompts::QuantityRequest &request, int *quantity);

    // Fills the controls without showing the dialog.
    void prepare(const UserPrompts::QuantityRequest &request);
    int quantity() const;

    // A money text by the mask ",0.00#### '<sign>';-,0.00#### '<sign>'":
    // grouped thousands, two to six decimals, a blank and the sign; negative
    // amounts start with a minus.
    static QString maskText(double value, const QString &currencySymbol);

    QGroupBox *group() const { return m_group; }
    QLineEdit *priceEdit() const { return m_price; }
    QSpinBox *quantityEdit() const { return m_num; }
    QLineEdit *sumEdit() const { return m_sum; }
    QLabel *packLabel() const { return m_pack; }
    QLabel *lineCostLabel() const { return m_lineCost; }
    // Whether the quantity is marked as no multiple of the pack.
    bool packMismatch() const { return m_packMismatch; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void focusQuantity();
    void recomputeSum(const QString &quantityText);
    void markPack();
    // The colours of the mark, readable on the palette in use.
    void paintPackMark();

    QGroupBox *m_group = nullptr;
    QLineEdit *m_price = nullptr;
    PackSpinBox *m_num = nullptr;
    QLineEdit *m_sum = nullptr;
    QPushButton *m_ok = nullptr;
    QLabel *m_pack = nullptr;
    QLabel *m_lineCost = nullptr;
    std::function<QString(int)> m_lineCostOf;
    int m_packSize = 0;
    bool m_packMismatch = false;
    double m_priceValue = 0;
    QString m_symbol;
};
