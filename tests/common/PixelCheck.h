// Comparing what a window shows with the pictures it is made of: colours
// within a tolerance per channel, and the first point where an area of a
// grabbed window differs from a picture or from one flat colour.
#pragma once

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>

namespace pixels {

// Each channel of c within tolerance of expected's.
bool near(const QColor& c, const QColor& expected, int tolerance);

// "(r, g, b)".
QString describe(const QColor& c);

// Mean difference per channel between two pictures of one size.
double meanDifference(const QImage& a, const QImage& b);

// Empty when every pixel of area in shown lies within tolerance of the
// picture's pixel at the same place relative to origin (where the picture's
// top-left corner is drawn in shown); otherwise the first one that does not.
QString differenceFromPicture(
    const QImage& shown, const QRect& area, const QImage& picture, QPoint origin, int tolerance = 1);

// Empty when every pixel of area lies within tolerance of colour; otherwise
// the first one that does not.
QString differenceFromColour(const QImage& shown, const QRect& area, const QColor& colour, int tolerance = 1);

} // namespace pixels
