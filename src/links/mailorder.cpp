#include "mailorder.h"

#include <QDate>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include "actionid.h"
#include "mapimail.h"
#include "orderfile.h"
#include "orderwriter.h"
#include "ordixerror.h"
#include "textfile.h"
#include "userprompts.h"
#include "workspace.h"

namespace
{
    const QLatin1StringView ObjectName = ActionId::SendOrderAction;
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
        workspace.actions().setHandler(ActionId::SendOrder, [mail] { mail->sendOrder(); });
        workspace.actions().setHandler(ActionId::SendOrderAction, [mail] { mail->send(); });
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
    m_workspace.execute(ActionId::SendOrderAction);
}

void MailOrder::send()
{
    QString text = bodyText();
    QString attachment;
    if (text.toUtf8().size() > AttachAboveBytes) {
        attachment = writeAttachment();
        if (!attachment.isEmpty())
            text = attachedBody(QFileInfo(attachment).fileName());
    }
    if ((attachment.isEmpty() && text.toUtf8().size() > AttachAboveBytes) || !handOver(text, attachment)) {
        m_workspace.setLabel(Workspace::Label::Status, QStringLiteral("Заказ не передан почтовой программе"));
        m_workspace.prompts().message(QStringLiteral("Error sending mail"), UserPrompts::Icon::Error);
        return;
    }
    m_workspace.setLabel(Workspace::Label::Status, QStringLiteral("Заказ передан почтовой программе"));
}

QString MailOrder::attachedBody(const QString &fileName)
{
    return QStringLiteral("Заказ во вложении: ") + fileName + QStringLiteral("\r\n");
}

QString MailOrder::writeAttachment() const
{
    // Left behind for the mail program, which reads it after we return.
    QTemporaryDir folder(QDir::temp().filePath(QStringLiteral("ordix-mail-XXXXXX")));
    if (!folder.isValid())
        return QString();
    folder.setAutoRemove(false);
    const QString name = OrderFile::proposedName(m_workspace.settings().customer, QDate::currentDate(), folder.path());
    const QString path = folder.filePath(name);
    try {
        TextFile::writeLines(path, m_body);
    } catch (const OrdixError &) {
        QDir(folder.path()).removeRecursively();
        return QString();
    }
    return path;
}

QString MailOrder::bodyText() const
{
    QString text;
    for (const QString &line : m_body)
        text += line + QStringLiteral("\r\n");
    return text;
}

QString MailOrder::programBody(const QString &text)
{
    // The mail program writes the message's own line ends; a CR handed over
    // with each line would reach the message as a second break.
    QString body = text;
    body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return body;
}

QUrl MailOrder::mailtoUrl(const QString &body)
{
    return QUrl::fromEncoded(QByteArrayLiteral("mailto:?body=") + QUrl::toPercentEncoding(body), QUrl::StrictMode);
}

bool MailOrder::handOver(const QString &text, const QString &attachment)
{
    // Windows: the default mail program through Simple MAPI, otherwise a
    // "mailto:" address for whatever program the system has for it.
    switch (MapiMail::send(text, attachment)) {
    case MapiMail::Result::Sent:
        return true;
    case MapiMail::Result::Failed:
        return false;
    case MapiMail::Result::Unavailable:
        break;
    }
#ifdef Q_OS_WIN
    const QString program;
#else
    const QString program = QStandardPaths::findExecutable(QStringLiteral("xdg-email"));
#endif
    if (program.isEmpty()) {
        if (!m_fallback)
            return false;
        QUrl url = mailtoUrl(text);
        if (!attachment.isEmpty()) {
            // Understood by the common mail programs; the body names the file
            // for the others.
            url = QUrl::fromEncoded(url.toEncoded() + QByteArrayLiteral("&attach=")
                                        + QUrl::toPercentEncoding(QUrl::fromLocalFile(attachment).toString()),
                                    QUrl::StrictMode);
        }
        return m_fallback(url);
    }

    auto *process = new QProcess;
    process->setProgram(program);
    QStringList arguments{QStringLiteral("--utf8"), QStringLiteral("--body"), programBody(text)};
    if (!attachment.isEmpty())
        arguments << QStringLiteral("--attach") << attachment;
    process->setArguments(arguments);
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
