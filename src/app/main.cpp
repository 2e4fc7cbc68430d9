#include "main.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <climits>

#include "actionicons.h"
#include "actionid.h"
#include "applicabilitymenu.h"
#include "availableicons.h"
#include "carmodels.h"
#include "gridcontroller.h"
#include "legendpanel.h"
#include "partsearchfield.h"
#include "missinglinedelegate.h"
#include "orderhistory.h"
#include "modelspanel.h"
#include "orderlifecycle.h"
#include "orderoutput.h"
#include "orderrecovery.h"
#include "pricefilter.h"
#include "pricelifecycle.h"
#include "programactions.h"
#include "ordixapplication.h"
#include "ordixerror.h"
#include "preferences.h"
#include "pricedownload.h"
#include "progress.h"
#include "props.h"
#include "qtprompts.h"
#include "readablecolour.h"
#include "standardactions.h"

namespace
{
    constexpr int OrderPanelHeight = 150;

    template<typename W>
    W *named(W *widget, const char *name)
    {
        widget->setObjectName(QLatin1String(name));
        return widget;
    }

    // "Ctrl+Ins, Ctrl+C": one key sequence per comma-separated entry.
    QList<QKeySequence> shortcutsOf(const QString &text)
    {
        QList<QKeySequence> result;
        const QStringList entries = text.split(QStringLiteral(", "), Qt::SkipEmptyParts);
        for (const QString &entry : entries)
            result.append(QKeySequence::fromString(entry.trimmed(), QKeySequence::PortableText));
        return result;
    }

    // A title strip: bold text in the highlight's own text colour on the
    // highlight colour.
    void paintAsTitleStrip(QWidget *strip, const QList<QLabel *> &labels)
    {
        strip->setAutoFillBackground(true);
        QPalette palette = strip->palette();
        const QColor highlight = palette.color(QPalette::Highlight);
        palette.setColor(QPalette::Window, highlight);
        palette.setColor(QPalette::WindowText, ReadableColour::on(palette.color(QPalette::HighlightedText), highlight));
        strip->setPalette(palette);
        for (QLabel *label : labels) {
            QFont font = label->font();
            font.setBold(true);
            label->setFont(font);
            label->setPalette(palette);
        }
    }
}

TMakeOrderForm::TMakeOrderForm(QWidget *parent)
    : QMainWindow(parent)
    , m_workspace(std::make_unique<Workspace>())
    , m_prompts(std::make_unique<QtPrompts>(this))
{
    setObjectName(QStringLiteral("MakeOrderForm"));
    QCoreApplication::setApplicationName(QStringLiteral("ZOLT Ordix 3"));

    Workspace &ws = *m_workspace;
    ws.setPrompts(m_prompts.get());
    ProgramActions::install(ws);
    PriceDownload::installActions(ws);
    ActionList &list = ws.actions();
    list.setHandler(ActionId::ExitProg, [this] { close(); });
    list.setHandler(ActionId::PanelOrderPosition, [this] { panelOrderPosition(); });
    list.setHandler(ActionId::LegendSwitch, [this, &ws] {
        m_lookupGridPrice->hide();
        StandardActions::LegendSwitchExecute(ws);
    });
    list.setHandler(ActionId::Preferences, [this, &ws] {
        Preferences::PreferencesExecute(ws, [this](PreferencesForm &form) {
            if (!m_propertiesDialog)
                throw OrdixError(QStringLiteral("The settings dialog is not available"));
            return m_propertiesDialog->execute(form);
        });
    });

    createActions();
    createMenus();
    createPanels();
    createToolBar();
    createStatusBar();
    connectWorkspace();
    createGridControllers();

    ws.setTextWidth([this](const QString &text) { return m_gridPrice->fontMetrics().horizontalAdvance(text); });

    // INILoad, the legend, the decimal separator, the tag of OrderClose.
    StandardActions::startUp(ws);
    list.setErrorReport([this](const QString &text) { reportError(text); });
    if (auto *app = qobject_cast<OrdixApplication *>(QCoreApplication::instance()))
        app->setErrorReport([this](const QString &text) { reportError(text); });

    // Enabled states follow the rules whenever what the rules read changes.
    watchRuleInputs();
    updateActions();
    resize(1000, 700);
}

TMakeOrderForm::~TMakeOrderForm()
{
    if (auto *app = qobject_cast<OrdixApplication *>(QCoreApplication::instance()))
        app->setErrorReport(nullptr);
    m_workspace->actions().setErrorReport(nullptr);
    m_workspace->actions().setChangeListener(nullptr);
    for (const RuleListener &listener : std::as_const(m_ruleListeners))
        listener.table->removeListener(listener.id);
    // What hangs on the window (grids with their models, the subsystems'
    // controllers and panels) may refer to the workspace: it goes before the
    // workspace does. The window's own layout stays for the base class.
    QList<QPointer<QObject>> children;
    for (QObject *child : this->children()) {
        if (!qobject_cast<QLayout *>(child))
            children.append(child);
    }
    for (const QPointer<QObject> &child : std::as_const(children))
        delete child.data();
}

void TMakeOrderForm::setPropertiesDialog(TPropertiesDlg *dialog)
{
    m_propertiesDialog = dialog;
}

void TMakeOrderForm::setProgressDialog(TProgressDialog *dialog)
{
    m_progressDialog = dialog;
    m_workspace->setProgress(dialog);
}

// --- actions ------------------------------------------------------------

void TMakeOrderForm::createActions()
{
    ActionList &list = m_workspace->actions();
    for (const QString &name : list.names()) {
        const ActionList::Action &entry = list.get(name);
        auto *action = new QAction(this);
        action->setObjectName(name);
        action->setShortcuts(shortcutsOf(entry.shortcut));
        action->setCheckable(entry.checkable);
        action->setIcon(ActionIcons::icon(name, style()));
        action->setIconVisibleInMenu(true);
        connect(action, &QAction::triggered, this, [this, name] { runAction(name); });
        // Added to the window so that the shortcuts work without a menu.
        addAction(action);
        m_actions.insert(name, action);
        syncAction(name);
    }
    list.setChangeListener([this](const QString &name) { syncAction(name); });
}

void TMakeOrderForm::syncAction(const QString &name)
{
    QAction *action = m_actions.value(name);
    const ActionList::Action *entry = m_workspace->actions().find(name);
    if (!action || !entry)
        return;
    action->setText(entry->caption);
    action->setToolTip(entry->toolTip().isEmpty() ? QString(entry->caption).remove(QLatin1Char('&'))
                                                  : entry->toolTip());
    action->setStatusTip(entry->statusText());
    action->setVisible(entry->visible);
    if (action->isCheckable())
        action->setChecked(entry->checked);
}

QAction *TMakeOrderForm::proxyAction(const QString &name, const QString &caption, QObject *parent)
{
    auto *proxy = new QAction(caption, parent);
    QAction *source = m_actions.value(name);
    proxy->setIcon(source->icon());
    proxy->setStatusTip(source->statusTip());
    connect(source, &QAction::changed, proxy, [proxy, source] {
        proxy->setStatusTip(source->statusTip());
        proxy->setEnabled(source->isEnabled());
    });
    connect(proxy, &QAction::triggered, this, [this, name] { runAction(name); });
    m_proxies.append({proxy, name});
    return proxy;
}

void TMakeOrderForm::runAction(const QString &name)
{
    m_workspace->actions().run(name);
    // A checkable QAction toggles itself when triggered; the action list
    // decides the mark.
    syncAction(name);
    updateActions();
}

void TMakeOrderForm::watchRuleInputs()
{
    Workspace &ws = *m_workspace;
    // Tables opened, closed, filled, emptied or filtered; lines edited.
    for (RecordTable *table : {&ws.price(), &ws.order(), &ws.models(), &ws.modelsAsg()}) {
        m_ruleListeners.append({table, table->onViewChanged([this] { scheduleActionUpdate(); })});
        m_ruleListeners.append({table, table->onRowChanged([this](int) { scheduleActionUpdate(); })});
    }
    const OrderDocument *document = &ws.document();
    connect(document, &OrderDocument::fileNameChanged, this, &TMakeOrderForm::scheduleActionUpdate);
    connect(document, &OrderDocument::modifiedChanged, this, &TMakeOrderForm::scheduleActionUpdate);
    connect(document, &OrderDocument::totalChanged, this, &TMakeOrderForm::scheduleActionUpdate);
    connect(&OrderHistory::of(ws), &OrderHistory::changed, this, &TMakeOrderForm::scheduleActionUpdate);
    // The download address, the labels, the panels and the filters' state.
    connect(&ws, &Workspace::settingsChanged, this, &TMakeOrderForm::scheduleActionUpdate);
    connect(&ws, &Workspace::labelChanged, this, &TMakeOrderForm::scheduleActionUpdate);
    connect(&ws, &Workspace::panelVisibilityChanged, this, &TMakeOrderForm::scheduleActionUpdate);
    connect(&ws, &Workspace::filterChanged, this, &TMakeOrderForm::scheduleActionUpdate);
}

void TMakeOrderForm::scheduleActionUpdate()
{
    // Many changes of one command come to one evaluation once it is done.
    if (m_actionUpdatePending)
        return;
    m_actionUpdatePending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_actionUpdatePending = false;
            updateActions();
        },
        Qt::QueuedConnection);
}

void TMakeOrderForm::updateActions()
{
    ActionList &list = m_workspace->actions();
    for (auto it = m_actions.cbegin(); it != m_actions.cend(); ++it) {
        bool enabled = false;
        try {
            enabled = list.isEnabled(it.key());
        } catch (const std::exception &) {
            enabled = false;
        }
        if (it.value()->isEnabled() != enabled)
            it.value()->setEnabled(enabled);
    }
    for (const Proxy &proxy : std::as_const(m_proxies)) {
        const bool enabled = m_actions.value(proxy.name)->isEnabled();
        if (proxy.action->isEnabled() != enabled)
            proxy.action->setEnabled(enabled);
    }
}

// --- menus and tool bar ---------------------------------------------------

QMenu *TMakeOrderForm::addMenu(QWidget *owner, const QString &title, const char *name)
{
    auto *menu = named(new QMenu(title, owner), name);
    connect(menu, &QMenu::aboutToShow, this, &TMakeOrderForm::updateActions);
    return menu;
}

void TMakeOrderForm::createMenus()
{
    QMenuBar *bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    auto a = [this](QLatin1StringView name) { return m_actions.value(name); };

    // The bar would show the command's picture instead of its caption.
    QAction *preferences = proxyAction(ActionId::Preferences, a(ActionId::Preferences)->text(), bar);
    preferences->setObjectName(QStringLiteral("MIPreferences"));
    preferences->setIcon(QIcon());
    bar->addAction(preferences);

    QMenu *price = addMenu(bar, QStringLiteral("Прайс"), "MIPrice");
    price->addActions({a(ActionId::PriceFileOpen), a(ActionId::PriceFileOpenSpecial), a(ActionId::PriceDataOpen),
                       a(ActionId::PriceClose), a(ActionId::PriceNew)});
    price->addSeparator();
    price->addAction(a(ActionId::ComparePrices));
    price->addSeparator();
    price->addAction(a(ActionId::PartSearchFocus));
    bar->addMenu(price);

    QMenu *models = addMenu(bar, QStringLiteral(" Автомобили"), "MIModels");
    models->addActions({a(ActionId::Models_LoadSMAsg), a(ActionId::Models_CloseSMAsg)});
    models->addSeparator();
    models->addAction(a(ActionId::Models_Apply_To));
    models->addSeparator();
    models->addAction(a(ActionId::Models_Panel));
    bar->addMenu(models);

    m_catalogMenu = addMenu(bar, QStringLiteral("Catalog"), "MICatalog");
    bar->addMenu(m_catalogMenu);
    m_catalogMenu->menuAction()->setVisible(false);

    QMenu *order = addMenu(bar, QStringLiteral("Заказ"), "MIOrder");
    order->addActions({a(ActionId::AddToOrder), a(ActionId::RemoveFromOrder), a(ActionId::OrderPasteClipboard)});
    order->addSeparator();
    order->addActions({a(ActionId::OrderUndo), a(ActionId::OrderRedo)});
    order->addSeparator();
    order->addActions({a(ActionId::OrderNew), a(ActionId::OrderFileOpen), a(ActionId::OrderFileSave),
                       a(ActionId::OrderFileSaveAs), a(ActionId::OrderClose)});
    order->addSeparator();
    order->addActions({a(ActionId::PrinterPrintOrder), a(ActionId::PrinterPreviewOrder)});
    order->addSeparator();
    order->addAction(a(ActionId::CoordinateOrder));
    order->addSeparator();
    QMenu *exportMenu = addMenu(order, QStringLiteral("Экспорт"), "MIExport");
    exportMenu->addActions({a(ActionId::ExportExcel), a(ActionId::ExportClipboard), a(ActionId::ExportText)});
    order->addMenu(exportMenu);
    bar->addMenu(order);

    QMenu *filters = addMenu(bar, QStringLiteral("Фильтры"), "MIFilters");
    filters->addActions({a(ActionId::FilterCreate), a(ActionId::FilterQ), a(ActionId::FilterPrice)});
    bar->addMenu(filters);

    QMenu *help = addMenu(bar, QStringLiteral("Помощь"), "MIHelp");
    help->addActions({a(ActionId::LegendSwitch), a(ActionId::RunHTMLHelp)});
    help->addSeparator();
    help->addAction(a(ActionId::ProgramAbout));
    bar->addMenu(help);

    // Never on the bar: it holds the drop-down lists of the tool bar.
    m_fileMenu = addMenu(this, QStringLiteral("Файл - invisible"), "MIFileInvisible");
    QMenu *newList = addMenu(m_fileMenu, QStringLiteral("Новый"), "MINew");
    newList->addAction(proxyAction(ActionId::PriceNew, QStringLiteral("Прайс (скачать)"), newList));
    QAction *newOrder = proxyAction(ActionId::OrderNew, QStringLiteral("Заказ"), newList);
    newList->addAction(newOrder);
    newList->setDefaultAction(newOrder);
    QMenu *openList = addMenu(m_fileMenu, QStringLiteral("Открыть"), "MIOpen");
    QAction *openPrice = proxyAction(ActionId::PriceFileOpen, QStringLiteral("Прайс"), openList);
    openList->addAction(openPrice);
    openList->addAction(proxyAction(ActionId::PriceDataOpen, QStringLiteral("Данные"), openList));
    openList->addAction(proxyAction(ActionId::OrderFileOpen, QStringLiteral("Заказ"), openList));
    openList->setDefaultAction(openPrice);
    m_fileMenu->addMenu(newList);
    m_fileMenu->addMenu(openList);
    m_fileMenu->addSeparator();
    m_fileMenu->addActions({a(ActionId::OrderFileSave), a(ActionId::CloseAll)});
    m_fileMenu->addSeparator();
    m_fileMenu->addAction(a(ActionId::Preferences));
    m_fileMenu->addSeparator();
    m_fileMenu->addAction(a(ActionId::ExitProg));

    // The price grid's context menu.
    m_popupMenu = addMenu(this, QString(), "PopupMenu1");
    m_modelsPopup = addMenu(m_popupMenu, QStringLiteral("Применяемость"), "PUM_Models");
    auto *none = named(new QAction(QStringLiteral("- НЕТ -"), m_modelsPopup), "PUM_none");
    none->setEnabled(false);
    m_modelsPopup->addAction(none);
    m_popupMenu->addMenu(m_modelsPopup);
    m_modelsPopup->menuAction()->setVisible(false);
    m_modelsPopupLine = m_popupMenu->addSeparator();
    m_modelsPopupLine->setObjectName(QStringLiteral("PUM_ModelsLine"));
    m_modelsPopupLine->setVisible(false);
    m_popupMenu->addActions({a(ActionId::CopyCell), a(ActionId::AddToOrder)});
    m_showItem = named(new QAction(QStringLiteral("Просмотр фотографии"), m_popupMenu), "MIShowItem");
    m_showItem->setVisible(false);
    m_popupMenu->addAction(m_showItem);
    m_popupMenu->addSeparator();
    m_popupMenu->addActions({a(ActionId::FilterCreate), a(ActionId::FilterQ), a(ActionId::FilterPrice)});
}

void TMakeOrderForm::createToolBar()
{
    m_toolBar = named(new QToolBar(QStringLiteral("Панель инструментов"), this), "ToolBarMain");
    m_toolBar->setMovable(false);
    m_toolBar->setIconSize(QSize(20, 20));
    addToolBar(Qt::TopToolBarArea, m_toolBar);
    auto a = [this](QLatin1StringView name) { return m_actions.value(name); };

    auto dropDown = [this](const char *name, const QString &text, const QString &actionName, QMenu *list) {
        auto *button = named(new QToolButton(m_toolBar), name);
        QAction *source = m_actions.value(actionName);
        button->setText(text);
        button->setIcon(source->icon());
        button->setToolTip(text);
        button->setStatusTip(source->statusTip());
        button->setPopupMode(QToolButton::MenuButtonPopup);
        button->setMenu(list);
        connect(button, &QToolButton::clicked, this, [this, actionName] { runAction(actionName); });
        m_toolBar->addWidget(button);
        return button;
    };
    m_newButton = dropDown("ToolButtonNew", QStringLiteral("Новый"), ActionId::OrderNew,
                           m_fileMenu->findChild<QMenu *>(QStringLiteral("MINew")));
    m_openButton = dropDown("ToolButtonOpen", QStringLiteral("Открыть"), ActionId::PriceFileOpen,
                            m_fileMenu->findChild<QMenu *>(QStringLiteral("MIOpen")));

    m_toolBar->addActions({a(ActionId::OrderFileSave), a(ActionId::CoordinateOrder)});
    m_toolBar->addSeparator();
    m_toolBar->addAction(a(ActionId::Preferences));
    m_toolBar->addSeparator();
    m_toolBar->addActions(
        {a(ActionId::PartSearchFocus), a(ActionId::FilterCreate), a(ActionId::FilterQ), a(ActionId::FilterPrice)});
    m_toolBar->addSeparator();
    m_toolBar->addActions({a(ActionId::Models_LoadSMAsg), a(ActionId::Models_Apply_To)});
    m_toolBar->addSeparator();
    m_toolBar->addActions({a(ActionId::AddToOrder), a(ActionId::RemoveFromOrder)});
    m_toolBar->addSeparator();
    m_toolBar->addActions({a(ActionId::PrinterPreviewOrder), a(ActionId::PrinterPrintOrder)});
    m_toolBar->addSeparator();
    m_toolBar->addAction(a(ActionId::LegendSwitch));
    m_toolBar->addSeparator();
    m_filterStatusLabel = named(new QLabel(m_toolBar), "FilterStatusLabel");
    m_filterStatusLabel->setContentsMargins(6, 0, 6, 0);
    m_toolBar->addWidget(m_filterStatusLabel);
}

// --- panels -----------------------------------------------------------------

void TMakeOrderForm::createGridControllers()
{
    Workspace &ws = *m_workspace;
    m_priceGridController =
        new GridController(ws, Workspace::Grid::Price, m_gridPrice, AvailableIcons::all(), m_sideScrollBar, this);
    m_orderGridController =
        new GridController(ws, Workspace::Grid::Order, m_gridOrder, AvailableIcons::all(), nullptr, this);
    for (GridController *controller : {m_priceGridController, m_orderGridController}) {
        connect(controller, &GridController::statusText, this,
                [this](const QString &text) { m_workspace->setLabel(Workspace::Label::Status, text); });
    }
    ws.actions().setHandler(ActionId::CopyCell, [this] { copyCell(); });
    ModelsPanel::install(m_panelModels, ws, action(ActionId::Models_BuildFilter), action(ActionId::Models_Apply_To),
                         m_lookupGridPrice);
    ApplicabilityMenu::install(m_popupMenu, ws);
    MissingLineDelegate::install(m_gridOrder, ws);

    // The part search field in the price title strip, between the title and
    // the date. Ctrl+F stays the filter dialog's; Ctrl+K (PartSearchFocus)
    // reaches the field, and so does Shift+Tab from the price grid.
    m_partSearch =
        new PartSearchField(ws, m_priceGridController, m_lookupGridPrice, m_priceTitleLayout->parentWidget());
    m_priceTitleLayout->insertWidget(1, m_partSearch);
    ws.actions().setHandler(ActionId::PartSearchFocus, [this] { m_partSearch->focusField(); });
    setTabOrder(m_partSearch->lastFocusable(), m_gridPrice);
    setTabOrder(m_gridPrice, m_gridOrder);
}

void TMakeOrderForm::copyCell()
{
    // The order grid when it has the focus, otherwise the price grid.
    GridController *controller = m_gridOrder->hasFocus() ? m_orderGridController : m_priceGridController;
    const QString text = controller->selectedCellText();
    if (!text.isEmpty())
        QGuiApplication::clipboard()->setText(text);
}

void TMakeOrderForm::createPanels()
{
    auto *central = named(new QWidget(this), "CentralWidget");
    auto *centralLayout = new QHBoxLayout(central);
    centralLayout->setContentsMargins(0, 0, 0, 0);
    centralLayout->setSpacing(2);

    m_legend = new LegendPanel(central);
    connect(m_legend, &LegendPanel::headingClicked, this, [this] { runAction(ActionId::LegendSwitch); });
    centralLayout->addWidget(m_legend);

    auto *total = named(new QWidget(central), "PanelTotal");
    auto *totalLayout = new QVBoxLayout(total);
    totalLayout->setContentsMargins(0, 0, 0, 0);
    totalLayout->setSpacing(0);
    centralLayout->addWidget(total, 1);

    m_panelModels = named(new QWidget(total), "PanelModels_Select");
    m_panelModels->setLayout(new QHBoxLayout);
    m_panelModels->layout()->setContentsMargins(0, 0, 0, 0);
    totalLayout->addWidget(m_panelModels);

    m_splitter = named(new QSplitter(Qt::Vertical, total), "SplitterPriceOrder");
    m_splitter->setChildrenCollapsible(false);
    totalLayout->addWidget(m_splitter, 1);

    // Price list: title strip over the grid.
    m_panelPriceTotal = named(new QWidget(m_splitter), "PanelPriceTotal");
    auto *priceLayout = new QVBoxLayout(m_panelPriceTotal);
    priceLayout->setContentsMargins(0, 0, 0, 0);
    priceLayout->setSpacing(0);
    auto *priceTitle = named(new QWidget(m_panelPriceTotal), "PanelTitle");
    m_title = named(new QLabel(priceTitle), "Title");
    // The title gives way (its end cut) to the search's status and the date.
    m_title->setMinimumWidth(1);
    m_curDate = named(new QLabel(priceTitle), "CurDate");
    m_curDate->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto *priceTitleLayout = new QHBoxLayout(priceTitle);
    priceTitleLayout->setContentsMargins(6, 2, 6, 2);
    priceTitleLayout->addWidget(m_title, 1);
    priceTitleLayout->addWidget(m_curDate);
    m_priceTitleLayout = priceTitleLayout;
    paintAsTitleStrip(priceTitle, {m_title, m_curDate});
    priceLayout->addWidget(priceTitle);

    m_panelPrice = named(new QWidget(m_panelPriceTotal), "PanelPrice");
    auto *gridLayout = new QVBoxLayout(m_panelPrice);
    gridLayout->setContentsMargins(0, 0, 0, 0);
    // Both grids are set up by their GridController (createGridControllers).
    m_gridPrice = named(new QTableView(m_panelPrice), "GridPrice");
    m_gridPrice->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_gridPrice, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { m_popupMenu->popup(m_gridPrice->viewport()->mapToGlobal(pos)); });
    gridLayout->addWidget(m_gridPrice);
    // Laid over the grid's right edge by the grid's presentation.
    m_sideScrollBar = named(new QScrollBar(Qt::Vertical, m_panelPrice), "zzzz");
    m_sideScrollBar->hide();
    m_lookupGridPrice = named(new QLineEdit(m_panelPrice), "LookupGridPrice");
    m_lookupGridPrice->setFocusPolicy(Qt::ClickFocus);
    m_lookupGridPrice->hide();
    priceLayout->addWidget(m_panelPrice, 1);

    // Order: title strip with the name and the sum over the grid.
    m_panelOrder = named(new QWidget(m_splitter), "PanelOrder");
    auto *orderLayout = new QVBoxLayout(m_panelOrder);
    orderLayout->setContentsMargins(0, 0, 0, 0);
    orderLayout->setSpacing(0);
    m_panelOrderTitle = named(new QWidget(m_panelOrder), "PanelOrderTitle");
    m_orderTitle = named(new QLabel(m_panelOrderTitle), "OrderTitle");
    m_summ = named(new QLabel(m_panelOrderTitle), "SUMM");
    m_summ->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto *orderTitleLayout = new QHBoxLayout(m_panelOrderTitle);
    orderTitleLayout->setContentsMargins(6, 2, 6, 2);
    orderTitleLayout->addWidget(m_orderTitle, 1);
    orderTitleLayout->addWidget(m_summ);
    paintAsTitleStrip(m_panelOrderTitle, {m_orderTitle, m_summ});
    orderLayout->addWidget(m_panelOrderTitle);
    m_gridOrder = named(new QTableView(m_panelOrder), "GridOrder");
    orderLayout->addWidget(m_gridOrder, 1);

    m_splitter->addWidget(m_panelPriceTotal);
    m_splitter->addWidget(m_panelOrder);
    // The price list takes what the window gains; the order keeps its height.
    m_splitter->setStretchFactor(0, 1);
    m_splitter->setStretchFactor(1, 0);

    setCentralWidget(central);
}

void TMakeOrderForm::createStatusBar()
{
    QStatusBar *bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar"));
    m_statusLabel = named(new QLabel(bar), "StatusText");
    bar->addWidget(m_statusLabel, 1);
}

QWidget *TMakeOrderForm::panel(Workspace::Panel which) const
{
    switch (which) {
    case Workspace::Panel::Price:
        return m_panelPriceTotal;
    case Workspace::Panel::Order:
        return m_panelOrder;
    case Workspace::Panel::Models:
        return m_panelModels;
    case Workspace::Panel::Legend:
        return m_legend;
    }
    return nullptr;
}

void TMakeOrderForm::panelOrderPosition()
{
    const bool price = m_workspace->isPanelVisible(Workspace::Panel::Price);
    const bool order = m_workspace->isPanelVisible(Workspace::Panel::Order);
    if (price && order) {
        const int rest = qMax(m_splitter->height() - OrderPanelHeight - m_splitter->handleWidth(), 1);
        m_splitter->setSizes({rest, OrderPanelHeight});
    } else if (order) {
        m_gridOrder->setFocus();
    }
}

// --- workspace ----------------------------------------------------------------

void TMakeOrderForm::connectWorkspace()
{
    Workspace &ws = *m_workspace;
    connect(&ws, &Workspace::labelChanged, this, &TMakeOrderForm::showLabel);
    connect(&ws, &Workspace::panelVisibilityChanged, this, &TMakeOrderForm::showPanel);
    connect(&ws, &Workspace::gridFocusRequested, this, [this](Workspace::Grid which) {
        QTableView *grid = which == Workspace::Grid::Price ? m_gridPrice : m_gridOrder;
        // Also when the window is not active yet (a question just closed):
        // the grid then gets the focus as the window is activated.
        grid->setFocus(Qt::OtherFocusReason);
    });
    connect(&ws, &Workspace::repaintGrids, this, [this] {
        m_gridPrice->viewport()->update();
        m_gridOrder->viewport()->update();
    });
    for (auto which : {Workspace::Label::Title, Workspace::Label::CurDate, Workspace::Label::OrderTitle,
                       Workspace::Label::Summ, Workspace::Label::SummHint, Workspace::Label::Status,
                       Workspace::Label::FilterStatus, Workspace::Label::FilterStatusHint, Workspace::Label::Caption})
        showLabel(which, ws.label(which));
    for (auto which :
         {Workspace::Panel::Price, Workspace::Panel::Order, Workspace::Panel::Models, Workspace::Panel::Legend})
        panel(which)->setVisible(ws.isPanelVisible(which));
}

void TMakeOrderForm::showLabel(Workspace::Label which, const QString &text)
{
    switch (which) {
    case Workspace::Label::Title:
        m_title->setText(text);
        break;
    case Workspace::Label::CurDate:
        m_curDate->setText(text);
        break;
    case Workspace::Label::OrderTitle:
        m_orderTitle->setText(text);
        break;
    case Workspace::Label::Summ:
        m_summ->setText(text);
        break;
    case Workspace::Label::SummHint:
        m_summ->setToolTip(text);
        break;
    case Workspace::Label::Status:
        m_statusLabel->setText(text);
        break;
    case Workspace::Label::FilterStatus:
        m_filterStatusLabel->setText(text);
        break;
    case Workspace::Label::FilterStatusHint:
        m_filterStatusLabel->setToolTip(text);
        break;
    case Workspace::Label::Caption:
        setWindowTitle(text);
        break;
    }
}

void TMakeOrderForm::showPanel(Workspace::Panel which, bool visible)
{
    panel(which)->setVisible(visible);
    if (which == Workspace::Panel::Price || which == Workspace::Panel::Order)
        panelOrderPosition();
}

// --- start, errors, close -------------------------------------------------------

void TMakeOrderForm::reportError(const QString &text)
{
    // An operation that failed half-way leaves no progress window and no
    // wait cursor behind.
    if (m_progressDialog && m_progressDialog->isRunning())
        m_progressDialog->stepProgress(INT_MAX);
    StandardActions::reportError(*m_workspace, text);
}

bool TMakeOrderForm::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate && m_firstActivation) {
        m_firstActivation = false;
        // Runs once the activation has been delivered, so that the window is
        // fully shown before any question about the price list.
        QMetaObject::invokeMethod(this, &TMakeOrderForm::firstActivation, Qt::QueuedConnection);
    }
    return QMainWindow::event(event);
}

void TMakeOrderForm::firstActivation()
{
    showMaximized();
    emit firstActivated();
    raise();
    activateWindow();
    setFocus();
    repaint();
    if (m_workspace->settings().autoLoad())
        runAction(ActionId::PriceFileOpen);
    // An order left unsaved by a crash is offered once the price list is in.
    if (OrderRecovery *recovery = OrderRecovery::find(*m_workspace)) {
        try {
            recovery->offer();
        } catch (const std::exception &error) {
            reportError(QString::fromUtf8(error.what()));
        }
        updateActions();
    }
}

void TMakeOrderForm::closeEvent(QCloseEvent *event)
{
    if (!StandardActions::closeQuery(*m_workspace)) {
        event->ignore();
        return;
    }
    emit closing();
    event->accept();
}
