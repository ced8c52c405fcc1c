#include "KeyPictures.h"

#include <QFont>
#include <QPainter>
#include <QPolygonF>

QPixmap KeyPictures::draw(Symbol symbol)
{
    constexpr int size = 37;
    QPixmap pixmap(size, size);
    pixmap.fill(symbol == Symbol::Go ? QColor(0, 192, 0) : QColor(192, 192, 192));

    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    switch (symbol) {
    case Symbol::Up:
        p.drawPolygon(QPolygonF({QPointF(18.5, 8), QPointF(30, 28), QPointF(7, 28)}));
        break;
    case Symbol::Down:
        p.drawPolygon(QPolygonF({QPointF(7, 9), QPointF(30, 9), QPointF(18.5, 29)}));
        break;
    case Symbol::LeftRight:
        p.drawPolygon(QPolygonF({QPointF(4, 18.5), QPointF(16, 9), QPointF(16, 28)}));
        p.drawPolygon(QPolygonF({QPointF(33, 18.5), QPointF(21, 9), QPointF(21, 28)}));
        break;
    case Symbol::Go: {
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(15);
        font.setBold(true);
        p.setFont(font);
        p.setPen(Qt::black);
        p.drawText(QRect(0, 0, size, size), Qt::AlignCenter, QStringLiteral("GO"));
        break;
    }
    }
    return pixmap;
}
