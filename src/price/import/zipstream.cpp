#include "zipstream.h"

#include <cstring>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <archive.h>
#include <archive_entry.h>

#include "ordixerror.h"
#include "pipeline.h"

namespace
{
    QString sizeText(qint64 bytes)
    {
        const qint64 mib = 1024 * 1024;
        if (bytes >= 1024 * mib)
            return QStringLiteral("%1 ГБ").arg(double(bytes) / double(1024 * mib), 0, 'f', 1);
        if (bytes >= mib)
            return QStringLiteral("%1 МБ").arg(bytes / mib);
        return QStringLiteral("%1 КБ").arg(qMax<qint64>(1, bytes / 1024));
    }
}

ZipStream::Signature ZipStream::signature(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw OrdixError(QStringLiteral("Невозможно открыть файл %1: %2").arg(displayName(path), file.errorString()));
    const QByteArray head = file.read(8);
    if (head.isEmpty())
        throw OrdixError(QStringLiteral("Файл %1 пуст").arg(displayName(path)));
    if (head.startsWith("PK\x03\x04") || head.startsWith("PK\x05\x06") || head.startsWith("PK\x07\x08"))
        return Signature::Zip;
    if (head == QByteArrayView("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"))
        return Signature::OleCompound;
    return Signature::Other;
}

QString ZipStream::displayName(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

ZipStream::ZipStream(const QString &path, const Limits &limits)
    : m_path(path)
    , m_limits(limits)
    , m_fileSize(QFileInfo(path).size())
    , m_archive(archive_read_new())
{
    if (!m_archive)
        throw OrdixError(QStringLiteral("Недостаточно памяти для чтения файла %1").arg(displayName(path)));
    // Reads the central directory where there is one; a file cut short is
    // read from the local headers as far as it goes.
    archive_read_support_format_zip(m_archive);
    constexpr size_t BlockSize = 64 * 1024;
#ifdef Q_OS_WIN
    const int status =
        archive_read_open_filename_w(m_archive, reinterpret_cast<const wchar_t *>(path.utf16()), BlockSize);
#else
    const int status = archive_read_open_filename(m_archive, QFile::encodeName(path).constData(), BlockSize);
#endif
    if (status != ARCHIVE_OK) {
        const QString detail = QString::fromLocal8Bit(archive_error_string(m_archive));
        archive_read_free(m_archive);
        m_archive = nullptr;
        throw OrdixError(
            QStringLiteral("Файл %1 повреждён: архив zip не читается (%2)").arg(displayName(path), detail));
    }
}

ZipStream::~ZipStream()
{
    if (m_archive)
        archive_read_free(m_archive);
}

void ZipStream::fail() const
{
    const char *text = archive_error_string(m_archive);
    damaged(QStringLiteral("архив zip не читается (%1)")
                .arg(text ? QString::fromLocal8Bit(text) : QStringLiteral("неизвестная ошибка")));
}

void ZipStream::damaged(const QString &what) const
{
    throw OrdixError(QStringLiteral("Файл %1 повреждён: %2").arg(displayName(m_path), what));
}

bool ZipStream::nextMember()
{
    for (;;) {
        const int status = archive_read_next_header(m_archive, &m_entry);
        if (status == ARCHIVE_EOF) {
            m_entry = nullptr;
            m_memberName.clear();
            return false;
        }
        if (status < ARCHIVE_WARN)
            fail();
        if (archive_entry_filetype(m_entry) != AE_IFREG)
            continue;
        const char *utf8 = archive_entry_pathname_utf8(m_entry);
        const char *raw = utf8 ? utf8 : archive_entry_pathname(m_entry);
        m_memberName = utf8 ? QString::fromUtf8(utf8) : QString::fromLatin1(raw);
        m_memberName.replace(QLatin1Char('\\'), QLatin1Char('/'));
        while (m_memberName.startsWith(QLatin1Char('/')))
            m_memberName.remove(0, 1);
        return true;
    }
}

qint64 ZipStream::memberSize() const
{
    return m_entry && archive_entry_size_is_set(m_entry) ? qint64(archive_entry_size(m_entry)) : -1;
}

void ZipStream::readMember(const std::function<bool(QByteArrayView)> &onBlock)
{
    if (!m_entry)
        return;
    if (archive_entry_is_encrypted(m_entry)) {
        throw OrdixError(QStringLiteral("Файл %1 защищён паролем (зашифрована часть «%2»): откройте его там, где он "
                                        "создан, снимите пароль и сохраните снова")
                             .arg(displayName(m_path), m_memberName));
    }
    qint64 total = 0;
    m_inflated = 0;
    for (;;) {
        const void *data = nullptr;
        size_t size = 0;
        la_int64_t offset = 0;
        const int status = archive_read_data_block(m_archive, &data, &size, &offset);
        if (status == ARCHIVE_EOF)
            return;
        if (status < ARCHIVE_WARN)
            fail();
        if (size == 0)
            continue;
        total += qint64(size);
        m_inflated = total;
        if (total > m_limits.maxMemberSize) {
            throw OrdixError(QStringLiteral("Файл %1 не прочитан: часть «%2» распаковывается больше чем в %3 — "
                                            "это «zip-бомба» или повреждённый архив")
                                 .arg(displayName(m_path), m_memberName, sizeText(m_limits.maxMemberSize)));
        }
        if (total > m_limits.ratioFrom && total / qMax<qint64>(1, m_fileSize) > m_limits.maxRatio) {
            throw OrdixError(
                QStringLiteral("Файл %1 не прочитан: часть «%2» распаковывается больше чем в %3 раз "
                               "от размера файла (%4) — это «zip-бомба» или повреждённый архив")
                    .arg(displayName(m_path), m_memberName, QString::number(m_limits.maxRatio), sizeText(m_fileSize)));
        }
        if (!onBlock(QByteArrayView(static_cast<const char *>(data), qsizetype(size))))
            return;
    }
}

void ZipStream::readMemberAhead(const std::function<bool(QByteArrayView)> &onBlock)
{
    if (QThread::idealThreadCount() < 2) {
        readMember(onBlock);
        return;
    }
    // The member is inflated on one core while the other reads its blocks;
    // the blocks' memory goes round.
    Pipeline::run<QByteArray>(
        [this](const std::function<bool(QByteArray &)> &hand) {
            QByteArray copy;
            readMember([&](QByteArrayView block) {
                copy.resize(block.size());
                if (!block.isEmpty())
                    std::memcpy(copy.data(), block.data(), size_t(block.size()));
                return hand(copy);
            });
        },
        [&onBlock](QByteArray &block) { return onBlock(block); }, 16);
}

QByteArray ZipStream::readAll(qint64 maxSize)
{
    QByteArray bytes;
    readMember([&](QByteArrayView block) {
        if (bytes.size() + block.size() > maxSize)
            damaged(QStringLiteral("часть «%1» слишком велика").arg(m_memberName));
        bytes.append(block);
        return true;
    });
    return bytes;
}
