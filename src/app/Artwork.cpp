#include "Artwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace {

// A glowing sample well: the luminometer's measuring chamber.
void drawWell(QPainter &p, QPointF centre, qreal radius)
{
    QRadialGradient glow(centre, radius);
    glow.setColorAt(0.0, QColor(255, 255, 210));
    glow.setColorAt(0.35, QColor(120, 230, 140));
    glow.setColorAt(1.0, QColor(20, 70, 60, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawEllipse(centre, radius, radius);
    p.setPen(QPen(QColor(230, 240, 235), radius / 10));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(centre, radius * 0.45, radius * 0.45);
}

} // namespace

QPixmap Artwork::businessCard()
{
    QPixmap pix(350, 200);
    QPainter p(&pix);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient bg(0, 0, 350, 200);
    bg.setColorAt(0, QColor(18, 52, 72));
    bg.setColorAt(1, QColor(12, 94, 88));
    p.fillRect(pix.rect(), bg);

    // A trace of readings across the card.
    QPainterPath trace;
    trace.moveTo(20, 160);
    const int values[] = {150, 152, 140, 120, 90, 70, 78, 110, 135, 148, 151, 149, 150};
    for (int i = 0; i < 13; ++i)
        trace.lineTo(20 + i * 25, values[i]);
    p.setPen(QPen(QColor(140, 230, 170, 170), 2));
    p.drawPath(trace);

    drawWell(p, QPointF(290, 62), 42);

    p.setPen(Qt::white);
    QFont title("Sans", 26, QFont::Bold);
    p.setFont(title);
    p.drawText(QRect(22, 26, 230, 44), Qt::AlignLeft | Qt::AlignVCenter, "Halvern");
    QFont sub("Sans", 10);
    p.setFont(sub);
    p.setPen(QColor(200, 225, 220));
    p.drawText(QRect(24, 70, 240, 20), Qt::AlignLeft, "Instrument data to spreadsheet");
    p.drawText(QRect(24, 176, 300, 18), Qt::AlignLeft, "Quentaro Works");
    return pix;
}

QIcon Artwork::appIcon()
{
    QPixmap pix(64, 64);
    pix.fill(Qt::transparent);
    QPainter p(&pix);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(18, 52, 72));
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
    drawWell(p, QPointF(32, 32), 24);
    return QIcon(pix);
}

QPixmap Artwork::comPortIcon()
{
    QPixmap pix(32, 24);
    pix.fill(Qt::transparent);
    QPainter p(&pix);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath shell;
    shell.moveTo(2, 4);
    shell.lineTo(30, 4);
    shell.lineTo(26, 20);
    shell.lineTo(6, 20);
    shell.closeSubpath();
    p.setPen(QPen(QColor(60, 60, 60), 1.5));
    p.setBrush(QColor(170, 175, 185));
    p.drawPath(shell);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 40, 40));
    for (int i = 0; i < 5; ++i)
        p.drawEllipse(QPointF(7 + i * 4.5, 9), 1.3, 1.3);
    for (int i = 0; i < 4; ++i)
        p.drawEllipse(QPointF(9.25 + i * 4.5, 15), 1.3, 1.3);
    return pix;
}

QPixmap Artwork::excelIcon()
{
    QPixmap pix(24, 24);
    pix.fill(Qt::transparent);
    QPainter p(&pix);
    p.setPen(QColor(30, 100, 60));
    p.setBrush(Qt::white);
    p.drawRect(2, 2, 19, 19);
    p.fillRect(3, 3, 18, 4, QColor(60, 150, 90));
    for (int x = 8; x < 21; x += 6)
        p.drawLine(x, 3, x, 21);
    for (int y = 7; y < 21; y += 5)
        p.drawLine(3, y, 21, y);
    return pix;
}
