// Makes writes fail in a child process at every step for every file the
// program replaces (the four exports of ordix-cli, the order file among
// them, user.ini, the schema files): a file-size limit with SIGXFSZ ignored
// (the write fails) or left to kill the process mid-write, kill -9 at any
// moment, and a full disk where the test may mount one. Every time the old
// file must stay byte for byte, no partial or temporary file may be left,
// and the failure must be reported, never success.
#include <QtTest>

#include <csignal>
#include <cstring>

#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QProcess>
#include <QTemporaryDir>

#include "atomicfile.h"
#include "ordixerror.h"
#include "schemafile.h"
#include "settings.h"
#include "textfile.h"

namespace
{
    const QByteArray OldContents = "old contents, byte for byte\r\n";

    // --- what the test program does as its own child ---------------------

    int runChild(const QStringList &arguments)
    {
        const QString operation = arguments.value(0);
        const QString path = arguments.value(1);
        try {
            if (operation == QLatin1String("user.ini")) {
                Settings settings;
                settings.customer = QString(20000, QLatin1Char('x'));
                return SettingsFile::save(settings, path, nullptr) ? 0 : 1;
            }
            if (operation == QLatin1String("schema")) {
                QList<FieldDef> fields;
                for (int i = 0; i < 500; ++i)
                    fields.append(FieldDef{QStringLiteral("Field%1").arg(i), FieldType::String, 100});
                SchemaFile::write(path, fields);
                return 0;
            }
            if (operation == QLatin1String("pause")) {
                // Half a file written, then wait to be killed.
                AtomicFile file(path);
                if (!file.open() || !file.write(QByteArray(1 << 20, 'x')))
                    return 1;
                std::fputs("written\n", stdout);
                std::fflush(stdout);
                ::pause();
                return 0;
            }
        } catch (const OrdixError &error) {
            std::fprintf(stderr, "%s\n", error.message().toUtf8().constData());
            return 1;
        }
        return 2;
    }

    struct Outcome
    {
        bool crashed = false;
        int signal = 0;
        int code = -1;
        QString err;
    };

    // Runs the program with the file-size limit `limit` (0: none); SIGXFSZ
    // ignored or left at its default, which ends the process.
    Outcome run(const QString &program, const QStringList &arguments, const QString &folder, const QString &tmp,
                rlim_t limit, bool ignoreSignal)
    {
        QProcess process;
        process.setWorkingDirectory(folder);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TMPDIR"), tmp);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process.setProcessEnvironment(env);
        process.setChildProcessModifier([limit, ignoreSignal] {
            std::signal(SIGXFSZ, ignoreSignal ? SIG_IGN : SIG_DFL);
            if (limit) {
                rlimit r{};
                getrlimit(RLIMIT_FSIZE, &r);
                r.rlim_cur = limit;
                setrlimit(RLIMIT_FSIZE, &r);
            }
        });
        process.start(program, arguments);
        Outcome outcome;
        if (!process.waitForFinished(120000))
            return outcome;
        outcome.crashed = process.exitStatus() == QProcess::CrashExit;
        outcome.code = process.exitCode();
        outcome.err = QString::fromUtf8(process.readAllStandardError());
        return outcome;
    }

    QByteArray readAll(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    QStringList entries(const QString &folder)
    {
        return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                                      QDir::Name);
    }
}

class TestFaults final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void writeFails_data();
    void writeFails();
    void killedWhileWriting();
    void killedAtAnyMoment_data();
    void killedAtAnyMoment();
    void fullDisk();

private:
    void writeInputs();
    QString at(const QString &name) const { return QDir(m_dir->path()).filePath(name); }

    QTemporaryDir *m_dir = nullptr;
    QTemporaryDir *m_tmp = nullptr;
};

void TestFaults::init()
{
    m_dir = new QTemporaryDir;
    m_tmp = new QTemporaryDir;
    QVERIFY(m_dir->isValid() && m_tmp->isValid());
    writeInputs();
}

void TestFaults::cleanup()
{
    delete m_dir;
    delete m_tmp;
    m_dir = m_tmp = nullptr;
}

void TestFaults::writeInputs()
{
    QStringList order{QStringLiteral("Заказ на 01.12.2026"), QStringLiteral("Заказчик: ООО Ромашка"),
                      QStringLiteral("ЗАКАЗ:")};
    QStringList price{QStringLiteral("Код|Наименование|Артикул|Производитель|НормаУпаковки|ЦенаМелОпт|ЦенаОпт")};
    for (int code = 1; code <= 400; ++code) {
        order << QStringLiteral("%1|Деталь номер %1 с длинным названием|A-%1|Завод|%2").arg(code).arg(code % 7 + 1);
        price << QStringLiteral("%1|Деталь номер %1 с длинным названием|A-%1|Завод|1|%1.50|%1.00").arg(code);
    }
    TextFile::writeLines(at(QStringLiteral("order.txt")), order);
    TextFile::writeLines(at(QStringLiteral("prices.txt")), price);
}

void TestFaults::writeFails_data()
{
    QTest::addColumn<QString>("program"); // "cli" or "self"
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("file"); // the file that must stay as it was
    QTest::addColumn<bool>("ignoreSignal");
    QTest::addColumn<qint64>("limit");

    for (const bool ignore : {true, false}) {
        const char *how = ignore ? "write fails" : "killed by SIGXFSZ";
        for (const QString target : {"xlsx", "pdf", "txt", "order"}) {
            const QString out = QStringLiteral("out.") + target;
            QTest::addRow("%s: %s", qPrintable(target), how)
                << "cli" << QStringList{"export", "order.txt", "--price", "prices.txt", "--to", target, "-o", out}
                << out << ignore << qint64(8192);
        }
        QTest::addRow("user.ini: %s", how)
            << "self" << QStringList{"user.ini", "user.ini"} << "user.ini" << ignore << qint64(8192);
        QTest::addRow("schema file: %s", how)
            << "self" << QStringList{"schema", "DStruct.xml"} << "DStruct.xml" << ignore << qint64(8192);
        // ordix-cli's own schema file is the first file it writes.
        QTest::addRow("ordix-cli's schema file: %s", how)
            << "cli" << QStringList{"price", "prices.txt", "--sort", "Name"} << "" << ignore << qint64(100);
    }
}

void TestFaults::writeFails()
{
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QFETCH(QString, file);
    QFETCH(bool, ignoreSignal);
    QFETCH(qint64, limit);
    if (!file.isEmpty())
        TextFile::writeBytes(at(file), OldContents);
    const QStringList before = entries(m_dir->path());

    const QString path =
        program == QLatin1String("cli") ? QStringLiteral(ORDIX_CLI_PATH) : QCoreApplication::applicationFilePath();
    if (program != QLatin1String("cli"))
        arguments.prepend(QStringLiteral("--child"));
    const Outcome outcome = run(path, arguments, m_dir->path(), m_tmp->path(), rlim_t(limit), ignoreSignal);

    // Reported: an exit status of 1 with the cause, or the process ended by
    // the signal; never success.
    if (ignoreSignal) {
        QVERIFY2(!outcome.crashed && outcome.code == 1, qPrintable(outcome.err));
        if (!outcome.err.isEmpty())
            QVERIFY2(outcome.err.contains(qt_error_string(EFBIG)), qPrintable(outcome.err));
    } else {
        QVERIFY2(outcome.crashed, qPrintable(outcome.err));
    }
    if (!file.isEmpty())
        QCOMPARE(readAll(at(file)), OldContents);
    QCOMPARE(entries(m_dir->path()), before);
    // Nothing in the temporary folder either, but for the private folder of
    // a run killed while it loads (it holds the schema file meanwhile).
    if (ignoreSignal || !file.isEmpty())
        QCOMPARE(entries(m_tmp->path()).filter(QStringLiteral("ordix")), QStringList());
}

void TestFaults::killedWhileWriting()
{
    // kill -9 with half the new file written.
    TextFile::writeBytes(at(QStringLiteral("out.txt")), OldContents);
    const QStringList before = entries(m_dir->path());
    QProcess child;
    child.setWorkingDirectory(m_dir->path());
    child.start(QCoreApplication::applicationFilePath(), {"--child", "pause", "out.txt"});
    QVERIFY(child.waitForReadyRead(30000));
    QCOMPARE(child.readAllStandardOutput(), QByteArray("written\n"));
    ::kill(pid_t(child.processId()), SIGKILL);
    QVERIFY(child.waitForFinished(30000));
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);
    QCOMPARE(readAll(at(QStringLiteral("out.txt"))), OldContents);
    QCOMPARE(entries(m_dir->path()), before);
}

void TestFaults::killedAtAnyMoment_data()
{
    QTest::addColumn<QString>("target");
    QTest::newRow("txt") << "txt";
    QTest::newRow("order") << "order";
}

void TestFaults::killedAtAnyMoment()
{
    // The whole run once for the new file, then kill -9 at growing delays:
    // the file is always either the old one or the whole new one.
    QFETCH(QString, target);
    const QString out = QStringLiteral("out.") + target;
    const QStringList arguments{"export", "order.txt", "--price", "prices.txt", "--to", target, "-o", out};
    const Outcome full = run(QStringLiteral(ORDIX_CLI_PATH), arguments, m_dir->path(), m_tmp->path(), 0, false);
    QVERIFY2(full.code == 0, qPrintable(full.err));
    const QByteArray whole = readAll(at(out));

    for (int delay = 0; delay <= 400; delay += 20) {
        TextFile::writeBytes(at(out), OldContents);
        const QStringList before = entries(m_dir->path());
        QProcess process;
        process.setWorkingDirectory(m_dir->path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TMPDIR"), m_tmp->path());
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(ORDIX_CLI_PATH), arguments);
        QVERIFY(process.waitForStarted(30000));
        QTest::qSleep(delay);
        ::kill(pid_t(process.processId()), SIGKILL);
        QVERIFY(process.waitForFinished(30000));
        const QByteArray now = readAll(at(out));
        QVERIFY2(now == OldContents || now == whole, qPrintable(QStringLiteral("cut file after %1 ms").arg(delay)));
        QCOMPARE(entries(m_dir->path()), before);
    }
}

void TestFaults::fullDisk()
{
    // A small tmpfs for OUT; only where the test may mount one.
    QTemporaryDir mountPoint;
    if (::mount("tmpfs", QFile::encodeName(mountPoint.path()).constData(), "tmpfs", 0, "size=16k") != 0)
        QSKIP("no right to mount a tmpfs here");
    const auto unmount =
        qScopeGuard([&mountPoint] { ::umount2(QFile::encodeName(mountPoint.path()).constData(), MNT_DETACH); });
    const QDir disk(mountPoint.path());
    for (const QString target : {"xlsx", "pdf", "txt", "order"}) {
        const QString out = disk.filePath(QStringLiteral("out.") + target);
        TextFile::writeBytes(out, OldContents);
        const QStringList before = entries(disk.path());
        const Outcome outcome = run(QStringLiteral(ORDIX_CLI_PATH),
                                    {"export", "order.txt", "--price", "prices.txt", "--to", target, "-o", out},
                                    m_dir->path(), m_tmp->path(), 0, true);
        QVERIFY2(!outcome.crashed && outcome.code == 1, qPrintable(outcome.err));
        QVERIFY2(outcome.err.contains(qt_error_string(ENOSPC)), qPrintable(outcome.err));
        QCOMPARE(readAll(out), OldContents);
        QCOMPARE(entries(disk.path()), before);
    }
}

int main(int argc, char *argv[])
{
    if (argc > 1 && std::strcmp(argv[1], "--child") == 0) {
        QCoreApplication app(argc, argv);
        return runChild(app.arguments().mid(2));
    }
    QCoreApplication app(argc, argv);
    TestFaults test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_faults.moc"
