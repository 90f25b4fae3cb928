#include "shell/ProgramIcon.h"

#include <QPainter>
#include <QPainterPath>

QPixmap programIconPixmap(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);

    // Roof and walls.
    QPainterPath roof;
    roof.moveTo(4, 30);
    roof.lineTo(32, 6);
    roof.lineTo(60, 30);
    roof.closeSubpath();
    p.setPen(QPen(QColor(120, 30, 20), 2));
    p.setBrush(QColor(200, 60, 40));
    p.drawPath(roof);
    p.setPen(QPen(QColor(60, 60, 70), 2));
    p.setBrush(QColor(235, 225, 200));
    p.drawRect(QRectF(10, 30, 44, 30));

    // The recorder's screen with a pulse line across it.
    p.setBrush(QColor(20, 60, 40));
    p.drawRoundedRect(QRectF(16, 35, 32, 20), 3, 3);
    p.setPen(QPen(QColor(90, 255, 120), 2));
    p.setBrush(Qt::NoBrush);
    const QPointF pulse[] = {{18, 46}, {25, 46}, {28, 39}, {32, 52}, {36, 43}, {38, 46}, {46, 46}};
    p.drawPolyline(pulse, int(std::size(pulse)));
    return pixmap;
}

QIcon programIcon()
{
    QIcon icon;
    for (int size : {16, 32, 48, 64})
        icon.addPixmap(programIconPixmap(size));
    return icon;
}
