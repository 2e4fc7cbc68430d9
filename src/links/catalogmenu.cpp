#include "catalogmenu.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QMenu>

#include "main.h"
#include "runcatalog.h"
#include "workspace.h"

CatalogMenu::CatalogMenu(TMakeOrderForm &form, QWidget *quantityDialog)
    : QObject(&form)
    , m_form(&form)
    , m_quantityDialog(quantityDialog)
    , m_host(new RunCatalog(form.workspace(), this))
{
    setObjectName(QStringLiteral("CatalogMenu"));
}

CatalogMenu *CatalogMenu::install(TMakeOrderForm &form, QWidget *quantityDialog)
{
    auto *menu = new CatalogMenu(form, quantityDialog);
    RunCatalog *host = menu->m_host;

    connect(host, &RunCatalog::attached, menu, &CatalogMenu::buildMenu);
    connect(host, &RunCatalog::aboutToDetach, menu, &CatalogMenu::takeMenuDown);
    connect(&form, &TMakeOrderForm::firstActivated, menu, &CatalogMenu::attach);
    connect(&form, &TMakeOrderForm::closing, host, &RunCatalog::unload);
    connect(form.showItemAction(), &QAction::triggered, host, [host] { host->showItem(false); });

    QPointer<QWidget> dialog(quantityDialog);
    host->setQuantityDialogOnTop([dialog](bool onTop) {
        if (dialog)
            dialog->setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
    });

    // PriceDataSetScroll: after the grid has followed the cursor.
    RecordTable &price = form.workspace().price();
    const RecordTable::Callback previous = price.afterScroll();
    QPointer<CatalogMenu> guard(menu);
    price.setAfterScroll([previous, guard] {
        if (previous)
            previous();
        if (guard)
            guard->priceCursorMoved();
    });
    return menu;
}

void CatalogMenu::attach()
{
    if (!m_form)
        return;
    m_host->setWindowHandle(reinterpret_cast<void *>(m_form->winId()));
    m_host->load();
    if (!m_host->isAttached())
        m_form->catalogMenu()->setTitle(m_host->caption());
}

void CatalogMenu::buildMenu()
{
    if (!m_form)
        return;
    QMenu *menu = m_form->catalogMenu();
    menu->clear();
    menu->setTitle(m_host->caption());
    menu->setToolTipsVisible(true);
    const QString folder = m_host->libraryFolder();
    const QList<RunCatalog::MenuItem> &items = m_host->menuItems();
    for (int i = 0; i < items.size(); ++i) {
        const RunCatalog::MenuItem &item = items.at(i);
        if (item.separator) {
            menu->addSeparator()->setObjectName(QStringLiteral("GetMenu%1").arg(item.number));
            continue;
        }
        auto *action = new QAction(item.caption, menu);
        action->setObjectName(QStringLiteral("GetMenu%1").arg(item.number));
        const qsizetype bar = item.hint.indexOf(QLatin1Char('|'));
        action->setToolTip(bar < 0 ? item.hint : item.hint.left(bar));
        action->setStatusTip(bar < 0 ? item.hint : item.hint.mid(bar + 1));
        if (!item.iconName.isEmpty())
            action->setIcon(iconFor(folder, item.iconName));
        RunCatalog *host = m_host;
        connect(action, &QAction::triggered, host, [host, i, action] { host->click(i, action); });
        menu->addAction(action);
    }
    menu->menuAction()->setVisible(true);
    m_form->showItemAction()->setVisible(true);
}

void CatalogMenu::takeMenuDown()
{
    if (!m_form)
        return;
    QMenu *menu = m_form->catalogMenu();
    menu->menuAction()->setVisible(false);
    m_form->showItemAction()->setVisible(false);
    // Deletes the items the menu owns: none refers into the library after.
    menu->clear();
}

void CatalogMenu::priceCursorMoved()
{
    if (!m_form || !m_form->showItemAction()->isVisible())
        return;
    m_host->showItem(true);
    if (!m_form->isActiveWindow())
        m_form->activateWindow();
}

QIcon CatalogMenu::iconFor(const QString &folder, const QString &name)
{
    if (name.isEmpty() || name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\'))
        || name.contains(QLatin1String("..")))
        return QIcon();
    const QDir dir(folder);
    for (const char *suffix : {"", ".png", ".svg", ".ico", ".xpm", ".bmp"}) {
        const QString path = dir.filePath(name + QLatin1String(suffix));
        if (QFileInfo(path).isFile()) {
            QIcon icon(path);
            if (!icon.isNull())
                return icon;
        }
    }
    return QIcon::fromTheme(name);
}
