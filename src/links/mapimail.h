#pragma once

#include <QString>

// The Windows mail interface (Simple MAPI in MAPI32.DLL): hands a new
// message to the user's default mail program, which shows it for the user to
// address and send. Elsewhere, and where no mail program has registered the
// interface, it is not available.
namespace MapiMail
{
    enum class Result
    {
        Sent,        // the mail program took the message (or the user closed it)
        Failed,      // the mail program refused it
        Unavailable, // no Simple MAPI here: use another way
    };

    // `body` as the message text, `attachment` (a full path, may be empty)
    // as its one attached file.
    Result send(const QString &body, const QString &attachment);
}
