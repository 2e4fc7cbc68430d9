#include <QtTest>

#include <algorithm>

#include <QNetworkProxy>

#include <archive.h>
#include <archive_entry.h>

#include "actionid.h"
#include "archiveunpacker.h"
#include "downloadaction.h"
#include "downloadlist.h"
#include "downloadstatus.h"
#include "httptestserver.h"
#include "localname.h"
#include "networkdownloadservice.h"
#include "ordertable.h"
#include "pricedownload.h"
#include "priceloader.h"
#include "runandwait.h"
#include "scriptedprompts.h"
#include "silentprogress.h"
#include "standardactions.h"
#include "testworkspace.h"
#include "textfile.h"
#include "workspace.h"

namespace
{
    using Answer = UserPrompts::Answer;

    // How long a wait for something that happens by itself may last before
    // the test fails. Only a guard: each wait ends when its event comes, and
    // a loaded machine (Wine beside other builds) may take many seconds.
    constexpr int EventWaitMs = 30000;

    const QStringList OldPrice{
        QStringLiteral("Код|Наименование|Артикул|Производитель|Цена|Статус"),
        QStringLiteral("12|Болт М8|OEM-12|Россия|10|1"),
        QStringLiteral("42|Гайка М8|OEM-42|Китай|2.5|0"),
    };
    const QStringList NewPrice{
        QStringLiteral("Код|Наименование|Артикул|Производитель|Цена|Статус"),
        QStringLiteral("12|Болт М8 оцинкованный|OEM-12|Россия|11.5|1"),
        QStringLiteral("42|Гайка М8|OEM-42|Китай|3|1"),
        QStringLiteral("77|Шайба М8|OEM-77|Китай|0.5|2"),
    };

    QByteArray readAll(const QString &path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return QByteArray("<missing>");
        return file.readAll();
    }

    void writeBytes(const QString &path, const QByteArray &bytes)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(bytes), bytes.size());
    }

    // A shell script standing in for a self-extracting archive: it writes
    // the new price list into the current folder.
    // A zip file with the given entries, written by libarchive.
    void writeZip(const QString &path, const QList<QPair<QByteArray, QByteArray>> &entries)
    {
        archive *a = archive_write_new();
        QCOMPARE(archive_write_set_format_zip(a), ARCHIVE_OK);
        QCOMPARE(archive_write_open_filename(a, QFile::encodeName(path).constData()), ARCHIVE_OK);
        for (const auto &e : entries) {
            archive_entry *entry = archive_entry_new();
            archive_entry_set_pathname(entry, e.first.constData());
            archive_entry_set_filetype(entry, AE_IFREG);
            archive_entry_set_perm(entry, 0644);
            archive_entry_set_size(entry, e.second.size());
            QCOMPARE(archive_write_header(a, entry), ARCHIVE_OK);
            QCOMPARE(archive_write_data(a, e.second.constData(), size_t(e.second.size())), la_ssize_t(e.second.size()));
            archive_entry_free(entry);
        }
        QCOMPARE(archive_write_close(a), ARCHIVE_OK);
        archive_write_free(a);
    }

    // The status lines with a repeated line (the progress as data comes)
    // shown once.
    QStringList shownOnce(QStringList lines)
    {
        lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
        return lines;
    }

    QByteArray bigBody(int size)
    {
        QByteArray body(size, Qt::Uninitialized);
        for (int i = 0; i < size; ++i)
            body[i] = char('A' + i % 26);
        return body;
    }
}

class TestDownload : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void statusLines_data();
    void statusLines();
    void progressReportMovesTheBarByItem_data();
    void progressReportMovesTheBarByItem();
    void targetFileName_data();
    void targetFileName();
    void localNamesStayInTheFolder_data();
    void localNamesStayInTheFolder();

    void answeringNoFetchesNothing();
    void goodFileArrivesWithStatusTexts();
    void redirectIsFollowed();
    void failedDownloadKeepsTheEarlierFile_data();
    void failedDownloadKeepsTheEarlierFile();
    void unwritableTargetFetchesNothing();
    void escapeStopsTheDownload();
    void extensionOtherThanLowerCaseExeIsNotOffered_data();
    void extensionOtherThanLowerCaseExeIsNotOffered();

    void stubbedZipIsUnpackedNotRunThenPriceLoadsAndOrderIsCoordinated();
    void zipArchiveThatCannotRunIsUnpacked();
    void archiveThatNeitherRunsNorUnpacksIsReported();
    void unpackerSkipsEntriesOutsideTheFolder();
    void namedFileIsAListOnlyWhenItIsText_data();
    void namedFileIsAListOnlyWhenItIsText();
    void runAndWait();
    void windowsRunsTheArchiveThenLoadsTheList();

private:
    void loadPriceWithOrder();
    // Points the download at the served archive and answers its questions:
    // download, unpack, no old list to name by hand, coordinate.
    void downloadAndCoordinate();
    NetworkDownloadService &service();
    QStringList statusLines() const { return m_statusLines; }

    QTemporaryDir *m_dir = nullptr;
    QString m_oldCurrent;
    Workspace *m_ws = nullptr;
    ScriptedPrompts m_prompts;
    SilentProgress m_progress;
    HttpTestServer *m_server = nullptr;
    QStringList m_statusLines;
    QStringList m_ran;
};

void TestDownload::initTestCase()
{
    // Every request of these tests goes to 127.0.0.1 directly.
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
}

void TestDownload::init()
{
    m_dir = new QTemporaryDir;
    QVERIFY(m_dir->isValid());
    m_oldCurrent = QDir::currentPath();
    QDir::setCurrent(m_dir->path());
    Decimal::setSeparator(QLatin1Char('.'));
    m_prompts.clear();
    m_progress = SilentProgress();
    m_statusLines.clear();
    m_ran.clear();
    m_ws = new Workspace;
    setUpTestWorkspace(*m_ws, &m_prompts, &m_progress);
    StandardActions::startUp(*m_ws);
    PriceDownload::installActions(*m_ws);
    connect(m_ws, &Workspace::labelChanged, this, [this](Workspace::Label which, const QString &text) {
        if (which == Workspace::Label::Status)
            m_statusLines.append(text);
    });
    // The chain after the archive, in the order it runs.
    for (const QLatin1StringView name : {ActionId::PriceClose, ActionId::PriceFileOpen, ActionId::CoordinateOrder}) {
        const QString action = name;
        const std::function<void()> handler = m_ws->actions().get(action).handler;
        m_ws->actions().setHandler(action, [this, action, handler] {
            m_ran.append(action);
            handler();
        });
    }
    m_server = new HttpTestServer;
    QVERIFY(m_server->isListening());
}

void TestDownload::cleanup()
{
    delete m_server;
    m_server = nullptr;
    delete m_ws;
    m_ws = nullptr;
    QDir::setCurrent(m_oldCurrent);
    delete m_dir;
    m_dir = nullptr;
}

void TestDownload::downloadAndCoordinate()
{
    m_ws->settings().url = m_server->url(QStringLiteral("/data/pricetxt.exe"));
    for (const Answer answer : {Answer::Yes, Answer::Yes, Answer::No, Answer::Yes})
        m_prompts.queueAnswer(answer);
}

NetworkDownloadService &TestDownload::service()
{
    return *static_cast<NetworkDownloadService *>(DownloadAction::find(*m_ws)->service());
}

void TestDownload::statusLines_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("line");

    QTest::newRow("finding resource") << 0 << "127.0.0.1"
                                      << "Поиск серевого ресурса 127.0.0.1";
    QTest::newRow("connecting") << 1 << "host"
                                << "Соединение с host";
    QTest::newRow("redirecting") << 2 << "http://h/x"
                                 << "Переадресация на http://h/x";
    QTest::newRow("downloading, blanks and controls cut") << 4 << "\t http://h/a.exe \r\n"
                                                          << "Загрузка http://h/a.exe";
    QTest::newRow("end of data") << 5 << "a.exe"
                                 << "Загрузка завершена a.exe";
    QTest::newRow("sending request") << 10 << "http://h/a.exe"
                                     << "Запрос http://h/a.exe";
    QTest::newRow("upload begins without a blank") << 16 << "x"
                                                   << "Начало закачкиx";
    QTest::newRow("last code with empty text") << 24 << ""
                                               << "Загрузка указателя MIME ";
    QTest::newRow("code 25 gives nothing") << 25 << "x"
                                           << "";
    QTest::newRow("code 255 gives nothing") << 255 << "x"
                                            << "";
}

void TestDownload::statusLines()
{
    QFETCH(int, code);
    QFETCH(QString, text);
    QFETCH(QString, line);
    QCOMPARE(DownloadStatus::statusLine(code, text), line);
    // The download action's handler puts the same line on the status bar.
    QVERIFY(!DownloadAction::install(*m_ws).downloadProgress(0, 0, code, text));
    QCOMPARE(m_ws->label(Workspace::Label::Status), line);
}

void TestDownload::progressReportMovesTheBarByItem_data()
{
    QTest::addColumn<int>("item");
    QTest::addColumn<uint>("progress");
    QTest::addColumn<uint>("maximum");
    QTest::addColumn<QList<int>>("steps");

    QTest::newRow("price download, half way") << 0 << 50u << 100u << QList<int>{50};
    QTest::newRow("third item of a list, a quarter") << 2 << 50u << 200u << QList<int>{225};
    QTest::newRow("fraction cut off") << 0 << 2u << 3u << QList<int>{66};
    QTest::newRow("unknown size moves nothing") << 1 << 500u << 0u << QList<int>{};
    QTest::newRow("largest sizes") << 0 << 4294967295u << 4294967295u << QList<int>{100};
}

void TestDownload::progressReportMovesTheBarByItem()
{
    QFETCH(int, item);
    QFETCH(uint, progress);
    QFETCH(uint, maximum);
    QFETCH(QList<int>, steps);
    m_progress.startProgress(QStringLiteral("x"), 0, 1000);
    DownloadAction &download = DownloadAction::install(*m_ws);
    download.setItemNumber(item);
    QVERIFY(!download.downloadProgress(progress, maximum, DownloadStatus::DownloadingData, QStringLiteral("f")));
    QCOMPARE(m_progress.steps(), steps);
    QCOMPARE(m_ws->label(Workspace::Label::Status), QStringLiteral("Загрузка f"));
}

void TestDownload::targetFileName_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("name");

    QTest::newRow("web address") << "http://www.zolt.example/data/pricetxt.exe"
                                 << "pricetxt.exe";
    QTest::newRow("backslash last") << "http://h/data\\sub\\price.exe"
                                    << "price.exe";
    QTest::newRow("slash after backslash") << "http://h\\x/price.exe"
                                           << "price.exe";
    QTest::newRow("no separator: the whole address") << "pricetxt.exe"
                                                     << "pricetxt.exe";
    QTest::newRow("ends in a slash") << "http://h/data/"
                                     << "";
}

void TestDownload::targetFileName()
{
    QFETCH(QString, url);
    QFETCH(QString, name);
    QCOMPARE(PriceDownload::targetFileName(url), name);
}

void TestDownload::localNamesStayInTheFolder_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("confined");

    QTest::newRow("plain") << "1.jpg"
                           << "1.jpg";
    QTest::newRow("subfolder") << "pics/1.jpg"
                               << "pics/1.jpg";
    QTest::newRow("windows subfolder") << "pics\\big\\1.jpg"
                                       << "pics/big/1.jpg";
    QTest::newRow("dot parts dropped") << "./pics//1.jpg"
                                       << "pics/1.jpg";
    QTest::newRow("absolute") << "/etc/passwd"
                              << "";
    QTest::newRow("absolute windows") << "\\windows\\x.dll"
                                      << "";
    QTest::newRow("drive letter") << "C:\\x.jpg"
                                  << "";
    QTest::newRow("drive relative") << "c:x.jpg"
                                    << "";
    QTest::newRow("resource prefix") << ":pics/x.jpg"
                                     << "";
    QTest::newRow("resource prefix, windows") << ":\\x.jpg"
                                              << "";
    QTest::newRow("parent") << "../x.jpg"
                            << "";
    QTest::newRow("parent inside") << "pics/../../x.jpg"
                                   << "";
    QTest::newRow("parent windows") << "pics\\..\\x.jpg"
                                    << "";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("only dots and slashes") << "./."
                                           << "";
    QTest::newRow("two dots in a name are fine") << "a..b.jpg"
                                                 << "a..b.jpg";
    QTest::newRow("unc path") << "\\\\server\\share\\x.jpg"
                              << "";
    QTest::newRow("device") << "pics/CON"
                            << "";
    QTest::newRow("device with extension") << "nul.txt"
                                           << "";
    QTest::newRow("serial port, lower case") << "com1.jpg"
                                             << "";
    QTest::newRow("com without digit is a name") << "comx.jpg"
                                                 << "comx.jpg";
    QTest::newRow("console in a longer name is fine") << "console.jpg"
                                                      << "console.jpg";
    QTest::newRow("trailing dot") << "pics./1.jpg"
                                  << "";
    QTest::newRow("trailing blank") << "1.jpg "
                                    << "";
    QTest::newRow("alternate data stream") << "1.jpg:evil"
                                           << "";
    QTest::newRow("wildcard") << "a*.jpg"
                              << "";
}

void TestDownload::localNamesStayInTheFolder()
{
    QFETCH(QString, name);
    QFETCH(QString, confined);
    QCOMPARE(LocalName::confined(name), confined);
    const QString resolved = LocalName::resolve(m_dir->path(), name);
    if (confined.isEmpty())
        QVERIFY(resolved.isEmpty());
    else
        QCOMPARE(resolved, QDir(QDir(m_dir->path()).canonicalPath()).filePath(confined));
}

void TestDownload::answeringNoFetchesNothing()
{
    m_ws->settings().url = m_server->url(QStringLiteral("/data/pricetxt.exe"));
    m_server->setRoute(QStringLiteral("/data/pricetxt.exe"), HttpTestServer::file("MZ"));
    m_prompts.queueAnswer(Answer::No);
    QVERIFY(m_ws->execute(ActionId::PriceNew));
    QCOMPARE(m_prompts.questions(),
             QStringList{QStringLiteral("Вы хотите загрузить новый прайс лист с адреса ") + m_ws->settings().url
                         + QLatin1Char('?')});
    QVERIFY(m_server->requests().isEmpty());
    QVERIFY(!QFile::exists(QStringLiteral("pricetxt.exe")));
    QVERIFY(m_progress.texts().isEmpty());
}

void TestDownload::goodFileArrivesWithStatusTexts()
{
    const QByteArray body = bigBody(300000);
    const QString url = m_server->url(QStringLiteral("/data/pricetxt.exe"));
    m_server->setRoute(QStringLiteral("/data/pricetxt.exe"), HttpTestServer::file(body));
    m_ws->settings().url = url;
    writeBytes(QStringLiteral("pricetxt.exe"), "old archive");
    m_prompts.queueAnswer(Answer::Yes);
    m_prompts.queueAnswer(Answer::No); // do not unpack

    QVERIFY(m_ws->execute(ActionId::PriceNew));

    QCOMPARE(readAll(QStringLiteral("pricetxt.exe")), body);
    QCOMPARE(m_prompts.questions(),
             (QStringList{QStringLiteral("Вы хотите загрузить новый прайс лист с адреса ") + url + QLatin1Char('?'),
                          QStringLiteral("Архив нового прайс-листа сохранен в файле pricetxt.exe\n"
                                         "Вы хотите распаковать архив и загрузить новый прайс лист?")}));
    QVERIFY(m_prompts.messages().isEmpty());
    QCOMPARE(m_progress.texts(), QStringList{QStringLiteral("Загрузка нового прайс листа")});
    QVERIFY(!m_progress.isVisible());
    QCOMPARE(DownloadAction::find(*m_ws)->itemNumber(), 0);
    QVERIFY(m_ran.isEmpty());

    // Each line once and in this order (the progress line as the data comes).
    QCOMPARE(shownOnce(m_statusLines),
             (QStringList{QStringLiteral("Поиск серевого ресурса 127.0.0.1"), QStringLiteral("Соединение с 127.0.0.1"),
                          QStringLiteral("Запрос ") + url, QStringLiteral("Тип MIME доступен application/octet-stream"),
                          QStringLiteral("Начало загрузки ") + url, QStringLiteral("Загрузка ") + url,
                          QStringLiteral("Загрузка завершена pricetxt.exe")}));
    // The bar went up to the end of the file.
    QVERIFY(m_progress.steps().contains(100));
    QCOMPARE(m_server->requests(), QStringList{QStringLiteral("/data/pricetxt.exe")});
}

void TestDownload::redirectIsFollowed()
{
    const QString target = m_server->url(QStringLiteral("/files/2024/pricetxt.exe"));
    m_server->setRoute(QStringLiteral("/data/price.exe"), HttpTestServer::redirect(target.toLatin1()));
    m_server->setRoute(QStringLiteral("/files/2024/pricetxt.exe"), HttpTestServer::file("new archive"));
    m_ws->settings().url = m_server->url(QStringLiteral("/data/price.exe"));
    m_prompts.queueAnswer(Answer::Yes);
    m_prompts.queueAnswer(Answer::No);

    QVERIFY(m_ws->execute(ActionId::PriceNew));

    // The file keeps the name of the address asked for.
    QCOMPARE(readAll(QStringLiteral("price.exe")), QByteArray("new archive"));
    QVERIFY(!QFile::exists(QStringLiteral("pricetxt.exe")));
    const QString asked = m_ws->settings().url;
    QCOMPARE(shownOnce(m_statusLines),
             (QStringList{QStringLiteral("Поиск серевого ресурса 127.0.0.1"), QStringLiteral("Соединение с 127.0.0.1"),
                          QStringLiteral("Запрос ") + asked, QStringLiteral("Переадресация на ") + target,
                          QStringLiteral("Соединение с 127.0.0.1"), QStringLiteral("Запрос ") + target,
                          QStringLiteral("Тип MIME доступен application/octet-stream"),
                          QStringLiteral("Начало загрузки ") + target, QStringLiteral("Загрузка ") + target,
                          QStringLiteral("Загрузка завершена price.exe")}));
    // Each address once, in this order (a client may repeat a request on a
    // fresh connection).
    QStringList requests = m_server->requests();
    requests.removeDuplicates();
    QCOMPARE(requests, (QStringList{QStringLiteral("/data/price.exe"), QStringLiteral("/files/2024/pricetxt.exe")}));
    QVERIFY(m_prompts.messages().isEmpty());
}

void TestDownload::failedDownloadKeepsTheEarlierFile_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("unreachable");
    QTest::addColumn<QString>("reason");

    QTest::newRow("404") << "/data/missing.exe" << false << "Сервер ответил: 404 Not Found";
    QTest::newRow("redirect loop") << "/data/loop.exe" << false << "Слишком много переадресаций.";
    QTest::newRow("stalled server") << "/data/stall.exe" << false << "Сервер не отвечает 0.4 с.";
    QTest::newRow("unreachable host") << "/data/pricetxt.exe" << true << "";
}

void TestDownload::failedDownloadKeepsTheEarlierFile()
{
    QFETCH(QString, path);
    QFETCH(bool, unreachable);
    QFETCH(QString, reason);
    m_server->setRoute(QStringLiteral("/data/loop.exe"),
                       HttpTestServer::redirect(m_server->url(QStringLiteral("/data/loop.exe")).toLatin1()));
    HttpTestServer::Route stall = HttpTestServer::file(bigBody(100000));
    stall.stallAfter = 5000;
    m_server->setRoute(QStringLiteral("/data/stall.exe"), stall);
    // The short stall time only where the server falls silent: elsewhere a
    // loaded machine's slow answer must not pass for a silent server.
    if (path == QLatin1String("/data/stall.exe"))
        service().setStallTimeout(400);

    const QString url = unreachable
        ? QStringLiteral("http://127.0.0.1:%1%2").arg(HttpTestServer::closedPort()).arg(path)
        : m_server->url(path);
    const QString fileName = PriceDownload::targetFileName(url);
    m_ws->settings().url = url;
    writeBytes(fileName, "earlier archive");
    m_prompts.queueAnswer(Answer::Yes);

    QVERIFY(m_ws->execute(ActionId::PriceNew));

    const QStringList messages = m_prompts.messages();
    QCOMPARE(messages.size(), 1);
    const QString error = QStringLiteral("Error downloading URL: ") + url;
    QVERIFY2(messages.first().startsWith(error + QLatin1Char('\n')), qPrintable(messages.first()));
    if (!reason.isEmpty())
        QCOMPARE(messages.first().mid(error.size() + 1), reason);
    else
        QVERIFY(messages.first().size() > error.size() + 1); // the network's own reason
    // Nothing offered, nothing run, the earlier file whole, no leftovers.
    QCOMPARE(m_prompts.questions().size(), 1);
    QVERIFY(m_ran.isEmpty());
    QCOMPARE(readAll(fileName), QByteArray("earlier archive"));
    QCOMPARE(QDir().entryList(QDir::Files | QDir::Hidden), QStringList{fileName});
    QVERIFY(!m_progress.isVisible());
}

void TestDownload::unwritableTargetFetchesNothing()
{
    m_server->setRoute(QStringLiteral("/data/pricetxt.exe"), HttpTestServer::file("archive"));
    m_ws->settings().url = m_server->url(QStringLiteral("/data/pricetxt.exe"));
    // A folder stands where the file should go.
    QVERIFY(QDir().mkdir(QStringLiteral("pricetxt.exe")));
    m_prompts.queueAnswer(Answer::Yes);
    QVERIFY(m_ws->execute(ActionId::PriceNew));
    QCOMPARE(m_prompts.messages().size(), 1);
    QVERIFY(m_prompts.messages().first().startsWith(QStringLiteral("Error downloading URL: ") + m_ws->settings().url
                                                    + QStringLiteral("\nНевозможно записать файл pricetxt.exe")));
    QVERIFY(m_server->requests().isEmpty());
    QVERIFY(QFileInfo(QStringLiteral("pricetxt.exe")).isDir());
    QVERIFY(!m_progress.isVisible());
}

void TestDownload::escapeStopsTheDownload()
{
    HttpTestServer::Route slow = HttpTestServer::file(bigBody(20000));
    slow.chunkSize = 100;
    slow.chunkDelayMs = 20;
    m_server->setRoute(QStringLiteral("/data/pricetxt.exe"), slow);
    const QString url = m_server->url(QStringLiteral("/data/pricetxt.exe"));
    m_ws->settings().url = url;
    writeBytes(QStringLiteral("pricetxt.exe"), "earlier archive");
    m_prompts.queueAnswer(Answer::Yes);
    m_progress.stopAfter(3);

    QVERIFY(m_ws->execute(ActionId::PriceNew));

    QCOMPARE(m_prompts.messages(),
             (QStringList{QStringLiteral("Action stopped"), QStringLiteral("Error downloading URL: ") + url}));
    QCOMPARE(DownloadAction::find(*m_ws)->itemNumber(), DownloadAction::StopMark);
    QCOMPARE(m_prompts.questions().size(), 1);
    QCOMPARE(readAll(QStringLiteral("pricetxt.exe")), QByteArray("earlier archive"));
    QCOMPARE(QDir().entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("pricetxt.exe")});
    QVERIFY(!m_progress.isVisible());
    QVERIFY(m_ran.isEmpty());
}

void TestDownload::extensionOtherThanLowerCaseExeIsNotOffered_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("upper case") << "PRICETXT.EXE";
    QTest::newRow("zip") << "pricetxt.zip";
    QTest::newRow("exe inside the name") << "price.exe.txt";
}

void TestDownload::extensionOtherThanLowerCaseExeIsNotOffered()
{
    QFETCH(QString, name);
    m_server->setRoute(QStringLiteral("/data/") + name, HttpTestServer::file("archive"));
    m_ws->settings().url = m_server->url(QStringLiteral("/data/") + name);
    m_prompts.queueAnswer(Answer::Yes);
    QVERIFY(m_ws->execute(ActionId::PriceNew));
    QCOMPARE(readAll(name), QByteArray("archive"));
    QCOMPARE(m_prompts.questions().size(), 1);
    QVERIFY(m_prompts.messages().isEmpty());
    QVERIFY(m_ran.isEmpty());
}

void TestDownload::loadPriceWithOrder()
{
    TextFile::writeLines(QStringLiteral("ZOLT.TXT"), OldPrice);
    PriceLoader::loadFile(*m_ws, QStringLiteral("ZOLT.TXT"));
    QVERIFY(m_ws->priceNotEmpty());
    QVERIFY(m_ws->price().locate(QStringLiteral("Code"), 12));
    m_prompts.queueQuantity(4);
    QVERIFY(m_ws->execute(ActionId::AddToOrder));
    QCOMPARE(m_ws->order().rowCount(), 1);
    QCOMPARE(m_ws->order().floatAt(0, OrderTable::SUM), 40.0);
    m_prompts.clear();
}

void TestDownload::stubbedZipIsUnpackedNotRunThenPriceLoadsAndOrderIsCoordinated()
{
    // A self-extracting archive: a program with the zip behind it. The
    // program part would leave a mark and an unchanged list; it is never run.
    loadPriceWithOrder();
    writeZip(QStringLiteral("made.zip"), {{"ZOLT.TXT", TextFile::encodeLines(NewPrice)}});
    const QByteArray stub = "#!/bin/sh\ntouch ran.mark\nexit 0\n";
    m_server->setRoute(QStringLiteral("/data/pricetxt.exe"),
                       HttpTestServer::file(stub + readAll(QStringLiteral("made.zip"))));
    QVERIFY(QFile::remove(QStringLiteral("made.zip")));
    downloadAndCoordinate();

    QVERIFY(m_ws->execute(ActionId::PriceNew));

    QCOMPARE(m_ran, (QStringList{ActionId::PriceClose, ActionId::PriceFileOpen, ActionId::CoordinateOrder}));
    QVERIFY(m_prompts.messages().isEmpty());
    QCOMPARE(m_ws->priceFileName(), QStringLiteral("ZOLT.TXT"));
    QCOMPARE(m_ws->price().rowCount(), 3);
    QCOMPARE(m_prompts.questions().last(), QStringLiteral("Вы хотите согласовать заказ сейчас?"));
    // The order line took the new name and price.
    QCOMPARE(m_ws->order().stringAt(0, OrderTable::Name), QStringLiteral("Болт М8 оцинкованный"));
    QCOMPARE(m_ws->order().floatAt(0, OrderTable::SUM), 46.0);
    QVERIFY(!QFile::exists(QStringLiteral("ran.mark")));
#ifndef Q_OS_WIN
    QVERIFY(!(QFileInfo(QStringLiteral("pricetxt.exe")).permissions() & (QFile::ExeOwner | QFile::ExeUser)));
#endif
}

void TestDownload::zipArchiveThatCannotRunIsUnpacked()
{
    loadPriceWithOrder();
    writeZip(QStringLiteral("made.zip"), {{"ZOLT.TXT", TextFile::encodeLines(NewPrice)}, {"readme.txt", "из архива"}});
    m_server->setRoute(QStringLiteral("/data/pricetxt.exe"), HttpTestServer::file(readAll(QStringLiteral("made.zip"))));
    QVERIFY(QFile::remove(QStringLiteral("made.zip")));
    m_ws->settings().url = m_server->url(QStringLiteral("/data/pricetxt.exe"));
    m_prompts.queueAnswer(Answer::Yes);
    m_prompts.queueAnswer(Answer::Yes);
    m_prompts.queueAnswer(Answer::No);
    m_prompts.queueAnswer(Answer::Yes);

    QVERIFY(m_ws->execute(ActionId::PriceNew));

    QVERIFY2(m_prompts.messages().isEmpty(), qPrintable(m_prompts.messages().join(QLatin1Char('\n'))));
    QCOMPARE(m_ran, (QStringList{ActionId::PriceClose, ActionId::PriceFileOpen, ActionId::CoordinateOrder}));
    QCOMPARE(readAll(QStringLiteral("ZOLT.TXT")), TextFile::encodeLines(NewPrice));
    QCOMPARE(readAll(QStringLiteral("readme.txt")), QByteArray("из архива"));
    QCOMPARE(m_ws->price().rowCount(), 3);
    QCOMPARE(m_ws->order().floatAt(0, OrderTable::SUM), 46.0);
}

void TestDownload::archiveThatNeitherRunsNorUnpacksIsReported()
{
    loadPriceWithOrder();
    m_server->setRoute(QStringLiteral("/data/pricetxt.exe"),
                       HttpTestServer::file("this is neither a program nor an archive"));
    downloadAndCoordinate();

    QVERIFY(m_ws->execute(ActionId::PriceNew));

    // The price list was closed for the archive; after the message the list
    // that was there is loaded again and the order priced against it.
    QCOMPARE(m_ran, (QStringList{ActionId::PriceClose, ActionId::PriceFileOpen, ActionId::CoordinateOrder}));
    QCOMPARE(m_prompts.messages().size(), 1);
#ifdef Q_OS_WIN
    const QString failed = QStringLiteral("ни запустить, ни распаковать: ");
#else
    const QString failed = QStringLiteral("распаковать: ");
#endif
    QVERIFY2(m_prompts.messages().first().startsWith(QStringLiteral("Архив нового прайс-листа pricetxt.exe не удалось ")
                                                     + failed),
             qPrintable(m_prompts.messages().first()));
    QVERIFY(m_prompts.messages().first().endsWith(QStringLiteral("Новый прайс-лист не загружен.")));
    QCOMPARE(readAll(QStringLiteral("ZOLT.TXT")), TextFile::encodeLines(OldPrice));
    QCOMPARE(m_ws->priceFileName(), QStringLiteral("ZOLT.TXT"));
    QVERIFY(m_ws->priceNotEmpty());
    QCOMPARE(m_ws->order().floatAt(0, OrderTable::SUM), 40.0);
    QCOMPARE(m_ws->label(Workspace::Label::Summ), QStringLiteral("Сумма: 40.00 р."));
}

void TestDownload::namedFileIsAListOnlyWhenItIsText_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QStringList>("requests");
    QTest::addColumn<bool>("kept");
    QTest::addColumn<QByteArray>("after"); // the named file afterwards
    QTest::newRow("a picture asked for again is fetched again")
        << QByteArray("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00", 11) << QStringList{"/data/1.jpg"} << true
        << QByteArray("new");
    QTest::newRow("a text with a control character is no list")
        << QByteArray("2.jpg\x01\r\n") << QStringList{"/data/1.jpg"} << true << QByteArray("new");
    QTest::newRow("a text list is read and deleted")
        << QByteArray("2.jpg\r\n3.jpg\r\n") << QStringList{"/data/2.jpg", "/data/3.jpg"} << false << QByteArray();
}

void TestDownload::namedFileIsAListOnlyWhenItIsText()
{
    QFETCH(QByteArray, contents);
    QFETCH(QStringList, requests);
    QFETCH(bool, kept);
    QFETCH(QByteArray, after);
    m_server->setRoute(QStringLiteral("/data/1.jpg"), HttpTestServer::file("new"));
    m_server->setRoute(QStringLiteral("/data/2.jpg"), HttpTestServer::file("two"));
    m_ws->settings().url = m_server->url(QStringLiteral("/data/pricetxt.exe"));
    QFile file(QStringLiteral("1.jpg"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(contents);
    file.close();

    QString list = QStringLiteral("1.jpg");
    DownloadList::run(*m_ws, &list, QStringLiteral("Фото"));
    QCOMPARE(m_server->requests(), requests);
    QCOMPARE(QFile::exists(QStringLiteral("1.jpg")), kept);
    if (kept)
        QCOMPARE(readAll(QStringLiteral("1.jpg")), after);
}

void TestDownload::unpackerSkipsEntriesOutsideTheFolder()
{
    QTemporaryDir outside;
    QVERIFY(QDir().mkdir(QStringLiteral("target")));
    // A subfolder that is a link out of the folder: nothing is made through it.
    QVERIFY(QFile::link(outside.path(), QStringLiteral("target/out")));
    const QString absolute = outside.filePath(QStringLiteral("absolute.txt"));
    writeZip(QStringLiteral("a.zip"),
             {{"../escaped.txt", "no"},
              {QFile::encodeName(absolute), "no"},
              {"out/made/deep.txt", "no"},
              {":res/x.txt", "no"},
              {"sub/inside.txt", "yes"},
              {"ZOLT.TXT", "price"}});
    writeBytes(QStringLiteral("target/ZOLT.TXT"), "earlier");

    const ArchiveUnpacker::Result result = ArchiveUnpacker::unpack(QStringLiteral("a.zip"), QStringLiteral("target"));

    QVERIFY(result.ok);
    QCOMPARE(result.files, (QStringList{QStringLiteral("sub/inside.txt"), QStringLiteral("ZOLT.TXT")}));
    QCOMPARE(result.skipped,
             (QStringList{QStringLiteral("../escaped.txt"), absolute, QStringLiteral("out/made/deep.txt"),
                          QStringLiteral(":res/x.txt")}));
    QCOMPARE(QDir(outside.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
    QVERIFY(!QFileInfo::exists(QStringLiteral(":res")) && !QFileInfo::exists(QStringLiteral("res")));
    QCOMPARE(readAll(QStringLiteral("target/sub/inside.txt")), QByteArray("yes"));
    QCOMPARE(readAll(QStringLiteral("target/ZOLT.TXT")), QByteArray("price"));
    QVERIFY(!QFile::exists(QStringLiteral("escaped.txt")));
    QVERIFY(!QFile::exists(absolute));

    // Not an archive: nothing written, the reason told.
    writeBytes(QStringLiteral("plain.exe"), "plain text");
    const ArchiveUnpacker::Result plain =
        ArchiveUnpacker::unpack(QStringLiteral("plain.exe"), QStringLiteral("target"));
    QVERIFY(!plain.ok);
    QVERIFY(!plain.error.isEmpty());
    QCOMPARE(readAll(QStringLiteral("target/ZOLT.TXT")), QByteArray("price"));
}

void TestDownload::runAndWait()
{
    QCOMPARE(RunAndWait(QDir::current().filePath(QStringLiteral("no-such-program")), -1, QString()), -1);
#ifdef Q_OS_WIN
    // The stand-in archive writes where it ran, after a pause; held by a
    // file "hold", it waits until that file is gone.
    const QString stub = QCoreApplication::applicationDirPath() + QStringLiteral("/sfxstub.exe");
    QVERIFY(QDir().mkdir(QStringLiteral("work")) && QDir().mkdir(QStringLiteral("late")));
    QCOMPARE(RunAndWait(stub, -1, QDir::current().filePath(QStringLiteral("work"))), 0);
    QCOMPARE(QDir::fromNativeSeparators(QString::fromLocal8Bit(readAll(QStringLiteral("work/here.txt")).trimmed())),
             QDir::current().filePath(QStringLiteral("work")));
    writeBytes(QStringLiteral("late/hold"), "");
    QCOMPARE(RunAndWait(stub, 0, QDir::current().filePath(QStringLiteral("late"))), 0);
    QVERIFY(!QFile::exists(QStringLiteral("late/here.txt")));
    QVERIFY(QFile::remove(QStringLiteral("late/hold")));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(QStringLiteral("late/here.txt")), EventWaitMs);
    return;
#endif

    // Runs in the given folder and is waited for.
    QVERIFY(QDir().mkdir(QStringLiteral("work")));
    writeBytes(QStringLiteral("make.sh"), "#!/bin/sh\nsleep 0.2\npwd > here.txt\n");
    QVERIFY(QFile::setPermissions(QStringLiteral("make.sh"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QCOMPARE(RunAndWait(QDir::current().filePath(QStringLiteral("make.sh")), -1,
                        QDir::current().filePath(QStringLiteral("work"))),
             0);
    QCOMPARE(readAll(QStringLiteral("work/here.txt")).trimmed(),
             QFile::encodeName(QDir(QDir::current().filePath(QStringLiteral("work"))).canonicalPath()));

    // Without a wait it returns at once, the program still held by the
    // file "hold"; it goes on by itself once let go.
    writeBytes(QStringLiteral("hold"), "");
    writeBytes(QStringLiteral("late.sh"),
               "#!/bin/sh\ni=0\nwhile [ -e hold ] && [ $i -lt 600 ]; do sleep 0.05; i=$((i+1)); done\n"
               "echo done > late.txt\n");
    QVERIFY(QFile::setPermissions(QStringLiteral("late.sh"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QCOMPARE(RunAndWait(QDir::current().filePath(QStringLiteral("late.sh")), 0, QString()), 0);
    QVERIFY(!QFile::exists(QStringLiteral("late.txt")));
    QVERIFY(QFile::remove(QStringLiteral("hold")));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(QStringLiteral("late.txt")), EventWaitMs);
}

void TestDownload::windowsRunsTheArchiveThenLoadsTheList()
{
#ifndef Q_OS_WIN
    QSKIP("Windows runs the downloaded archive; elsewhere it is only unpacked");
#else
    loadPriceWithOrder();
    QFile stub(QCoreApplication::applicationDirPath() + QStringLiteral("/sfxstub.exe"));
    QVERIFY(stub.open(QIODevice::ReadOnly));
    m_server->setRoute(QStringLiteral("/data/pricetxt.exe"), HttpTestServer::file(stub.readAll()));
    TextFile::writeLines(QStringLiteral("sfx-payload.txt"), NewPrice);
    downloadAndCoordinate();

    QVERIFY(m_ws->execute(ActionId::PriceNew));

    QVERIFY2(m_prompts.messages().isEmpty(), qPrintable(m_prompts.messages().join(QLatin1Char('\n'))));
    QVERIFY(QFile::exists(QStringLiteral("here.txt"))); // it ran, in the current folder, and was waited for
    QCOMPARE(m_ran, (QStringList{ActionId::PriceClose, ActionId::PriceFileOpen, ActionId::CoordinateOrder}));
    QCOMPARE(m_ws->price().rowCount(), 3);
    QCOMPARE(m_ws->order().stringAt(0, OrderTable::Name), QStringLiteral("Болт М8 оцинкованный"));
    QCOMPARE(m_ws->order().floatAt(0, OrderTable::SUM), 46.0);
#endif
}

QTEST_GUILESS_MAIN(TestDownload)
#include "tst_download.moc"
