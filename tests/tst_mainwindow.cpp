#include <QtTest>

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>
#include <QToolBar>
#include <QToolButton>
#include <QWidgetAction>

#include <functional>

#include "about.h"
#include "actionid.h"
#include "addtoorder.h"
#include "applicationwindows.h"
#include "filter.h"
#include "legendpanel.h"
#include "listrep.h"
#include "main.h"
#include "programicon.h"
#include "ordixapplication.h"
#include "ordixerror.h"
#include "progress.h"
#include "props.h"
#include "qtprompts.h"
#include "scriptedprompts.h"
#include "textfile.h"
#include "testworkspace.h"
#include "workspace.h"

namespace
{
    // Opens a table with two fields and the given number of rows.
    void openTable(RecordTable &table, int rows)
    {
        table.open({FieldDef{QStringLiteral("Code"), FieldType::I4, 0},
                    FieldDef{QStringLiteral("Name"), FieldType::String, 40}});
        for (int i = 1; i <= rows; ++i)
            table.appendRow(QStringList{QString::number(i), QStringLiteral("Болт %1").arg(i)});
    }

    QStringList menuEntries(const QMenu *menu)
    {
        QStringList entries;
        for (const QAction *action : menu->actions()) {
            if (action->isSeparator())
                entries.append(action->objectName().isEmpty() ? QStringLiteral("-") : action->objectName());
            else if (action->menu())
                entries.append(QStringLiteral("menu:") + action->menu()->objectName());
            else
                entries.append(action->objectName().isEmpty() ? action->text() : action->objectName());
        }
        return entries;
    }

    // Runs the event loop until it is idle, as the user's interface does
    // between two events.
    void runUntilIdle()
    {
        QEventLoop loop;
        QTimer::singleShot(30, &loop, &QEventLoop::quit);
        loop.exec();
    }

    void whenModalShown(std::function<void(QWidget *)> step)
    {
        auto *timer = new QTimer;
        timer->setInterval(10);
        QObject::connect(timer, &QTimer::timeout, [timer, step] {
            QWidget *modal = QApplication::activeModalWidget();
            if (!modal)
                return;
            timer->stop();
            timer->deleteLater();
            step(modal);
            if (auto *dialog = qobject_cast<QDialog *>(modal); dialog && dialog->isVisible())
                dialog->reject();
        });
        timer->start();
    }
}

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void sevenWindowsInTheirOrder();
    void namedControlsExist();
    void actionCaptionsHintsAndShortcuts_data();
    void actionCaptionsHintsAndShortcuts();
    void internalActionsExist();
    void enablingInTheFourStates_data();
    void enablingInTheFourStates();
    void openButEmptyTables_data();
    void openButEmptyTables();
    void ownRulesOfLaterCommands();
    void enablingFollowsTheWorkspaceWithoutACommand();
    void enabledStateFollowsWhenIdle();
    void disabledActionRunFromCodeKeepsItsTag();
    void shortcutOfADisabledCommandDoesNothing();
    void menuBarInItsOrder();
    void toolBarInItsOrder();
    void dropDownButtons();
    void contextMenuOfThePriceGrid();
    void statusLineShowsTheLongHint();
    void labelsAndPanelsFollowTheWorkspace();
    void orderPanelSitsUnderThePriceList();

    void firstStartWithoutUserIni();
    void damagedUserIniStartsWithTheRules_data();
    void damagedUserIniStartsWithTheRules();
    void legendSwitch();
    void firstActivationLoadsThePriceListOnce_data();
    void firstActivationLoadsThePriceListOnce();
    void closeAllStopsWhenTheOrderStaysOpen();
    void closeRefusedWhileTheOrderIsNotClosed();
    void closeWithoutAnOrderIsAlwaysAllowed();
    void exitProgClosesThroughTheCloseRequest();
    void unwritableUserIniAsksRetryCancel();
    void errorInAHandlerIsShownAndTheProgramGoesOn();
    void catalogueDownloadErrorIsSwallowed_data();
    void catalogueDownloadErrorIsSwallowed();
    void errorEscapingAnEventHandlerIsShown();
    void errorDuringAnOperationHidesTheProgress();

    void messageBoxesSpeakRussian();
    void boxesKeptOnTop_data();
    void boxesKeptOnTop();
    void fileFilters_data();
    void fileFilters();

private:
    QTemporaryDir *m_dir = nullptr;
    QString m_oldCurrent;
};

void TestMainWindow::init()
{
    m_oldCurrent = QDir::currentPath();
    m_dir = new QTemporaryDir;
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir::setCurrent(m_dir->path()));
    Decimal::setSeparator(QLatin1Char('.'));
}

void TestMainWindow::cleanup()
{
    QDir::setCurrent(m_oldCurrent);
    delete m_dir;
    m_dir = nullptr;
    Decimal::setSeparator(QLatin1Char('.'));
    while (QGuiApplication::overrideCursor())
        QGuiApplication::restoreOverrideCursor();
}

void TestMainWindow::sevenWindowsInTheirOrder()
{
    ApplicationWindows windows;
    TMakeOrderForm &form = windows.mainForm();
    QCOMPARE(form.objectName(), QStringLiteral("MakeOrderForm"));
    // The dialogs belong to the main window in the order they were made.
    const QList<QObject *> expected{&windows.addToOrderForm(), &windows.aboutBox(),       &windows.propertiesDlg(),
                                    &windows.listForm(),       &windows.progressDialog(), &windows.filterDialog()};
    QList<QObject *> created;
    for (QObject *child : form.children()) {
        if (expected.contains(child))
            created.append(child);
    }
    QCOMPARE(created, expected);
    QCOMPARE(windows.addToOrderForm().windowTitle(), QStringLiteral("Добавить в заказ"));
    QCOMPARE(windows.aboutBox().windowTitle(), QStringLiteral("О программе...."));
    QCOMPARE(windows.propertiesDlg().windowTitle(), QStringLiteral("Настройки..."));
    QCOMPARE(windows.progressDialog().windowTitle(), QStringLiteral("Please wait..."));
    QCOMPARE(windows.filterDialog().windowTitle(), QStringLiteral("Фильтр..."));
    QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("ZOLT Ordix 3"));
    // The progress window serves the logic's operations.
    QCOMPARE(&form.workspace().progress(), static_cast<ProgressReporter *>(&windows.progressDialog()));
    for (QDialog *dialog : form.findChildren<QDialog *>(Qt::FindDirectChildrenOnly))
        QVERIFY2(!dialog->isVisible(), qPrintable(dialog->objectName()));
    // Every window shows the program's icon, drawn in each size of the
    // desktop's icon theme.
    for (const QWidget *window : {static_cast<QWidget *>(&form), static_cast<QWidget *>(&windows.aboutBox())}) {
        for (const int size : ProgramIcon::sizes())
            QCOMPARE(window->windowIcon().pixmap(QSize(size, size)).size(), QSize(size, size));
    }
}

void TestMainWindow::namedControlsExist()
{
    TMakeOrderForm form;
    QCOMPARE(form.menuBar()->objectName(), QStringLiteral("MainMenu1"));
    QCOMPARE(form.statusBar()->objectName(), QStringLiteral("StatusBar"));
    QVERIFY(form.findChild<QToolBar *>(QStringLiteral("ToolBarMain")));
    QVERIFY(form.findChild<QLabel *>(QStringLiteral("FilterStatusLabel")));
    QVERIFY(form.findChild<LegendPanel *>(QStringLiteral("DetailsPanel")));
    for (const char *name : {"PanelTotal", "PanelModels_Select", "PanelPriceTotal", "PanelTitle", "PanelPrice",
                             "PanelOrder", "PanelOrderTitle"})
        QVERIFY2(form.findChild<QWidget *>(QLatin1String(name)), name);
    for (const char *name : {"Title", "CurDate", "OrderTitle", "SUMM"})
        QVERIFY2(form.findChild<QLabel *>(QLatin1String(name)), name);
    QCOMPARE(form.findChild<QTableView *>(QStringLiteral("GridPrice")), form.gridPrice());
    QCOMPARE(form.findChild<QTableView *>(QStringLiteral("GridOrder")), form.gridOrder());
    QCOMPARE(form.findChild<QSplitter *>(QStringLiteral("SplitterPriceOrder")), form.splitterPriceOrder());
    QCOMPARE(form.findChild<QMenu *>(QStringLiteral("PopupMenu1")), form.popupMenu());
    QCOMPARE(form.findChild<QMenu *>(QStringLiteral("MICatalog")), form.catalogMenu());
    QLineEdit *lookup = form.findChild<QLineEdit *>(QStringLiteral("LookupGridPrice"));
    QVERIFY(lookup);
    QVERIFY(lookup->isHidden());
    QCOMPARE(form.findChild<LegendPanel *>()->width(), 201);
    QCOMPARE(form.panel(Workspace::Panel::Models)->isHidden(), true);
    QCOMPARE(form.panel(Workspace::Panel::Price)->isHidden(), true);
    QCOMPARE(form.panel(Workspace::Panel::Order)->isHidden(), true);

    // The eight pictures of the legend.
    for (const char *name :
         {"Image_NA", "Image_AVA", "Image_NEW", "Image_DEL", "Image_DELN", "Image_CHK", "Image_D", "Image_U"}) {
        auto *picture = form.findChild<QLabel *>(QLatin1String(name));
        QVERIFY2(picture, name);
        QCOMPARE(picture->pixmap().size(), QSize(18, 18));
    }
}

void TestMainWindow::actionCaptionsHintsAndShortcuts_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("toolTip");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("shortcuts");
    auto row = [](const char *name, const char *caption, const char *tip, const char *status, const char *keys = "") {
        QTest::newRow(name) << QString::fromUtf8(caption) << QString::fromUtf8(tip)
                            << QString::fromUtf8(*status ? status : tip) << QString::fromLatin1(keys);
    };
    row("PriceFileOpen", "Открыть прайс", "Открыть", "Открыть прайс (zolt.txt)", "Ctrl+O");
    row("PriceFileOpenSpecial", "Загрузить спец. цены", "СпецЦены", "Загрузить специальные цены");
    row("PriceDataOpen", "Открыть данные", "Открыть данные", "Открыть произвольный прайс лист");
    row("PriceClose", "Закрыть прайс", "Закрыть прайс", "Закрытие текущего прайса");
    row("PriceNew", "Скачать", "Скачать новый прайс с адреса http://www.zolt.example/data/pricetxt.exe", "");
    row("ComparePrices", "Сравнить", "Сравнить", "Сравнить с другим прайсом");
    row("Models_LoadSMAsg", "Загрузить автомобили", "Загрузить автомобили", "Загрузить таблицу моделей автомобилей");
    row("Models_CloseSMAsg", "Выгрузить", "Выгрузить", "Выгрузить модели автомобилей");
    row("Models_Apply_To", "Отбор по автомобилям", "Отбор по автомобилям",
        "Отбор запчастей по заданной модели автомобиля");
    row("Models_Panel", "Окно автомобилей", "Скрыть/показать окно автомобилей", "");
    row("Models_BuildFilter", "Применить", "Применить отбор", "Применить отбор по моделям автомобилей");
    row("AddToOrder", "Добавить в заказ", "Добавить в заказ", "Добавить текущую позицию в заказ");
    row("RemoveFromOrder", "Удалить из заказа", "Удалить из заказа", "Удалить текущую позицию из заказа");
    row("OrderNew", "Новый заказ", "Новый заказ", "Создать новый файл заказа", "Ctrl+N");
    row("OrderFileOpen", "Открыть заказ", "Открыть", "Открыть существующий файл заказа", "Ctrl+Alt+O");
    row("OrderFileSave", "Сохранить заказ", "Сохранить", "Сохранить сформированный заказ", "Ctrl+S");
    row("OrderFileSaveAs", "Сохранить заказ как...", "Сохранить как",
        "Сохранить сформированный заказ под произвольным именем");
    row("OrderClose", "Закрыть заказ", "Закрыть заказ", "Закрытие текущего заказа");
    row("CoordinateOrder", "Согласовать с прайсом", "Согласовать заказ с прайсом",
        "Согласовать цены в заказе с ценами в прайсе", "F9");
    row("PrinterPrintOrder", "Печать заказа", "Печать заказа", "", "Ctrl+P");
    row("PrinterPreviewOrder", "Просмотр заказа", "Просмотр заказа", "Предварительный просмотр заказа");
    row("ExportExcel", "В формат MS Excel (xlsx)", "В формат MS Excel (xlsx)", "\x01");
    row("ExportClipboard", "В буфер обмена", "В буфер обмена", "\x01");
    row("ExportText", "В текстовый файл", "В текстовый файл", "\x01");
    row("SendOrder", "Послать заказ", "Послать заказ по E-mail", "", "Ctrl+Alt+S");
    row("PartSearchFocus", "Найти деталь…", "Найти деталь", "Поиск по коду, артикулу, названию и аналогам", "Ctrl+K");
    row("FilterCreate", "Фильтр...", "Задать фильтр", "Изменение условий фильтрации прайс-листа", "Ctrl+F");
    row("FilterQ", "Автофильтр", "Автоматический фильтр", "Задать автоматический фильтр по выделению", "F3");
    row("FilterPrice", "Применить фильтр", "Отфильтровать", "Применить/отменить фильтрацию прайс-листа", "Ctrl+F3");
    row("CopyCell", "Копировать", "Копировать", "", "Ctrl+Ins, Ctrl+C");
    row("Preferences", "Настройки", "Настройки", "Изменить информацию о клиенте и пр.");
    row("LegendSwitch", "Скрыть легенду", "Скрыть легенду", "", "F1");
    row("RunHTMLHelp", "Помощь", "Помощь", "");
    row("ProgramAbout", "О программе...", "О программе", "");
    row("CloseAll", "Закрыть все", "Закрыть все", "Закрытие текущего заказа и прайса");
    row("ExitProg", "Выход", "Выйти из программы", "");
}

void TestMainWindow::actionCaptionsHintsAndShortcuts()
{
    QFETCH(QString, caption);
    QFETCH(QString, toolTip);
    QFETCH(QString, status);
    QFETCH(QString, shortcuts);
    TMakeOrderForm form;
    QAction *action = form.findChild<QAction *>(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(action);
    QCOMPARE(action->text(), caption);
    QCOMPARE(action->toolTip(), toolTip);
    // The export commands have no hint at all.
    QCOMPARE(action->statusTip(), status == QStringLiteral("\x01") ? QString() : status);
    QStringList keys;
    for (const QKeySequence &key : action->shortcuts())
        keys.append(key.toString(QKeySequence::PortableText));
    QCOMPARE(keys.join(QStringLiteral(", ")), shortcuts);
    QVERIFY(!action->icon().isNull() || action->objectName() == ActionId::ExportExcel);
}

void TestMainWindow::internalActionsExist()
{
    TMakeOrderForm form;
    for (const QLatin1StringView name :
         {ActionId::InitializePriceDataSet, ActionId::RestorePriceData, ActionId::DeletePricesInOrder,
          ActionId::EditOrderRecord, ActionId::PanelOrderPosition, ActionId::INILoad, ActionId::INISave,
          ActionId::Models_BuildSumMenus, ActionId::Models_FreeSubMenus, ActionId::DownLoadURL,
          ActionId::SendOrderAction}) {
        QVERIFY2(form.findChild<QAction *>(name), name.data());
        QVERIFY2(form.workspace().actions().get(name).internal, name.data());
    }
    QCOMPARE(form.action(ActionId::DownLoadURL)->text(), QStringLiteral("&Download URL"));
    QCOMPARE(form.action(ActionId::DownLoadURL)->toolTip(), QStringLiteral("Download from URL"));
    QCOMPARE(form.action(ActionId::SendOrderAction)->toolTip(), QStringLiteral("Послать заказ по E-mail"));
    // The workbook writer is built in, so the spreadsheet export is offered.
    QVERIFY(form.action(ActionId::ExportExcel)->isVisible());
    QCOMPARE(form.workspace().actions().tag(ActionId::OrderClose), 1565723);
}

void TestMainWindow::enablingInTheFourStates_data()
{
    QTest::addColumn<QString>("states"); // start, price, order, both: 1 enabled, 0 disabled
    auto row = [](const char *name, const char *states) { QTest::newRow(name) << QString::fromLatin1(states); };
    for (const char *always : {"PriceFileOpen", "PriceFileOpenSpecial", "PriceDataOpen", "PriceNew", "Models_LoadSMAsg",
                               "OrderNew", "OrderFileOpen", "CopyCell", "Preferences", "LegendSwitch", "RunHTMLHelp",
                               "ProgramAbout", "CloseAll", "ExitProg", "INILoad", "INISave", "PanelOrderPosition"})
        row(always, "1111");
    for (const char *priceOpen : {"PriceClose", "FilterCreate", "FilterQ"})
        row(priceOpen, "0101");
    for (const char *priceRows : {"AddToOrder", "ComparePrices", "RestorePriceData"})
        row(priceRows, "0101");
    row("OrderClose", "0011");
    for (const char *orderRows : {"OrderFileSave", "OrderFileSaveAs", "SendOrder", "SendOrderAction", "RemoveFromOrder",
                                  "EditOrderRecord", "PrinterPreviewOrder", "PrinterPrintOrder", "DeletePricesInOrder",
                                  "ExportExcel", "ExportText", "ExportClipboard"})
        row(orderRows, "0011");
    row("CoordinateOrder", "0001");
    // No price condition and no car models in any of the four states.
    for (const char *off : {"FilterPrice", "Models_CloseSMAsg", "Models_Apply_To", "Models_Panel", "Models_BuildFilter",
                            "Models_BuildSumMenus"})
        row(off, "0000");
}

void TestMainWindow::enablingInTheFourStates()
{
    QFETCH(QString, states);
    const QString name = QString::fromLatin1(QTest::currentDataTag());
    const QStringList stateNames{QStringLiteral("start"), QStringLiteral("price"), QStringLiteral("order"),
                                 QStringLiteral("both")};
    for (int state = 0; state < 4; ++state) {
        TMakeOrderForm form;
        Workspace &ws = form.workspace();
        if (state & 1)
            openTable(ws.price(), 3);
        if (state & 2)
            openTable(ws.order(), 2);
        form.updateActions();
        const bool expected = states.at(state) == QLatin1Char('1');
        // A hidden QAction always reports itself disabled.
        QVERIFY2(
            form.action(name)->isEnabled() == (expected && form.action(name)->isVisible()),
            qPrintable(stateNames.at(state) + QStringLiteral(": expected ") + (expected ? "enabled" : "disabled")));
        QCOMPARE(ws.actions().isEnabled(name), expected);
    }
}

void TestMainWindow::enablingFollowsTheWorkspaceWithoutACommand()
{
    // No command runs and updateActions() is not called: the tables, the
    // order document and the settings tell the window.
    TMakeOrderForm form;
    Workspace &ws = form.workspace();
    QAction *add = form.action(ActionId::AddToOrder);
    QAction *save = form.action(ActionId::OrderFileSave);
    QAction *download = form.action(ActionId::PriceNew);
    QVERIFY(!add->isEnabled());
    openTable(ws.price(), 2);
    QTRY_VERIFY(add->isEnabled());
    openTable(ws.order(), 1);
    QTRY_VERIFY(save->isEnabled());
    ws.order().empty();
    QTRY_VERIFY(!save->isEnabled());
    ws.price().close();
    QTRY_VERIFY(!add->isEnabled());

    ws.settings().url = QStringLiteral("http://example.org/p.exe");
    emit ws.settingsChanged();
    QTRY_VERIFY(download->isEnabled());
}

void TestMainWindow::openButEmptyTables_data()
{
    QTest::addColumn<bool>("enabled");
    QTest::newRow("PriceClose") << true;
    QTest::newRow("FilterCreate") << true;
    QTest::newRow("AddToOrder") << false;
    QTest::newRow("ComparePrices") << false;
    QTest::newRow("OrderClose") << true;
    QTest::newRow("OrderFileSave") << false;
    QTest::newRow("RemoveFromOrder") << false;
    QTest::newRow("CoordinateOrder") << false;
}

void TestMainWindow::openButEmptyTables()
{
    QFETCH(bool, enabled);
    TMakeOrderForm form;
    openTable(form.workspace().price(), 0);
    openTable(form.workspace().order(), 0);
    form.updateActions();
    QCOMPARE(form.action(QString::fromLatin1(QTest::currentDataTag()))->isEnabled(), enabled);
}

void TestMainWindow::ownRulesOfLaterCommands()
{
    TMakeOrderForm form;
    Workspace &ws = form.workspace();

    // PriceNew: needs an address, and its hint says where it downloads from.
    ws.settings().url.clear();
    form.updateActions();
    QVERIFY(!form.action(ActionId::PriceNew)->isEnabled());
    QCOMPARE(form.action(ActionId::PriceNew)->toolTip(),
             QStringLiteral("Чтобы скачать новый прайс установите адрес в настройках."));
    ws.settings().url = QStringLiteral("http://example.org/p.exe");
    form.updateActions();
    QVERIFY(form.action(ActionId::PriceNew)->isEnabled());
    QCOMPARE(form.action(ActionId::PriceNew)->toolTip(),
             QStringLiteral("Скачать новый прайс с адреса http://example.org/p.exe"));

    // FilterPrice: needs a price condition; checked while it is in force.
    QAction *filterPrice = form.action(ActionId::FilterPrice);
    QVERIFY(filterPrice->isCheckable());
    editFilter(ws, [&](Workspace::FilterState &f) {
        f.priceCondition = QStringLiteral("Name LIKE '%болт%'");
        f.priceActive = true;
    });
    form.updateActions();
    QVERIFY(filterPrice->isEnabled());
    QVERIFY(filterPrice->isChecked());
    editFilter(ws, [&](Workspace::FilterState &f) { f.priceActive = false; });
    form.updateActions();
    QVERIFY(!filterPrice->isChecked());
    editFilter(ws, [&](Workspace::FilterState &f) {
        f.priceActive = true;
        f.priceCondition.clear();
    });
    form.updateActions();
    QVERIFY(!filterPrice->isEnabled());
    QVERIFY(!filterPrice->isChecked());

    // Car models: unloading needs either table, the rest both with rows.
    openTable(ws.models(), 0);
    form.updateActions();
    QVERIFY(form.action(ActionId::Models_CloseSMAsg)->isEnabled());
    QVERIFY(!form.action(ActionId::Models_Apply_To)->isEnabled());
    ws.models().close();
    openTable(ws.models(), 2);
    openTable(ws.modelsAsg(), 2);
    form.updateActions();
    QVERIFY(form.action(ActionId::Models_Apply_To)->isEnabled());
    QVERIFY(form.action(ActionId::Models_Panel)->isEnabled());
    QVERIFY(!form.action(ActionId::Models_BuildFilter)->isEnabled());
    openTable(ws.price(), 1);
    form.updateActions();
    QVERIFY(form.action(ActionId::Models_BuildFilter)->isEnabled());
}

void TestMainWindow::enabledStateFollowsWhenIdle()
{
    TMakeOrderForm form;
    form.show();
    runUntilIdle();
    QVERIFY(!form.action(ActionId::PriceClose)->isEnabled());
    openTable(form.workspace().price(), 1);
    runUntilIdle();
    QVERIFY(form.action(ActionId::PriceClose)->isEnabled());
    form.workspace().price().close();
    runUntilIdle();
    QVERIFY(!form.action(ActionId::PriceClose)->isEnabled());
}

void TestMainWindow::disabledActionRunFromCodeKeepsItsTag()
{
    TMakeOrderForm form;
    ActionList &list = form.workspace().actions();
    int runs = 0;
    list.setHandler(ActionId::OrderClose, [&] {
        ++runs;
        list.setTag(ActionId::OrderClose, 0);
    });
    list.setTag(ActionId::OrderClose, 42);
    QVERIFY(!list.execute(ActionId::OrderClose));
    QVERIFY(!list.run(ActionId::OrderClose));
    // The rule is asked even when the QAction still looks enabled.
    form.action(ActionId::OrderClose)->setEnabled(true);
    form.action(ActionId::OrderClose)->trigger();
    QCOMPARE(runs, 0);
    QCOMPARE(list.tag(ActionId::OrderClose), 42);

    openTable(form.workspace().order(), 1);
    QVERIFY(list.execute(ActionId::OrderClose));
    QCOMPARE(runs, 1);
    QCOMPARE(list.tag(ActionId::OrderClose), 0);
}

void TestMainWindow::shortcutOfADisabledCommandDoesNothing()
{
    TMakeOrderForm form;
    int saves = 0;
    int opens = 0;
    form.workspace().actions().setHandler(ActionId::OrderFileSave, [&] { ++saves; });
    form.workspace().actions().setHandler(ActionId::PriceFileOpen, [&] { ++opens; });
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    runUntilIdle();
    QTest::keyClick(&form, Qt::Key_S, Qt::ControlModifier);
    QTest::keyClick(&form, Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(saves, 0);
    QCOMPARE(opens, 1);
    openTable(form.workspace().order(), 1);
    runUntilIdle();
    QTest::keyClick(&form, Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(saves, 1);
}

void TestMainWindow::menuBarInItsOrder()
{
    TMakeOrderForm form;
    const QList<QAction *> top = form.menuBar()->actions();
    QStringList texts;
    for (const QAction *action : top)
        texts.append(action->text());
    QCOMPARE(texts,
             (QStringList{QStringLiteral("Настройки"), QStringLiteral("Прайс"), QStringLiteral(" Автомобили"),
                          QStringLiteral("Catalog"), QStringLiteral("Заказ"), QStringLiteral("Фильтры"),
                          QStringLiteral("Помощь")}));
    QCOMPARE(top.at(0)->objectName(), QStringLiteral("MIPreferences"));
    int preferences = 0;
    form.workspace().actions().setHandler(ActionId::Preferences, [&] { ++preferences; });
    top.at(0)->trigger();
    QCOMPARE(preferences, 1);
    QVERIFY(!top.at(3)->isVisible());
    QCOMPARE(top.at(3)->menu(), form.catalogMenu());

    auto entries = [&](int index) { return menuEntries(top.at(index)->menu()); };
    QCOMPARE(entries(1),
             (QStringList{"PriceFileOpen", "PriceFileOpenSpecial", "PriceDataOpen", "PriceClose", "PriceNew", "-",
                          "ComparePrices", "-", "PartSearchFocus"}));
    QCOMPARE(entries(2),
             (QStringList{"Models_LoadSMAsg", "Models_CloseSMAsg", "-", "Models_Apply_To", "-", "Models_Panel"}));
    QCOMPARE(entries(4),
             (QStringList{"AddToOrder", "RemoveFromOrder", "OrderPasteClipboard", "-", "OrderUndo", "OrderRedo", "-",
                          "OrderNew", "OrderFileOpen", "OrderFileSave", "OrderFileSaveAs", "OrderClose", "-",
                          "PrinterPrintOrder", "PrinterPreviewOrder", "-", "CoordinateOrder", "-", "menu:MIExport"}));
    QMenu *exportMenu = form.findChild<QMenu *>(QStringLiteral("MIExport"));
    QCOMPARE(exportMenu->title(), QStringLiteral("Экспорт"));
    QCOMPARE(menuEntries(exportMenu), (QStringList{"ExportExcel", "ExportClipboard", "ExportText"}));
    QCOMPARE(entries(5), (QStringList{"FilterCreate", "FilterQ", "FilterPrice"}));
    QCOMPARE(entries(6), (QStringList{"LegendSwitch", "RunHTMLHelp", "-", "ProgramAbout"}));

    // The hidden file menu never shows on the bar.
    QMenu *file = form.findChild<QMenu *>(QStringLiteral("MIFileInvisible"));
    QVERIFY(file);
    QCOMPARE(file->title(), QStringLiteral("Файл - invisible"));
    QVERIFY(!top.contains(file->menuAction()));
    QCOMPARE(menuEntries(file),
             (QStringList{"menu:MINew", "menu:MIOpen", "-", "OrderFileSave", "CloseAll", "-", "Preferences", "-",
                          "ExitProg"}));
}

void TestMainWindow::toolBarInItsOrder()
{
    TMakeOrderForm form;
    QToolBar *bar = form.toolBar();
    QStringList entries;
    for (QAction *action : bar->actions()) {
        if (action->isSeparator())
            entries.append(QStringLiteral("-"));
        else if (auto *widgetAction = qobject_cast<QWidgetAction *>(action))
            entries.append(widgetAction->defaultWidget()->objectName());
        else
            entries.append(action->objectName());
    }
    QCOMPARE(entries,
             (QStringList{"ToolButtonNew",
                          "ToolButtonOpen",
                          "OrderFileSave",
                          "CoordinateOrder",
                          "-",
                          "Preferences",
                          "-",
                          "PartSearchFocus",
                          "FilterCreate",
                          "FilterQ",
                          "FilterPrice",
                          "-",
                          "Models_LoadSMAsg",
                          "Models_Apply_To",
                          "-",
                          "AddToOrder",
                          "RemoveFromOrder",
                          "-",
                          "PrinterPreviewOrder",
                          "PrinterPrintOrder",
                          "-",
                          "LegendSwitch",
                          "-",
                          "FilterStatusLabel"}));
    // No blank buttons: every command and drop-down button shows a picture.
    for (QAction *action : bar->actions()) {
        if (action->isSeparator())
            continue;
        if (auto *widgetAction = qobject_cast<QWidgetAction *>(action)) {
            if (auto *button = qobject_cast<QToolButton *>(widgetAction->defaultWidget()))
                QVERIFY2(!button->icon().isNull(), qPrintable(button->objectName()));
        } else {
            QVERIFY2(!action->icon().isNull(), qPrintable(action->objectName()));
        }
    }
}

void TestMainWindow::dropDownButtons()
{
    TMakeOrderForm form;
    int newOrders = 0;
    int priceOpens = 0;
    int dataOpens = 0;
    ActionList &list = form.workspace().actions();
    list.setHandler(ActionId::OrderNew, [&] { ++newOrders; });
    list.setHandler(ActionId::PriceFileOpen, [&] { ++priceOpens; });
    list.setHandler(ActionId::PriceDataOpen, [&] { ++dataOpens; });

    auto *newButton = form.findChild<QToolButton *>(QStringLiteral("ToolButtonNew"));
    auto *openButton = form.findChild<QToolButton *>(QStringLiteral("ToolButtonOpen"));
    QCOMPARE(newButton->text(), QStringLiteral("Новый"));
    QCOMPARE(openButton->text(), QStringLiteral("Открыть"));
    QCOMPARE(newButton->popupMode(), QToolButton::MenuButtonPopup);
    newButton->click();
    openButton->click();
    QCOMPARE(newOrders, 1);
    QCOMPARE(priceOpens, 1);

    QMenu *newList = newButton->menu();
    QCOMPARE(newList->title(), QStringLiteral("Новый"));
    QStringList texts;
    for (QAction *action : newList->actions())
        texts.append(action->text());
    QCOMPARE(texts, (QStringList{QStringLiteral("Прайс (скачать)"), QStringLiteral("Заказ")}));
    QCOMPARE(newList->defaultAction()->text(), QStringLiteral("Заказ"));

    QMenu *openList = openButton->menu();
    texts.clear();
    for (QAction *action : openList->actions())
        texts.append(action->text());
    QCOMPARE(texts, (QStringList{QStringLiteral("Прайс"), QStringLiteral("Данные"), QStringLiteral("Заказ")}));
    QCOMPARE(openList->defaultAction()->text(), QStringLiteral("Прайс"));
    openList->actions().at(1)->trigger();
    QCOMPARE(dataOpens, 1);

    // The list entries follow the rules of their commands.
    form.workspace().settings().url.clear();
    form.updateActions();
    QVERIFY(!newList->actions().at(0)->isEnabled());
    QVERIFY(newList->actions().at(1)->isEnabled());
}

void TestMainWindow::contextMenuOfThePriceGrid()
{
    TMakeOrderForm form;
    QCOMPARE(menuEntries(form.popupMenu()),
             (QStringList{"menu:PUM_Models", "PUM_ModelsLine", "CopyCell", "AddToOrder", "MIShowItem", "-",
                          "FilterCreate", "FilterQ", "FilterPrice"}));
    QCOMPARE(form.modelsPopupMenu()->title(), QStringLiteral("Применяемость"));
    QVERIFY(!form.modelsPopupMenu()->menuAction()->isVisible());
    QVERIFY(!form.modelsPopupLine()->isVisible());
    QCOMPARE(form.showItemAction()->text(), QStringLiteral("Просмотр фотографии"));
    QVERIFY(!form.showItemAction()->isVisible());
    auto *none = form.findChild<QAction *>(QStringLiteral("PUM_none"));
    QCOMPARE(none->text(), QStringLiteral("- НЕТ -"));
    QVERIFY(!none->isEnabled());
}

void TestMainWindow::statusLineShowsTheLongHint()
{
    TMakeOrderForm form;
    form.show();
    form.action(ActionId::PriceFileOpen)->showStatusText(&form);
    QCOMPARE(form.statusBar()->currentMessage(), QStringLiteral("Открыть прайс (zolt.txt)"));
    form.action(ActionId::CopyCell)->showStatusText(&form);
    QCOMPARE(form.statusBar()->currentMessage(), QStringLiteral("Копировать"));

    // Texts an operation writes stay under the hints.
    form.workspace().setLabel(Workspace::Label::Status, QStringLiteral("Прайс-лист загружен"));
    QCOMPARE(form.statusLabel()->text(), QStringLiteral("Прайс-лист загружен"));
}

void TestMainWindow::labelsAndPanelsFollowTheWorkspace()
{
    TMakeOrderForm form;
    Workspace &ws = form.workspace();
    ws.setLabel(Workspace::Label::Title, QStringLiteral("Прайс-лист ZOLT.TXT"));
    ws.setLabel(Workspace::Label::CurDate, QStringLiteral("08.12.2026"));
    ws.setLabel(Workspace::Label::OrderTitle, QStringLiteral("Заказ"));
    ws.setLabel(Workspace::Label::Summ, QStringLiteral("Сумма"));
    ws.setLabel(Workspace::Label::SummHint, QStringLiteral("Сумма без учета скидки: 1 000.00 р."));
    ws.setLabel(Workspace::Label::FilterStatus, QStringLiteral("Фильтр"));
    ws.setLabel(Workspace::Label::FilterStatusHint, QStringLiteral("Name LIKE '%болт%'"));
    QCOMPARE(form.findChild<QLabel *>(QStringLiteral("Title"))->text(), QStringLiteral("Прайс-лист ZOLT.TXT"));
    QCOMPARE(form.findChild<QLabel *>(QStringLiteral("CurDate"))->text(), QStringLiteral("08.12.2026"));
    QCOMPARE(form.findChild<QLabel *>(QStringLiteral("OrderTitle"))->text(), QStringLiteral("Заказ"));
    QCOMPARE(form.findChild<QLabel *>(QStringLiteral("SUMM"))->text(), QStringLiteral("Сумма"));
    QCOMPARE(form.findChild<QLabel *>(QStringLiteral("SUMM"))->toolTip(),
             QStringLiteral("Сумма без учета скидки: 1 000.00 р."));
    QCOMPARE(form.filterStatusLabel()->text(), QStringLiteral("Фильтр"));
    QCOMPARE(form.filterStatusLabel()->toolTip(), QStringLiteral("Name LIKE '%болт%'"));

    ws.setPanelVisible(Workspace::Panel::Models, true);
    QVERIFY(!form.panel(Workspace::Panel::Models)->isHidden());
    ws.setPanelVisible(Workspace::Panel::Price, true);
    QVERIFY(!form.panel(Workspace::Panel::Price)->isHidden());
    ws.setPanelVisible(Workspace::Panel::Price, false);
    QVERIFY(form.panel(Workspace::Panel::Price)->isHidden());
}

void TestMainWindow::orderPanelSitsUnderThePriceList()
{
    TMakeOrderForm form;
    form.resize(900, 700);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    Workspace &ws = form.workspace();
    ws.setPanelVisible(Workspace::Panel::Price, true);
    ws.setPanelVisible(Workspace::Panel::Order, true);
    QCoreApplication::processEvents();
    QWidget *order = form.panel(Workspace::Panel::Order);
    QWidget *price = form.panel(Workspace::Panel::Price);
    QCOMPARE(order->height(), 150);
    QVERIFY(price->geometry().bottom() < order->geometry().top());
    // The order keeps its height when the window grows.
    form.resize(900, 800);
    QCoreApplication::processEvents();
    QTRY_COMPARE(order->height(), 150);

    // Without the price list the order fills the work area and takes the focus.
    ws.setPanelVisible(Workspace::Panel::Price, false);
    QCoreApplication::processEvents();
    QCOMPARE(order->height(), form.splitterPriceOrder()->height());
    QTRY_VERIFY(form.gridOrder()->hasFocus());
}

void TestMainWindow::firstStartWithoutUserIni()
{
    QVERIFY(!QFile::exists(QStringLiteral("user.ini")));
    {
        ApplicationWindows windows;
        TMakeOrderForm &form = windows.mainForm();
        ScriptedPrompts prompts;
        form.workspace().setPrompts(&prompts);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(form.windowTitle(), QStringLiteral("ZOLT Ordix 3"));
        QVERIFY(form.legendPanel()->isVisible());
        QVERIFY(!form.panel(Workspace::Panel::Price)->isVisible());
        QVERIFY(!form.panel(Workspace::Panel::Order)->isVisible());
        QCOMPARE(form.action(ActionId::LegendSwitch)->text(), QStringLiteral("Скрыть легенду"));
        QVERIFY(form.close());
        QVERIFY(prompts.records().isEmpty());
    }
    const QStringList expected{QStringLiteral("Customer="),
                               QStringLiteral("Discount=0.00"),
                               QStringLiteral("UserWSL=1"),
                               QStringLiteral("Pack=yes"),
                               QStringLiteral("Delivery=no"),
                               QStringLiteral("Payment=cash"),
                               QStringLiteral("Addr="),
                               QStringLiteral("Phone="),
                               QStringLiteral("Contact="),
                               QStringLiteral("Bank="),
                               QStringLiteral("BIK="),
                               QStringLiteral("SettlementAccount="),
                               QStringLiteral("CorrespondentAccount="),
                               QStringLiteral("INN="),
                               QString(),
                               QStringLiteral("URL=http://www.zolt.example/data/pricetxt.exe"),
                               QStringLiteral("AutoLoadPrice=no"),
                               QStringLiteral("defaultDecimalSeparator=."),
                               QStringLiteral("defaultPriceSeparator=|"),
                               QStringLiteral("ShowLegend=yes"),
                               QStringLiteral("DefaultCurrency=р.")};
    QCOMPARE(TextFile::readLines(QStringLiteral("user.ini")), expected);
    QFile raw(QStringLiteral("user.ini"));
    QVERIFY(raw.open(QIODevice::ReadOnly));
    QVERIFY(raw.readAll().endsWith("DefaultCurrency=\xf0.\r\n"));
}

void TestMainWindow::damagedUserIniStartsWithTheRules_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("legend");
    QTest::addColumn<float>("discount");
    QTest::addColumn<int>("priceMode");
    QTest::addColumn<QString>("decimal");
    QTest::newRow("only the customer") << QByteArray("Customer=\xc8\xe2\xe0\xed\xee\xe2\r\n")
                                       << "ZOLT Ordix 3 :: Иванов" << false << 0.0f << 1 << ".";
    QTest::newRow("junk values") << QByteArray("Discount=abc\r\nUserWSL=7\r\ndefaultDecimalSeparator=;\r\n"
                                               "ShowLegend=Yes\r\n")
                                 << "ZOLT Ordix 3" << false << 0.0f << 1 << ".";
    QTest::newRow("blanks around the equals sign")
        << QByteArray("Customer = x\r\nShowLegend=yes\r\nUserWSL=2\r\n") << "ZOLT Ordix 3" << true << 0.0f << 2 << ".";
    QTest::newRow("comma separator reads its own discount")
        << QByteArray("Discount=5,50\r\ndefaultDecimalSeparator=,\r\nShowLegend=yes\r\n") << "ZOLT Ordix 3" << true
        << 5.5f << 1 << ",";
    QTest::newRow("wrong separators and no equals signs")
        << QByteArray("Customer:Петров\nDiscount;5\rUserWSL\r\n\x00\xff\xfe garbage") << "ZOLT Ordix 3" << false << 0.0f
        << 1 << ".";
    QTest::newRow("empty file") << QByteArray() << "ZOLT Ordix 3" << false << 0.0f << 1 << ".";
}

void TestMainWindow::damagedUserIniStartsWithTheRules()
{
    QFETCH(QByteArray, contents);
    QFETCH(QString, caption);
    QFETCH(bool, legend);
    QFETCH(float, discount);
    QFETCH(int, priceMode);
    QFETCH(QString, decimal);
    QFile file(QStringLiteral("user.ini"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(contents);
    file.close();

    TMakeOrderForm form;
    QCOMPARE(form.windowTitle(), caption);
    QCOMPARE(!form.legendPanel()->isHidden(), legend);
    QCOMPARE(form.action(ActionId::LegendSwitch)->text(),
             legend ? QStringLiteral("Скрыть легенду") : QStringLiteral("Показать легенду"));
    QCOMPARE(form.workspace().settings().discount, discount);
    QCOMPARE(form.workspace().settings().priceMode, priceMode);
    QCOMPARE(Decimal::separator(), decimal.at(0));
}

void TestMainWindow::legendSwitch()
{
    TMakeOrderForm form;
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QAction *action = form.action(ActionId::LegendSwitch);
    form.lookupGridPrice()->show();
    action->trigger();
    QVERIFY(form.legendPanel()->isHidden());
    QVERIFY(form.lookupGridPrice()->isHidden());
    QCOMPARE(action->text(), QStringLiteral("Показать легенду"));
    QCOMPARE(action->toolTip(), QStringLiteral("Показать легенду"));
    QCOMPARE(action->statusTip(), QStringLiteral("Показать легенду"));
    QTest::keyClick(&form, Qt::Key_F1);
    QVERIFY(!form.legendPanel()->isHidden());
    QCOMPARE(action->text(), QStringLiteral("Скрыть легенду"));

    // A click on the heading hides it as well; the topics open and close.
    LegendPanel *legend = form.legendPanel();
    QLabel *topic = legend->topicLabel(0);
    QCOMPARE(topic->text(), QStringLiteral("Иконки в таблице"));
    QCOMPARE(legend->topicLabel(1)->text(), QStringLiteral("Автоматический фильтр"));
    QCOMPARE(legend->topicLabel(2)->text(), QStringLiteral("Отбор данных по критериям"));
    QCOMPARE(legend->topicLabel(3)->text(), QStringLiteral("Отбор по наличию на складе"));
    QVERIFY(legend->topicContent(0)->isHidden());
    QTest::mouseClick(topic, Qt::LeftButton);
    QVERIFY(!legend->topicContent(0)->isHidden());
    QTest::mouseClick(topic, Qt::LeftButton);
    QVERIFY(legend->topicContent(0)->isHidden());

    QLabel *heading = legend->findChild<QLabel *>(QStringLiteral("LabelLegend"));
    QCOMPARE(heading->text(), QStringLiteral("Легенда"));
    QVERIFY(heading->font().bold());
    QVERIFY(heading->font().underline());
    QTest::mouseClick(heading, Qt::LeftButton);
    QVERIFY(form.legendPanel()->isHidden());

    // The state is saved: hidden now.
    ScriptedPrompts prompts;
    form.workspace().setPrompts(&prompts);
    QVERIFY(form.workspace().execute(ActionId::INISave));
    QVERIFY(TextFile::readLines(QStringLiteral("user.ini")).contains(QStringLiteral("ShowLegend=no")));
}

void TestMainWindow::firstActivationLoadsThePriceListOnce_data()
{
    QTest::addColumn<QString>("autoLoad");
    QTest::addColumn<int>("loads");
    QTest::newRow("yes") << "yes" << 1;
    QTest::newRow("YES in any case") << "YES" << 1;
    QTest::newRow("no") << "no" << 0;
    QTest::newRow("missing") << "" << 0;
}

void TestMainWindow::firstActivationLoadsThePriceListOnce()
{
    QFETCH(QString, autoLoad);
    QFETCH(int, loads);
    if (!autoLoad.isEmpty())
        TextFile::writeLines(QStringLiteral("user.ini"), {QStringLiteral("AutoLoadPrice=") + autoLoad});
    TMakeOrderForm form;
    int opens = 0;
    int attached = 0;
    form.workspace().actions().setHandler(ActionId::PriceFileOpen, [&] { ++opens; });
    connect(&form, &TMakeOrderForm::firstActivated, &form, [&] {
        ++attached;
        // The catalogue attaches before the price list loads.
        QCOMPARE(opens, 0);
    });
    QVERIFY(form.isFirstActivation());
    form.show();
    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(&form, &activate);
    QVERIFY(!form.isFirstActivation());
    QTRY_COMPARE(attached, 1);
    QCOMPARE(opens, loads);
    // On a real display the window manager has its say in the state first.
    QTRY_VERIFY(form.isMaximized());

    // Switching away and back does not load again.
    QCoreApplication::sendEvent(&form, &activate);
    runUntilIdle();
    QCOMPARE(attached, 1);
    QCOMPARE(opens, loads);
}

void TestMainWindow::closeAllStopsWhenTheOrderStaysOpen()
{
    TMakeOrderForm form;
    Workspace &ws = form.workspace();
    ActionList &list = ws.actions();
    QStringList ran;
    bool cancel = true;
    list.setHandler(ActionId::OrderClose, [&] {
        ran.append(ActionId::OrderClose);
        if (cancel) {
            list.setTag(ActionId::OrderClose, 0);
            return;
        }
        ws.order().close();
        list.setTag(ActionId::OrderClose, ActionList::ActionDone);
    });
    list.setHandler(ActionId::Models_CloseSMAsg, [&] { ran.append(ActionId::Models_CloseSMAsg); });
    list.setHandler(ActionId::PriceClose, [&] {
        ran.append(ActionId::PriceClose);
        ws.price().close();
    });
    openTable(ws.price(), 2);
    openTable(ws.models(), 1);
    openTable(ws.order(), 1);

    form.action(ActionId::CloseAll)->trigger();
    QCOMPARE(ran, QStringList{ActionId::OrderClose});
    QVERIFY(ws.price().isActive());

    cancel = false;
    ran.clear();
    form.action(ActionId::CloseAll)->trigger();
    QCOMPARE(ran, (QStringList{ActionId::OrderClose, ActionId::Models_CloseSMAsg, ActionId::PriceClose}));
    QVERIFY(!ws.price().isActive());
}

void TestMainWindow::closeRefusedWhileTheOrderIsNotClosed()
{
    TMakeOrderForm form;
    Workspace &ws = form.workspace();
    ScriptedPrompts prompts;
    ws.setPrompts(&prompts);
    ActionList &list = ws.actions();
    bool cancel = true;
    int priceCloses = 0;
    list.setHandler(ActionId::OrderClose, [&] {
        if (cancel) {
            list.setTag(ActionId::OrderClose, 0);
            return;
        }
        ws.order().close();
        list.setTag(ActionId::OrderClose, ActionList::ActionDone);
    });
    list.setHandler(ActionId::PriceClose, [&] { ++priceCloses; });
    openTable(ws.price(), 2);
    openTable(ws.order(), 1);
    ws.document().setFileName(QStringLiteral("order.txt"));
    QSignalSpy closing(&form, &TMakeOrderForm::closing);
    form.show();

    QVERIFY(!form.close());
    QVERIFY(form.isVisible());
    QCOMPARE(closing.count(), 0);
    QCOMPARE(priceCloses, 0);
    QVERIFY(ws.order().isActive());
    QCOMPARE(ws.document().fileName(), QStringLiteral("order.txt"));
    // The settings were saved all the same.
    QVERIFY(QFile::exists(QStringLiteral("user.ini")));

    cancel = false;
    QVERIFY(form.close());
    QCOMPARE(closing.count(), 1);
    QCOMPARE(priceCloses, 1);
}

void TestMainWindow::closeWithoutAnOrderIsAlwaysAllowed()
{
    TMakeOrderForm form;
    ScriptedPrompts prompts;
    form.workspace().setPrompts(&prompts);
    // A tag left over from an earlier cancelled close does not matter once
    // no order is open.
    form.workspace().actions().setTag(ActionId::OrderClose, 0);
    int priceCloses = 0;
    form.workspace().actions().setHandler(ActionId::PriceClose, [&] { ++priceCloses; });
    openTable(form.workspace().price(), 1);
    form.show();
    QVERIFY(form.close());
    QCOMPARE(priceCloses, 1);
}

void TestMainWindow::exitProgClosesThroughTheCloseRequest()
{
    TMakeOrderForm form;
    ScriptedPrompts prompts;
    form.workspace().setPrompts(&prompts);
    form.show();
    QSignalSpy closing(&form, &TMakeOrderForm::closing);
    form.action(ActionId::ExitProg)->trigger();
    QCOMPARE(closing.count(), 1);
    QVERIFY(!form.isVisible());
    QVERIFY(QFile::exists(QStringLiteral("user.ini")));
}

void TestMainWindow::unwritableUserIniAsksRetryCancel()
{
    TMakeOrderForm form;
    ScriptedPrompts prompts;
    form.workspace().setPrompts(&prompts);
    form.workspace().settings().customer = QStringLiteral("Сидоров");
    // A folder in the way of the file makes every write fail, even for root.
    QVERIFY(QDir().mkdir(QStringLiteral("user.ini")));
    prompts.queueAnswer(UserPrompts::Answer::Retry);
    prompts.queueAnswer(UserPrompts::Answer::Cancel);
    form.show();
    form.close();
    QCOMPARE(prompts.texts(QStringLiteral("retrycancel")),
             (QStringList{QStringLiteral("Can't save user information into user.ini file."),
                          QStringLiteral("Can't save user information into user.ini file.")}));
    QCOMPARE(prompts.records().at(0).title, QStringLiteral("Warning"));
    QCOMPARE(form.workspace().settings().customer, QStringLiteral("Сидоров"));

    // Once the way is free the same settings are written.
    QVERIFY(QDir().rmdir(QStringLiteral("user.ini")));
    QVERIFY(form.workspace().execute(ActionId::INISave));
    QVERIFY(TextFile::readLines(QStringLiteral("user.ini")).contains(QStringLiteral("Customer=Сидоров")));
}

void TestMainWindow::errorInAHandlerIsShownAndTheProgramGoesOn()
{
    TMakeOrderForm form;
    ScriptedPrompts prompts;
    form.workspace().setPrompts(&prompts);
    int abouts = 0;
    form.workspace().actions().setHandler(ActionId::RunHTMLHelp,
                                          [] { throw OrdixError(QStringLiteral("Файл повреждён")); });
    form.workspace().actions().setHandler(ActionId::ProgramAbout, [&] {
        ++abouts;
        throw std::runtime_error("out of range");
    });
    form.action(ActionId::RunHTMLHelp)->trigger();
    form.action(ActionId::ProgramAbout)->trigger();
    QCOMPARE(prompts.messages(), (QStringList{QStringLiteral("Файл повреждён"), QStringLiteral("out of range")}));
    QCOMPARE(prompts.records().at(0).icon, UserPrompts::Icon::Error);
    QCOMPARE(abouts, 1);
    // The window still answers.
    form.action(ActionId::LegendSwitch)->trigger();
    QCOMPARE(form.action(ActionId::LegendSwitch)->text(), QStringLiteral("Показать легенду"));
}

void TestMainWindow::catalogueDownloadErrorIsSwallowed_data()
{
    QTest::addColumn<QString>("downloading");
    QTest::addColumn<QString>("error");
    QTest::addColumn<bool>("shown");
    QTest::newRow("the catalogue's own download") << "http://x/list.txt"
                                                  << "Error downloading URL: http://x/list.txt" << false;
    QTest::newRow("another address") << "http://x/list.txt"
                                     << "Error downloading URL: http://x/other.txt" << true;
    QTest::newRow("no catalogue download under way") << ""
                                                     << "Error downloading URL: " << true;
    QTest::newRow("another error") << "http://x/list.txt"
                                   << "Disk full" << true;
}

void TestMainWindow::catalogueDownloadErrorIsSwallowed()
{
    QFETCH(QString, downloading);
    QFETCH(QString, error);
    QFETCH(bool, shown);
    TMakeOrderForm form;
    ScriptedPrompts prompts;
    form.workspace().setPrompts(&prompts);
    QCOMPARE(form.workspace().currentDownloadURL(), QString());
    form.workspace().setCurrentDownloadURL(downloading);
    form.workspace().actions().setHandler(ActionId::DownLoadURL, [error] { throw OrdixError(error); });
    form.workspace().actions().run(ActionId::DownLoadURL);
    QCOMPARE(prompts.messages(), shown ? QStringList{error} : QStringList());
}

void TestMainWindow::errorEscapingAnEventHandlerIsShown()
{
    TMakeOrderForm form;
    ScriptedPrompts prompts;
    form.workspace().setPrompts(&prompts);
    QTimer::singleShot(0, &form, [] { throw OrdixError(QStringLiteral("Ошибка в обработчике")); });
    QTRY_COMPARE(prompts.messages(), QStringList{QStringLiteral("Ошибка в обработчике")});
    QTimer::singleShot(0, &form,
                       [&] { form.workspace().setLabel(Workspace::Label::Status, QStringLiteral("дальше")); });
    QTRY_COMPARE(form.statusLabel()->text(), QStringLiteral("дальше"));
}

void TestMainWindow::errorDuringAnOperationHidesTheProgress()
{
    ApplicationWindows windows;
    TMakeOrderForm &form = windows.mainForm();
    ScriptedPrompts prompts;
    form.workspace().setPrompts(&prompts);
    form.show();
    form.workspace().actions().setHandler(ActionId::PriceFileOpen, [&] {
        form.workspace().progress().startProgress(QStringLiteral("Loading data..."), 0, 100);
        form.workspace().progress().stepProgress(10);
        throw OrdixError(QStringLiteral("Файл не читается"));
    });
    form.action(ActionId::PriceFileOpen)->trigger();
    QCOMPARE(prompts.messages(), QStringList{QStringLiteral("Файл не читается")});
    QVERIFY(!windows.progressDialog().isVisible());
    QVERIFY(!QGuiApplication::overrideCursor());
}

void TestMainWindow::messageBoxesSpeakRussian()
{
    QtPrompts prompts;
    QStringList buttons;
    whenModalShown([&](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        QVERIFY(box);
        QCOMPARE(box->icon(), QMessageBox::Question);
        QCOMPARE(box->text(), QStringLiteral("Сохранить изменения в заказе?"));
        for (QAbstractButton *button : box->buttons())
            buttons.append(button->text().remove(QLatin1Char('&')));
        box->button(QMessageBox::No)->click();
    });
    QCOMPARE(prompts.askYesNoCancel(QStringLiteral("Сохранить изменения в заказе?")), UserPrompts::Answer::No);
    buttons.sort();
    QCOMPARE(buttons, (QStringList{QStringLiteral("Да"), QStringLiteral("Нет"), QStringLiteral("Отмена")}));

    whenModalShown([&](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        QVERIFY(box);
        QCOMPARE(box->windowTitle(), QStringLiteral("Warning"));
        QCOMPARE(box->icon(), QMessageBox::Warning);
        QVERIFY(box->button(QMessageBox::Retry));
        box->button(QMessageBox::Cancel)->click();
    });
    QCOMPARE(prompts.askRetryCancel(QStringLiteral("Warning"),
                                    QStringLiteral("Can't save user information into user.ini file.")),
             UserPrompts::Answer::Cancel);

    whenModalShown([&](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        QVERIFY(box);
        QCOMPARE(box->icon(), QMessageBox::Critical);
        QCOMPARE(box->text(), QStringLiteral("Boom"));
        box->button(QMessageBox::Ok)->click();
    });
    prompts.message(QStringLiteral("Boom"), UserPrompts::Icon::Error, QString());
}

void TestMainWindow::boxesKeptOnTop_data()
{
    QTest::addColumn<bool>("question");
    QTest::addColumn<bool>("onTop");
    QTest::addColumn<QString>("title");
    QTest::newRow("question on top") << true << true << "Question";
    QTest::newRow("message on top") << false << true << "Warning";
    QTest::newRow("plain message") << false << false << "Warning";
}

void TestMainWindow::boxesKeptOnTop()
{
    QFETCH(bool, question);
    QFETCH(bool, onTop);
    QFETCH(QString, title);
    QtPrompts prompts;
    bool shown = false;
    whenModalShown([&](QWidget *modal) {
        shown = true;
        QCOMPARE(modal->windowTitle(), title);
        QCOMPARE(modal->windowFlags().testFlag(Qt::WindowStaysOnTopHint), onTop);
    });
    if (question)
        prompts.askYesNoBox(QStringLiteral("Загрузить?"), {title, onTop});
    else
        prompts.messageBox(QStringLiteral("Can't find item 1"), UserPrompts::Icon::Warning, {title, onTop});
    QVERIFY(shown);
}

void TestMainWindow::fileFilters_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("patterns already named")
        << "Прайс-лист (*.txt)|*.txt|Все файлы (*.*)|*.*" << QStringList{"Прайс-лист (*.txt)", "Все файлы (*.*)"};
    QTest::newRow("patterns added") << "Заказ|*.txt" << QStringList{"Заказ (*.txt)"};
    QTest::newRow("several patterns") << "Текст|*.txt;*.csv" << QStringList{"Текст (*.txt *.csv)"};
    QTest::newRow("empty") << "" << QStringList();
}

void TestMainWindow::fileFilters()
{
    QFETCH(QString, filter);
    QFETCH(QStringList, expected);
    QCOMPARE(QtPrompts::nameFilters(filter), expected);
}

int main(int argc, char *argv[])
{
    OrdixApplication app(argc, argv);
    OrdixApplication::installRussianTranslations(app);
    TestMainWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainwindow.moc"
