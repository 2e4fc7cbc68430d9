#include "ordertable.h"

#include "actionid.h"
#include "partkey.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <vector>

#include <QFileInfo>

#include "gridlayout.h"
#include "ordixerror.h"
#include "missinglines.h"
#include "orderfileguard.h"
#include "orderhistory.h"
#include "workspace.h"

namespace
{
    const QString MoneyMask = QStringLiteral("# ### ##0.00 р.");
    const QString CodeMask = QStringLiteral("00000");
}

QList<FieldDef> OrderTable::fields()
{
    return {
        {QStringLiteral("AvailabilityFlag"), FieldType::I2, 0},
        {QStringLiteral("Code"), FieldType::I4, 0},
        {QStringLiteral("Name"), FieldType::String, 200},
        {QStringLiteral("CatalogID"), FieldType::String, 100},
        {QStringLiteral("Producer"), FieldType::String, 100},
        {QStringLiteral("Count"), FieldType::I4, 0},
        {QStringLiteral("Price"), FieldType::R8, 0},
        {QStringLiteral("SUM"), FieldType::R8, 0},
    };
}

double OrderTable::lineAmount(double price, qint64 count)
{
    const double amount = price * double(count);
    if (!(std::fabs(amount) <= MaxAmount)) {
        throw OrdixError(QStringLiteral("Сумма строки заказа слишком велика: %1 × %2")
                             .arg(QString::number(price, 'g', 15))
                             .arg(count));
    }
    return amount;
}

void OrderTable::startNew(Workspace &workspace)
{
    RecordTable &table = workspace.order();
    if (table.isActive())
        table.close();

    workspace.document().setFileName(QString());
    OrderFileGuard::of(workspace).release();
    table.open(fields());
    table.setDisplayFormat(Price, MoneyMask);
    table.setDisplayFormat(SUM, MoneyMask);
    table.setDisplayFormat(Code, CodeMask);
    workspace.document().setModified(false);
    workspace.document().setUncounted({});
    workspace.document().recount();
    OrderHistory::of(workspace).clear();
    MissingLines::of(workspace).clear();

    workspace.setPanelVisible(Workspace::Panel::Order, true);
    workspace.execute(ActionId::PanelOrderPosition);

    buildColumns(workspace);

    workspace.setLabel(Workspace::Label::OrderTitle, QStringLiteral("Заказ"));
    hideOrderSum(workspace, QStringLiteral("Сумма"));
    workspace.setLabel(Workspace::Label::SummHint, QString());
}

void OrderTable::buildColumns(Workspace &workspace)
{
    const QList<FieldDef> defs = fields();
    GridLayout &grid = workspace.grid(Workspace::Grid::Order);
    grid.clear();
    const auto column = [&](const QString &field, int position, const QString &title, int width) {
        GridColumn c;
        c.fieldName = field;
        c.fieldPosition = position;
        c.title = title;
        c.width = width;
        grid.columns.append(c);
    };
    const int moneyWidth = workspace.textWidth(QStringLiteral("00 000.00 р"));
    column(QStringLiteral("NPP"), -1, QStringLiteral("№"), workspace.fontWidth(40));
    column(defs.at(AvailabilityFlag).name, AvailabilityFlag, QStringLiteral("..."), 18);
    column(defs.at(Code).name, Code, QStringLiteral("Код"), workspace.fontWidth(50));
    // The window widens the name column by the room left in the grid.
    column(defs.at(Name).name, Name, QStringLiteral("Наименование / артикул производителя"), workspace.fontWidth(200));
    column(defs.at(CatalogID).name, CatalogID, QStringLiteral("OEM номер"), workspace.fontWidth(100));
    column(defs.at(Producer).name, Producer, QStringLiteral("Пр-во"), workspace.textWidth(QStringLiteral("WWWWWW")));
    column(defs.at(Count).name, Count, QStringLiteral("Кол-во"), moneyWidth);
    column(defs.at(Price).name, Price, QStringLiteral("Цена"), moneyWidth);
    column(defs.at(SUM).name, SUM, QStringLiteral("Итого"), workspace.fontWidth(GridColumn().width));
    grid.fixedColumns = 2;
    workspace.gridColumnsRebuilt(Workspace::Grid::Order);
}

void OrderTable::notePosted(Workspace &workspace, int viewRow)
{
    const RecordTable &table = workspace.order();
    if (!table.isActive())
        return;
    const int row = viewRow >= 0 ? viewRow : table.rowNumber() - 1;
    if (row < 0 || row >= table.rowCount())
        return;
    GridLayout &grid = workspace.grid(Workspace::Grid::Order);
    for (int c = 1; c < grid.count(); ++c) {
        const int field = grid.columns.at(c).fieldPosition;
        if (field < 0 || field >= table.fieldCount())
            continue;
        grid.raisePreferredWidth(c, workspace.textWidth(table.displayTextAt(row, field)) + 4);
        // The grid shows money with the discount and in the display currency.
        if ((field == Price || field == SUM) && !table.isNullAt(row, field)) {
            const QString shown = workspace.formatMoney(workspace.applyDiscount(table.floatAt(row, field)));
            grid.raisePreferredWidth(c, workspace.textWidth(shown) + 4);
        }
    }
    workspace.gridPreferredWidthsRaised(Workspace::Grid::Order);
}

namespace
{
    // The number of decimal digits, from the highest bit set: a paste of
    // many lines measures every one of them.
    qsizetype digits(quint64 value)
    {
        static constexpr quint64 Powers[] = {1ULL,
                                             10ULL,
                                             100ULL,
                                             1000ULL,
                                             10000ULL,
                                             100000ULL,
                                             1000000ULL,
                                             10000000ULL,
                                             100000000ULL,
                                             1000000000ULL,
                                             10000000000ULL,
                                             100000000000ULL,
                                             1000000000000ULL,
                                             10000000000000ULL,
                                             100000000000000ULL,
                                             1000000000000000ULL,
                                             10000000000000000ULL,
                                             100000000000000000ULL,
                                             1000000000000000000ULL,
                                             10000000000000000000ULL};
        value |= 1; // the same digits, and one for 0
        const int bits = 64 - qCountLeadingZeroBits(value);
        const int below = (bits * 1233) >> 12; // the digits, or one less
        return below + (value >= Powers[below] ? 1 : 0);
    }
}

void OrderTable::LongestLines::note(int viewRow, const RecordTable::StoredValue *values)
{
    for (int f = 0; f < FieldCount; ++f) {
        const RecordTable::StoredValue &value = values[f];
        qsizetype length = 0;
        if (value.unset)
            length = 0;
        else if (f == Name || f == CatalogID || f == Producer)
            length = value.text.size(); // one byte a character
        else if (f == Price || f == SUM)
            length = (value.number < 0 ? 1 : 0) + digits(quint64(std::fabs(value.number) * 100 + 0.5)) + 1;
        else
            length = (value.number < 0 ? 1 : 0) + digits(quint64(std::fabs(value.number)));
        if (length > m_lengths[f]) {
            m_lengths[f] = length;
            m_rows[f] = viewRow;
        }
    }
}

void OrderTable::LongestLines::notePosted(Workspace &workspace) const
{
    std::vector<int> rows(std::begin(m_rows), std::end(m_rows));
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    for (const int row : rows) {
        if (row >= 0)
            OrderTable::notePosted(workspace, row);
    }
}

void OrderTable::showOrderSum(Workspace &workspace)
{
    const double d = workspace.settings().discount;
    OrderDocument &document = workspace.document();
    const double total = document.total();
    QString payable;
    QString undiscounted;
    QString hint;
    if (d >= 100) {
        payable = workspace.formatMoney(total);
    } else {
        if (d != 0)
            undiscounted = workspace.formatMoney(total);
        if (d > 0)
            hint = QStringLiteral("Сумма без учета скидки: ") + undiscounted;
        else if (d < 0)
            hint = QStringLiteral("Стоимость без наценки : ") + undiscounted;
        payable = workspace.formatMoney(total * (1.0 - d / 100.0));
    }
    document.setSumTexts(payable, undiscounted);
    workspace.setLabel(Workspace::Label::SummHint, hint);
    workspace.setLabel(Workspace::Label::Summ, QStringLiteral("Сумма: ") + payable);
}

void OrderTable::hideOrderSum(Workspace &workspace, const QString &label)
{
    workspace.document().setSumTexts(QString(), QString());
    workspace.setLabel(Workspace::Label::Summ, label);
}

QString OrderTable::titleFor(const QString &path)
{
    return QStringLiteral("Заказ: ") + QFileInfo(path).fileName();
}

QString OrderTable::displayText(const RecordTable &table, int viewRow, int field)
{
    if (field == Code
        && PartKey::isMadeUp(table.integerAt(viewRow, Code), table.stringAt(viewRow, CatalogID),
                             table.stringAt(viewRow, Producer)))
        return QString();
    return table.displayTextAt(viewRow, field);
}
