#pragma once

#include <functional>

#include <QLibrary>
#include <QList>
#include <QObject>
#include <QString>

#include "ordix/catalogplugin.h"

class Workspace;

// The host of the catalogue plug-in: loads the library from the program's
// own folder (or an installed program's lib/ordix), attaches it, reads its menu items, tells it the current part,
// and gives it the add-to-order and download-list services. The window
// builds the menu from menuItems() when attached() is sent and takes it down
// on aboutToDetach(). The interface for plug-in writers is
// include/ordix/catalogplugin.h.
class RunCatalog final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RunCatalog)

public:
    // Attach returns more items than a menu can sensibly hold: the rest are
    // not asked for.
    static constexpr int MaximumMenuItems = 1000;

    struct MenuItem
    {
        int number = 0;         // n of GetMenu<n>
        QString caption;        // "-" for a separator line
        bool separator = false; // the plug-in's caption was "--"
        QString hint;           // "tool tip|status text"
        QString iconName;       // empty: no picture
        OrdixMethod click{nullptr, nullptr};
    };

    explicit RunCatalog(Workspace &workspace, QObject *parent = nullptr);
    ~RunCatalog() override;

    // "libcatalog.so" (Linux), "catalog.dll" (Windows), "libcatalog.dylib".
    static QString libraryFileName();
    // The library of the running program (see libraryPathIn); never the
    // current folder or the system's library path.
    static QString defaultLibraryPath();
    // The library for an executable in `programFolder`: beside it when it
    // exists there, else in ../lib/ordix (an installed program's plug-in
    // folder) when it exists there, else the name beside it.
    static QString libraryPathIn(const QString &programFolder);

    // The main window's native handle, handed to AttachPlugin.
    void setWindowHandle(void *handle) { m_window = handle; }
    // Where load() without a name looks; the default library path unless set.
    void setLibraryPath(const QString &path) { m_path = path; }
    QString libraryPath() const { return m_path; }

    // LoadCatalogPlugin: loads and attaches the library. A missing library,
    // one without AttachPlugin or DetachPlugin, or any failure leaves the
    // plug-in not loaded, silently. A library that declines stays loaded
    // with no menu. Returns whether the plug-in counts as loaded.
    bool load();
    // UnloadCatalogPlugin: takes the menu down (aboutToDetach), calls
    // DetachPlugin and unloads the library.
    void unload();

    bool isLoaded() const { return m_loaded; }
    // Loaded and accepted: the menu and the photo entry show.
    bool isAttached() const { return m_attached; }
    // The caption of MICatalog: the plug-in's, or the library's file name
    // after a decline.
    QString caption() const { return m_caption; }
    const QList<MenuItem> &menuItems() const { return m_items; }
    // The folder of the loaded library, where its menu pictures lie.
    QString libraryFolder() const;

    // Calls the click handler of menu item `index` (position in menuItems())
    // with the item's handle as sender.
    void click(int index, void *sender) const;

    // MIShowItemClick: loads the plug-in when it is not loaded; tells it the
    // current part of the open price list. `cursorMoved`: the price list's
    // cursor moved (reason 1) rather than the user asking for the photo.
    void showItem(bool cursorMoved);

    // The add-to-order service: offers to open a price list when none has
    // rows, then adds the part with this code through AddToOrder, or warns
    // "Can't find item <code>".
    void addToOrder(int code);
    // The download-list service (see DownloadList).
    int downloadList(QString *list, const QString &caption);

    // Called with true before the quantity dialog opens for the plug-in,
    // with false afterwards: the window keeps the dialog above all others.
    void setQuantityDialogOnTop(std::function<void(bool)> onTop) { m_quantityOnTop = std::move(onTop); }

    // Hands an error raised inside a service to the error report: nothing
    // may escape into the library's code.
    void reportError(const QString &text);

signals:
    // The plug-in accepted: build the menu from menuItems().
    void attached();
    // Before DetachPlugin: no menu item may refer into the library any more.
    void aboutToDetach();

private:
    void reset();

    Workspace &m_workspace;
    QLibrary m_library;
    QString m_path;
    void *m_window = nullptr;
    bool m_loaded = false;
    bool m_attached = false;
    QString m_caption;
    QList<MenuItem> m_items;
    std::function<void(bool)> m_quantityOnTop;

    OrdixDetachPlugin m_detachPlugin = nullptr;
    OrdixShowItem m_showItem = nullptr;
};
