#include "portablename.h"

#include <QStringList>

namespace PortableName
{
    bool isDeviceName(const QString &part)
    {
        const QString stem = part.section(QLatin1Char('.'), 0, 0).trimmed().toUpper();
        static const QStringList devices = {QStringLiteral("CON"), QStringLiteral("PRN"),    QStringLiteral("AUX"),
                                            QStringLiteral("NUL"), QStringLiteral("CONIN$"), QStringLiteral("CONOUT$")};
        if (devices.contains(stem))
            return true;
        return stem.size() == 4 && (stem.startsWith(QLatin1String("COM")) || stem.startsWith(QLatin1String("LPT")))
            && stem.at(3) >= QLatin1Char('0') && stem.at(3) <= QLatin1Char('9');
    }

    bool isPortablePart(const QString &part)
    {
        if (part.isEmpty() || isDeviceName(part))
            return false;
        if (part.endsWith(QLatin1Char('.')) || part.endsWith(QLatin1Char(' ')))
            return false;
        for (const QChar c : part) {
            if (c.unicode() < 0x20 || QStringView(u"<>:\"|?*/\\").contains(c))
                return false;
        }
        return true;
    }
}
