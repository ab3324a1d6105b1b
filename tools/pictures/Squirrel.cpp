// The product's mascot: a cartoon squirrel of the town's pine forest. The
// mascot picture shows it holding an open laptop that lists the directory;
// the icon shows it standing, without the laptop, on a transparent ground.
#include "Artwork.h"
#include "Paint.h"

#include <cmath>

namespace art {

namespace {

const QColor fur(224, 128, 44);
const QColor furDark(176, 88, 28);
const QColor cream(253, 234, 202);
const QColor ink(84, 40, 14);

QPainterPath ellipse(QPointF c, qreal rx, qreal ry)
{
    QPainterPath path;
    path.addEllipse(c, rx, ry);
    return path;
}

// The bushy tail: puffs along a curve from the back up over the head,
// curling at its tip.
QPainterPath tail()
{
    QPainterPath spine;
    spine.moveTo(54, 94);
    spine.cubicTo(88, 84, 90, 44, 76, 26);
    spine.cubicTo(68, 12, 48, 12, 51, 27);
    QPainterPath puffs;
    const int steps = 22;
    for (int i = 0; i <= steps; ++i) {
        const qreal t = qreal(i) / steps;
        const qreal r = 6.5 + 8.5 * std::sin(t * M_PI * 0.9) - 2.5 * t;
        QPainterPath puff;
        puff.addEllipse(spine.pointAtPercent(t), r, r);
        puffs = puffs.united(puff);
    }
    return puffs;
}

QPainterPath ear(QPointF tip, qreal lean)
{
    QPainterPath path;
    path.moveTo(tip.x() - 8 + lean, tip.y() + 16);
    path.quadTo(tip.x() - 6, tip.y() + 2, tip.x(), tip.y());
    path.quadTo(tip.x() + 6, tip.y() + 2, tip.x() + 8 + lean, tip.y() + 16);
    path.closeSubpath();
    return path;
}

void outlined(QPainter& p, const QPainterPath& path, const QBrush& brush, qreal line)
{
    p.fillPath(path, brush);
    p.strokePath(path, QPen(ink, line, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
}

void laptop(QPainter& p, qreal line)
{
    // The screen faces us; the keyboard half goes back towards the squirrel,
    // so only its front edge shows below the screen.
    QPainterPath lid;
    lid.addRoundedRect(QRectF(15, 53, 50, 33), 3, 3);
    outlined(p, lid, QColor(72, 78, 90), line);
    const QRectF display(18.5, 56.5, 43, 26);
    QLinearGradient glow(display.topLeft(), display.bottomRight());
    glow.setColorAt(0, QColor(120, 200, 250));
    glow.setColorAt(1, QColor(40, 120, 210));
    p.fillRect(display, glow);
    // The directory on the screen: a title bar and listed lines.
    p.fillRect(QRectF(display.left(), display.top(), display.width(), 4.5), QColor(14, 40, 110));
    p.fillPath(
        atBaseline(textPath(Face::SansBold, 4.2, QStringLiteral("Сарвино")), display.left() + 2, display.top() + 3.6),
        Qt::white);
    for (int i = 0; i < 4; ++i) {
        const qreal y = display.top() + 7.5 + i * 4.6;
        p.fillRect(QRectF(display.left() + 2.5, y, 2.4, 2.4), QColor(255, 220, 60));
        p.fillRect(QRectF(display.left() + 6.5, y + 0.3, 16 + (i * 7) % 11, 1.8), QColor(255, 255, 255, 230));
        p.fillRect(QRectF(display.left() + 30, y + 0.3, 9, 1.8), QColor(255, 255, 255, 140));
    }
    QPainterPath base;
    base.moveTo(12, 86);
    base.lineTo(68, 86);
    base.lineTo(66, 91);
    base.lineTo(14, 91);
    base.closeSubpath();
    outlined(p, base, QColor(200, 206, 214), line);
    p.fillRect(QRectF(34, 87.5, 12, 1.6), QColor(150, 156, 166)); // the notch for opening it
}

// The squirrel in the mascot picture's units (89 × 110).
void squirrel(QPainter& p, bool withLaptop, qreal line)
{
    outlined(p, tail(), fur, line);
    // A lighter lock of fur along the tail.
    QPainterPath lock;
    lock.moveTo(62, 88);
    lock.cubicTo(81, 78, 83, 48, 72, 32);
    p.strokePath(lock, QPen(QColor(246, 176, 96), 4, Qt::SolidLine, Qt::RoundCap));

    // Feet, body, belly.
    outlined(p, ellipse({ 30, 97 }, 8.5, 4.5), furDark, line);
    outlined(p, ellipse({ 51, 97 }, 8.5, 4.5), furDark, line);
    outlined(p, ellipse({ 40, 74 }, 20, 24), fur, line);
    p.fillPath(ellipse({ 40, 78 }, 12.5, 17), cream);

    // Ears with tufts.
    for (const auto& [tip, lean] : { std::pair { QPointF(26, 15), -2.0 }, std::pair { QPointF(54, 15), 2.0 } }) {
        outlined(p, ear(tip, lean), fur, line);
        p.fillPath(ear(tip + QPointF(0, 5), lean * 0.5).translated(0, 0), QColor(240, 160, 120));
        QPainterPath tuft;
        tuft.moveTo(tip);
        tuft.lineTo(tip + QPointF(-2.5 + lean, -6));
        tuft.moveTo(tip);
        tuft.lineTo(tip + QPointF(lean * 0.5, -7));
        tuft.moveTo(tip);
        tuft.lineTo(tip + QPointF(2.5 + lean, -6));
        p.strokePath(tuft, QPen(furDark, 1.6, Qt::SolidLine, Qt::RoundCap));
    }

    // The head.
    outlined(p, ellipse({ 40, 37 }, 19.5, 17), fur, line);
    p.fillPath(ellipse({ 40, 45 }, 11.5, 8), cream);
    p.fillPath(ellipse({ 27, 44 }, 4, 2.6), QColor(250, 140, 120, 150)); // cheeks
    p.fillPath(ellipse({ 53, 44 }, 4, 2.6), QColor(250, 140, 120, 150));
    for (qreal x : { 33.0, 47.0 }) {
        p.fillPath(ellipse({ x, 35 }, 3.6, 4.6), QColor(30, 20, 16));
        p.fillPath(ellipse({ x + 1.2, 33.2 }, 1.3, 1.5), Qt::white);
    }
    p.fillPath(ellipse({ 40, 42.5 }, 2.6, 1.8), QColor(60, 30, 20));
    QPainterPath smile;
    smile.moveTo(35, 46);
    smile.quadTo(37.5, 49.5, 40, 46.5);
    smile.quadTo(42.5, 49.5, 45, 46);
    p.strokePath(smile, QPen(ink, qMax(line, 1.0), Qt::SolidLine, Qt::RoundCap));
    outlined(
        p,
        [] {
            QPainterPath teeth;
            teeth.addRoundedRect(QRectF(38, 47.2, 4, 3.2), 0.8, 0.8);
            return teeth;
        }(),
        Qt::white, line * 0.6);

    if (withLaptop) {
        laptop(p, line);
        // Paws holding the lid at both sides.
        outlined(p, ellipse({ 16, 67 }, 4.5, 5.5), fur, line);
        outlined(p, ellipse({ 64, 67 }, 4.5, 5.5), fur, line);
    } else {
        // Paws folded in front of the chest.
        outlined(p, ellipse({ 33, 62 }, 5, 4), fur, line);
        outlined(p, ellipse({ 47, 62 }, 5, 4), fur, line);
    }
}

} // namespace

void mascot(QPainter& p)
{
    p.fillRect(QRectF(0, 0, 89, 110), QColor(180, 238, 255));
    p.fillPath(ellipse({ 44, 102 }, 32, 3.5), QColor(90, 170, 210, 110));
    p.save();
    p.translate(2, 2);
    squirrel(p, true, 1.3);
    p.restore();
}

void icon(QPainter& p)
{
    // The drawing spans about x 8..92 and y 4..102 of its units.
    const qreal scale = 31.0 / 100;
    // About one pixel of outline at 32 pixels; relatively finer on the
    // larger icons, where the drawing can carry more detail.
    const qreal line = 3.2 / std::sqrt(p.worldTransform().m11());
    p.save();
    p.translate(16 - 50 * scale, 0.5 - 3 * scale);
    p.scale(scale, scale);
    squirrel(p, false, line);
    p.restore();
}

} // namespace art
