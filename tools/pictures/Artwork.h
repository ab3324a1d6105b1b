// The artwork of the program's pictures: one drawing routine per picture,
// drawing in the picture's own pixel units (0,0 to its width and height).
// The same routine draws the plain file and, under a doubled scale, the
// double-resolution one.
#pragma once

#include <QPainter>

namespace art {

// The flat colours and the seven-band border strip.
void darkBackground(QPainter& p);
void lightBackground(QPainter& p);
void borderStrip(QPainter& p);

// 752 × 102: the product's name over a light-blue band with the town's
// skyline, "телефонный справочник" in outline letters on navy, the maker's
// tab in the upper right corner.
void topBanner(QPainter& p);

// 640 × 100: the maker's name in brush letters over a snow-capped mountain
// under a night sky, the maker's title along the bottom edge.
void bottomBanner(QPainter& p);

// 468 × 60: a bus, the timetable heading with the help-desk number and a
// slogan on a blue strip, an electric train.
void busBanner(QPainter& p);

// 89 × 110: the mascot, a squirrel, with an open laptop on sky blue.
void mascot(QPainter& p);
// 32 × 32: the same squirrel standing, on a transparent ground.
void icon(QPainter& p);

// 244 × 98: seven lines of credits.
void credits(QPainter& p);
// 195 × 30: the product's name.
void namePlate(QPainter& p);

} // namespace art
