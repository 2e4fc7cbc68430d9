#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QFont>
#include <QList>
#include <QString>

#include "importlayout.h"
#include "layoutguess.h"
#include "sheetreader.h"

// The first rows of a supplier's list as the dialog "Столбцы прайс-листа"
// shows them: the sheet's row number, then one column per sheet column.
// Each row is sorted by the current layout; the rows that will not load as
// items are greyed with the reason as tool tip, the header row is bold.
class PriceLayoutPreview final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PriceLayoutPreview)

public:
    explicit PriceLayoutPreview(QObject *parent = nullptr);

    // New rows: the model is reset. `columns` sheet columns are shown at
    // least (a layout may name a column the first rows leave empty).
    void setRows(const QList<SheetRow> &rows, int columns, const ImportLayout &layout);
    // The same rows sorted again by another layout.
    void setLayout(const ImportLayout &layout);
    // How rows that do not load and the header row are drawn.
    void setGreyColor(const QColor &color) { m_grey = color; }
    void setBoldFont(const QFont &font) { m_bold = font; }

    int sheetColumnCount() const { return m_columns; }
    RowClass rowClass(int row) const { return m_classes.value(row, RowClass::Item); }
    // The text a cell shows, one line.
    QString cellText(int row, int sheetColumn) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    void classify();

    QList<SheetRow> m_rows;
    int m_columns = 0;
    ImportLayout m_layout;
    QList<RowClass> m_classes;
    QStringList m_reasons;
    QColor m_grey = Qt::gray;
    QFont m_bold;
};
