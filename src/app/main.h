#pragma once

#include <memory>

#include <QHash>
#include <QList>
#include <QMainWindow>
#include <QPointer>

#include "workspace.h"

class GridController;
class LegendPanel;
class PartSearchField;
class QHBoxLayout;
class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QScrollBar;
class QSplitter;
class QTableView;
class QToolBar;
class QToolButton;
class QtPrompts;
class TProgressDialog;
class TPropertiesDlg;

// The main window "ZOLT Ordix 3": the legend on the left, the price list over
// the order on the right, the menu bar, the tool bar and the status line. It
// owns the workspace (tables, actions, settings) for the whole run, mirrors
// every action as a QAction with the action's name, and shows the
// workspace's labels and panels. The subsystems wire themselves to its grids,
// menus and panels through the accessors below.
class TMakeOrderForm final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TMakeOrderForm)

public:
    explicit TMakeOrderForm(QWidget *parent = nullptr);
    ~TMakeOrderForm() override;

    Workspace &workspace() { return *m_workspace; }
    // The window's own prompts, installed in the workspace at creation.
    QtPrompts &qtPrompts() { return *m_prompts; }

    // Windows created after this one at start-up.
    void setPropertiesDialog(TPropertiesDlg *dialog);
    void setProgressDialog(TProgressDialog *dialog);

    // The QAction mirroring an action of the list (null for an unknown name).
    QAction *action(const QString &name) const { return m_actions.value(name); }
    // Recomputes every action's enabled state from its rule. Runs by itself
    // after every command, before a menu opens, and once the event loop is
    // back after a table, the order document, the undo history, the
    // settings or a label of the workspace told a change.
    void updateActions();
    // Lays the price and order panels out: the order panel 150 pixels high
    // under the price list when both show, otherwise filling the work area.
    void panelOrderPosition();
    bool isFirstActivation() const { return m_firstActivation; }

    QTableView *gridPrice() const { return m_gridPrice; }
    QTableView *gridOrder() const { return m_gridOrder; }
    QScrollBar *sideScrollBar() const { return m_sideScrollBar; }
    GridController *priceGridController() const { return m_priceGridController; }
    GridController *orderGridController() const { return m_orderGridController; }
    QLineEdit *lookupGridPrice() const { return m_lookupGridPrice; }
    PartSearchField *partSearchField() const { return m_partSearch; }
    QMenu *popupMenu() const { return m_popupMenu; }
    QMenu *catalogMenu() const { return m_catalogMenu; }
    QAction *showItemAction() const { return m_showItem; }
    QMenu *modelsPopupMenu() const { return m_modelsPopup; }
    QAction *modelsPopupLine() const { return m_modelsPopupLine; }
    QLabel *statusLabel() const { return m_statusLabel; }
    QLabel *filterStatusLabel() const { return m_filterStatusLabel; }
    QToolBar *toolBar() const { return m_toolBar; }
    LegendPanel *legendPanel() const { return m_legend; }
    QWidget *panel(Workspace::Panel which) const;
    QWidget *panelPrice() const { return m_panelPrice; }
    QWidget *panelOrderTitle() const { return m_panelOrderTitle; }
    QSplitter *splitterPriceOrder() const { return m_splitter; }

signals:
    // The first activation of the run, after the window was maximised and
    // before the price list is loaded automatically.
    void firstActivated();
    // The window is closing for good.
    void closing();

protected:
    bool event(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void createActions();
    void createMenus();
    void createToolBar();
    void createPanels();
    void createStatusBar();
    void connectWorkspace();
    void watchRuleInputs();
    void scheduleActionUpdate();
    void createGridControllers();
    // CopyCell: the selected cell's text on the clipboard; an empty text
    // leaves the clipboard as it was.
    void copyCell();

    QMenu *addMenu(QWidget *owner, const QString &title, const char *name);
    QAction *proxyAction(const QString &name, const QString &caption, QObject *parent);
    void syncAction(const QString &name);
    void runAction(const QString &name);
    void showLabel(Workspace::Label which, const QString &text);
    void showPanel(Workspace::Panel which, bool visible);
    void reportError(const QString &text);
    void firstActivation();

    std::unique_ptr<Workspace> m_workspace;
    std::unique_ptr<QtPrompts> m_prompts;
    QPointer<TPropertiesDlg> m_propertiesDialog;
    QPointer<TProgressDialog> m_progressDialog;
    bool m_firstActivation = true;

    QHash<QString, QAction *> m_actions;
    struct Proxy
    {
        QAction *action;
        QString name;
    };
    QList<Proxy> m_proxies;
    struct RuleListener
    {
        RecordTable *table;
        int id;
    };
    QList<RuleListener> m_ruleListeners;
    bool m_actionUpdatePending = false;

    QMenu *m_catalogMenu = nullptr;
    QMenu *m_fileMenu = nullptr;
    QMenu *m_popupMenu = nullptr;
    QMenu *m_modelsPopup = nullptr;
    QAction *m_modelsPopupLine = nullptr;
    QAction *m_showItem = nullptr;
    QToolBar *m_toolBar = nullptr;
    QToolButton *m_newButton = nullptr;
    QToolButton *m_openButton = nullptr;
    QLabel *m_filterStatusLabel = nullptr;

    LegendPanel *m_legend = nullptr;
    QWidget *m_panelModels = nullptr;
    QWidget *m_panelPriceTotal = nullptr;
    QWidget *m_panelPrice = nullptr;
    QLabel *m_title = nullptr;
    QLabel *m_curDate = nullptr;
    QTableView *m_gridPrice = nullptr;
    QScrollBar *m_sideScrollBar = nullptr;
    QLineEdit *m_lookupGridPrice = nullptr;
    QHBoxLayout *m_priceTitleLayout = nullptr;
    PartSearchField *m_partSearch = nullptr;
    QSplitter *m_splitter = nullptr;
    QWidget *m_panelOrder = nullptr;
    QWidget *m_panelOrderTitle = nullptr;
    QLabel *m_orderTitle = nullptr;
    QLabel *m_summ = nullptr;
    QTableView *m_gridOrder = nullptr;
    GridController *m_priceGridController = nullptr;
    GridController *m_orderGridController = nullptr;
    QLabel *m_statusLabel = nullptr;
};
