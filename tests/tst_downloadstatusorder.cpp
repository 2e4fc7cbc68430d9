#include <QtTest>

#include <algorithm>

#include "downloadstatus.h"
#include "downloadstatusorder.h"

namespace
{
    const QString A = QStringLiteral("http://zolt.example/p.exe");
    const QString B = QStringLiteral("http://mirror.example/2024/p.exe");
    const QString Type = QStringLiteral("application/octet-stream");

    // The lines a download shows, by short names: "A300/300" is the
    // progress line of address A with its figures.
    QStringList lines(const QString &names)
    {
        const QHash<QString, QString> full{{"find", "Поиск серевого ресурса zolt.example"},
                                           {"connA", "Соединение с zolt.example"},
                                           {"reqA", "Запрос " + A},
                                           {"redirB", "Переадресация на " + B},
                                           {"connB", "Соединение с mirror.example"},
                                           {"reqB", "Запрос " + B},
                                           {"mime", "Тип MIME доступен " + Type},
                                           {"beginA", "Начало загрузки " + A},
                                           {"beginB", "Начало загрузки " + B},
                                           {"done", "Загрузка завершена p.exe"}};
        QStringList out;
        for (const QString &name : names.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            out.append(full.value(name,
                                  QStringLiteral("Загрузка ") + (name.startsWith(QLatin1Char('A')) ? A : B)
                                      + QLatin1Char(' ') + name.mid(1)));
        return out;
    }

    // Feeds the network layer's steps, by short names, after the start;
    // "answer-" and "data-" name no type ("answer-" is also an error page's
    // or a redirection's).
    QStringList feed(const QStringList &steps)
    {
        DownloadStatusOrder order{QUrl(A)};
        QList<UrlDownloadService::Report> reports = order.started();
        for (const QString &step : steps) {
            const QStringList figures = step.split(QLatin1Char('/'));
            if (step == QLatin1String("connect"))
                reports += order.connecting();
            else if (step == QLatin1String("request"))
                reports += order.requestSent();
            else if (step == QLatin1String("redirect"))
                reports += order.redirected(QUrl(B));
            else if (step.startsWith(QLatin1String("answer")))
                reports += order.answered(step.endsWith(QLatin1Char('-')) ? QString() : Type);
            else if (step.startsWith(QLatin1String("data")))
                reports += order.dataBegan(step.endsWith(QLatin1Char('-')) ? QString() : Type);
            else if (figures.size() == 2)
                reports += order.progressed(figures.at(0).toLongLong(), figures.at(1).toLongLong(), Type);
            else if (step == QLatin1String("done"))
                reports += order.finished(QStringLiteral("p.exe"), 300);
            else
                reports += order.failed();
        }
        QStringList out;
        for (const UrlDownloadService::Report &r : std::as_const(reports)) {
            out.append(DownloadStatus::statusLine(r.code, r.text));
            if (r.code == DownloadStatus::DownloadingData)
                out.last() += QStringLiteral(" %1/%2").arg(r.progress).arg(r.maximum);
        }
        return out;
    }
}

class TestDownloadStatusOrder : public QObject
{
    Q_OBJECT

private slots:
    void linesComeInTheDefinedOrderOnce_data();
    void linesComeInTheDefinedOrderOnce();
};

void TestDownloadStatusOrder::linesComeInTheDefinedOrderOnce_data()
{
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QStringList>("expected");
    const QStringList full = lines("find connA reqA mime beginA A300/300 done");
    const QStringList viaB = lines("find connA reqA redirB connB reqB mime beginB B300/300 done");

    QTest::newRow("told in order") << "connect request answer data 150/300 300/300 done"
                                   << lines("find connA reqA mime beginA A150/300 A300/300 done");
    QTest::newRow("request told at three moments")
        << "connect answer request data request 300/300 request done" << full;
    QTest::newRow("kept connection never told") << "request answer data 300/300 done" << full;
    QTest::newRow("figures repeated or going back") << "connect request answer data 100/300 100/300 50/300 300/300 done"
                                                    << lines("find connA reqA mime beginA A100/300 A300/300 done");
    QTest::newRow("no figures: the bar still ends") << "connect request answer data done" << full;
    QTest::newRow("size unknown while coming")
        << "answer data 100/0 300/0 done" << lines("find connA reqA mime beginA A100/0 A300/0 A300/300 done");
    QTest::newRow("answer without type") << "connect request answer- data- done"
                                         << lines("find connA reqA beginA A300/300 done");
    QTest::newRow("redirect") << "connect request answer- redirect connect request answer data 300/300 done" << viaB;
    QTest::newRow("redirect told first") << "redirect answer data 300/300 done" << viaB;
    QTest::newRow("late request counts for the new address")
        << "connect redirect request connect answer data done" << viaB;
    QTest::newRow("redirect after the file's answer") << "connect request answer redirect data 300/300 done" << full;
    QTest::newRow("404, then late steps") << "connect answer- error request 300/300 done" << lines("find connA reqA");
    QTest::newRow("stopped in the file") << "answer data 100/300 error 200/300 done"
                                         << lines("find connA reqA mime beginA A100/300");
    QTest::newRow("steps after the end") << "answer data done connect 400/400 error redirect" << full;

    // Every order of the five steps, told twice or cut by an error anywhere:
    // an error shows what the furthest step before it stands for.
    const QStringList stages{"", "connect", "request", "answer", "data", "300/300"};
    QStringList steps = stages.mid(1);
    std::sort(steps.begin(), steps.end());
    do {
        const QString told = steps.join(QLatin1Char(' '));
        QStringList again = steps;
        std::reverse(again.begin(), again.end());
        QTest::addRow("%s done", qPrintable(told)) << told + " done" << full;
        QTest::addRow("%s, told again", qPrintable(told)) << told + " " + again.join(' ') + " done" << full;
        qsizetype shown = 1;
        for (int k = 0; k <= steps.size(); ++k) {
            if (k > 0)
                shown = std::max(shown, stages.indexOf(steps.at(k - 1)) + 1);
            QStringList cut = steps;
            cut.insert(k, QStringLiteral("error"));
            QTest::addRow("%s, error after %d", qPrintable(told), k) << cut.join(' ') + " done" << full.mid(0, shown);
        }
    } while (std::next_permutation(steps.begin(), steps.end()));
}

void TestDownloadStatusOrder::linesComeInTheDefinedOrderOnce()
{
    QFETCH(QString, steps);
    QFETCH(QStringList, expected);
    QCOMPARE(feed(steps.split(QLatin1Char(' '))), expected);
}

QTEST_APPLESS_MAIN(TestDownloadStatusOrder)
#include "tst_downloadstatusorder.moc"
