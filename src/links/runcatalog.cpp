#include "runcatalog.h"

#include <cstdlib>
#include <cstring>
#include <exception>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>

#include "actionid.h"
#include "cp1251.h"
#include "downloadlist.h"
#include "orderlines.h"
#include "ordixerror.h"
#include "pricefields.h"
#include "userprompts.h"
#include "wholepricelist.h"
#include "workspace.h"

namespace
{
    QString fromPlugin(const char *text)
    {
        return text ? Cp1251::decode(QByteArrayView(text)) : QString();
    }

    // A copy that the library owns and releases with free().
    char *allocatedCopy(const QString &text)
    {
        const QByteArray bytes = Cp1251::encode(text);
        auto *copy = static_cast<char *>(std::malloc(std::size_t(bytes.size()) + 1));
        if (!copy)
            return nullptr;
        std::memcpy(copy, bytes.constData(), std::size_t(bytes.size()));
        copy[bytes.size()] = '\0';
        return copy;
    }

    template<typename F>
    void guarded(RunCatalog *host, F &&work)
    {
        try {
            work();
        } catch (const OrdixError &error) {
            host->reportError(error.message());
        } catch (const std::exception &error) {
            host->reportError(QString::fromUtf8(error.what()));
        } catch (...) {
            host->reportError(QStringLiteral("Unknown error"));
        }
    }

    void ORDIX_CALL addToOrderService(void *context, int32_t code)
    {
        auto *host = static_cast<RunCatalog *>(context);
        if (!host)
            return;
        guarded(host, [host, code] { host->addToOrder(code); });
    }

    int32_t ORDIX_CALL downloadListService(void *context, char **list, const char *caption)
    {
        auto *host = static_cast<RunCatalog *>(context);
        if (!host || !list)
            return 0;
        QString text = fromPlugin(*list);
        QString results;
        int32_t count = 0;
        guarded(host, [&] {
            count = host->downloadList(&text, fromPlugin(caption));
            results = text;
        });
        *list = allocatedCopy(results);
        return count;
    }
}

RunCatalog::RunCatalog(Workspace &workspace, QObject *parent)
    : QObject(parent)
    , m_workspace(workspace)
    , m_path(defaultLibraryPath())
    , m_caption(QStringLiteral("Catalog"))
{
    setObjectName(QStringLiteral("RunCatalog"));
}

RunCatalog::~RunCatalog()
{
    unload();
}

QString RunCatalog::libraryFileName()
{
#if defined(Q_OS_WIN)
    return QStringLiteral("catalog.dll");
#elif defined(Q_OS_DARWIN)
    return QStringLiteral("libcatalog.dylib");
#else
    return QStringLiteral("libcatalog.so");
#endif
}

QString RunCatalog::defaultLibraryPath()
{
    return libraryPathIn(QCoreApplication::applicationDirPath());
}

QString RunCatalog::libraryPathIn(const QString &programFolder)
{
    const QDir folder(programFolder);
    const QString beside = folder.filePath(libraryFileName());
#if defined(Q_OS_WIN)
    // The program's own folder only: a catalog.dll elsewhere (the current
    // folder, the search path) is never loaded.
    return beside;
#else
    if (QFileInfo(beside).isFile())
        return beside;
    const QString installed = QDir::cleanPath(folder.filePath(QStringLiteral("../lib/ordix/") + libraryFileName()));
    if (QFileInfo(installed).isFile())
        return installed;
    return beside;
#endif
}

QString RunCatalog::libraryFolder() const
{
    return QFileInfo(m_library.fileName()).absolutePath();
}

bool RunCatalog::load()
{
    if (m_loaded)
        return true;
    // Only a name with its folder: the library is never looked for in the
    // current folder or on the library path.
    const QFileInfo file(m_path);
    if (!file.isAbsolute() || !file.isFile())
        return false;
    m_library.setFileName(file.absoluteFilePath());
    if (!m_library.load())
        return false;

    auto attach = reinterpret_cast<OrdixAttachPlugin>(m_library.resolve(ORDIX_ATTACH_PLUGIN));
    m_detachPlugin = reinterpret_cast<OrdixDetachPlugin>(m_library.resolve(ORDIX_DETACH_PLUGIN));
    if (!attach || !m_detachPlugin) {
        reset();
        return false;
    }
    m_loaded = true;
    m_showItem = reinterpret_cast<OrdixShowItem>(m_library.resolve(ORDIX_SHOW_ITEM));
    auto proceedItem = reinterpret_cast<OrdixProceedItemFunction>(m_library.resolve(ORDIX_PROCEED_ITEM_FUNCTION));
    auto downloadListFunction =
        reinterpret_cast<OrdixDownloadListFunction>(m_library.resolve(ORDIX_DOWNLOAD_LIST_FUNCTION));

    QByteArray product("zolt");
    char *text = product.data();
    const int32_t count = attach(&text, m_window);
    if (count <= 0) {
        m_caption = file.fileName();
        return true;
    }
    if (text)
        m_caption = fromPlugin(text);
    m_attached = true;
    if (downloadListFunction)
        downloadListFunction(&downloadListService, this);
    if (proceedItem)
        proceedItem(&addToOrderService, this);

    const int items = qMin<int32_t>(count, MaximumMenuItems);
    for (int k = 1; k <= items; ++k) {
        const QByteArray name = QByteArray(ORDIX_GET_MENU_PREFIX) + QByteArray::number(k);
        auto getMenu = reinterpret_cast<OrdixGetMenu>(m_library.resolve(name.constData()));
        if (!getMenu)
            continue;
        char *caption = nullptr;
        OrdixMethod click{nullptr, nullptr};
        char *hint = nullptr;
        char *icon = nullptr;
        getMenu(&caption, &click, &hint, &icon);
        MenuItem item;
        item.number = k;
        item.caption = fromPlugin(caption);
        if (item.caption == QLatin1String("--")) {
            item.separator = true;
            item.caption = QStringLiteral("-");
        }
        item.click = click;
        item.hint = fromPlugin(hint);
        item.iconName = fromPlugin(icon);
        m_items.append(item);
    }
    emit attached();
    return true;
}

void RunCatalog::unload()
{
    if (!m_loaded && !m_library.isLoaded())
        return;
    emit aboutToDetach();
    m_items.clear();
    m_attached = false;
    if (m_detachPlugin)
        m_detachPlugin();
    reset();
}

void RunCatalog::reset()
{
    m_detachPlugin = nullptr;
    m_showItem = nullptr;
    m_items.clear();
    m_attached = false;
    m_loaded = false;
    m_caption = QStringLiteral("Catalog");
    if (m_library.isLoaded())
        m_library.unload();
}

void RunCatalog::click(int index, void *sender) const
{
    if (index < 0 || index >= m_items.size())
        return;
    const OrdixMethod &method = m_items.at(index).click;
    if (method.code)
        method.code(method.data, sender);
}

void RunCatalog::showItem(bool cursorMoved)
{
    if (!m_loaded && !load())
        return;
    RecordTable &price = m_workspace.price();
    if (!price.isActive() || price.rowCount() == 0 || !m_showItem)
        return;
    const qint64 code = price.asInteger(PriceFields::of(price, PriceFields::Code));
    m_showItem(int32_t(code), cursorMoved ? 1 : 0);
}

void RunCatalog::addToOrder(int code)
{
    ActionList &actions = m_workspace.actions();
    const QString addToOrder = ActionId::AddToOrder;
    UserPrompts &prompts = m_workspace.prompts();
    // The plug-in's window may be in front: its questions stay above it.
    if (!actions.isEnabled(addToOrder)
        && prompts.askYesNoBox(QStringLiteral("Данные о ценах не загружены.\nЗагрузить прайс-лист сейчас?"),
                               {QStringLiteral("Question"), true})
            == UserPrompts::Answer::Yes)
        m_workspace.execute(ActionId::PriceDataOpen);
    if (!actions.isEnabled(addToOrder))
        return;

    // A part that the grid's filter hides is found in the whole list.
    const bool visible = m_workspace.price().locate(PriceFields::name(PriceFields::Code), code);
    if (!visible && !WholePriceList(m_workspace.price()).find(code)) {
        prompts.messageBox(QStringLiteral("Can't find item ") + QString::number(code), UserPrompts::Icon::Warning,
                           {QStringLiteral("Warning"), true});
        return;
    }
    if (m_quantityOnTop)
        m_quantityOnTop(true);
    const auto normal = qScopeGuard([this] {
        if (m_quantityOnTop)
            m_quantityOnTop(false);
    });
    if (visible)
        m_workspace.execute(addToOrder);
    else
        OrderLines::addByCode(m_workspace, code);
}

int RunCatalog::downloadList(QString *list, const QString &caption)
{
    return DownloadList::run(m_workspace, list, caption);
}

void RunCatalog::reportError(const QString &text)
{
    m_workspace.actions().reportError(text);
}
