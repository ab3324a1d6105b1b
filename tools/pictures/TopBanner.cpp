// The top banner: the product's name over a light-blue band with the town's
// skyline, "телефонный справочник" in outline letters on navy below it, and
// the maker's name on a navy tab in the upper right corner.
#include "Artwork.h"
#include "Paint.h"

#include <cmath>

namespace art {

namespace {

constexpr qreal topWidth = 752, topHeight = 102;
constexpr qreal bandTop = 66; // where the navy band begins
const QColor navy(8, 13, 55);

// A fir or pine of the town's forest: stacked tiers on a short trunk.
QPainterPath fir(qreal x, qreal base, qreal h)
{
    QPainterPath path;
    const qreal w = h * 0.42;
    for (int tier = 0; tier < 3; ++tier) {
        const qreal top = base - h + tier * h * 0.24;
        const qreal bottom = base - h * 0.12 - (2 - tier) * h * 0.2;
        const qreal half = w * (0.55 + tier * 0.22) / 2;
        path.moveTo(x, top);
        path.lineTo(x + half, bottom);
        path.lineTo(x - half, bottom);
        path.closeSubpath();
    }
    path.addRect(QRectF(x - h * 0.04, base - h * 0.14, h * 0.08, h * 0.14));
    return path;
}

// The town seen from afar: forest behind, houses, blocks of flats, a church,
// the television tower.
void skyline(QPainter& p)
{
    Random random(11);
    QPainterPath forest;
    for (qreal x = 330; x < topWidth + 10; x += random.range(7, 12))
        forest.addPath(fir(x, bandTop + 1, random.range(14, 26)));
    p.fillPath(forest.simplified(), QColor(134, 204, 238));

    QPainterPath town;
    // Blocks of flats.
    const QRectF blocks[] = { { 420, 38, 34, 28 }, { 462, 30, 22, 36 }, { 560, 42, 46, 24 }, { 652, 34, 26, 32 } };
    for (const QRectF& b : blocks)
        town.addRect(b);
    // Houses with pitched roofs.
    for (qreal x : { 392.0, 500.0, 528.0, 616.0, 690.0, 718.0 }) {
        QPainterPath house;
        house.moveTo(x, bandTop);
        house.lineTo(x, 54);
        house.lineTo(x + 9, 46);
        house.lineTo(x + 18, 54);
        house.lineTo(x + 18, bandTop);
        house.closeSubpath();
        town.addPath(house);
    }
    // The church: a tower with an onion dome and a cross.
    town.addRect(QRectF(494, 34, 12, 32));
    QPainterPath dome;
    dome.moveTo(500, 18);
    dome.cubicTo(503, 24, 510, 26, 507, 34);
    dome.lineTo(493, 34);
    dome.cubicTo(490, 26, 497, 24, 500, 18);
    town.addPath(dome);
    town.addRect(QRectF(499.4, 12, 1.2, 7));
    town.addRect(QRectF(497, 14.5, 6, 1.2));
    // The television tower: a tall, thin lattice.
    QPainterPath tower;
    tower.moveTo(637, 8);
    tower.lineTo(640, 66);
    tower.lineTo(634, 66);
    tower.closeSubpath();
    town.addPath(tower);
    town.addRect(QRectF(632, 24, 10, 3));
    p.fillPath(town.simplified(), QColor(118, 192, 230));

    // Windows of the blocks, lit.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(190, 236, 252));
    for (const QRectF& b : blocks) {
        for (qreal y = b.top() + 3; y + 2 < bandTop - 2; y += 5)
            for (qreal x = b.left() + 3; x + 3 < b.right() - 1; x += 6)
                p.drawRect(QRectF(x, y, 3, 2));
    }
}

void birds(QPainter& p)
{
    p.setPen(QPen(QColor(70, 140, 200), 1.1, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    const QPointF at[] = { { 452, 16 }, { 466, 11 }, { 474, 19 }, { 540, 24 } };
    for (const QPointF& b : at) {
        QPainterPath bird;
        bird.moveTo(b + QPointF(-4, -1));
        bird.quadTo(b + QPointF(-2, -3), b);
        bird.quadTo(b + QPointF(2, -3), b + QPointF(4, -1));
        p.drawPath(bird);
    }
}

// A telephone handset, the sign of the directory, in a circle.
void handset(QPainter& p, QPointF centre, qreal r)
{
    p.setPen(QPen(QColor(140, 220, 255), 1.3));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(centre, r, r);
    QPainterPath h;
    const qreal s = r / 10;
    const QPointF c = centre;
    h.moveTo(c + QPointF(-6, -6) * s);
    h.cubicTo(c + QPointF(-8, -2) * s, c + QPointF(-2, 7) * s, c + QPointF(6, 6) * s);
    h.lineTo(c + QPointF(7, 3) * s);
    h.lineTo(c + QPointF(3, 1) * s);
    h.lineTo(c + QPointF(1, 3) * s);
    h.cubicTo(c + QPointF(-2, 1) * s, c + QPointF(-3, -1) * s, c + QPointF(-3, -3) * s);
    h.lineTo(c + QPointF(-1, -5) * s);
    h.lineTo(c + QPointF(-3, -8) * s);
    h.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(140, 220, 255));
    p.drawPath(h);
}

void title(QPainter& p)
{
    const QPainterPath name = atBaseline(textPath(Face::Rounded, 55, QStringLiteral("Сарвино"), 1.5), 26, 51);
    const QRectF box = name.boundingRect();
    softFill(p, name.translated(3, 4), QColor(8, 13, 55, 120), 4);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(8, 13, 55, 200), 8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(name);
    p.setPen(QPen(Qt::white, 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(name);
    QLinearGradient fill(0, box.top(), 0, box.bottom());
    fill.setColorAt(0, QColor(96, 170, 240));
    fill.setColorAt(0.42, QColor(34, 92, 196));
    fill.setColorAt(0.5, QColor(16, 48, 140));
    fill.setColorAt(1, QColor(10, 24, 96));
    p.fillPath(name, fill);
    // A gloss along the tops of the letters.
    p.save();
    p.setClipPath(name);
    QLinearGradient gloss(0, box.top(), 0, box.top() + box.height() * 0.4);
    gloss.setColorAt(0, QColor(255, 255, 255, 150));
    gloss.setColorAt(1, QColor(255, 255, 255, 0));
    p.fillRect(QRectF(box.left(), box.top(), box.width(), box.height() * 0.4), gloss);
    p.restore();
}

void makerTab(QPainter& p)
{
    QPainterPath tab;
    tab.addRoundedRect(QRectF(598, -14, 180, 44), 12, 12);
    p.fillPath(tab, navy);
    p.strokePath(tab, QPen(QColor(100, 200, 245), 1.5));
    const QPainterPath maker = textPath(Face::SansBoldItalic, 15, QStringLiteral("СветСофт"), 0.5);
    p.fillPath(centredAt(maker, QPointF(675, 18)), Qt::white);
}

} // namespace

void topBanner(QPainter& p)
{
    QLinearGradient sky(0, 0, 0, bandTop);
    sky.setColorAt(0, QColor(210, 247, 255));
    sky.setColorAt(1, QColor(134, 214, 246));
    p.fillRect(QRectF(0, 0, topWidth, bandTop), sky);
    QRadialGradient glow(QPointF(150, 26), 190);
    glow.setColorAt(0, QColor(255, 255, 255, 170));
    glow.setColorAt(1, QColor(255, 255, 255, 0));
    p.fillRect(QRectF(0, 0, topWidth, bandTop), glow);

    skyline(p);
    birds(p);

    QLinearGradient night(0, bandTop, 0, topHeight);
    night.setColorAt(0, QColor(18, 32, 92));
    night.setColorAt(0.35, navy);
    night.setColorAt(1, navy);
    p.fillRect(QRectF(0, bandTop, topWidth, topHeight - bandTop), night);
    p.fillRect(QRectF(0, bandTop, topWidth, 1.2), QColor(255, 255, 255, 200));

    title(p);
    handset(p, QPointF(40, 84), 11);
    const QPainterPath words = textPath(Face::Rounded, 22, QStringLiteral("ТЕЛЕФОННЫЙ СПРАВОЧНИК"), 4);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(140, 220, 255), 1.3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(atBaseline(words, 62, 92));
    const QPainterPath town = textPath(Face::SansBoldItalic, 13, QStringLiteral("г. Светлоборск"), 0.6);
    p.fillPath(town.translated(topWidth - 18 - town.boundingRect().right(), 90), QColor(110, 186, 232));

    makerTab(p);
}

} // namespace art
