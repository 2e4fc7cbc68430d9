#include "downloadstatusorder.h"

#include <limits>

#include "downloadstatus.h"

namespace
{
    quint32 toUnsigned32(qint64 value)
    {
        if (value <= 0)
            return 0;
        return quint32(qMin<qint64>(value, std::numeric_limits<quint32>::max()));
    }

    UrlDownloadService::Report line(int code, const QString &text, qint64 progress = 0, qint64 maximum = 0)
    {
        UrlDownloadService::Report report;
        report.code = code;
        report.text = text;
        report.progress = toUnsigned32(progress);
        report.maximum = toUnsigned32(maximum);
        return report;
    }
}

DownloadStatusOrder::DownloadStatusOrder(const QUrl &url)
    : m_address(url)
{ }

void DownloadStatusOrder::reach(Stage stage, const QString &mimeType, QList<Report> &lines)
{
    if (!mimeType.isEmpty())
        m_mimeType = mimeType;
    while (m_stage < stage) {
        m_stage = Stage(int(m_stage) + 1);
        switch (m_stage) {
        case Stage::Looking:
            lines.append(line(DownloadStatus::FindingResource, m_address.host()));
            break;
        case Stage::Connected:
            lines.append(line(DownloadStatus::Connecting, m_address.host()));
            break;
        case Stage::Requested:
            lines.append(line(DownloadStatus::SendingRequest, m_address.toString()));
            break;
        case Stage::Typed:
            if (!m_mimeType.isEmpty())
                lines.append(line(DownloadStatus::MIMETypeAvailable, m_mimeType));
            break;
        case Stage::Begun:
            lines.append(line(DownloadStatus::BeginDownloadData, m_address.toString()));
            break;
        case Stage::None:
        case Stage::Ended:
            break;
        }
    }
}

void DownloadStatusOrder::progress(qint64 received, qint64 total, QList<Report> &lines)
{
    total = qMax<qint64>(total, 0);
    m_received = received;
    m_total = total;
    lines.append(line(DownloadStatus::DownloadingData, m_address.toString(), received, total));
}

QList<DownloadStatusOrder::Report> DownloadStatusOrder::started()
{
    QList<Report> lines;
    reach(Stage::Looking, QString(), lines);
    return lines;
}

QList<DownloadStatusOrder::Report> DownloadStatusOrder::connecting()
{
    QList<Report> lines;
    reach(Stage::Connected, QString(), lines);
    return lines;
}

QList<DownloadStatusOrder::Report> DownloadStatusOrder::requestSent()
{
    QList<Report> lines;
    reach(Stage::Requested, QString(), lines);
    return lines;
}

QList<DownloadStatusOrder::Report> DownloadStatusOrder::redirected(const QUrl &target)
{
    // After the answer that is the file no hop can come.
    QList<Report> lines;
    if (m_stage >= Stage::Typed)
        return lines;
    reach(Stage::Requested, QString(), lines);
    lines.append(line(DownloadStatus::Redirecting, target.toString()));
    m_address = target;
    m_stage = Stage::Looking;
    return lines;
}

QList<DownloadStatusOrder::Report> DownloadStatusOrder::answered(const QString &mimeType)
{
    QList<Report> lines;
    reach(mimeType.isEmpty() ? Stage::Requested : Stage::Typed, mimeType, lines);
    return lines;
}

QList<DownloadStatusOrder::Report> DownloadStatusOrder::dataBegan(const QString &mimeType)
{
    QList<Report> lines;
    reach(Stage::Begun, mimeType, lines);
    return lines;
}

QList<DownloadStatusOrder::Report> DownloadStatusOrder::progressed(qint64 received, qint64 total,
                                                                   const QString &mimeType)
{
    QList<Report> lines;
    if (received <= 0 || m_stage == Stage::Ended)
        return lines;
    reach(Stage::Begun, mimeType, lines);
    if (received > m_received)
        progress(received, total, lines);
    return lines;
}

QList<DownloadStatusOrder::Report> DownloadStatusOrder::finished(const QString &fileName, qint64 size)
{
    QList<Report> lines;
    if (m_stage == Stage::Ended)
        return lines;
    reach(Stage::Begun, QString(), lines);
    if (m_received != size || m_total != size)
        progress(size, size, lines);
    lines.append(line(DownloadStatus::EndDownloadData, fileName));
    m_stage = Stage::Ended;
    return lines;
}

QList<DownloadStatusOrder::Report> DownloadStatusOrder::failed()
{
    m_stage = Stage::Ended;
    return {};
}
