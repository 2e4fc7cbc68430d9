#include <QtTest>

#include "actionid.h"
#include "cp1251.h"
#include "htmlhelp.h"
#include "mailorder.h"
#include "orderfile.h"
#include "priceloader.h"
#include "scriptedprompts.h"
#include "silentprogress.h"
#include "standardactions.h"
#include "testworkspace.h"
#include "textfile.h"
#include "workspace.h"

// Windows hands the message to Simple MAPI (MAPI32.DLL) before anything
// else; these cases stand in for the Linux mail programs.
#ifdef Q_OS_WIN
#define SKIP_WHERE_MAIL_GOES_THROUGH_MAPI() QSKIP("Windows sends mail through Simple MAPI, not xdg-email")
#else
#define SKIP_WHERE_MAIL_GOES_THROUGH_MAPI()
#endif

namespace
{
    using Answer = UserPrompts::Answer;
    using Icon = UserPrompts::Icon;

    const QStringList Price{
        QStringLiteral("Код|Наименование|Артикул|Производитель|Цена|Статус"),
        QStringLiteral("12|Болт М8|OEM-12|Россия|10|1"),
        QStringLiteral("00042|Гайка \"М8\" & шайба|OEM-42|Китай|2.5|0"),
    };

    QByteArray readAll(const QString &path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return QByteArray("<missing>");
        return file.readAll();
    }
}

class TestMail : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void emptyOrderSendsNothing();
    void orderGoesToXdgEmailAsTheBody();
    void mailProgramFailureIsReported_data();
    void mailProgramFailureIsReported();
    void mailProgramStillRunningHasTakenTheMessage();
    void largeOrderIsAttached();
    void withoutXdgEmailTheDesktopGetsAMailtoAddress_data();
    void withoutXdgEmailTheDesktopGetsAMailtoAddress();

    void helpDocument_data();
    void helpDocument();
    void helpDocumentShipsBesideTheProgram();
    void helpDocumentOfAnInstalledProgram_data();
    void helpDocumentOfAnInstalledProgram();

private:
    void makeOrder();
    // A stand-in xdg-email on the search path that records its arguments
    // (each followed by a zero byte) and ends with `exitCode`.
    void installMailProgram(int exitCode, const QByteArray &before = QByteArray());
    QStringList recordedArguments() const;

    QTemporaryDir *m_dir = nullptr;
    QString m_oldCurrent;
    QByteArray m_oldPath;
    Workspace *m_ws = nullptr;
    ScriptedPrompts m_prompts;
    SilentProgress m_progress;
};

void TestMail::init()
{
    m_dir = new QTemporaryDir;
    QVERIFY(m_dir->isValid());
    m_oldCurrent = QDir::currentPath();
    QDir::setCurrent(m_dir->path());
    Decimal::setSeparator(QLatin1Char('.'));
    // Only the test's own folder of programs is searched.
    m_oldPath = qgetenv("PATH");
    QVERIFY(QDir().mkdir(QStringLiteral("bin")));
    qputenv("PATH", QFile::encodeName(m_dir->filePath(QStringLiteral("bin"))));
    m_prompts.clear();
    m_progress = SilentProgress();
    m_ws = new Workspace;
    setUpTestWorkspace(*m_ws, &m_prompts, &m_progress);
    StandardActions::startUp(*m_ws);
    MailOrder::installActions(*m_ws);
}

void TestMail::cleanup()
{
    delete m_ws;
    m_ws = nullptr;
    qputenv("PATH", m_oldPath);
    QDir::setCurrent(m_oldCurrent);
    delete m_dir;
    m_dir = nullptr;
}

void TestMail::makeOrder()
{
    m_ws->settings().customer = QStringLiteral("ООО Ромашка");
    TextFile::writeLines(QStringLiteral("price.txt"), Price);
    PriceLoader::loadFile(*m_ws, QStringLiteral("price.txt"));
    for (const auto &[code, count] : {std::pair{12, 4}, std::pair{42, 10}}) {
        QVERIFY(m_ws->price().locate(QStringLiteral("Code"), code));
        m_prompts.queueQuantity(count);
        QVERIFY(m_ws->execute(ActionId::AddToOrder));
    }
    QCOMPARE(m_ws->order().rowCount(), 2);
    m_prompts.clear();
}

void TestMail::installMailProgram(int exitCode, const QByteArray &before)
{
    const QString program = m_dir->filePath(QStringLiteral("bin/xdg-email"));
    QFile file(program);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\n" + before + "for a in \"$@\"; do printf '%s\\0' \"$a\"; done > '"
               + QFile::encodeName(m_dir->filePath(QStringLiteral("mail.log"))) + "'\nexit "
               + QByteArray::number(exitCode) + "\n");
    file.close();
    QVERIFY(QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}

QStringList TestMail::recordedArguments() const
{
    QStringList arguments;
    const QByteArray log = readAll(m_dir->filePath(QStringLiteral("mail.log")));
    for (const QByteArray &argument : log.split('\0'))
        arguments.append(QString::fromUtf8(argument));
    if (!arguments.isEmpty() && arguments.last().isEmpty())
        arguments.removeLast();
    return arguments;
}

void TestMail::emptyOrderSendsNothing()
{
    SKIP_WHERE_MAIL_GOES_THROUGH_MAPI();
    installMailProgram(0);
    QVERIFY(!m_ws->execute(ActionId::SendOrder));
    QVERIFY(m_ws->execute(ActionId::OrderNew));
    QVERIFY(!m_ws->execute(ActionId::SendOrder));
    QVERIFY(!QFile::exists(QStringLiteral("mail.log")));
    QVERIFY(m_prompts.records().isEmpty());
}

void TestMail::orderGoesToXdgEmailAsTheBody()
{
    SKIP_WHERE_MAIL_GOES_THROUGH_MAPI();
    installMailProgram(0);
    makeOrder();
    QVERIFY(m_ws->execute(ActionId::SendOrder));

    QVERIFY(m_prompts.messages().isEmpty());
    const QStringList arguments = recordedArguments();
    QCOMPARE(arguments.size(), 3);
    QCOMPARE(arguments.at(0), QStringLiteral("--utf8"));
    QCOMPARE(arguments.at(1), QStringLiteral("--body"));
    const QString body = arguments.at(2);
    // Plain lines: the mail program writes the message's own line ends.
    QVERIFY(!body.contains(QLatin1Char('\r')));
    QVERIFY(body.contains(QStringLiteral("\nЗАКАЗ:\n00012|Болт М8|OEM-12|Россия|4\n")));
    QVERIFY(body.endsWith(QStringLiteral("00042|Гайка \"М8\" & шайба|OEM-42|Китай|10\n")));
    QVERIFY(body.contains(QStringLiteral("ООО Ромашка")));
    // No subject, no recipient, no attachment.
    QVERIFY(!arguments.contains(QStringLiteral("--subject")));
    QVERIFY(!arguments.contains(QStringLiteral("--attach")));

    // The same text that saving the order writes to its file.
    m_prompts.queueFile(QDir::current().filePath(QStringLiteral("order.txt")));
    QVERIFY(m_ws->execute(ActionId::OrderFileSave));
    QCOMPARE(
        body,
        Cp1251::decode(readAll(QStringLiteral("order.txt"))).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    QCOMPARE(MailOrder::find(*m_ws)->body().size(), body.count(QLatin1Char('\n')));
    // The order stays as it was.
    QCOMPARE(m_ws->order().rowCount(), 2);
}

void TestMail::largeOrderIsAttached()
{
    SKIP_WHERE_MAIL_GOES_THROUGH_MAPI();
    installMailProgram(0);
    makeOrder();
    // About 2,000 lines: far beyond what one argument may carry.
    QStringList lines{QStringLiteral("Заказ на 08.12.2026"), QStringLiteral("ЗАКАЗ:")};
    for (int i = 1; i <= 2000; ++i)
        lines << QStringLiteral("%1|Колодки тормозные передние, комплект №%1|OEM-%1|Германия|2")
                     .arg(i, 5, 10, QLatin1Char('0'));
    MailOrder &mail = *MailOrder::find(*m_ws);
    mail.setBody(lines);
    QVERIFY(mail.bodyText().toUtf8().size() > 128 * 1024);
    mail.send();

    QVERIFY(m_prompts.messages().isEmpty());
    const QStringList arguments = recordedArguments();
    QCOMPARE(arguments.size(), 5);
    QCOMPARE(arguments.mid(0, 2), (QStringList{"--utf8", "--body"}));
    QCOMPARE(arguments.at(3), QStringLiteral("--attach"));
    const QString attached = arguments.at(4);
    QCOMPARE(arguments.at(2), MailOrder::attachedBody(QFileInfo(attached).fileName()).remove(QLatin1Char('\r')));
    QVERIFY(attached.endsWith(QStringLiteral(".txt")));
    QCOMPARE(readAll(attached), TextFile::encodeLines(lines));
    QDir(QFileInfo(attached).path()).removeRecursively();
}

void TestMail::mailProgramFailureIsReported_data()
{
    QTest::addColumn<int>("exitCode");
    QTest::newRow("no mail program configured") << 3;
    QTest::newRow("action failed") << 4;
    QTest::newRow("syntax error") << 1;
}

void TestMail::mailProgramFailureIsReported()
{
    SKIP_WHERE_MAIL_GOES_THROUGH_MAPI();
    QFETCH(int, exitCode);
    installMailProgram(exitCode);
    makeOrder();
    QVERIFY(m_ws->execute(ActionId::SendOrder));
    QCOMPARE(m_prompts.messages(), QStringList{QStringLiteral("Error sending mail")});
    QCOMPARE(m_prompts.records().first().icon, Icon::Error);
    QCOMPARE(m_ws->order().rowCount(), 2);
}

void TestMail::mailProgramStillRunningHasTakenTheMessage()
{
    SKIP_WHERE_MAIL_GOES_THROUGH_MAPI();
    // The mail program is held while the file "hold" lies there (at most
    // half a minute, so that a program waited for shows as a failure).
    const QString hold = m_dir->filePath(QStringLiteral("hold"));
    QVERIFY(QFile(hold).open(QIODevice::WriteOnly));
    installMailProgram(0,
                       "i=0; while [ -e '" + QFile::encodeName(hold)
                           + "' ] && [ $i -lt 600 ]; do /bin/sleep 0.05; i=$((i+1)); done\n");
    makeOrder();
    MailOrder::find(*m_ws)->setHandOverTime(200);
    QVERIFY(m_ws->execute(ActionId::SendOrder));
    QVERIFY(!QFile::exists(m_dir->filePath(QStringLiteral("mail.log"))));
    QVERIFY(m_prompts.messages().isEmpty());
    // It goes on by itself and ends (the wait is only a guard).
    QVERIFY(QFile::remove(hold));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(m_dir->filePath(QStringLiteral("mail.log"))), 30000);
}

void TestMail::withoutXdgEmailTheDesktopGetsAMailtoAddress_data()
{
    QTest::addColumn<bool>("hasOpener");
    QTest::addColumn<bool>("opened");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QString>("status");

    QTest::newRow("desktop opens it") << true << true << QStringList{} << "Заказ передан почтовой программе";
    QTest::newRow("desktop refuses") << true << false << QStringList{"Error sending mail"}
                                     << "Заказ не передан почтовой программе";
    QTest::newRow("nothing at all") << false << false << QStringList{"Error sending mail"}
                                    << "Заказ не передан почтовой программе";
}

void TestMail::withoutXdgEmailTheDesktopGetsAMailtoAddress()
{
    SKIP_WHERE_MAIL_GOES_THROUGH_MAPI();
    QFETCH(bool, hasOpener);
    QFETCH(bool, opened);
    QFETCH(QStringList, messages);
    QFETCH(QString, status);
    makeOrder();
    m_ws->setLabel(Workspace::Label::Status, QStringLiteral("Список моделей загружен"));
    QList<QUrl> urls;
    if (hasOpener) {
        MailOrder::installActions(*m_ws, [&urls, opened](const QUrl &url) {
            urls.append(url);
            return opened;
        });
    }
    QVERIFY(m_ws->execute(ActionId::SendOrder));
    QCOMPARE(m_prompts.messages(), messages);
    QCOMPARE(m_ws->label(Workspace::Label::Status), status);
    QCOMPARE(urls.size(), hasOpener ? 1 : 0);
    if (hasOpener) {
        const QByteArray encoded = urls.first().toEncoded();
        QVERIFY(encoded.startsWith("mailto:?body="));
        // Line ends, quotes and the ampersand travel encoded.
        QVERIFY(encoded.contains("%0D%0A"));
        QVERIFY(!encoded.mid(13).contains('&'));
        QCOMPARE(QUrl::fromPercentEncoding(encoded.mid(13)), MailOrder::find(*m_ws)->bodyText());
    }
}

void TestMail::helpDocument_data()
{
    QTest::addColumn<bool>("present");
    QTest::addColumn<bool>("opens");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("icon");
    QTest::addColumn<int>("opened");

    QTest::newRow("opened") << true << true << ""
                            << "" << 0 << 1;
    QTest::newRow("viewer fails") << true << false << "Невозможно открыть файл помощи."
                                  << "Ошибка" << int(Icon::Error) << 1;
    QTest::newRow("missing") << false << true << "Файл помощи не найден."
                             << "Ошибка" << int(Icon::Warning) << 0;
}

void TestMail::helpDocument()
{
    QFETCH(bool, present);
    QFETCH(bool, opens);
    QFETCH(QString, message);
    QFETCH(QString, title);
    QFETCH(int, icon);
    QFETCH(int, opened);
    const QString path = QDir::current().filePath(QStringLiteral("readme.html"));
    if (present)
        TextFile::writeBytes(path, "<html></html>");
    QStringList asked;
    HtmlHelp::runHtmlHelp(
        *m_ws,
        [&asked, opens](const QString &file) {
            asked.append(file);
            return opens;
        },
        path);
    QCOMPARE(asked.size(), opened);
    if (opened)
        QCOMPARE(asked.first(), path);
    if (message.isEmpty()) {
        QVERIFY(m_prompts.records().isEmpty());
    } else {
        QCOMPARE(m_prompts.messages(), QStringList{message});
        QCOMPARE(m_prompts.records().first().title, title);
        QCOMPARE(int(m_prompts.records().first().icon), icon);
    }
}

void TestMail::helpDocumentShipsBesideTheProgram()
{
    QCOMPARE(HtmlHelp::helpFilePath(),
             QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("readme.html")));
    // The action looks beside the running program: none beside the test.
    QStringList asked;
    HtmlHelp::installActions(*m_ws, [&asked](const QString &file) {
        asked.append(file);
        return true;
    });
    if (!QFileInfo::exists(HtmlHelp::helpFilePath())) {
        QVERIFY(m_ws->execute(ActionId::RunHTMLHelp));
        QCOMPARE(m_prompts.messages(), QStringList{QStringLiteral("Файл помощи не найден.")});
    }
    // The build puts the Russian help document beside the program.
    const QString shipped = QStringLiteral(ORDIX_HELP_FILE);
    QVERIFY2(QFileInfo(shipped).isFile(), qPrintable(shipped));
    const QString text = QString::fromUtf8(readAll(shipped));
    for (const char *topic :
         {"Прайс-лист", "Поиск и фильтры", "Подбор по автомобилям", "Составление заказа",
          "Сохранение и открытие заказа", "Согласование заказа с прайсом", "Печать, экспорт и почта", "Настройки"})
        QVERIFY2(text.contains(QString::fromUtf8(topic)), topic);
    // Every key of a command is in the table of keys.
    QStringList keys;
    static const QRegularExpression row(QStringLiteral("<tr><td>(.*?)</td>")), tag(QStringLiteral("<[^>]*>"));
    for (const QRegularExpressionMatch &match : row.globalMatch(text))
        keys += match.captured(1)
                    .remove(tag)
                    .replace(QStringLiteral("Insert"), QStringLiteral("Ins"))
                    .split(QStringLiteral(", "));
    for (const QString &name : m_ws->actions().names()) {
        const ActionList::Action &action = m_ws->actions().get(name);
        for (const QString &key : action.shortcut.split(QStringLiteral(", "), Qt::SkipEmptyParts))
            QVERIFY2(action.internal || keys.contains(key), qPrintable(name + QStringLiteral(": ") + key));
    }
}

void TestMail::helpDocumentOfAnInstalledProgram_data()
{
    QTest::addColumn<bool>("beside");
    QTest::addColumn<bool>("installed");
    QTest::addColumn<QString>("found");
    QTest::newRow("build folder: beside the program") << true << false << QStringLiteral("bin/readme.html");
    QTest::newRow("installed: share/ordix") << false << true << QStringLiteral("share/ordix/readme.html");
    QTest::newRow("both: the one beside the program") << true << true << QStringLiteral("bin/readme.html");
    QTest::newRow("neither: reported missing beside the program")
        << false << false << QStringLiteral("bin/readme.html");
}

void TestMail::helpDocumentOfAnInstalledProgram()
{
    QFETCH(bool, beside);
    QFETCH(bool, installed);
    QFETCH(QString, found);
    QTemporaryDir prefix;
    QVERIFY(prefix.isValid());
    const QDir root(prefix.path());
    QVERIFY(root.mkpath(QStringLiteral("bin")) && root.mkpath(QStringLiteral("share/ordix")));
    if (beside)
        TextFile::writeLines(root.filePath(QStringLiteral("bin/readme.html")), {QStringLiteral("<html/>")});
    if (installed)
        TextFile::writeLines(root.filePath(QStringLiteral("share/ordix/readme.html")), {QStringLiteral("<html/>")});
    QCOMPARE(HtmlHelp::helpFilePathIn(root.filePath(QStringLiteral("bin"))), root.filePath(found));
}

QTEST_GUILESS_MAIN(TestMail)
#include "tst_mail.moc"
