#pragma once

#include <QDialog>
#include <QList>

#include "supplierlist.h"

class ChooserHeaderView;
class PriceLayoutPreview;
class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTableView;

// The dialog "Столбцы прайс-листа": the first rows of a supplier's list with
// a field chooser above each column, the header row, the sheet (workbooks)
// or the encoding and delimiter (text files), and the supplier's name. The
// buyer confirms or corrects the proposed layout; "Загрузить" stays disabled
// until the layout names a price, a name, a code or part number, and the
// supplier.
class PriceLayoutDialog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PriceLayoutDialog)

public:
    explicit PriceLayoutDialog(const PriceLayoutQuestion &question, QWidget *parent = nullptr);
    ~PriceLayoutDialog() override;

    // Shows the dialog modally; on "Загрузить" `question` receives the
    // edited question (its layout is the answer) and true is returned.
    static bool ask(PriceLayoutQuestion &question, QWidget *parent);

    const PriceLayoutQuestion &question() const { return m_question; }
    QTableView *preview() const { return m_preview; }

    void accept() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    // After the rows changed: every control again.
    void refreshAll();
    // After the layout changed: the choosers, the rows' look and the state.
    void refreshLayout();
    void refreshState();
    void rebuildChoosers();
    void fitColumns();
    void updateTabOrder();
    void scrollToSection(int section);

    void chooseField(int column, int fieldIndex);
    void chooseHeaderRow(int row);
    // Reads the rows again after a change of sheet, encoding or delimiter.
    void reload(int sheet, const QByteArray &encoding, char delimiter);
    void reloadFromChoosers();

    bool isText() const;
    int previewColumns() const;

    PriceLayoutQuestion m_question;
    bool m_updating = false;
    // The layout when the chooser in focus got it: stepping through its
    // fields with the arrow keys takes a field from another column only
    // for the one the buyer stops at.
    int m_baseColumn = -1;
    ImportLayout m_baseLayout;
    QStringList m_baseReasons;

    QLabel *m_file = nullptr;
    QLineEdit *m_name = nullptr;
    QLabel *m_sheetLabel = nullptr;
    QComboBox *m_sheet = nullptr;
    QLabel *m_encodingLabel = nullptr;
    QComboBox *m_encoding = nullptr;
    QLabel *m_delimiterLabel = nullptr;
    QComboBox *m_delimiter = nullptr;
    QSpinBox *m_headerRow = nullptr;
    QLabel *m_changes = nullptr;
    QLabel *m_hint = nullptr;
    QTableView *m_preview = nullptr;
    ChooserHeaderView *m_header = nullptr;
    PriceLayoutPreview *m_model = nullptr;
    QList<QComboBox *> m_choosers; // one per sheet column
    QLabel *m_missing = nullptr;
    QCheckBox *m_remember = nullptr;
    QDialogButtonBox *m_buttons = nullptr;
    QPushButton *m_ok = nullptr;
};
