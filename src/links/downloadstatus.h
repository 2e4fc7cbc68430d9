#pragma once

#include <QString>

// The status codes that a URL download reports with its progress, and the
// texts the status line shows for them. The codes follow the binding status
// numbers of the Windows download service, less one.
namespace DownloadStatus
{
    enum Code : int
    {
        FindingResource = 0,
        Connecting = 1,
        Redirecting = 2,
        BeginDownloadData = 3,
        DownloadingData = 4,
        EndDownloadData = 5,
        BeginDownloadComponents = 6,
        InstallingComponents = 7,
        EndDownloadComponents = 8,
        UsingCachedCopy = 9,
        SendingRequest = 10,
        ClassIDAvailable = 11,
        MIMETypeAvailable = 12,
        CacheFileNameAvailable = 13,
        BeginSyncOperation = 14,
        EndSyncOperation = 15,
        BeginUploadData = 16,
        UploadingData = 17,
        EndUploadData = 18,
        ProtocolClassID = 19,
        Encoding = 20,
        VerifiedMIMETypeAvailable = 21,
        ClassInstallLocation = 22,
        Decoding = 23,
        LoadingMIMEHandler = 24
    };

    // The text of a code ("Соединение с "); empty above 24.
    QString text(int code);
    // The status line of a report: the code's text followed directly by the
    // service's text with blanks and control characters cut at both ends;
    // empty for a code above 24.
    QString statusLine(int code, const QString &serviceText);
}
