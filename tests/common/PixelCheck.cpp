#include "PixelCheck.h"

namespace pixels {

bool near(const QColor& c, const QColor& expected, int tolerance)
{
    return qAbs(c.red() - expected.red()) <= tolerance && qAbs(c.green() - expected.green()) <= tolerance
        && qAbs(c.blue() - expected.blue()) <= tolerance;
}

QString describe(const QColor& c)
{
    return QStringLiteral("(%1, %2, %3)").arg(c.red()).arg(c.green()).arg(c.blue());
}

double meanDifference(const QImage& a, const QImage& b)
{
    const QImage x = a.convertToFormat(QImage::Format_RGB32), y = b.convertToFormat(QImage::Format_RGB32);
    double sum = 0;
    for (int row = 0; row < x.height(); ++row)
        for (int col = 0; col < x.width(); ++col) {
            const QRgb p = x.pixel(col, row), q = y.pixel(col, row);
            sum += qAbs(qRed(p) - qRed(q)) + qAbs(qGreen(p) - qGreen(q)) + qAbs(qBlue(p) - qBlue(q));
        }
    return sum / (x.width() * x.height() * 3.0);
}

QString differenceFromPicture(
    const QImage& shown, const QRect& area, const QImage& picture, QPoint origin, int tolerance)
{
    if (!shown.rect().contains(area))
        return QStringLiteral("the area (%1, %2) %3 x %4 lies outside the grabbed %5 x %6")
            .arg(area.x())
            .arg(area.y())
            .arg(area.width())
            .arg(area.height())
            .arg(shown.width())
            .arg(shown.height());
    if (!picture.rect().contains(area.translated(-origin)))
        return QStringLiteral("the area reaches outside the picture");
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor is = shown.pixelColor(x, y), should = picture.pixelColor(QPoint(x, y) - origin);
            if (!near(is, should, tolerance))
                return QStringLiteral("(%1, %2) is %3, the picture's (%4, %5) is %6")
                    .arg(x)
                    .arg(y)
                    .arg(describe(is))
                    .arg(x - origin.x())
                    .arg(y - origin.y())
                    .arg(describe(should));
        }
    return {};
}

QString differenceFromColour(const QImage& shown, const QRect& area, const QColor& colour, int tolerance)
{
    if (!shown.rect().contains(area))
        return QStringLiteral("the area lies outside the grabbed %1 x %2").arg(shown.width()).arg(shown.height());
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor is = shown.pixelColor(x, y);
            if (!near(is, colour, tolerance))
                return QStringLiteral("(%1, %2) is %3, expected %4")
                    .arg(x)
                    .arg(y)
                    .arg(describe(is))
                    .arg(describe(colour));
        }
    return {};
}

} // namespace pixels
