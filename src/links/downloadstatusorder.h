#pragma once

#include <QList>
#include <QString>
#include <QUrl>

#include "urldownloadservice.h"

// The status lines of one download, in the order the program shows them
// whatever order the network layer tells its steps in:
//
//   Поиск серевого ресурса <host>
//   for the address asked for and each address it is redirected to:
//     Соединение с <host>, Запрос <address>, and on a redirect
//     Переадресация на <next address>
//   Тип MIME доступен <type>      (when the answer names its type)
//   Начало загрузки <address>
//   Загрузка <address>            (with the figures, each new figure once)
//   Загрузка завершена <file>     (or, after an error or a stop, nothing more)
//
// A step stands for the ones before it: data that arrives before the
// network layer told that the request went out shows the request first,
// and the late word of the request then shows nothing. A connection the
// layer never tells of (one kept from an earlier request) is shown all the
// same. Every method returns the lines that are due, in order; after the
// end nothing is due.
class DownloadStatusOrder final
{
public:
    using Report = UrlDownloadService::Report;

    explicit DownloadStatusOrder(const QUrl &url);

    QList<Report> started();
    QList<Report> connecting();
    QList<Report> requestSent();
    // One hop to `target`; the steps after it are the new address's.
    QList<Report> redirected(const QUrl &target);
    // The answer's head; `mimeType` is the type of a successful answer
    // (empty for an error page, a redirection or an answer without type).
    QList<Report> answered(const QString &mimeType);
    // The first bytes of the file, and the bytes so far.
    QList<Report> dataBegan(const QString &mimeType);
    QList<Report> progressed(qint64 received, qint64 total, const QString &mimeType);
    // The whole file of `size` bytes is in place: the bar reaches its end.
    QList<Report> finished(const QString &fileName, qint64 size);
    // An error or a stop: nothing more is shown.
    QList<Report> failed();

private:
    enum class Stage
    {
        None,
        Looking,
        Connected,
        Requested,
        Typed,
        Begun,
        Ended
    };

    void reach(Stage stage, const QString &mimeType, QList<Report> &lines);
    void progress(qint64 received, qint64 total, QList<Report> &lines);

    QUrl m_address;
    Stage m_stage = Stage::None;
    QString m_mimeType;
    qint64 m_received = -1; // the figures last shown; -1: none yet
    qint64 m_total = -1;
};
