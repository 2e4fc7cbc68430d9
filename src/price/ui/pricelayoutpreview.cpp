#include "pricelayoutpreview.h"

#include "importcells.h"

PriceLayoutPreview::PriceLayoutPreview(QObject *parent)
    : QAbstractTableModel(parent)
{
    m_bold.setBold(true);
}

void PriceLayoutPreview::setRows(const QList<SheetRow> &rows, int columns, const ImportLayout &layout)
{
    beginResetModel();
    m_rows = rows;
    m_columns = columns;
    m_layout = layout;
    classify();
    endResetModel();
}

void PriceLayoutPreview::setLayout(const ImportLayout &layout)
{
    m_layout = layout;
    classify();
    if (!m_rows.isEmpty())
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
    emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
}

void PriceLayoutPreview::classify()
{
    RowClassifier classifier(m_layout);
    if (classifier.decimalMark().isNull()) {
        // As the list is read: the price column's mark from its texts.
        const int price = m_layout.column(ImportField::Price);
        QList<QString> texts;
        for (const SheetRow &row : std::as_const(m_rows)) {
            if (price >= 0 && price < row.cells.size() && row.cells.at(price).kind == SheetCell::Kind::Text)
                texts.append(row.cells.at(price).text);
        }
        classifier.setDecimalMark(ImportCells::decideDecimalMark(texts));
    }
    m_classes.clear();
    m_reasons.clear();
    for (const SheetRow &row : std::as_const(m_rows)) {
        QString why;
        const RowClass kind = classifier.classify(row, &why);
        m_classes.append(kind);
        m_reasons.append(why.isEmpty() ? RowClasses::title(kind) : why);
    }
}

QString PriceLayoutPreview::cellText(int row, int sheetColumn) const
{
    if (row < 0 || row >= m_rows.size())
        return QString();
    const QList<SheetCell> &cells = m_rows.at(row).cells;
    if (sheetColumn < 0 || sheetColumn >= cells.size())
        return QString();
    QString text = ImportCells::text(cells.at(sheetColumn));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    text.remove(QLatin1Char('\r'));
    return text;
}

int PriceLayoutPreview::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int PriceLayoutPreview::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_columns + 1;
}

QVariant PriceLayoutPreview::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return QVariant();
    const int row = index.row();
    const RowClass kind = m_classes.at(row);
    switch (role) {
    case Qt::DisplayRole:
        if (index.column() == 0)
            return QString::number(m_rows.at(row).index + 1);
        return cellText(row, index.column() - 1);
    case Qt::ToolTipRole:
        if (kind == RowClass::Item)
            return QVariant();
        return m_rows.at(row).hidden ? m_reasons.at(row) + QStringLiteral(" (строка скрыта)") : m_reasons.at(row);
    case Qt::ForegroundRole:
        if (kind != RowClass::Item && kind != RowClass::Header)
            return m_grey;
        return QVariant();
    case Qt::FontRole:
        return kind == RowClass::Header ? QVariant(m_bold) : QVariant();
    case Qt::TextAlignmentRole:
        if (index.column() == 0)
            return QVariant(Qt::AlignRight | Qt::AlignVCenter);
        return QVariant();
    default:
        return QVariant();
    }
}

QVariant PriceLayoutPreview::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole)
        return section == 0 ? QStringLiteral("Строка") : ImportLayout::columnLetter(section - 1);
    if (role == Qt::ToolTipRole) {
        if (section == 0)
            return QStringLiteral("Номер строки листа");
        const int column = section - 1;
        if (column < m_layout.header.size() && !m_layout.header.at(column).isEmpty())
            return QStringLiteral("Столбец %1: «%2»")
                .arg(ImportLayout::columnLetter(column), m_layout.header.at(column));
        return QStringLiteral("Столбец %1").arg(ImportLayout::columnLetter(column));
    }
    return QVariant();
}
