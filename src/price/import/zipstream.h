#pragma once

#include <functional>

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include "xmlscanner.h"

struct archive;
struct archive_entry;

// One walk through the members of a zip file (a workbook, an ods table),
// each member inflated block by block as it is read; members not read are
// skipped without inflating. A reader makes one walk for its small parts
// and one more for each sheet it streams.
//
// Damage, an encrypted member and a member that inflates too far (a "zip
// bomb") are thrown as OrdixError naming the file.
class ZipStream final
{
public:
    // How far one member may inflate: never past `maxMemberSize`, and, once
    // past `ratioFrom` bytes, never to more than `maxRatio` times the size
    // of the whole file.
    struct Limits
    {
        qint64 maxMemberSize = qint64(4) * 1024 * 1024 * 1024;
        qint64 ratioFrom = 8 * 1024 * 1024;
        qint64 maxRatio = 200;
    };

    enum class Signature
    {
        Zip,
        OleCompound, // an Excel 97-2003 book, or a password-protected xlsx
        Other
    };

    // What the file starts with; throws when it cannot be read or is empty.
    static Signature signature(const QString &path);

    ZipStream(const QString &path, const Limits &limits);
    ~ZipStream();
    ZipStream(const ZipStream &) = delete;
    ZipStream &operator=(const ZipStream &) = delete;

    // Moves to the next file in the archive; false after the last one.
    bool nextMember();
    // The current member's path as stored, with "/" separators and no
    // leading "/".
    const QString &memberName() const { return m_memberName; }
    // The current member's inflated size as its header gives it; -1 when
    // unknown.
    qint64 memberSize() const;
    // The bytes of the current member inflated so far.
    qint64 inflated() const { return m_inflated; }
    // Inflates the current member and hands it over block by block until
    // its end or until `onBlock` returns false (the rest is not inflated).
    void readMember(const std::function<bool(QByteArrayView)> &onBlock);
    // As readMember(), with the member inflated on a thread of its own
    // ahead of `onBlock` (on the calling thread), where there are two cores.
    void readMemberAhead(const std::function<bool(QByteArrayView)> &onBlock);
    // The whole current member; throws when it is longer than `maxSize`.
    QByteArray readAll(qint64 maxSize);
    // Streams the current member through `scanner`, handing each token to
    // `handle` (bool(XmlScanner::Token)) until the end of the member or
    // until it returns false.
    template<typename Handle>
    void scanMember(XmlScanner &scanner, Handle &&handle)
    {
        scanner.reset();
        bool more = true;
        readMember([&](QByteArrayView block) {
            more = feed(scanner, block, false, handle);
            return more;
        });
        if (more)
            feed(scanner, {}, true, handle);
    }
    // Feeds `data` of the current member to `scanner` (and, when `last`,
    // the member's end) and hands each token that completes to `handle`
    // (bool(XmlScanner::Token)); false when `handle` returned false. Text
    // that is no XML is thrown as damage of the member.
    template<typename Handle>
    bool feed(XmlScanner &scanner, QByteArrayView data, bool last, Handle &&handle)
    {
        scanner.feed(data);
        if (last)
            scanner.finish();
        for (;;) {
            const XmlScanner::Token token = scanner.next();
            if (token == XmlScanner::Token::NeedData)
                return true;
            if (token == XmlScanner::Token::Invalid)
                damaged(QStringLiteral("часть «%1» не читается как XML").arg(m_memberName));
            if (!handle(token))
                return false;
        }
    }

    // "Файл X повреждён: what", for the readers' own findings.
    [[noreturn]] void damaged(const QString &what) const;
    static QString displayName(const QString &path);

private:
    [[noreturn]] void fail() const;

    QString m_path;
    Limits m_limits;
    qint64 m_fileSize = 0;
    archive *m_archive = nullptr;
    archive_entry *m_entry = nullptr;
    QString m_memberName;
    qint64 m_inflated = 0;
};
