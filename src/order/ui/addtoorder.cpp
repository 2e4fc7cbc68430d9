#include "addtoorder.h"

#include <cmath>
#include <limits>

#include <QDialogButtonBox>
#include <QEvent>
#include <QFormLayout>
#include <QKeyEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "readablecolour.h"
#include "textfile.h"

TAddToOrderForm::TAddToOrderForm(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("AddToOrderForm"));
    setWindowTitle(QStringLiteral("Добавить в заказ"));
    setModal(true);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    m_group = new QGroupBox(this);
    m_group->setObjectName(QStringLiteral("GroupBox"));

    m_price = new QLineEdit(m_group);
    m_price->setObjectName(QStringLiteral("price"));
    m_price->setReadOnly(true);
    m_price->setFocusPolicy(Qt::NoFocus);
    m_price->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    m_num = new PackSpinBox(m_group);
    m_num->setObjectName(QStringLiteral("num"));
    m_num->setRange(1, std::numeric_limits<int>::max());
    m_num->setValue(1);
    m_num->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    m_sum = new QLineEdit(m_group);
    m_sum->setObjectName(QStringLiteral("sum"));
    m_sum->setReadOnly(true);
    m_sum->setFocusPolicy(Qt::NoFocus);
    m_sum->setAlignment(Qt::AlignCenter);
    QFont bold = m_sum->font();
    bold.setBold(true);
    m_sum->setFont(bold);
    // The light green field carries its own readable text colour: a dark
    // desktop palette's light text would vanish on it.
    QPalette palette = m_sum->palette();
    const QColor green(0xC0, 0xDC, 0xC0);
    palette.setColor(QPalette::Base, green);
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setColor(group, QPalette::Text, ReadableColour::on(palette.color(group, QPalette::Text), green));
    m_sum->setPalette(palette);

    m_pack = new QLabel(m_group);
    m_pack->setObjectName(QStringLiteral("pack"));
    m_pack->hide();

    m_lineCost = new QLabel(m_group);
    m_lineCost->setObjectName(QStringLiteral("lineCost"));
    m_lineCost->setAlignment(Qt::AlignCenter);
    m_lineCost->hide();

    auto *form = new QFormLayout(m_group);
    form->addRow(QStringLiteral("Цена:"), m_price);
    form->addRow(QStringLiteral("Количество:"), m_num);
    form->addRow(QString(), m_pack);
    form->addRow(QStringLiteral("Сумма:"), m_sum);
    form->addRow(m_lineCost);

    auto *buttons = new QDialogButtonBox(this);
    QPushButton *ok = buttons->addButton(QDialogButtonBox::Ok);
    ok->setObjectName(QStringLiteral("OKBtn"));
    ok->setDefault(true);
    QPushButton *cancel = buttons->addButton(QStringLiteral("Отмена"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("CancelBtn"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // Whatever order the desktop gives the buttons (GNOME puts "Отмена"
    // first), Tab goes from the quantity to OK, then to "Отмена".
    setTabOrder(m_num, ok);
    setTabOrder(ok, cancel);
    m_ok = ok;
    // Enter in the quantity is OK on every desktop: it does not depend on
    // how the style passes the key on to the default button.
    m_num->installEventFilter(this);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_group);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(m_num, &QSpinBox::textChanged, this, &TAddToOrderForm::recomputeSum);
    // An emptied quantity is no amount: OK waits for one. The spin box
    // tells no change of a text it cannot read; its line does. Leaving the
    // emptied box (Tab, another window) puts the last quantity back without
    // a word from either, but ends the editing.
    if (auto *line = m_num->findChild<QLineEdit *>()) {
        const auto followText = [this, line] { m_ok->setEnabled(!line->text().trimmed().isEmpty()); };
        connect(line, &QLineEdit::textChanged, this, followText);
        connect(m_num, &QAbstractSpinBox::editingFinished, this, followText);
    }
}

TAddToOrderForm::~TAddToOrderForm() = default;

QString TAddToOrderForm::maskText(double value, const QString &currencySymbol)
{
    QString digits = Decimal::formatGrouped(std::fabs(value), 6);
    const QChar separator = Decimal::separator();
    const qsizetype point = digits.indexOf(separator);
    if (point >= 0) {
        qsizetype end = digits.size();
        while (end > point + 3 && digits.at(end - 1) == QLatin1Char('0'))
            --end;
        digits.truncate(end);
    }
    bool zero = true;
    for (const QChar ch : digits) {
        if (ch.isDigit() && ch != QLatin1Char('0'))
            zero = false;
    }
    const QString sign = value < 0 && !zero ? QStringLiteral("-") : QString();
    return sign + digits + QLatin1Char(' ') + currencySymbol;
}

void TAddToOrderForm::prepare(const UserPrompts::QuantityRequest &request)
{
    m_group->setTitle(request.partName);
    m_priceValue = request.price;
    m_symbol = request.currencySymbol;
    m_price->setText(maskText(m_priceValue, m_symbol));
    m_packSize = request.packSize > 1 ? request.packSize : 0;
    m_num->setPack(m_packSize);
    m_pack->setVisible(m_packSize > 0);
    m_lineCostOf = request.lineCost;
    m_lineCost->clear();
    m_pack->setText(QStringLiteral("Норма упаковки: %1").arg(m_packSize));
    const int initial = qMax(1, request.quantity);
    if (m_num->value() == initial)
        recomputeSum(m_num->text());
    else
        m_num->setValue(initial);
    markPack();
}

void TAddToOrderForm::markPack()
{
    const bool mismatch = m_packSize > 0 && m_num->value() % m_packSize != 0;
    if (mismatch == m_packMismatch)
        return;
    m_packMismatch = mismatch;
    m_pack->setToolTip(m_packMismatch ? QStringLiteral("Количество не кратно норме упаковки") : QString());
    paintPackMark();
}

void TAddToOrderForm::paintPackMark()
{
    if (!m_packMismatch) {
        m_pack->setStyleSheet(QString());
        m_num->setStyleSheet(QString());
        return;
    }
    // The quantity stays as typed; the note turns red and the box pink, each
    // text kept readable on its background in a light and a dark palette.
    const QPalette &colours = palette();
    const QColor red = ReadableColour::on(QColor(0xC0, 0x00, 0x00), colours.color(QPalette::Window));
    m_pack->setStyleSheet(QStringLiteral("color: %1; font-weight: bold;").arg(red.name()));
    const QColor pink(0xFF, 0xD8, 0xD8);
    const QColor text = ReadableColour::on(colours.color(QPalette::Text), pink);
    m_num->setStyleSheet(QStringLiteral("QSpinBox { background: %1; color: %2; }").arg(pink.name(), text.name()));
}

int TAddToOrderForm::quantity() const
{
    return m_num->value();
}

bool TAddToOrderForm::ask(const UserPrompts::QuantityRequest &request, int *quantity)
{
    prepare(request);
    if (exec() != QDialog::Accepted)
        return false;
    if (quantity)
        *quantity = m_num->value();
    return true;
}

bool TAddToOrderForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_num && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && modifiers == Qt::NoModifier) {
            // An empty quantity stays empty: Enter waits for one.
            if (!m_ok->isEnabled())
                return true;
            m_num->interpretText();
            m_ok->click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TAddToOrderForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    focusQuantity();
}

void TAddToOrderForm::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    // Whenever the dialog becomes active the quantity is ready to be typed over.
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        focusQuantity();
    else if (event->type() == QEvent::PaletteChange)
        paintPackMark();
}

void TAddToOrderForm::focusQuantity()
{
    m_num->setFocus(Qt::OtherFocusReason);
    m_num->selectAll();
}

void TAddToOrderForm::recomputeSum(const QString &quantityText)
{
    if (quantityText.trimmed().isEmpty())
        return;
    m_sum->setText(maskText(double(m_num->value()) * m_priceValue, m_symbol));
    const QString cost = m_lineCostOf ? m_lineCostOf(m_num->value()) : QString();
    m_lineCost->setText(cost);
    m_lineCost->setVisible(!cost.isEmpty());
    markPack();
}
