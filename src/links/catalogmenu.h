#pragma once

#include <QIcon>
#include <QObject>
#include <QPointer>

class QAction;
class QMenu;
class QWidget;
class RunCatalog;
class TMakeOrderForm;

// The catalogue plug-in on the main window: attached on the first
// activation and detached when the window closes; its items in the menu
// "MICatalog" (separators, hints, pictures, clicks reaching the plug-in);
// the photo entry "MIShowItem" of the price grid's context menu; and the
// current part told to the plug-in on every move of the price list's
// cursor while the photo entry shows.
class CatalogMenu final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CatalogMenu)

public:
    // Hangs the plug-in host on the window. `quantityDialog` is kept above
    // all windows while the plug-in adds a part.
    static CatalogMenu *install(TMakeOrderForm &form, QWidget *quantityDialog);

    RunCatalog &host() const { return *m_host; }

    // The picture of a plug-in menu item: a file of that name in the
    // library's folder (as it is, or with .png, .svg, .ico, .xpm or .bmp),
    // else the desktop theme's icon of that name; none for a name with a
    // folder part.
    static QIcon iconFor(const QString &folder, const QString &name);

private:
    CatalogMenu(TMakeOrderForm &form, QWidget *quantityDialog);

    void attach();
    void buildMenu();
    void takeMenuDown();
    void priceCursorMoved();

    QPointer<TMakeOrderForm> m_form;
    QPointer<QWidget> m_quantityDialog;
    RunCatalog *m_host = nullptr;
};
