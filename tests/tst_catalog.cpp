#include <QtTest>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <QAction>
#include <QImage>
#include <QMenu>
#include <QNetworkProxy>

#include "actionid.h"
#include "addtoorder.h"
#include "applicationwindows.h"
#include "catalogmenu.h"
#include "cp1251.h"
#include "downloadaction.h"
#include "downloadlist.h"
#include "httptestserver.h"
#include "inordermark.h"
#include "main.h"
#include "ordertable.h"
#include "priceloader.h"
#include "progress.h"
#include "progressreporter.h"
#include "runcatalog.h"
#include "scriptedprompts.h"
#include "textfile.h"
#include "workspace.h"

namespace
{
    using Answer = UserPrompts::Answer;

    // How long a wait for a queued event may last before the test fails:
    // only a guard, each wait ends when its event comes.
    constexpr int EventWaitMs = 30000;

    const QStringList Price{
        QStringLiteral("Код|Наименование|Артикул|Производитель|Цена|Статус"),
        QStringLiteral("12|Болт М8|OEM-12|Россия|10|1"),
        QStringLiteral("42|Гайка М8|OEM-42|Китай|2.5|0"),
        QStringLiteral("77|Шайба М8|OEM-77|Китай|0.5|2"),
    };
    constexpr int HiddenCode = 77;

    // The test exports of the test plug-in. The probe holds the library
    // with its own dlopen() so that it stays mapped, with what the plug-in
    // recorded, after the host has unloaded it (QLibrary instances of one
    // file share a single handle).
    struct PluginProbe
    {
#ifdef Q_OS_WIN
        explicit PluginProbe(const QString &path)
            : handle(::LoadLibraryW(QDir::toNativeSeparators(path).toStdWString().c_str()))
        { }
        ~PluginProbe()
        {
            if (handle)
                ::FreeLibrary(handle);
        }
        template<typename F>
        F get(const char *name)
        {
            return reinterpret_cast<F>(reinterpret_cast<void *>(::GetProcAddress(handle, name)));
        }
        HMODULE handle;
#else
        explicit PluginProbe(const QString &path)
            : handle(dlopen(QFile::encodeName(path).constData(), RTLD_NOW))
        { }
        ~PluginProbe()
        {
            if (handle)
                dlclose(handle);
        }
        template<typename F>
        F get(const char *name)
        {
            return reinterpret_cast<F>(dlsym(handle, name));
        }
        void *handle;
#endif
        bool isLoaded() const
        {
            return handle != nullptr;
        }

        QString product()
        {
            return QString::fromLatin1(get<const char *(*)()>("TestProduct")());
        }
        void *window()
        {
            return get<void *(*)()>("TestWindow")();
        }
        int detachCount()
        {
            return get<int (*)()>("TestDetachCount")();
        }
        int showItem(int *code, int *reason)
        {
            return get<int (*)(int *, int *)>("TestShowItem")(code, reason);
        }
        int clicks(int item)
        {
            return get<int (*)(int)>("TestClicks")(item);
        }
        void *lastSender()
        {
            return get<void *(*)()>("TestLastSender")();
        }
        int services()
        {
            return get<int (*)()>("TestHasServices")();
        }
        int addToOrder(int code)
        {
            return get<int (*)(int32_t)>("TestAddToOrder")(code);
        }
        int downloadList(const QString &list, const QString &caption, QString *results)
        {
            QByteArray buffer(65536, '\0');
            const int count = get<int (*)(const char *, const char *, char *, int)>("TestDownloadList")(
                Cp1251::encode(list).constData(), Cp1251::encode(caption).constData(), buffer.data(),
                int(buffer.size()));
            *results = Cp1251::decode(QByteArrayView(buffer.constData()));
            return count;
        }
        void reset()
        {
            get<void (*)()>("TestReset")();
        }
    };

    // A progress window stand-in that records what a list did and stops
    // the download when the test says so.
    class ListProgress final : public ProgressReporter
    {
    public:
        void startProgress(const QString &text, int position, int maximum) override
        {
            texts.append(text);
            this->maximum = maximum;
            steps.append(position);
            visible = true;
        }
        void stepProgress(int position) override
        {
            if (!visible)
                return;
            steps.append(position);
            if (position >= maximum)
                visible = false;
        }
        bool stopRequested() override
        {
            const bool stop = stopNow;
            stopNow = false;
            return stop;
        }

        QStringList texts;
        QList<int> steps;
        int maximum = 0;
        bool visible = false;
        bool stopNow = false;
    };

    QByteArray readAll(const QString &path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return QByteArray("<missing>");
        return file.readAll();
    }

    QStringList menuEntries(const QMenu *menu)
    {
        QStringList entries;
        for (const QAction *action : menu->actions())
            entries.append(action->isSeparator() ? QStringLiteral("-") : action->text());
        return entries;
    }
}

class TestCatalog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void libraryIsLookedForBesideTheProgramOnly();
    void libraryOfAnInstalledProgram_data();
    void libraryOfAnInstalledProgram();
    void firstActivationAttachesAndBuildsTheMenu();
    void clicksReachThePlugin();
    void cursorMovesAndThePhotoEntryTellTheCurrentPart();
    void addToOrderByCode();
    void addToOrderWithoutPriceListAsksToOpenOne_data();
    void addToOrderWithoutPriceListAsksToOpenOne();
    void downloadListLines_data();
    void downloadListLines();
    void listFileWithAFailingLine();
    void emptyListFile();
    void escapeInAListFileKeepsTheRest();
    void listNamesCannotLeaveTheFolder_data();
    void listNamesCannotLeaveTheFolder();
    void closingDetachesAndTakesTheMenuDown();
    void declinedPluginStaysHidden();
    void pluginWithoutDetachIsNotLoaded();

private:
    void start(const QString &libraryPath = QString());
    void loadPrice();
    QString pluginPath(const QString &folder = QString()) const;

    QTemporaryDir *m_dir = nullptr;
    QString m_oldCurrent;
    ApplicationWindows *m_windows = nullptr;
    ScriptedPrompts m_prompts;
    PluginProbe *m_probe = nullptr;
};

void TestCatalog::initTestCase()
{
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
    QVERIFY2(QFileInfo::exists(pluginPath()), qPrintable(pluginPath()));
    // A picture for the first menu item, beside the library.
    QImage picture(16, 16, QImage::Format_ARGB32);
    picture.fill(Qt::red);
    QVERIFY(picture.save(QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("find.png"))));
}

void TestCatalog::init()
{
    m_dir = new QTemporaryDir;
    QVERIFY(m_dir->isValid());
    m_oldCurrent = QDir::currentPath();
    QDir::setCurrent(m_dir->path());
    Decimal::setSeparator(QLatin1Char('.'));
    m_prompts.clear();
}

void TestCatalog::cleanup()
{
    delete m_windows;
    m_windows = nullptr;
    if (m_probe)
        m_probe->reset();
    delete m_probe;
    m_probe = nullptr;
    QDir::setCurrent(m_oldCurrent);
    delete m_dir;
    m_dir = nullptr;
    while (QGuiApplication::overrideCursor())
        QGuiApplication::restoreOverrideCursor();
}

QString TestCatalog::pluginPath(const QString &folder) const
{
    QDir dir(QCoreApplication::applicationDirPath());
    if (!folder.isEmpty())
        dir.cd(folder);
    return dir.filePath(RunCatalog::libraryFileName());
}

// The windows as the program makes them, first activated: the plug-in
// (the one beside the test, or the one named) attaches.
void TestCatalog::start(const QString &libraryPath)
{
    m_windows = new ApplicationWindows;
    TMakeOrderForm &form = m_windows->mainForm();
    form.workspace().setPrompts(&m_prompts);
    auto *catalog = form.findChild<CatalogMenu *>();
    QVERIFY(catalog);
    if (!libraryPath.isEmpty())
        catalog->host().setLibraryPath(libraryPath);
    m_probe = new PluginProbe(libraryPath.isEmpty() ? pluginPath() : libraryPath);
    QVERIFY(m_probe->isLoaded());
    m_probe->reset();
    QSignalSpy activated(&form, &TMakeOrderForm::firstActivated);
    form.show();
    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(&form, &activate);
    QTRY_COMPARE_WITH_TIMEOUT(activated.count(), 1, EventWaitMs);
}

void TestCatalog::loadPrice()
{
    TextFile::writeLines(QStringLiteral("ZOLT.TXT"), Price);
    PriceLoader::loadFile(m_windows->mainForm().workspace(), QStringLiteral("ZOLT.TXT"));
    QVERIFY(m_windows->mainForm().workspace().priceNotEmpty());
}

void TestCatalog::libraryOfAnInstalledProgram_data()
{
    QTest::addColumn<bool>("beside");
    QTest::addColumn<bool>("installed");
    QTest::addColumn<QString>("found");
    const QString beside = QStringLiteral("bin/") + RunCatalog::libraryFileName();
#ifdef Q_OS_WIN
    // Windows: the program's own folder only.
    const QString installed = beside;
#else
    const QString installed = QStringLiteral("lib/ordix/") + RunCatalog::libraryFileName();
#endif
    QTest::newRow("beside the program") << true << false << beside;
    QTest::newRow("installed: lib/ordix") << false << true << installed;
    QTest::newRow("both: the one beside the program") << true << true << beside;
    QTest::newRow("neither: none is loaded") << false << false << beside;
}

void TestCatalog::libraryOfAnInstalledProgram()
{
    QFETCH(bool, beside);
    QFETCH(bool, installed);
    QFETCH(QString, found);
    QTemporaryDir prefix;
    QVERIFY(prefix.isValid());
    const QDir root(prefix.path());
    QVERIFY(root.mkpath(QStringLiteral("bin")) && root.mkpath(QStringLiteral("lib/ordix")));
    if (beside)
        QVERIFY(QFile::copy(pluginPath(), root.filePath(QStringLiteral("bin/") + RunCatalog::libraryFileName())));
    if (installed)
        QVERIFY(QFile::copy(pluginPath(), root.filePath(QStringLiteral("lib/ordix/") + RunCatalog::libraryFileName())));
    const QString path = RunCatalog::libraryPathIn(root.filePath(QStringLiteral("bin")));
    QCOMPARE(path, root.filePath(found));
    // The host loads what the look-up found, and nothing when neither is there.
    Workspace ws;
    RunCatalog host(ws);
    host.setLibraryPath(path);
    QCOMPARE(host.load(), QFileInfo::exists(path));
    host.unload();
}

void TestCatalog::libraryIsLookedForBesideTheProgramOnly()
{
    QCOMPARE(RunCatalog::defaultLibraryPath(), pluginPath());
    Workspace ws;
    RunCatalog host(ws);
    QCOMPARE(host.libraryPath(), pluginPath());
    // A bare name would be looked up in the current folder or the library
    // path: it is never loaded.
    QVERIFY(QFile::copy(pluginPath(), RunCatalog::libraryFileName()));
    host.setLibraryPath(RunCatalog::libraryFileName());
    QVERIFY(!host.load());
    QVERIFY(!host.isLoaded());
    // A library that is not there.
    host.setLibraryPath(QDir::current().filePath(QStringLiteral("absent/") + RunCatalog::libraryFileName()));
    QVERIFY(!host.load());
    QVERIFY(!host.isLoaded());
}

void TestCatalog::firstActivationAttachesAndBuildsTheMenu()
{
    start();
    TMakeOrderForm &form = m_windows->mainForm();
    QMenu *menu = form.catalogMenu();
    QCOMPARE(menu->objectName(), QStringLiteral("MICatalog"));
    QTRY_VERIFY_WITH_TIMEOUT(menu->menuAction()->isVisible(), EventWaitMs);
    QCOMPARE(m_probe->product(), QStringLiteral("zolt"));
    QCOMPARE(m_probe->window(), reinterpret_cast<void *>(form.winId()));
    QCOMPARE(m_probe->services(), 3);

    QCOMPARE(menu->title(), QStringLiteral("Каталог"));
    // Items 1, 2 (separator), 3, 5 and 6: GetMenu4 is not exported.
    QCOMPARE(menuEntries(menu),
             (QStringList{QStringLiteral("Поиск детали"), QStringLiteral("-"), QStringLiteral("Фото"),
                          QStringLiteral("Скачать"), QStringLiteral("Скачать")}));
    const QList<QAction *> actions = menu->actions();
    QCOMPARE(actions.at(0)->toolTip(), QStringLiteral("Поиск"));
    QCOMPARE(actions.at(0)->statusTip(), QStringLiteral("Поиск детали в каталоге"));
    QCOMPARE(actions.at(2)->toolTip(), QStringLiteral("Фотография"));
    QCOMPARE(actions.at(2)->statusTip(), QStringLiteral("Фотография"));
    // Pictures: the file beside the library; none for a missing name or
    // one that leads out of the library's folder.
    QVERIFY(!actions.at(0)->icon().isNull());
    QVERIFY(actions.at(2)->icon().isNull());
    QVERIFY(actions.at(3)->icon().isNull());
    QVERIFY(actions.at(4)->icon().isNull());
    QVERIFY(form.showItemAction()->isVisible());
    QCOMPARE(form.showItemAction()->text(), QStringLiteral("Просмотр фотографии"));
    QVERIFY(form.popupMenu()->actions().contains(form.showItemAction()));
}

void TestCatalog::clicksReachThePlugin()
{
    start();
    QMenu *menu = m_windows->mainForm().catalogMenu();
    QTRY_VERIFY_WITH_TIMEOUT(menu->menuAction()->isVisible(), EventWaitMs);
    const QList<QAction *> actions = menu->actions();
    actions.at(0)->trigger();
    QCOMPARE(m_probe->clicks(1), 1);
    QCOMPARE(m_probe->lastSender(), static_cast<void *>(actions.at(0)));
    actions.at(2)->trigger();
    actions.at(2)->trigger();
    QCOMPARE(m_probe->clicks(3), 2);
    QCOMPARE(m_probe->lastSender(), static_cast<void *>(actions.at(2)));
    actions.at(3)->trigger();
    QCOMPARE(m_probe->clicks(5), 1);
    actions.at(4)->trigger(); // no handler: nothing happens
    QCOMPARE(m_probe->clicks(1), 1);
}

void TestCatalog::cursorMovesAndThePhotoEntryTellTheCurrentPart()
{
    start();
    TMakeOrderForm &form = m_windows->mainForm();
    QTRY_VERIFY_WITH_TIMEOUT(form.showItemAction()->isVisible(), EventWaitMs);
    loadPrice();
    RecordTable &price = form.workspace().price();
    int code = 0;
    int reason = -1;
    const int before = m_probe->showItem(&code, &reason);

    price.first();
    price.next();
    const int expected = int(price.asInteger(price.fieldByName(QStringLiteral("Code"))));
    QVERIFY(m_probe->showItem(&code, &reason) > before);
    QCOMPARE(code, expected);
    QCOMPARE(reason, 1);

    price.last();
    m_probe->showItem(&code, &reason);
    QCOMPARE(code, int(price.asInteger(price.fieldByName(QStringLiteral("Code")))));

    const int moves = m_probe->showItem(&code, &reason);
    form.showItemAction()->trigger();
    QCOMPARE(m_probe->showItem(&code, &reason), moves + 1);
    QCOMPARE(reason, 0);
    QCOMPARE(code, int(price.asInteger(price.fieldByName(QStringLiteral("Code")))));
}

void TestCatalog::addToOrderByCode()
{
    start();
    TMakeOrderForm &form = m_windows->mainForm();
    Workspace &ws = form.workspace();
    QTRY_COMPARE_WITH_TIMEOUT(m_probe->services(), 3, EventWaitMs);
    loadPrice();

    // The quantity dialog stays above all windows while the plug-in adds.
    bool onTopWhileAdding = false;
    const std::function<void()> add = ws.actions().get(ActionId::AddToOrder).handler;
    ws.actions().setHandler(ActionId::AddToOrder, [&] {
        onTopWhileAdding = m_windows->addToOrderForm().windowFlags().testFlag(Qt::WindowStaysOnTopHint);
        add();
    });
    m_prompts.queueQuantity(3);
    QCOMPARE(m_probe->addToOrder(42), 1);
    QVERIFY(onTopWhileAdding);
    QVERIFY(!m_windows->addToOrderForm().windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QCOMPARE(ws.order().rowCount(), 1);
    QCOMPARE(ws.order().integerAt(0, OrderTable::Code), 42);
    QCOMPARE(ws.order().integerAt(0, OrderTable::Count), 3);
    QVERIFY(m_prompts.messages().isEmpty());

    // A code the price list lacks: a warning, the order as it was.
    QCOMPARE(m_probe->addToOrder(999), 1);
    QCOMPARE(m_prompts.messages(), QStringList{QStringLiteral("Can't find item 999")});
    QCOMPARE(m_prompts.records().last().title, QStringLiteral("Warning"));
    QCOMPARE(m_prompts.records().last().icon, UserPrompts::Icon::Warning);
    QVERIFY(m_prompts.records().last().onTop);
    QCOMPARE(ws.order().rowCount(), 1);

    // A part the grid's filter hides is added and marked all the same; the
    // grid keeps showing what the filter selects.
    ws.price().setFilter(QStringLiteral("Code=42"));
    ws.price().setFiltered(true);
    m_prompts.clear();
    m_prompts.queueQuantity(2);
    QCOMPARE(m_probe->addToOrder(HiddenCode), 1);
    QVERIFY(m_prompts.messages().isEmpty());
    QCOMPARE(ws.order().rowCount(), 2);
    QCOMPARE(ws.order().integerAt(1, OrderTable::Code), HiddenCode);
    QCOMPARE(ws.order().integerAt(1, OrderTable::Count), 2);
    QVERIFY(ws.order().floatAt(1, OrderTable::Price) > 0);
    QCOMPARE(ws.price().rowCount(), 1);
    const auto whole = ws.price().clone();
    QVERIFY(whole->locate(QStringLiteral("Code"), HiddenCode));
    QVERIFY(Availability::isInOrder(whole->asInteger(0)));
}

void TestCatalog::addToOrderWithoutPriceListAsksToOpenOne_data()
{
    QTest::addColumn<bool>("open");
    QTest::newRow("answered No") << false;
    QTest::newRow("answered Yes") << true;
}

void TestCatalog::addToOrderWithoutPriceListAsksToOpenOne()
{
    QFETCH(bool, open);
    start();
    Workspace &ws = m_windows->mainForm().workspace();
    QTRY_COMPARE_WITH_TIMEOUT(m_probe->services(), 3, EventWaitMs);
    TextFile::writeLines(QStringLiteral("other.txt"), Price);
    m_prompts.queueAnswer(open ? Answer::Yes : Answer::No);
    if (open) {
        m_prompts.queueFile(QDir::current().filePath(QStringLiteral("other.txt")));
        m_prompts.queueAnswer(Answer::No); // no old list to compare with
        m_prompts.queueQuantity(2);
    }
    QCOMPARE(m_probe->addToOrder(77), 1);
    QCOMPARE(m_prompts.questions().first(),
             QStringLiteral("Данные о ценах не загружены.\nЗагрузить прайс-лист сейчас?"));
    QCOMPARE(m_prompts.records().first().title, QStringLiteral("Question"));
    QVERIFY(m_prompts.records().first().onTop);
    if (open) {
        QVERIFY(ws.priceNotEmpty());
        QCOMPARE(ws.order().rowCount(), 1);
        QCOMPARE(ws.order().integerAt(0, OrderTable::Code), 77);
    } else {
        QVERIFY(!ws.priceOpen());
        QVERIFY(!ws.orderOpen());
        QCOMPARE(m_prompts.records().size(), 1);
    }
}

void TestCatalog::downloadListLines_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<QStringList>("requests");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("results");
    QTest::addColumn<int>("count");

    // The server knows /data/pics/1.jpg, /data/x.jpg, /data/a.jpg, /other/2.jpg.
    QTest::newRow("one line, name from the address")
        << "pics/1.jpg" << QStringList{"/data/pics/1.jpg"} << QStringList{"1.jpg"} << "1.jpg\n"
        << 1;
    QTest::newRow("absolute address") << "http://127.0.0.1:%1/other/2.jpg" << QStringList{"/other/2.jpg"}
                                      << QStringList{"2.jpg"} << "2.jpg\n"
                                      << 1;
    QTest::newRow("address, tag and local name")
        << "x.jpg=photo=y.jpg" << QStringList{"/data/x.jpg"} << QStringList{"y.jpg"} << "y.jpg=photo\n"
        << 1;
    QTest::newRow("address and local name")
        << "a.jpg=pics/b.jpg" << QStringList{"/data/a.jpg"} << QStringList{"pics/b.jpg"} << "pics/b.jpg\n"
        << 1;
    QTest::newRow("upper-case scheme takes the base")
        << "HTTP://127.0.0.1:%1/other/2.jpg" << QStringList{"/data/HTTP://127.0.0.1:%1/other/2.jpg"} << QStringList{}
        << "" << 0;
    QTest::newRow("three lines in mixed line ends")
        << "pics/1.jpg\r\nx.jpg=z.jpg\rmissing.jpg\n"
        << QStringList{"/data/pics/1.jpg", "/data/x.jpg", "/data/missing.jpg"} << QStringList{"1.jpg", "z.jpg"}
        << "1.jpg\nz.jpg\n"
        << 2;
    QTest::newRow("empty text") << "" << QStringList{} << QStringList{} << "" << 0;
}

void TestCatalog::downloadListLines()
{
    QFETCH(QString, list);
    QFETCH(QStringList, requests);
    QFETCH(QStringList, files);
    QFETCH(QString, results);
    QFETCH(int, count);

    HttpTestServer server;
    server.setRoute(QStringLiteral("/data/pics/1.jpg"), HttpTestServer::file("one"));
    server.setRoute(QStringLiteral("/data/x.jpg"), HttpTestServer::file("x"));
    server.setRoute(QStringLiteral("/data/a.jpg"), HttpTestServer::file("a"));
    server.setRoute(QStringLiteral("/other/2.jpg"), HttpTestServer::file("two"));
    const QString port = QString::number(server.port());
    list.replace(QStringLiteral("%1"), port);
    for (QString &request : requests)
        request.replace(QStringLiteral("%1"), port);

    start();
    Workspace &ws = m_windows->mainForm().workspace();
    QTRY_COMPARE_WITH_TIMEOUT(m_probe->services(), 3, EventWaitMs);
    ws.settings().url = server.url(QStringLiteral("/data/pricetxt.exe"));
    ListProgress progress;
    ws.setProgress(&progress);

    QString got;
    QCOMPARE(m_probe->downloadList(list, QStringLiteral("Загрузка фотографий"), &got), count);
    QCOMPARE(got, results);
    QCOMPARE(server.requests(), requests);
    for (const QString &file : std::as_const(files))
        QVERIFY2(QFileInfo(file).isFile(), qPrintable(file));
    // Failures of a list are its own affair: no message.
    QVERIFY(m_prompts.messages().isEmpty());
    QVERIFY(ws.currentDownloadURL().isEmpty());
    QCOMPARE(progress.texts, QStringList{QStringLiteral("Загрузка фотографий")});
    QCOMPARE(progress.maximum, 100 * int(DownloadList::splitLines(list).size()));
    QVERIFY(!progress.visible);
    ws.setProgress(&m_windows->progressDialog());
}

void TestCatalog::listFileWithAFailingLine()
{
    HttpTestServer server;
    server.setRoute(QStringLiteral("/data/1.jpg"), HttpTestServer::file("one"));
    server.setRoute(QStringLiteral("/data/3.jpg"), HttpTestServer::file("three"));
    start();
    Workspace &ws = m_windows->mainForm().workspace();
    QTRY_COMPARE_WITH_TIMEOUT(m_probe->services(), 3, EventWaitMs);
    ws.settings().url = server.url(QStringLiteral("/data/pricetxt.exe"));
    TextFile::writeLines(QStringLiteral("list.txt"),
                         {QStringLiteral("1.jpg"), QStringLiteral("2.jpg=фото=2.jpg"), QStringLiteral("3.jpg")});
    ListProgress progress;
    ws.setProgress(&progress);

    QString got;
    QCOMPARE(m_probe->downloadList(QStringLiteral("list.txt"), QStringLiteral("Фото"), &got), 2);

    QCOMPARE(got, QStringLiteral("1.jpg\n3.jpg\n"));
    QVERIFY(!QFile::exists(QStringLiteral("list.txt")));
    QCOMPARE(readAll(QStringLiteral("list.txt.err")), TextFile::encodeLines({QStringLiteral("2.jpg=фото=2.jpg")}));
    QCOMPARE(readAll(QStringLiteral("1.jpg")), QByteArray("one"));
    QCOMPARE(readAll(QStringLiteral("3.jpg")), QByteArray("three"));
    QVERIFY(!QFile::exists(QStringLiteral("2.jpg")));
    QVERIFY(m_prompts.messages().isEmpty());
    QCOMPARE(progress.maximum, 300);
    QCOMPARE(progress.steps.first(), 0);
    QVERIFY(progress.steps.contains(100));
    QVERIFY(progress.steps.contains(200));
    QVERIFY(!progress.visible);
    ws.setProgress(&m_windows->progressDialog());
}

void TestCatalog::emptyListFile()
{
    HttpTestServer server;
    start();
    Workspace &ws = m_windows->mainForm().workspace();
    QTRY_COMPARE_WITH_TIMEOUT(m_probe->services(), 3, EventWaitMs);
    ws.settings().url = server.url(QStringLiteral("/data/pricetxt.exe"));
    TextFile::writeLines(QStringLiteral("empty.lst"), {});
    ListProgress progress;
    ws.setProgress(&progress);
    QString got = QStringLiteral("?");
    QCOMPARE(m_probe->downloadList(QStringLiteral("empty.lst"), QStringLiteral("Фото"), &got), 0);
    QCOMPARE(got, QString());
    QVERIFY(!QFile::exists(QStringLiteral("empty.lst")));
    QVERIFY(!QFile::exists(QStringLiteral("empty.lst.err")));
    QVERIFY(server.requests().isEmpty());
    QVERIFY(!progress.visible);
    ws.setProgress(&m_windows->progressDialog());
}

void TestCatalog::escapeInAListFileKeepsTheRest()
{
    HttpTestServer server;
    server.setRoute(QStringLiteral("/data/1.jpg"), HttpTestServer::file("one"));
    HttpTestServer::Route slow = HttpTestServer::file(QByteArray(50000, 'S'));
    slow.chunkSize = 100;
    slow.chunkDelayMs = 20;
    server.setRoute(QStringLiteral("/data/slow.jpg"), slow);
    server.setRoute(QStringLiteral("/data/3.jpg"), HttpTestServer::file("three"));
    start();
    Workspace &ws = m_windows->mainForm().workspace();
    QTRY_COMPARE_WITH_TIMEOUT(m_probe->services(), 3, EventWaitMs);
    ws.settings().url = server.url(QStringLiteral("/data/pricetxt.exe"));
    TextFile::writeLines(QStringLiteral("list.txt"),
                         {QStringLiteral("1.jpg"), QStringLiteral("slow.jpg=photo=s.jpg"), QStringLiteral("3.jpg")});
    ListProgress progress;
    ws.setProgress(&progress);
    // The user presses Escape while the second file comes.
    server.onRequest = [&progress](const QString &path) {
        if (path == QLatin1String("/data/slow.jpg"))
            progress.stopNow = true;
    };

    QString got;
    QCOMPARE(m_probe->downloadList(QStringLiteral("list.txt"), QStringLiteral("Фото"), &got), 1);

    QCOMPARE(got, QStringLiteral("1.jpg\n"));
    QCOMPARE(m_prompts.messages(), QStringList{QStringLiteral("Action stopped")});
    QCOMPARE(server.requests(), (QStringList{QStringLiteral("/data/1.jpg"), QStringLiteral("/data/slow.jpg")}));
    // The line stopped at and the ones after stay in the list, as written.
    QCOMPARE(readAll(QStringLiteral("list.txt")),
             TextFile::encodeLines({QStringLiteral("slow.jpg=photo=s.jpg"), QStringLiteral("3.jpg")}));
    QCOMPARE(readAll(QStringLiteral("list.txt.err")), TextFile::encodeLines({QStringLiteral("slow.jpg=photo=s.jpg")}));
    QVERIFY(!QFile::exists(QStringLiteral("s.jpg")));
    QCOMPARE(DownloadAction::find(ws)->itemNumber(), DownloadAction::StopMark);
    QVERIFY(ws.currentDownloadURL().isEmpty());
    QVERIFY(!progress.visible);
    ws.setProgress(&m_windows->progressDialog());
}

void TestCatalog::listNamesCannotLeaveTheFolder_data()
{
    QTest::addColumn<QString>("line");
    QTest::newRow("absolute path") << "x.jpg=%1/evil.jpg";
    QTest::newRow("parent folder") << "x.jpg=../evil.jpg";
    QTest::newRow("parent inside a tag line") << "x.jpg=t=pics/../../evil.jpg";
    QTest::newRow("windows parent") << "x.jpg=..\\evil.jpg";
    QTest::newRow("drive letter") << "x.jpg=C:\\evil.jpg";
}

void TestCatalog::listNamesCannotLeaveTheFolder()
{
    QFETCH(QString, line);
    QTemporaryDir outside;
    line.replace(QStringLiteral("%1"), outside.path());
    HttpTestServer server;
    server.setRoute(QStringLiteral("/data/x.jpg"), HttpTestServer::file("x"));
    QVERIFY(QDir().mkdir(QStringLiteral("work")));
    QDir::setCurrent(QStringLiteral("work"));
    start();
    Workspace &ws = m_windows->mainForm().workspace();
    QTRY_COMPARE_WITH_TIMEOUT(m_probe->services(), 3, EventWaitMs);
    ws.settings().url = server.url(QStringLiteral("/data/pricetxt.exe"));
    TextFile::writeLines(QStringLiteral("list.txt"), {line, QStringLiteral("x.jpg")});

    QString got;
    QCOMPARE(m_probe->downloadList(QStringLiteral("list.txt"), QStringLiteral("Фото"), &got), 1);
    QCOMPARE(got, QStringLiteral("x.jpg\n"));
    QCOMPARE(readAll(QStringLiteral("list.txt.err")), TextFile::encodeLines({line}));
    QCOMPARE(server.requests(), QStringList{QStringLiteral("/data/x.jpg")});
    QVERIFY(!QFile::exists(outside.filePath(QStringLiteral("evil.jpg"))));
    QVERIFY(!QFile::exists(m_dir->filePath(QStringLiteral("evil.jpg"))));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList());
}

void TestCatalog::closingDetachesAndTakesTheMenuDown()
{
    start();
    TMakeOrderForm &form = m_windows->mainForm();
    QMenu *menu = form.catalogMenu();
    QTRY_VERIFY_WITH_TIMEOUT(menu->menuAction()->isVisible(), EventWaitMs);
    QCOMPARE(m_probe->detachCount(), 0);
    QVERIFY(form.close());
    QCOMPARE(m_probe->detachCount(), 1);
    QVERIFY(!menu->menuAction()->isVisible());
    QVERIFY(menu->actions().isEmpty());
    QVERIFY(!form.showItemAction()->isVisible());
    QVERIFY(!form.findChild<CatalogMenu *>()->host().isLoaded());
    QCOMPARE(m_probe->services(), 0);
}

void TestCatalog::declinedPluginStaysHidden()
{
    start(pluginPath(QStringLiteral("decline")));
    TMakeOrderForm &form = m_windows->mainForm();
    RunCatalog &host = form.findChild<CatalogMenu *>()->host();
    QTRY_COMPARE_WITH_TIMEOUT(m_probe->product(), QStringLiteral("zolt"), EventWaitMs);
    QVERIFY(host.isLoaded());
    QVERIFY(!host.isAttached());
    QVERIFY(!form.catalogMenu()->menuAction()->isVisible());
    QCOMPARE(form.catalogMenu()->title(), RunCatalog::libraryFileName());
    QVERIFY(form.catalogMenu()->actions().isEmpty());
    QVERIFY(!form.showItemAction()->isVisible());
    QCOMPARE(m_probe->services(), 0);
    // Detached on close all the same.
    QVERIFY(form.close());
    QCOMPARE(m_probe->detachCount(), 1);
}

void TestCatalog::pluginWithoutDetachIsNotLoaded()
{
    start(pluginPath(QStringLiteral("nodetach")));
    TMakeOrderForm &form = m_windows->mainForm();
    RunCatalog &host = form.findChild<CatalogMenu *>()->host();
    QVERIFY(!host.isLoaded());
    QVERIFY(!form.catalogMenu()->menuAction()->isVisible());
    QVERIFY(!form.showItemAction()->isVisible());
    // Never attached.
    QCOMPARE(m_probe->product(), QString());
    // The photo entry, were it asked for, tries again and stays quiet.
    loadPrice();
    host.showItem(false);
    QVERIFY(!host.isLoaded());
    QVERIFY(m_prompts.messages().isEmpty());
}

QTEST_MAIN(TestCatalog)
#include "tst_catalog.moc"
