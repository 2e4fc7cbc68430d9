#include "partkey.h"

#include "cp1251.h"

qint32 PartKey::code(QByteArrayView partNumber, QByteArrayView maker, int salt)
{
    quint32 h = 2166136261u ^ quint32(salt * 0x9E3779B9u);
    bool any = false;
    const auto mix = [&h, &any](QByteArrayView bytes, bool counts) {
        for (char c : bytes) {
            const unsigned char b = Cp1251::fold(static_cast<unsigned char>(c));
            if (b == ' ' || b == '-' || b == '.' || b == '/' || b == 0xA0)
                continue;
            any = any || counts;
            h = (h ^ b) * 16777619u;
        }
    };
    mix(partNumber, true);
    if (!any)
        return 0;
    h = (h ^ 0x1f) * 16777619u;
    mix(maker, false);
    // Away from the small numbers a supplier's own codes use.
    return qint32(1000000000u + h % 1000000000u);
}

qint32 PartKey::code(const QString &partNumber, const QString &maker, int salt)
{
    return code(QByteArrayView(Cp1251::encode(partNumber)), QByteArrayView(Cp1251::encode(maker)), salt);
}

bool PartKey::isMadeUp(qint64 code, const QString &partNumber, const QString &maker)
{
    if (code < LowestMadeUp)
        return false;
    const QByteArray part = Cp1251::encode(partNumber);
    const QByteArray by = Cp1251::encode(maker);
    for (int salt = 0; salt < Salts; ++salt) {
        if (PartKey::code(QByteArrayView(part), QByteArrayView(by), salt) == code)
            return true;
    }
    return false;
}
