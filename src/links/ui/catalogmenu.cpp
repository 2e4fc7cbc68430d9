#include "catalogmenu.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QMenu>

#include "recordtable.h"
#include "runcatalog.h"
#include "workspace.h"

CatalogMenu::CatalogMenu(Workspace &ws, const Place &place)
    : QObject(place.window)
    , m_window(place.window)
    , m_menu(place.menu)
    , m_showItem(place.showItem)
    , m_quantityDialog(place.quantityDialog)
    , m_host(new RunCatalog(ws, this))
{
    setObjectName(QStringLiteral("CatalogMenu"));
}

CatalogMenu *CatalogMenu::install(Workspace &ws, const Place &place)
{
    auto *menu = new CatalogMenu(ws, place);
    RunCatalog *host = menu->m_host;

    connect(host, &RunCatalog::attached, menu, &CatalogMenu::buildMenu);
    connect(host, &RunCatalog::aboutToDetach, menu, &CatalogMenu::takeMenuDown);
    connect(place.showItem, &QAction::triggered, host, [host] { host->showItem(false); });

    QPointer<QWidget> dialog(place.quantityDialog);
    host->setQuantityDialogOnTop([dialog](bool onTop) {
        if (dialog)
            dialog->setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
    });

    // PriceDataSetScroll: after the grid has followed the cursor.
    RecordTable &price = ws.price();
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
    if (!m_window || !m_menu)
        return;
    m_host->setWindowHandle(reinterpret_cast<void *>(m_window->winId()));
    m_host->load();
    if (!m_host->isAttached())
        m_menu->setTitle(m_host->caption());
}

void CatalogMenu::buildMenu()
{
    if (!m_menu || !m_showItem)
        return;
    QMenu *menu = m_menu;
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
    m_showItem->setVisible(true);
}

void CatalogMenu::takeMenuDown()
{
    if (!m_menu || !m_showItem)
        return;
    QMenu *menu = m_menu;
    menu->menuAction()->setVisible(false);
    m_showItem->setVisible(false);
    // Deletes the items the menu owns: none refers into the library after.
    menu->clear();
}

void CatalogMenu::priceCursorMoved()
{
    if (!m_window || !m_showItem || !m_showItem->isVisible())
        return;
    m_host->showItem(true);
    if (!m_window->isActiveWindow())
        m_window->activateWindow();
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
