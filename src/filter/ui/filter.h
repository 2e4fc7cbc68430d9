#pragma once

#include <array>
#include <functional>

#include <QDialog>

class ElidingComboBox;
class FilterBuilder;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QWidget;
class Workspace;

// The filter dialog of the price list ("Фильтр..."): a simple page with one
// field and its words, a compound page with five rows joined by logical
// connectives, the word parameters and the availability states. It filters
// nothing itself: it mirrors the filter builder's state and writes the
// user's changes back on every close. Created once at start-up.
class TFilterDialog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TFilterDialog)

public:
    // Results of exec(): "Применить" accepts, "Отмена" rejects.
    enum Result
    {
        Cancel = QDialog::Rejected,
        Ok = QDialog::Accepted,
        Clear = 2
    };

    static constexpr QSize SimpleSize{353, 222};
    static constexpr QSize CompoundSize{436, 255};
    static constexpr QPoint ModeShift{41, 16};

    explicit TFilterDialog(QWidget *parent = nullptr);
    ~TFilterDialog() override;

    // What the dialog and the quick filters read from the price grid.
    struct PriceGridAccess
    {
        std::function<int()> selectedColumn;        // -1 when none
        std::function<QString()> selectedFieldName; // "NPP" for the row number
        std::function<void()> layoutSideBar;        // the side scroll bar
    };

    // Connects the dialog to the workspace: FilterCreate runs this dialog,
    // FilterQ reads the price grid's selected column and the filters lay out
    // the grid's side scroll bar. Also installs the price filter when the
    // workspace has none yet.
    void attach(Workspace &workspace, const PriceGridAccess &priceGrid);
    // Only FilterCreate, with the selected column given by a function.
    void attach(Workspace &workspace, std::function<int()> selectedColumn);

    // RunFilterDialog: prepares the dialog on its first opening, shows it
    // modally and answers false only for "Очистить"; "Отмена" puts back the
    // simple text the dialog was opened with.
    bool runFilterDialog(int selectedColumn);

    // State marks of the compound rows' panels (row 1..5).
    int rowMark(int row) const;

protected:
    void showEvent(QShowEvent *event) override;

private:
    struct RowControls
    {
        QWidget *panel = nullptr;
        QComboBox *condition = nullptr; // null for row 1
        ElidingComboBox *fields = nullptr;
        QLineEdit *text = nullptr;
        QPushButton *extract = nullptr;
    };

    void createSimplePage();
    void createCompoundPage();
    void createParamsPage();
    void createAvailabilityPage();
    void prepare(int selectedColumn);
    void loadState();
    void storeState();
    void applyRowState(int row);
    void availAllChanged(bool checked);
    void simpleToggled(bool checked);
    void showModePage(bool simple);
    void extractValue(QComboBox *fields, QLineEdit *text);
    FilterBuilder *builder() const;

    Workspace *m_workspace = nullptr;

    QTabWidget *m_pages = nullptr;
    bool m_placed = false;
    QWidget *m_simplePage = nullptr;
    QWidget *m_compoundPage = nullptr;
    QCheckBox *m_simple = nullptr;

    QLineEdit *m_filterString = nullptr;
    ElidingComboBox *m_fieldsCombo = nullptr;
    std::array<RowControls, 5> m_rows;

    QGroupBox *m_condition = nullptr;
    QButtonGroup *m_conditionButtons = nullptr;
    QComboBox *m_defSepar = nullptr;

    QCheckBox *m_availAll = nullptr;
    QCheckBox *m_availNot = nullptr;
    QCheckBox *m_availYes = nullptr;
    QCheckBox *m_availDeliv = nullptr;
    QCheckBox *m_availNew = nullptr;
};
