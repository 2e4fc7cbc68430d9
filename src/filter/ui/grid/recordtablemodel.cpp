#include "recordtablemodel.h"

#include "ordertable.h"
#include "ordixerror.h"
#include "pricefields.h"

RecordTableModel::RecordTableModel(Workspace &workspace, Workspace::Grid grid, QObject *parent)
    : QAbstractTableModel(parent)
    , m_workspace(workspace)
    , m_grid(grid)
{
    attach();
    connect(&m_workspace, &Workspace::gridColumnsChanged, this, [this](Workspace::Grid which) {
        if (which == m_grid)
            reset();
    });
    connect(&m_workspace, &Workspace::repaintGrids, this, [this] {
        if (rowCount() > 0)
            emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
    });
}

RecordTableModel::~RecordTableModel()
{
    detach();
}

void RecordTableModel::attach()
{
    RecordTable &t = table();
    m_viewListener = t.onViewChanged([this] { viewChanged(); });
    m_rowListener = t.onRowChanged([this](int viewRow) {
        if (viewRow >= 0 && viewRow < rowCount())
            emit dataChanged(index(viewRow, 0), index(viewRow, columnCount() - 1));
    });
}

void RecordTableModel::detach()
{
    RecordTable &t = table();
    if (m_viewListener >= 0)
        t.removeListener(m_viewListener);
    if (m_rowListener >= 0)
        t.removeListener(m_rowListener);
    m_viewListener = m_rowListener = -1;
}

void RecordTableModel::viewChanged()
{
    // One row in or out is told as such, so that the grid keeps its
    // current cell, selection and scroll; anything else, or a count that
    // does not add up, resets.
    const RecordTable &t = table();
    const ViewChange change = t.lastViewChange();
    const bool one = change.kind == ViewChange::RowInserted || change.kind == ViewChange::RowRemoved;
    if (!one || !t.isActive() || (m_extraShown && m_extraShown() != m_extra)) {
        reset();
        return;
    }
    const bool inserted = change.kind == ViewChange::RowInserted;
    const int row = change.position;
    const int count = m_rowCount + (inserted ? 1 : -1);
    if (row < 0 || row >= (inserted ? count : m_rowCount) || t.rowCount() != count) {
        reset();
        return;
    }
    m_changingRows = true;
    if (inserted) {
        beginInsertRows(QModelIndex(), row, row);
        m_rowCount = count;
        endInsertRows();
    } else {
        beginRemoveRows(QModelIndex(), row, row);
        m_rowCount = count;
        endRemoveRows();
    }
    m_changingRows = false;
}

RecordTable &RecordTableModel::table() const
{
    return m_grid == Workspace::Grid::Price ? m_workspace.price() : m_workspace.order();
}

const GridColumn *RecordTableModel::column(int section) const
{
    const GridLayout &layout = m_workspace.grid(m_grid);
    if (section < 0 || section >= layout.count())
        return nullptr;
    return &layout.columns.at(section);
}

void RecordTableModel::reset()
{
    beginResetModel();
    const RecordTable &t = table();
    m_oldPriceField = t.isActive() ? PriceFields::find(t, PriceFields::OldPrice) : -1;
    m_rowCount = t.isActive() ? t.rowCount() : 0;
    m_extra = m_extraShown && m_extraShown();
    const GridLayout &layout = m_workspace.grid(m_grid);
    m_columns.clear();
    m_columns.reserve(size_t(layout.count()));
    for (int c = 0; c < layout.count(); ++c)
        m_columns.push_back(columnInfo(layout.columns.at(c)));
    endResetModel();
}

RecordTableModel::ColumnInfo RecordTableModel::columnInfo(const GridColumn &column) const
{
    ColumnInfo info;
    if (column.fieldPosition < 0)
        info.kind = ColumnKind::RowNumber;
    else if (PriceFields::is(column.fieldName, PriceFields::AvailabilityFlag))
        info.kind = ColumnKind::Availability;
    else if (PriceFields::is(column.fieldName, PriceFields::Price)
             || column.fieldName.compare(OrderTable::fields().at(OrderTable::SUM).name, Qt::CaseInsensitive) == 0)
        info.kind = ColumnKind::Money;
    info.price = PriceFields::is(column.fieldName, PriceFields::Price);

    const RecordTable &t = table();
    if (info.kind == ColumnKind::RowNumber || info.kind == ColumnKind::Money)
        info.alignment = Alignment::Right;
    else if (t.isActive() && column.fieldPosition < t.fieldCount())
        info.alignment = t.field(column.fieldPosition).isNumeric() ? Alignment::Right : Alignment::Left;
    return info;
}

RecordTableModel::ColumnInfo RecordTableModel::infoOf(int section, const GridColumn &column) const
{
    // A layout changed without a reset (none should) is read afresh.
    if (section >= 0 && size_t(section) < m_columns.size())
        return m_columns[size_t(section)];
    return columnInfo(column);
}

void RecordTableModel::setExtraColumn(const QString &title, std::function<bool()> shown, RowHint text)
{
    m_extraTitle = title;
    m_extraShown = std::move(shown);
    m_extraText = std::move(text);
}

int RecordTableModel::extraColumn() const
{
    return m_extra ? m_workspace.grid(m_grid).count() : -1;
}

int RecordTableModel::rowCount(const QModelIndex &parent) const
{
    // The count of the last reset: while the table's views are suspended the
    // grid keeps showing what it showed, and cells beyond the live view read
    // as empty.
    return parent.isValid() ? 0 : m_rowCount;
}

int RecordTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_workspace.grid(m_grid).count() + (m_extra ? 1 : 0);
}

Qt::ItemFlags RecordTableModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

QString RecordTableModel::displayText(int row, int columnIndex) const
{
    const GridColumn *c = column(columnIndex);
    const RecordTable &t = table();
    if (!t.isActive() || row < 0 || row >= t.rowCount())
        return QString();
    if (columnIndex == extraColumn())
        return m_extraText ? m_extraText(row) : QString();
    if (!c)
        return QString();
    const ColumnKind kind = infoOf(columnIndex, *c).kind;
    if (kind == ColumnKind::RowNumber)
        return QString::number(row + 1);
    if (t.isNullAt(row, c->fieldPosition))
        return QString();
    if (kind == ColumnKind::Money)
        return m_workspace.formatMoney(m_workspace.applyDiscount(t.floatAt(row, c->fieldPosition)));
    // An order line keyed by part number and maker shows no code: it is the
    // program's own, as in the order's files and exports.
    if (m_grid == Workspace::Grid::Order)
        return OrderTable::displayText(t, row, c->fieldPosition);
    return t.displayTextAt(row, c->fieldPosition);
}

QVariant RecordTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return QVariant();
    const GridColumn *c = column(index.column());
    const RecordTable &t = table();
    const int row = index.row();
    if (!t.isActive() || row >= t.rowCount())
        return QVariant();
    if (!c && index.column() == extraColumn()) {
        if (role == Qt::DisplayRole || role == RawValueRole)
            return displayText(row, index.column());
        if (role == Qt::ToolTipRole && m_rowHint)
            return m_rowHint(row);
        if (role == Qt::TextAlignmentRole)
            return QVariant(Qt::AlignLeft | Qt::AlignVCenter);
        return QVariant();
    }
    if (!c)
        return QVariant();
    const int field = c->fieldPosition;
    const ColumnInfo info = infoOf(index.column(), *c);

    switch (role) {
    case Qt::DisplayRole:
        if (info.kind == ColumnKind::Availability)
            return QVariant(); // drawn as a picture
        return displayText(row, index.column());
    case Qt::TextAlignmentRole:
        if (info.alignment == Alignment::Right || (info.alignment == Alignment::OfField && t.field(field).isNumeric()))
            return QVariant(Qt::AlignRight | Qt::AlignVCenter);
        return QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    case Qt::ToolTipRole:
        if (m_rowHint) {
            const QString hint = m_rowHint(row);
            if (!hint.isEmpty())
                return hint;
        }
        return QVariant();
    case FieldNameRole:
        return c->fieldName;
    case RawValueRole:
        if (field < 0)
            return row + 1;
        if (t.isNullAt(row, field))
            return QVariant();
        switch (t.field(field).type) {
        case FieldType::I2:
        case FieldType::I4:
            return t.integerAt(row, field);
        case FieldType::R8:
            return t.floatAt(row, field);
        case FieldType::String:
            return t.stringAt(row, field);
        }
        return QVariant();
    case MoneyRole:
        if (info.kind != ColumnKind::Money || t.isNullAt(row, field))
            return QVariant();
        return m_workspace.applyDiscount(t.floatAt(row, field));
    case OldPriceRole:
        if (m_oldPriceField < 0 || !info.price || t.isNullAt(row, m_oldPriceField))
            return QVariant();
        return t.floatAt(row, m_oldPriceField);
    default:
        return QVariant();
    }
}

QVariant RecordTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return QVariant();
    const GridColumn *c = column(section);
    if (!c && section != extraColumn())
        return QVariant();
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return c ? c->title : m_extraTitle;
    return QVariant();
}
