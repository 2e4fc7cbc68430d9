#include "compoundfile.h"

#include <cstring>
#include <vector>

#include <QDir>
#include <QtEndian>

#include "ordixerror.h"

namespace
{
    constexpr quint32 EndOfChain = 0xFFFFFFFE;
    constexpr quint32 NoEntry = 0xFFFFFFFF;
    // Sector numbers from here up mark special sectors, not data.
    constexpr quint32 MaxRegularSector = 0xFFFFFFFA;
    constexpr int HeaderDifatEntries = 109;
    constexpr int EntrySize = 128;
    constexpr int MiniSectorSize = 64;

    constexpr quint8 StorageEntry = 1;
    constexpr quint8 StreamEntry = 2;
    constexpr quint8 RootEntry = 5;

    constexpr unsigned char Signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

    quint16 u16(const char *p)
    {
        return qFromLittleEndian<quint16>(p);
    }

    quint32 u32(const char *p)
    {
        return qFromLittleEndian<quint32>(p);
    }

    quint64 u64(const char *p)
    {
        return qFromLittleEndian<quint64>(p);
    }
}

bool CompoundFile::hasSignature(QByteArrayView firstBytes)
{
    return firstBytes.size() >= qsizetype(sizeof(Signature))
        && std::memcmp(firstBytes.data(), Signature, sizeof(Signature)) == 0;
}

CompoundFile::CompoundFile(const QByteArray &bytes, const QString &fileName)
    : m_bytes(bytes)
    , m_fileName(fileName)
{
    if (m_bytes.size() < 512 || !hasSignature(m_bytes))
        damaged();
    const char *header = m_bytes.constData();
    if (u16(header + 28) != 0xFFFE)
        damaged();
    m_sectorShift = u16(header + 30);
    if ((m_sectorShift != 9 && m_sectorShift != 12) || u16(header + 32) != 6)
        damaged();
    const qsizetype sectorSize = qsizetype(1) << m_sectorShift;
    if (m_bytes.size() <= sectorSize)
        damaged();
    // The last sector may be cut short; it counts, and reads as zeros past
    // the file's end.
    m_sectorCount = quint32(qMin<qsizetype>((m_bytes.size() - 1) / sectorSize, MaxRegularSector));
    m_miniCutoff = u32(header + 56);
    m_firstMiniFat = u32(header + 60);

    readFat(u32(header + 44), u32(header + 68));
    readDirectory(u32(header + 48));
}

void CompoundFile::damaged() const
{
    throw OrdixError(QStringLiteral("Файл %1 повреждён: его внутренняя структура нарушена, прочитать его нельзя")
                         .arg(QDir::toNativeSeparators(m_fileName)));
}

qsizetype CompoundFile::sectorOffset(quint32 sector) const
{
    if (sector >= m_sectorCount)
        damaged();
    return (qsizetype(sector) + 1) << m_sectorShift;
}

QByteArray CompoundFile::sectorBytes(quint32 sector) const
{
    const qsizetype offset = sectorOffset(sector);
    const qsizetype size = qsizetype(1) << m_sectorShift;
    QByteArray out = m_bytes.mid(offset, size);
    if (out.size() < size)
        out.append(size - out.size(), '\0');
    return out;
}

QList<quint32> CompoundFile::chain(const QList<quint32> &table, quint32 start, quint32 limit, qsizetype maxLength) const
{
    QList<quint32> sectors;
    std::vector<bool> seen(limit, false);
    quint32 sector = start;
    while (sector != EndOfChain && sectors.size() < maxLength) {
        if (sector >= limit || sector >= quint32(table.size()) || seen[sector])
            damaged();
        seen[sector] = true;
        sectors.append(sector);
        sector = table.at(sector);
    }
    return sectors;
}

void CompoundFile::readFat(quint32 fatSectors, quint32 firstDifat)
{
    if (fatSectors == 0 || fatSectors > m_sectorCount)
        damaged();
    const char *header = m_bytes.constData();
    QList<quint32> fatSectorList;
    for (int i = 0; i < HeaderDifatEntries && quint32(fatSectorList.size()) < fatSectors; ++i) {
        const quint32 sector = u32(header + 76 + 4 * i);
        if (sector > MaxRegularSector)
            break;
        fatSectorList.append(sector);
    }
    // The rest of the list is in a chain of its own sectors, each ending
    // with the number of the next.
    const int perDifatSector = (1 << m_sectorShift) / 4 - 1;
    std::vector<bool> seen(m_sectorCount, false);
    quint32 difat = firstDifat;
    while (quint32(fatSectorList.size()) < fatSectors && difat <= MaxRegularSector) {
        if (difat >= m_sectorCount || seen[difat])
            damaged();
        seen[difat] = true;
        const QByteArray block = sectorBytes(difat);
        const char *p = block.constData();
        for (int i = 0; i < perDifatSector && quint32(fatSectorList.size()) < fatSectors; ++i) {
            const quint32 sector = u32(p + 4 * i);
            if (sector > MaxRegularSector)
                break;
            fatSectorList.append(sector);
        }
        difat = u32(p + 4 * perDifatSector);
    }
    if (fatSectorList.isEmpty())
        damaged();

    const int perSector = (1 << m_sectorShift) / 4;
    m_fat.reserve(fatSectorList.size() * perSector);
    for (quint32 sector : std::as_const(fatSectorList)) {
        const QByteArray block = sectorBytes(sector);
        for (int i = 0; i < perSector; ++i)
            m_fat.append(u32(block.constData() + 4 * i));
    }
}

QByteArray CompoundFile::readChain(quint32 start, quint64 size) const
{
    if (size > quint64(m_bytes.size()))
        damaged();
    const qsizetype sectorSize = qsizetype(1) << m_sectorShift;
    const qsizetype needed = qsizetype((size + sectorSize - 1) >> m_sectorShift);
    const QList<quint32> sectors = chain(m_fat, start, m_sectorCount, needed);
    if (sectors.size() < needed)
        damaged();
    QByteArray out;
    out.reserve(qsizetype(size));
    for (quint32 sector : sectors) {
        const qsizetype take = qMin<qsizetype>(sectorSize, qsizetype(size) - out.size());
        const qsizetype offset = sectorOffset(sector);
        const qsizetype present = qBound<qsizetype>(0, m_bytes.size() - offset, take);
        out.append(m_bytes.constData() + offset, present);
        if (present < take)
            out.append(take - present, '\0');
    }
    return out;
}

QByteArray CompoundFile::readMiniChain(quint32 start, quint64 size) const
{
    if (!m_miniLoaded) {
        const Entry &root = m_entries.first();
        m_miniStream = readChain(root.start, root.size);
        const QList<quint32> sectors = m_firstMiniFat > MaxRegularSector
            ? QList<quint32>()
            : chain(m_fat, m_firstMiniFat, m_sectorCount, m_sectorCount);
        const int perSector = (1 << m_sectorShift) / 4;
        for (quint32 sector : sectors) {
            const QByteArray block = sectorBytes(sector);
            for (int i = 0; i < perSector; ++i)
                m_miniFat.append(u32(block.constData() + 4 * i));
        }
        m_miniLoaded = true;
    }
    if (size > quint64(m_miniStream.size()))
        damaged();
    const qsizetype needed = qsizetype((size + MiniSectorSize - 1) / MiniSectorSize);
    const QList<quint32> sectors = chain(m_miniFat, start, quint32(m_miniStream.size() / MiniSectorSize), needed);
    if (sectors.size() < needed)
        damaged();
    QByteArray out;
    out.reserve(qsizetype(size));
    for (quint32 sector : sectors) {
        const qsizetype take = qMin<qsizetype>(MiniSectorSize, qsizetype(size) - out.size());
        out.append(m_miniStream.constData() + qsizetype(sector) * MiniSectorSize, take);
    }
    return out;
}

void CompoundFile::readDirectory(quint32 firstSector)
{
    const QList<quint32> sectors = chain(m_fat, firstSector, m_sectorCount, m_sectorCount);
    const int perSector = (1 << m_sectorShift) / EntrySize;
    for (quint32 sector : sectors) {
        const QByteArray block = sectorBytes(sector);
        for (int i = 0; i < perSector; ++i) {
            const char *p = block.constData() + i * EntrySize;
            Entry entry;
            const int nameBytes = qBound(0, int(u16(p + 64)), 64);
            const int chars = qMax(0, nameBytes / 2 - 1);
            entry.name.resize(chars);
            for (int c = 0; c < chars; ++c)
                entry.name[c] = QChar(u16(p + 2 * c));
            entry.type = quint8(p[66]);
            entry.left = u32(p + 68);
            entry.right = u32(p + 72);
            entry.child = u32(p + 76);
            entry.start = u32(p + 116);
            // Files with small sectors keep only 32 bits of the size; the
            // upper half may hold anything.
            entry.size = m_sectorShift == 9 ? u32(p + 120) : u64(p + 120);
            m_entries.append(entry);
        }
    }
    if (m_entries.isEmpty() || m_entries.first().type != RootEntry)
        damaged();
}

QList<int> CompoundFile::topLevelEntries() const
{
    // The entries of a storage form a tree under its `child`; walk it
    // without trusting it to be one.
    QList<int> found;
    std::vector<bool> seen(m_entries.size(), false);
    QList<quint32> pending{m_entries.first().child};
    while (!pending.isEmpty()) {
        const quint32 index = pending.takeLast();
        if (index == NoEntry || index >= quint32(m_entries.size()) || seen[index])
            continue;
        seen[index] = true;
        const Entry &entry = m_entries.at(index);
        if (entry.type == StreamEntry || entry.type == StorageEntry)
            found.append(int(index));
        pending.append(entry.left);
        pending.append(entry.right);
    }
    return found;
}

const CompoundFile::Entry *CompoundFile::findStream(const QString &name) const
{
    for (int index : topLevelEntries()) {
        const Entry &entry = m_entries.at(index);
        if (entry.type == StreamEntry && entry.name.compare(name, Qt::CaseInsensitive) == 0)
            return &entry;
    }
    return nullptr;
}

QStringList CompoundFile::streamNames() const
{
    QStringList names;
    for (int index : topLevelEntries()) {
        if (m_entries.at(index).type == StreamEntry)
            names.append(m_entries.at(index).name);
    }
    return names;
}

bool CompoundFile::hasStream(const QString &name) const
{
    return findStream(name) != nullptr;
}

QByteArray CompoundFile::readStream(const QString &name) const
{
    const Entry *entry = findStream(name);
    if (!entry)
        damaged();
    if (entry->size < m_miniCutoff)
        return readMiniChain(entry->start, entry->size);
    return readChain(entry->start, entry->size);
}
