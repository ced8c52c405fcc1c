#pragma once

// Window geometry is given in twips (1/1440 inch); the program uses 15
// twips per pixel.
constexpr int twips(int t) { return t / 15; }
