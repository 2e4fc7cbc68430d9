#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

// The container of Office 97–2003 files (a workbook's .xls among them): a
// small file system of sectors held in one file, whose streams are found by
// name. The file is taken whole into memory; every sector number, chain
// and size it declares is checked against the file's real size, so a
// damaged file gives an OrdixError rather than a hang or a crash.
class CompoundFile final
{
public:
    // The eight bytes every such file begins with.
    static bool hasSignature(QByteArrayView firstBytes);

    // `bytes` is the whole file; `fileName` names it in error messages.
    CompoundFile(const QByteArray &bytes, const QString &fileName);

    // Names of the streams at the top level of the file.
    QStringList streamNames() const;
    bool hasStream(const QString &name) const;
    // The contents of a top-level stream (names compare without regard to
    // case). Throws OrdixError when there is no such stream or its sectors
    // are damaged.
    QByteArray readStream(const QString &name) const;

private:
    struct Entry
    {
        QString name;
        quint8 type = 0;
        quint32 left = 0;
        quint32 right = 0;
        quint32 child = 0;
        quint32 start = 0;
        quint64 size = 0;
    };

    [[noreturn]] void damaged() const;
    // The sectors of the chain from `start`, as many as `maxLength` at most
    // (when the chain is longer, the rest is not followed).
    QList<quint32> chain(const QList<quint32> &table, quint32 start, quint32 limit, qsizetype maxLength) const;
    QByteArray readChain(quint32 start, quint64 size) const;
    QByteArray readMiniChain(quint32 start, quint64 size) const;
    // Position of sector `sector` in the file; the sector may end past the
    // file's end when it is the file's last one (read as zeros there).
    qsizetype sectorOffset(quint32 sector) const;
    QByteArray sectorBytes(quint32 sector) const;
    void readFat(quint32 fatSectors, quint32 firstDifat);
    void readDirectory(quint32 firstSector);
    QList<int> topLevelEntries() const;
    const Entry *findStream(const QString &name) const;

    QByteArray m_bytes;
    QString m_fileName;
    int m_sectorShift = 9;
    quint32 m_sectorCount = 0;
    quint32 m_miniCutoff = 4096;
    quint32 m_firstMiniFat = 0;
    QList<quint32> m_fat;
    QList<Entry> m_entries;
    // Filled on the first read of a small stream.
    mutable bool m_miniLoaded = false;
    mutable QList<quint32> m_miniFat;
    mutable QByteArray m_miniStream;
};
