#include "availableicons.h"

#include <QPainter>
#include <QPainterPath>

namespace
{
    const QColor Outline(0x55, 0x55, 0x55);
    const QColor ExclamationBlue(0x15, 0x4f, 0xc8);

    QPixmap blank()
    {
        QPixmap pixmap(AvailableIcons::Size, AvailableIcons::Size);
        pixmap.fill(Qt::transparent);
        return pixmap;
    }

    // A sheet of paper with its top right corner folded.
    QPixmap sheet(const QColor &fill, bool exclamation)
    {
        QPixmap pixmap = blank();
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath page;
        page.moveTo(3.5, 1.5);
        page.lineTo(11.5, 1.5);
        page.lineTo(15.5, 5.5);
        page.lineTo(15.5, 16.5);
        page.lineTo(3.5, 16.5);
        page.closeSubpath();
        p.setPen(QPen(Outline, 1));
        p.setBrush(fill);
        p.drawPath(page);

        QPainterPath fold;
        fold.moveTo(11.5, 1.5);
        fold.lineTo(11.5, 5.5);
        fold.lineTo(15.5, 5.5);
        fold.closeSubpath();
        p.setBrush(fill.lighter(130));
        p.drawPath(fold);

        if (exclamation) {
            p.setPen(Qt::NoPen);
            p.setBrush(ExclamationBlue);
            p.drawRoundedRect(QRectF(8.0, 5.0, 2.6, 7.0), 1.0, 1.0);
            p.drawEllipse(QRectF(8.0, 12.8, 2.6, 2.6));
        }
        return pixmap;
    }

    QPixmap tick()
    {
        QPixmap pixmap = blank();
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        const QPointF points[] = {{3.5, 9.5}, {7.5, 14.0}, {16.0, 3.5}};
        p.setPen(QPen(QColor(0xff, 0xff, 0xff, 200), 4.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(points, 3);
        p.setPen(QPen(QColor(0x1b, 0x9e, 0x2e), 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(points, 3);
        return pixmap;
    }

    QPixmap arrow(bool up, const QColor &colour)
    {
        QPixmap pixmap = blank();
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath path;
        if (up) {
            path.moveTo(9.0, 2.0);
            path.lineTo(15.0, 9.0);
            path.lineTo(11.0, 9.0);
            path.lineTo(11.0, 16.0);
            path.lineTo(7.0, 16.0);
            path.lineTo(7.0, 9.0);
            path.lineTo(3.0, 9.0);
        } else {
            path.moveTo(9.0, 16.0);
            path.lineTo(15.0, 9.0);
            path.lineTo(11.0, 9.0);
            path.lineTo(11.0, 2.0);
            path.lineTo(7.0, 2.0);
            path.lineTo(7.0, 9.0);
            path.lineTo(3.0, 9.0);
        }
        path.closeSubpath();
        p.setPen(QPen(colour.darker(140), 1));
        p.setBrush(colour);
        p.drawPath(path);
        return pixmap;
    }
}

const QList<QPixmap> &AvailableIcons::all()
{
    static const QList<QPixmap> icons{
        sheet(QColor(0xe5, 0x39, 0x35), false), // not in stock
        sheet(Qt::white, false),                // in stock
        sheet(Qt::white, true),                 // new and in stock
        sheet(QColor(0xfb, 0xd8, 0x35), false), // expected
        sheet(QColor(0xfb, 0xd8, 0x35), true),  // new and expected
        tick(),                                 // in the order
        arrow(false, QColor(0x2e, 0xa0, 0x43)), // price went down
        arrow(true, QColor(0xd3, 0x2f, 0x2f)),  // price went up
    };
    return icons;
}

QPixmap AvailableIcons::pixmap(int index)
{
    if (index < 0 || index >= Count)
        return QPixmap();
    return all().at(index);
}
