#pragma once

#include <QPixmap>

// The symbols laid over four keys of the emulated keypad, 37 x 37 pixels:
// black up, down and left-right triangles on grey, and GO on green.
class KeyPictures {
public:
    enum class Symbol { Up, Down, LeftRight, Go };
    static QPixmap draw(Symbol symbol);
};
