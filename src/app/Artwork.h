#pragma once

#include <QIcon>
#include <QPixmap>

// The program's pictures, drawn in code: the About box's business card, the
// window icon and the two status icons of the main window.
class Artwork {
public:
    static QPixmap businessCard(); // 350 x 200
    static QIcon appIcon();
    static QPixmap comPortIcon(); // a serial connector
    static QPixmap excelIcon();   // a small grid
};
