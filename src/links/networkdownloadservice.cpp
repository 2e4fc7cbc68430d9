#include "networkdownloadservice.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include "atomicfile.h"
#include "downloadstatusorder.h"

namespace
{
    // How often a stop is polled while the server is silent.
    constexpr int StopPollMs = 100;

    bool isSuccess(int status)
    {
        return status >= 200 && status < 300;
    }

    // One download: the reply, the target file and what happened.
    class Transfer final
    {
    public:
        Transfer(const QString &url, const QString &fileName, const UrlDownloadService::Callbacks &callbacks)
            : m_url(url)
            , m_fileName(fileName)
            , m_callbacks(callbacks)
            , m_file(fileName)
            , m_order(QUrl(url))
        { }

        bool run(QNetworkAccessManager &manager, int stallTimeoutMs, int maximumRedirects, QString *reason);

    private:
        void report(const QList<UrlDownloadService::Report> &lines);
        void stop();
        QString successType() const;
        void readBody();
        QString failure() const;

        QString m_url;
        QString m_fileName;
        const UrlDownloadService::Callbacks &m_callbacks;
        AtomicFile m_file;
        QPointer<QNetworkReply> m_reply;
        QTimer m_stall;
        int m_stallTimeoutMs = 0;
        DownloadStatusOrder m_order;
        bool m_begun = false;
        bool m_stopped = false;
        bool m_timedOut = false;
        bool m_writeFailed = false;
    };

    // The status lines due, in order, until one of them stops the download.
    void Transfer::report(const QList<UrlDownloadService::Report> &lines)
    {
        for (const UrlDownloadService::Report &line : lines) {
            if (m_stopped || !m_callbacks.progress)
                return;
            if (m_callbacks.progress(line))
                stop();
        }
    }

    void Transfer::stop()
    {
        if (m_stopped)
            return;
        m_stopped = true;
        if (m_reply && m_reply->isRunning())
            m_reply->abort();
    }

    // The type of the file as the answer names it; empty while no
    // successful answer is there.
    QString Transfer::successType() const
    {
        if (!m_reply || !isSuccess(m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt()))
            return QString();
        return m_reply->header(QNetworkRequest::ContentTypeHeader).toString();
    }

    void Transfer::readBody()
    {
        if (!m_reply || !m_reply->isOpen() || m_stopped || m_writeFailed)
            return;
        const QByteArray data = m_reply->readAll();
        const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        // The bodies of error pages and of redirections are not the file.
        if (!isSuccess(status) || data.isEmpty())
            return;
        if (!m_begun) {
            m_begun = true;
            report(m_order.dataBegan(successType()));
            if (m_stopped)
                return;
        }
        if (!m_file.write(data)) {
            m_writeFailed = true;
            m_reply->abort();
        }
    }

    QString Transfer::failure() const
    {
        if (m_stopped)
            return QString();
        if (m_timedOut)
            return QStringLiteral("Сервер не отвечает %1 с.").arg(double(m_stallTimeoutMs) / 1000.0, 0, 'g', 3);
        if (m_writeFailed)
            return QStringLiteral("Невозможно записать файл %1: %2").arg(m_fileName, m_file.errorString());
        const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (m_reply->error() == QNetworkReply::TooManyRedirectsError)
            return QStringLiteral("Слишком много переадресаций.");
        if (m_reply->error() == QNetworkReply::InsecureRedirectError)
            return QStringLiteral("Переадресация с защищённого адреса на незащищённый отклонена.");
        if (status != 0 && !isSuccess(status)) {
            const QString phrase = m_reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
            return QStringLiteral("Сервер ответил: %1 %2").arg(status).arg(phrase).trimmed();
        }
        if (m_reply->error() != QNetworkReply::NoError)
            return m_reply->errorString();
        return QString();
    }

    bool Transfer::run(QNetworkAccessManager &manager, int stallTimeoutMs, int maximumRedirects, QString *reason)
    {
        m_stallTimeoutMs = stallTimeoutMs;
        const QUrl url(m_url);
        const QString scheme = url.scheme().toLower();
        if (!url.isValid() || url.host().isEmpty()
            || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
            *reason = QStringLiteral("Адрес не поддерживается: загрузка идёт только по http и https.");
            return false;
        }
        if (m_fileName.isEmpty() || !m_file.open()) {
            *reason = QStringLiteral("Невозможно записать файл %1: %2")
                          .arg(m_fileName, m_fileName.isEmpty() ? QStringLiteral("пустое имя") : m_file.errorString());
            return false;
        }

        report(m_order.started());
        if (m_stopped)
            return false;

        QNetworkRequest request(url);
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
        request.setMaximumRedirectsAllowed(maximumRedirects);
        request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Ordix/3.0"));
        m_reply = manager.get(request);
        QNetworkReply *reply = m_reply;

        QEventLoop loop;
        m_stall.setSingleShot(true);
        m_stall.setInterval(stallTimeoutMs);
        QObject::connect(&m_stall, &QTimer::timeout, reply, [this] {
            m_timedOut = true;
            if (m_reply)
                m_reply->abort();
        });
        QTimer poll;
        poll.setInterval(StopPollMs);
        QObject::connect(&poll, &QTimer::timeout, reply, [this] {
            if (!m_stopped && m_callbacks.stopRequested && m_callbacks.stopRequested())
                stop();
        });
        auto active = [this] {
            if (!m_stopped && !m_timedOut)
                m_stall.start();
        };

        // The network layer's steps as it tells them; the order of the status
        // lines is DownloadStatusOrder's.
        QObject::connect(reply, &QNetworkReply::socketStartedConnecting, reply, [this, active] {
            active();
            report(m_order.connecting());
        });
        QObject::connect(reply, &QNetworkReply::requestSent, reply, [this, active] {
            active();
            report(m_order.requestSent());
        });
        QObject::connect(reply, &QNetworkReply::redirected, reply, [this, active](const QUrl &target) {
            active();
            report(m_order.redirected(target));
        });
        QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [this, active] {
            active();
            report(m_order.answered(successType()));
        });
        QObject::connect(reply, &QNetworkReply::readyRead, reply, [this, active] {
            active();
            readBody();
        });
        QObject::connect(reply, &QNetworkReply::downloadProgress, reply, [this, active](qint64 received, qint64 total) {
            active();
            if (isSuccess(m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt()))
                report(m_order.progressed(received, total, successType()));
        });
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);

        m_stall.start();
        poll.start();
        if (!reply->isFinished())
            loop.exec(QEventLoop::ExcludeUserInputEvents);
        m_stall.stop();
        poll.stop();

        readBody();
        const QString why = failure();
        const bool failed = m_stopped || m_timedOut || m_writeFailed || reply->error() != QNetworkReply::NoError
            || !isSuccess(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt());
        reply->disconnect();
        reply->deleteLater();
        if (failed) {
            m_order.failed();
            m_file.cancel();
            *reason = why;
            return false;
        }
        if (!m_file.commit()) {
            *reason = QStringLiteral("Невозможно записать файл %1: %2").arg(m_fileName, m_file.errorString());
            return false;
        }
        report(m_order.finished(QFileInfo(m_fileName).fileName(), QFileInfo(m_fileName).size()));
        return true;
    }
}

NetworkDownloadService::NetworkDownloadService()
    : m_manager(std::make_unique<QNetworkAccessManager>())
{ }

NetworkDownloadService::~NetworkDownloadService() = default;

bool NetworkDownloadService::download(const QString &url, const QString &fileName, const Callbacks &callbacks,
                                      QString *reason)
{
    QString ignored;
    if (!reason)
        reason = &ignored;
    reason->clear();
    Transfer transfer(url, fileName, callbacks);
    return transfer.run(*m_manager, m_stallTimeoutMs, m_maximumRedirects, reason);
}

QString NetworkDownloadService::name() const
{
    return QStringLiteral("QtNetwork");
}
