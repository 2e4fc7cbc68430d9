#include "mapimail.h"

#ifdef Q_OS_WIN
#include <QDir>
#include <QFileInfo>

#include <windows.h>
#include <mapi.h>

namespace
{
    // The Unicode forms of the Simple MAPI structures (Windows 8 and later);
    // the toolchain's mapi.h declares only the ANSI ones.
    struct MapiRecipDescW
    {
        ULONG ulReserved;
        ULONG ulRecipClass;
        PWSTR lpszName;
        PWSTR lpszAddress;
        ULONG ulEIDSize;
        PVOID lpEntryID;
    };

    struct MapiFileDescW
    {
        ULONG ulReserved;
        ULONG flFlags;
        ULONG nPosition;
        PWSTR lpszPathName;
        PWSTR lpszFileName;
        PVOID lpFileType;
    };

    struct MapiMessageW
    {
        ULONG ulReserved;
        PWSTR lpszSubject;
        PWSTR lpszNoteText;
        PWSTR lpszMessageType;
        PWSTR lpszDateReceived;
        PWSTR lpszConversationID;
        FLAGS flFlags;
        MapiRecipDescW *lpOriginator;
        ULONG nRecipCount;
        MapiRecipDescW *lpRecips;
        ULONG nFileCount;
        MapiFileDescW *lpFiles;
    };

    using SendMailW = ULONG(WINAPI *)(LHANDLE, ULONG_PTR, MapiMessageW *, FLAGS, ULONG);

    MapiMail::Result resultOf(ULONG code)
    {
        // The user closing the mail program's window unsent is the user's
        // choice, not a failure to hand the message over.
        if (code == SUCCESS_SUCCESS || code == MAPI_E_USER_ABORT)
            return MapiMail::Result::Sent;
        return MapiMail::Result::Failed;
    }

    PWSTR wide(std::wstring &text)
    {
        return text.empty() ? nullptr : text.data();
    }
}

MapiMail::Result MapiMail::send(const QString &body, const QString &attachment)
{
    // MAPI32.DLL from the system folder only, never from the current one.
    HMODULE mapi = ::LoadLibraryExW(L"MAPI32.DLL", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!mapi)
        return Result::Unavailable;
    Result result = Result::Unavailable;
    std::wstring text = body.toStdWString();
    const QString native = QDir::toNativeSeparators(QFileInfo(attachment).absoluteFilePath());
    std::wstring path = attachment.isEmpty() ? std::wstring() : native.toStdWString();
    std::wstring name = attachment.isEmpty() ? std::wstring() : QFileInfo(attachment).fileName().toStdWString();
    const FLAGS flags = MAPI_LOGON_UI | MAPI_DIALOG;

    if (auto sendW = reinterpret_cast<SendMailW>(reinterpret_cast<void *>(::GetProcAddress(mapi, "MAPISendMailW")))) {
        MapiFileDescW file{};
        file.nPosition = ULONG(-1);
        file.lpszPathName = wide(path);
        file.lpszFileName = wide(name);
        MapiMessageW message{};
        message.lpszNoteText = wide(text);
        if (!path.empty()) {
            message.nFileCount = 1;
            message.lpFiles = &file;
        }
        result = resultOf(sendW(0, 0, &message, flags, 0));
    } else if (auto sendA =
                   reinterpret_cast<LPMAPISENDMAIL>(reinterpret_cast<void *>(::GetProcAddress(mapi, "MAPISendMail")))) {
        // Older systems: texts in the system's own code page.
        QByteArray text8 = body.toLocal8Bit();
        QByteArray path8 = native.toLocal8Bit();
        QByteArray name8 = QFileInfo(attachment).fileName().toLocal8Bit();
        MapiFileDesc file{};
        file.nPosition = ULONG(-1);
        file.lpszPathName = path8.data();
        file.lpszFileName = name8.data();
        MapiMessage message{};
        message.lpszNoteText = text8.data();
        if (!attachment.isEmpty()) {
            message.nFileCount = 1;
            message.lpFiles = &file;
        }
        result = resultOf(sendA(0, 0, &message, flags, 0));
    }
    ::FreeLibrary(mapi);
    return result;
}

#else

MapiMail::Result MapiMail::send(const QString &, const QString &)
{
    return Result::Unavailable;
}

#endif
