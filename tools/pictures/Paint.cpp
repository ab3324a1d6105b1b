#include "Paint.h"

#include <vector>

namespace art {

namespace {

// Text outlines are made at this size and scaled: fractional sizes, and no
// hinting that would differ between the plain and the double picture.
constexpr int outlineSize = 200;

// One box-blur pass along rows (horizontal) of 4-channel pixels.
void blurRows(const QImage& in, QImage& out, int radius)
{
    const int w = in.width();
    const int window = 2 * radius + 1;
    std::vector<int> sum(4);
    for (int y = 0; y < in.height(); ++y) {
        const auto* src = reinterpret_cast<const QRgb*>(in.constScanLine(y));
        auto* dst = reinterpret_cast<QRgb*>(out.scanLine(y));
        auto at = [&](int x) { return src[qBound(0, x, w - 1)]; };
        int a = 0, r = 0, g = 0, b = 0;
        for (int x = -radius; x <= radius; ++x) {
            const QRgb p = at(x);
            a += qAlpha(p), r += qRed(p), g += qGreen(p), b += qBlue(p);
        }
        for (int x = 0; x < w; ++x) {
            dst[x] = qRgba(r / window, g / window, b / window, a / window);
            const QRgb add = at(x + radius + 1), drop = at(x - radius);
            a += qAlpha(add) - qAlpha(drop);
            r += qRed(add) - qRed(drop);
            g += qGreen(add) - qGreen(drop);
            b += qBlue(add) - qBlue(drop);
        }
    }
}

QImage transposed(const QImage& image)
{
    return image.transformed(QTransform(0, 1, 1, 0, 0, 0));
}

} // namespace

QPainterPath textPath(Face face, qreal size, const QString& text, qreal spacing)
{
    QFont f = font(face, outlineSize);
    const qreal scale = size / outlineSize;
    if (spacing != 0)
        f.setLetterSpacing(QFont::AbsoluteSpacing, spacing / scale);
    QPainterPath path;
    path.addText(0, 0, f, text);
    return QTransform::fromScale(scale, scale).map(path);
}

QPainterPath centredAt(const QPainterPath& path, QPointF centre)
{
    return path.translated(centre - path.boundingRect().center());
}

QPainterPath atBaseline(const QPainterPath& path, qreal x, qreal y)
{
    return path.translated(x - path.boundingRect().left(), y);
}

QImage blurred(const QImage& image, int radius)
{
    if (radius <= 0)
        return image;
    QImage a = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QImage b = a;
    for (int pass = 0; pass < 3; ++pass) {
        blurRows(a, b, radius);
        a.swap(b);
    }
    a = transposed(a);
    b = a;
    for (int pass = 0; pass < 3; ++pass) {
        blurRows(a, b, radius);
        a.swap(b);
    }
    return transposed(a);
}

void softFill(QPainter& painter, const QPainterPath& path, const QColor& color, qreal radius)
{
    const QTransform t = painter.worldTransform();
    QPaintDevice* device = painter.device();
    QImage layer(device->width(), device->height(), QImage::Format_ARGB32_Premultiplied);
    layer.fill(Qt::transparent);
    {
        QPainter p(&layer);
        p.setRenderHint(QPainter::Antialiasing);
        p.setTransform(t);
        p.fillPath(path, color);
    }
    // A third of the radius per pass: three passes spread about as far.
    layer = blurred(layer, qMax(1, qRound(radius * t.m11() / 3)));
    painter.save();
    painter.resetTransform();
    painter.drawImage(0, 0, layer);
    painter.restore();
}

void grain(QPainter& painter, const QRectF& area, int strength, quint64 seed)
{
    const QRect device = painter.worldTransform().mapRect(area).toAlignedRect();
    QImage noise(device.size(), QImage::Format_ARGB32_Premultiplied);
    Random random(seed);
    for (int y = 0; y < noise.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(noise.scanLine(y));
        for (int x = 0; x < noise.width(); ++x) {
            const int alpha = int(random.uniform() * strength);
            line[x] = random.uniform() < 0.5 ? qPremultiply(qRgba(255, 255, 255, alpha)) : qRgba(0, 0, 0, alpha);
        }
    }
    painter.save();
    painter.resetTransform();
    painter.setClipRect(device);
    painter.drawImage(device.topLeft(), noise);
    painter.restore();
}

} // namespace art
