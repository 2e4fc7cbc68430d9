#pragma once

#include <functional>
#include <vector>

#include <QAbstractTableModel>

#include "workspace.h"

// The model of the price grid and of the order grid: it reads the record
// table's view and the grid's column layout directly. Nothing per row is
// copied; a row count or a cell costs the same for ten rows or a million.
class RecordTableModel final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RecordTableModel)

public:
    enum Role
    {
        RawValueRole = Qt::UserRole + 1, // the field's value: number or text, null when unset
        FieldNameRole,                   // the column's field name ("NPP" for the row number)
        OldPriceRole,                    // price grid, Price column: OldPrice, null when unset
        MoneyRole                        // Price/SUM columns: the amount as shown, before formatting
    };

    RecordTableModel(Workspace &workspace, Workspace::Grid grid, QObject *parent = nullptr);
    ~RecordTableModel() override;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    Workspace &workspace() const { return m_workspace; }
    Workspace::Grid grid() const { return m_grid; }
    RecordTable &table() const;
    const GridColumn *column(int section) const;

    // The display text of a cell as the grid shows it and as copying and the
    // clipboard export take it.
    QString displayText(int row, int column) const;

    // Rebuilds the model after the table's view or the columns changed.
    void reset();
    // While rows are being inserted or removed: the grid's current index
    // moves in the rows as they were, and is no news for the table.
    bool isChangingRows() const { return m_changingRows; }

    // A hint for each row, shown over any of its cells (empty: none).
    using RowHint = std::function<QString(int viewRow)>;
    void setRowHint(RowHint hint) { m_rowHint = std::move(hint); }
    // A column after the layout's ones, titled `title`, with each row's
    // `text`; there while `shown` answered true at the last reset.
    void setExtraColumn(const QString &title, std::function<bool()> shown, RowHint text);
    // Its index, or -1 while it is not there.
    int extraColumn() const;

private:
    // What a column shows, worked out from its field at each reset rather
    // than from the field's name for every cell.
    enum class ColumnKind
    {
        RowNumber,    // no field: the row's number
        Availability, // AvailabilityFlag: drawn as a picture
        Money,        // Price or SUM: an amount with the discount applied
        Plain
    };
    enum class Alignment
    {
        Right,
        Left,
        OfField // the field was not there at the reset: asked per cell
    };
    struct ColumnInfo
    {
        ColumnKind kind = ColumnKind::Plain;
        Alignment alignment = Alignment::OfField;
        bool price = false; // the Price field: its old price is at hand
    };

    void attach();
    void detach();
    void viewChanged();
    ColumnInfo columnInfo(const GridColumn &column) const;
    ColumnInfo infoOf(int section, const GridColumn &column) const;

    Workspace &m_workspace;
    Workspace::Grid m_grid;
    int m_viewListener = -1;
    int m_rowListener = -1;
    int m_oldPriceField = -1;
    int m_rowCount = 0;
    std::vector<ColumnInfo> m_columns; // of the layout's columns at the last reset
    RowHint m_rowHint;
    QString m_extraTitle;
    std::function<bool()> m_extraShown;
    RowHint m_extraText;
    bool m_extra = false;
    bool m_changingRows = false;
};
