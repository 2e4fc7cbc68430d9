#pragma once

#include <QIcon>
#include <QObject>
#include <QPointer>

class QAction;
class QMenu;
class QWidget;
class RunCatalog;
class Workspace;

// The catalogue plug-in on the main window: its items in the menu
// "MICatalog" (separators, hints, pictures, clicks reaching the plug-in);
// the photo entry "MIShowItem" of the price grid's context menu; and the
// current part told to the plug-in on every move of the price list's
// cursor while the photo entry shows. The window hands in the menu and
// the entry it owns, runs attach() on its first activation and has the
// host unload the library when it closes.
class CatalogMenu final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CatalogMenu)

public:
    // What the plug-in host hangs on: the main window (its parent, and the
    // window handle the library gets), the menu its items fill and the
    // photo entry. `quantityDialog` is kept above all windows while the
    // plug-in adds a part.
    struct Place
    {
        QWidget *window = nullptr;
        QMenu *menu = nullptr;
        QAction *showItem = nullptr;
        QWidget *quantityDialog = nullptr;
    };

    static CatalogMenu *install(Workspace &ws, const Place &place);

    RunCatalog &host() const { return *m_host; }

    // Loads the library and fills the menu (the window's first activation).
    void attach();

    // The picture of a plug-in menu item: a file of that name in the
    // library's folder (as it is, or with .png, .svg, .ico, .xpm or .bmp),
    // else the desktop theme's icon of that name; none for a name with a
    // folder part.
    static QIcon iconFor(const QString &folder, const QString &name);

private:
    CatalogMenu(Workspace &ws, const Place &place);

    void buildMenu();
    void takeMenuDown();
    void priceCursorMoved();

    QPointer<QWidget> m_window;
    QPointer<QMenu> m_menu;
    QPointer<QAction> m_showItem;
    QPointer<QWidget> m_quantityDialog;
    RunCatalog *m_host = nullptr;
};
