// The bottom banner: a snow-capped mountain under a starry night sky, like a
// photograph, the maker's name in light-blue brush letters over it and the
// maker's title in small spaced capitals along the bottom edge.
#include "Artwork.h"
#include "Paint.h"

#include <cmath>
#include <vector>

namespace art {

namespace {

constexpr qreal bottomWidth = 640, bottomHeight = 100;

// Smooth random wobble along x: a few octaves of interpolated random values.
class Ridge {
public:
    explicit Ridge(quint64 seed)
    {
        Random random(seed);
        for (double& v : m_values)
            v = random.range(-1, 1);
    }
    // About -1 .. 1, changing over `period` pixels and finer.
    double at(double x, double period) const
    {
        double sum = 0, amplitude = 1, norm = 0;
        for (int octave = 0; octave < 5; ++octave) {
            sum += amplitude * smooth(x / period + octave * 37.0);
            norm += amplitude;
            amplitude *= 0.5;
            period *= 0.5;
        }
        return sum / norm;
    }

private:
    double smooth(double t) const
    {
        const double f = std::floor(t);
        const double u = t - f;
        const int i = int(f) & 255;
        const double a = m_values[i], b = m_values[(i + 1) & 255];
        return a + (b - a) * (u * u * (3 - 2 * u));
    }
    double m_values[256];
};

// A skyline from a base height profile plus the wobble; closed below.
QPainterPath range(
    const std::vector<QPointF>& profile, const Ridge& ridge, double amplitude, double period, qreal bottom)
{
    QPainterPath path;
    path.moveTo(-5, bottom);
    for (qreal x = -5; x <= bottomWidth + 5; x += 1) {
        // Piecewise linear base through the profile's points.
        qreal base = profile.back().y();
        for (size_t i = 1; i < profile.size(); ++i) {
            if (x <= profile[i].x()) {
                const QPointF a = profile[i - 1], b = profile[i];
                base = a.y() + (b.y() - a.y()) * (x - a.x()) / (b.x() - a.x());
                break;
            }
        }
        path.lineTo(x, base + amplitude * ridge.at(x, period));
    }
    path.lineTo(bottomWidth + 5, bottom);
    path.closeSubpath();
    return path;
}

void sky(QPainter& p)
{
    QLinearGradient night(0, 0, 0, bottomHeight);
    night.setColorAt(0, QColor(2, 4, 16));
    night.setColorAt(0.55, QColor(14, 24, 62));
    night.setColorAt(0.8, QColor(36, 52, 104));
    night.setColorAt(1, QColor(30, 40, 80));
    p.fillRect(QRectF(0, 0, bottomWidth, bottomHeight), night);

    Random random(5);
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 190; ++i) {
        const QPointF at(random.range(0, bottomWidth), random.range(0, 62) * random.range(0.3, 1));
        const double bright = random.uniform();
        const qreal r = 0.35 + 0.6 * bright * bright;
        p.setBrush(QColor(220, 230, 255, int(90 + 165 * bright)));
        p.drawEllipse(at, r, r);
    }
    // A few bright stars with a soft halo.
    for (const QPointF& at : { QPointF(352, 9), QPointF(548, 31), QPointF(210, 6), QPointF(618, 52) }) {
        QRadialGradient halo(at, 4);
        halo.setColorAt(0, QColor(230, 240, 255, 220));
        halo.setColorAt(1, QColor(230, 240, 255, 0));
        p.setBrush(halo);
        p.drawEllipse(at, 4, 4);
    }
    // The moon, a crescent low in the east.
    const QPointF moon(596, 22);
    QRadialGradient moonGlow(moon, 26);
    moonGlow.setColorAt(0, QColor(200, 220, 255, 90));
    moonGlow.setColorAt(1, QColor(200, 220, 255, 0));
    p.setBrush(moonGlow);
    p.drawEllipse(moon, 26, 26);
    QPainterPath disc, bite;
    disc.addEllipse(moon, 8, 8);
    bite.addEllipse(moon + QPointF(3.5, -2.2), 7.2, 7.2);
    p.setBrush(QColor(240, 244, 230));
    p.drawPath(disc.subtracted(bite));
}

void mountain(QPainter& p)
{
    const Ridge ridge(21);
    // The distant range.
    const QPainterPath far
        = range({ { 0, 60 }, { 150, 54 }, { 300, 62 }, { 520, 56 }, { 640, 50 } }, ridge, 5, 60, bottomHeight);
    p.fillPath(far, QColor(40, 54, 94));

    // The mountain, its summit right of the middle.
    const QPointF summit(446, 9);
    const QPainterPath body = range({ { 0, 74 }, { 110, 62 }, { 240, 52 }, { 330, 33 }, { summit.x(), summit.y() },
                                        { 520, 30 }, { 590, 46 }, { 640, 52 } },
        ridge, 6, 30, bottomHeight);
    QLinearGradient rock(0, 10, 0, 90);
    rock.setColorAt(0, QColor(70, 78, 104));
    rock.setColorAt(1, QColor(24, 28, 46));
    p.fillPath(body, rock);

    p.save();
    p.setClipPath(body);
    // Snow down to a ragged line, lower in the gullies.
    const Ridge snowline(33);
    QPainterPath snow;
    snow.moveTo(-5, -5);
    for (qreal x = -5; x <= bottomWidth + 5; x += 1) {
        const qreal nearSummit = std::exp(-std::pow((x - summit.x()) / 140, 2));
        snow.lineTo(x, 32 + 20 * nearSummit + 7 * snowline.at(x, 12) + 9 * qMax(0.0, snowline.at(x + 500, 4)));
    }
    snow.lineTo(bottomWidth + 5, -5);
    snow.closeSubpath();
    QLinearGradient white(0, 8, 0, 60);
    white.setColorAt(0, QColor(244, 248, 255));
    white.setColorAt(1, QColor(170, 188, 222));
    p.fillPath(snow, white);

    // Ridges and gullies: vertical bands of light and shade running down
    // from the crest, fading out below.
    const Ridge gullies(8);
    for (qreal x = 240; x < bottomWidth; x += 0.5) {
        const double v = gullies.at(x, 7);
        const int alpha = int(qBound(0.0, 90 * (v + 0.15), 140.0));
        QLinearGradient fall(0, 10, 0, 70);
        fall.setColorAt(0, QColor(30, 40, 76, alpha));
        fall.setColorAt(1, QColor(30, 40, 76, 0));
        p.fillRect(QRectF(x, 0, 0.5, 80), fall);
    }

    // The far side of the summit lies in shadow.
    QPainterPath shade;
    shade.moveTo(summit);
    shade.cubicTo(summit + QPointF(8, 20), summit + QPointF(20, 40), QPointF(500, 100));
    shade.lineTo(bottomWidth + 5, 100);
    shade.lineTo(bottomWidth + 5, -5);
    shade.lineTo(summit.x(), -5);
    shade.closeSubpath();
    p.fillPath(shade, QColor(16, 26, 70, 110));
    QPainterPath shade2;
    shade2.moveTo(330, 33);
    shade2.cubicTo(338, 50, 350, 70, 360, 100);
    shade2.lineTo(420, 100);
    shade2.cubicTo(400, 70, 380, 40, 330, 33);
    p.fillPath(shade2, QColor(16, 26, 70, 70));
    p.restore();

    // Mist in the valley, then the dark foothills and the pine forest.
    QLinearGradient mist(0, 60, 0, 84);
    mist.setColorAt(0, QColor(180, 200, 240, 0));
    mist.setColorAt(0.6, QColor(180, 200, 240, 50));
    mist.setColorAt(1, QColor(180, 200, 240, 0));
    p.fillRect(QRectF(0, 60, bottomWidth, 24), mist);

    const Ridge hills(44);
    p.fillPath(
        range({ { 0, 80 }, { 200, 76 }, { 420, 82 }, { 640, 74 } }, hills, 4, 50, bottomHeight), QColor(14, 18, 34));
    QPainterPath forest;
    Random trees(3);
    for (qreal x = -4; x < bottomWidth + 6; x += trees.range(4, 8)) {
        const qreal h = trees.range(8, 20);
        const qreal base = 92 + 3 * hills.at(x, 30);
        forest.moveTo(x, base - h);
        forest.lineTo(x + h * 0.28, base);
        forest.lineTo(x - h * 0.28, base);
        forest.closeSubpath();
    }
    forest.addRect(QRectF(-5, 90, bottomWidth + 10, 15));
    p.fillPath(forest.simplified(), QColor(5, 7, 16));
}

} // namespace

void bottomBanner(QPainter& p)
{
    sky(p);
    mountain(p);
    grain(p, QRectF(0, 0, bottomWidth, bottomHeight), 22, 77);

    const QPainterPath maker = atBaseline(textPath(Face::Brush, 64, QStringLiteral("SvetSoft"), 1), 34, 66);
    softFill(p, maker, QColor(30, 120, 255, 200), 9);
    softFill(p, maker.translated(2, 3), QColor(0, 0, 0, 200), 2);
    const QRectF box = maker.boundingRect();
    QLinearGradient ink(0, box.top(), 0, box.bottom());
    ink.setColorAt(0, QColor(200, 240, 255));
    ink.setColorAt(1, QColor(100, 186, 250));
    p.fillPath(maker, ink);

    QLinearGradient foot(0, 84, 0, bottomHeight);
    foot.setColorAt(0, QColor(0, 0, 0, 0));
    foot.setColorAt(1, QColor(0, 0, 0, 150));
    p.fillRect(QRectF(0, 84, bottomWidth, bottomHeight - 84), foot);
    const QPainterPath motto
        = textPath(Face::SansBold, 10.5, QStringLiteral("СТУДИЯ ПРОГРАММ И ДИЗАЙНА  •  СВЕТЛОБОРСК"), 3.2);
    p.fillPath(centredAt(motto, QPointF(bottomWidth / 2, 93.5)), QColor(206, 224, 244));
}

} // namespace art
