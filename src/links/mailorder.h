#pragma once

#include <functional>

#include <QObject>
#include <QStringList>
#include <QUrl>

class Workspace;

// SendOrder and the mail action SendOrderAction: the order, in the layout of
// an order file, goes to the desktop's mail program as the body of a new
// message without subject, recipient or attachment; the user picks the
// recipient and sends it there. An order too large for one command-line
// argument goes as an attached order file with a short body instead. The hand-over runs xdg-email; without it,
// a "mailto:" address goes to the desktop's opener. Any failure says "Error
// sending mail".
class MailOrder final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MailOrder)

public:
    // Opens a "mailto:" address with the desktop's mail program; true when
    // the desktop took it.
    using UrlOpener = std::function<bool(const QUrl &url)>;

    // How long xdg-email may take to hand the message over; a mail program
    // still starting after that counts as having taken it.
    static constexpr int DefaultHandOverMs = 10000;
    // Bodies above this size (UTF-8 bytes) are attached as an order file:
    // one argument of a program may not pass 128 KiB.
    static constexpr qsizetype AttachAboveBytes = 96 * 1024;
    // The body of a message whose order is attached.
    static QString attachedBody(const QString &fileName);

    // Makes the workspace's mail action and sets the handlers of SendOrder
    // and SendOrderAction.
    static MailOrder &installActions(Workspace &workspace, UrlOpener fallback = {});
    static MailOrder *find(Workspace &workspace);

    // The message body: the lines of the order, each to be followed by CR LF.
    const QStringList &body() const { return m_body; }
    void setBody(const QStringList &lines) { m_body = lines; }
    void setFallback(UrlOpener fallback) { m_fallback = std::move(fallback); }
    void setHandOverTime(int milliseconds) { m_handOverMs = milliseconds; }

    // SendOrderExecute: the order file's lines into the body, then
    // SendOrderAction.
    void sendOrder();
    // SendOrderAction: hands the body over; "Error sending mail" on failure.
    void send();

    // The body as one text, every line followed by CR LF.
    QString bodyText() const;
    // The body as xdg-email takes it: plain lines, each ended by LF.
    static QString programBody(const QString &text);
    // "mailto:?body=<the text, percent-encoded>" (a mailto address breaks
    // lines with CR LF).
    static QUrl mailtoUrl(const QString &body);

private:
    explicit MailOrder(Workspace &workspace);
    bool handOver(const QString &text, const QString &attachment);
    // Writes the body as an order file for attaching; empty on failure.
    QString writeAttachment() const;

    Workspace &m_workspace;
    QStringList m_body;
    UrlOpener m_fallback;
    int m_handOverMs = DefaultHandOverMs;
};
