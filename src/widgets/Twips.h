#pragma once

// Window geometry is designed in twips (1/1440 inch); the screen has 15
// twips to the pixel. Rounds to the nearest pixel.
constexpr int twips(int t) { return t >= 0 ? (t + 7) / 15 : -((-t + 7) / 15); }
