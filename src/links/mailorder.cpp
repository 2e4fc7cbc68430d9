#include "mailorder.h"

#include <QEventLoop>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include "orderwriter.h"
#include "userprompts.h"
#include "workspace.h"

namespace
{
    const QLatin1String ObjectName("SendOrderAction");
}

MailOrder::MailOrder(Workspace &workspace)
    : QObject(&workspace)
    , m_workspace(workspace)
{
    setObjectName(ObjectName);
}

MailOrder &MailOrder::installActions(Workspace &workspace, UrlOpener fallback)
{
    MailOrder *mail = find(workspace);
    if (!mail) {
        mail = new MailOrder(workspace);
        workspace.actions().setHandler(QStringLiteral("SendOrder"), [mail] { mail->sendOrder(); });
        workspace.actions().setHandler(QStringLiteral("SendOrderAction"), [mail] { mail->send(); });
    }
    mail->setFallback(std::move(fallback));
    return *mail;
}

MailOrder *MailOrder::find(Workspace &workspace)
{
    return workspace.findChild<MailOrder *>(ObjectName, Qt::FindDirectChildrenOnly);
}

void MailOrder::sendOrder()
{
    OrderWriter::write(m_workspace, m_body, OrderWriter::Form::File);
    m_workspace.execute(QStringLiteral("SendOrderAction"));
}

void MailOrder::send()
{
    if (!handOver(bodyText())) {
        m_workspace.setLabel(Workspace::Label::Status, QStringLiteral("Заказ не передан почтовой программе"));
        m_workspace.prompts().message(QStringLiteral("Error sending mail"), UserPrompts::Icon::Error);
        return;
    }
    m_workspace.setLabel(Workspace::Label::Status, QStringLiteral("Заказ передан почтовой программе"));
}

QString MailOrder::bodyText() const
{
    QString text;
    for (const QString &line : m_body)
        text += line + QStringLiteral("\r\n");
    return text;
}

QUrl MailOrder::mailtoUrl(const QString &body)
{
    return QUrl::fromEncoded(QByteArrayLiteral("mailto:?body=") + QUrl::toPercentEncoding(body), QUrl::StrictMode);
}

bool MailOrder::handOver(const QString &text)
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("xdg-email"));
    if (program.isEmpty())
        return m_fallback && m_fallback(mailtoUrl(text));

    auto *process = new QProcess;
    process->setProgram(program);
    process->setArguments({QStringLiteral("--utf8"), QStringLiteral("--body"), text});
    process->setStandardInputFile(QProcess::nullDevice());
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->start();
    if (!process->waitForStarted(-1)) {
        delete process;
        return false;
    }
    QEventLoop loop;
    QObject::connect(process, &QProcess::finished, &loop, &QEventLoop::quit);
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    limit.start(m_handOverMs);
    if (process->state() != QProcess::NotRunning)
        loop.exec(QEventLoop::ExcludeUserInputEvents);

    if (process->state() != QProcess::NotRunning) {
        // Some desktops run the mail program itself under xdg-email: it has
        // the message and stays open for the user.
        QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
        return true;
    }
    const bool sent = process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0;
    delete process;
    return sent;
}
