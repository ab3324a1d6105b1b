// Drawing helpers the artwork shares: text as outlines, soft shadows and
// glows, film grain, and a seeded random source so every run draws the same.
#pragma once

#include "ArtFonts.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

namespace art {

// xorshift64*: small, fast and the same on every machine.
class Random {
public:
    explicit Random(quint64 seed)
        : m_state(seed ? seed : 0x9E3779B97F4A7C15ull)
    {
    }
    quint64 next()
    {
        m_state ^= m_state >> 12;
        m_state ^= m_state << 25;
        m_state ^= m_state >> 27;
        return m_state * 0x2545F4914F6CDD1Dull;
    }
    // Uniform in [0, 1).
    double uniform() { return double(next() >> 11) * (1.0 / 9007199254740992.0); }
    double range(double low, double high) { return low + (high - low) * uniform(); }

private:
    quint64 m_state;
};

// The outline of a line of text in a face at a size in pixels, its baseline
// starting at the origin; spacing is extra room after each letter, in pixels.
QPainterPath textPath(Face face, qreal size, const QString& text, qreal spacing = 0);

// The path moved so that its ink box's centre lies at the point.
QPainterPath centredAt(const QPainterPath& path, QPointF centre);
// The path moved so that its ink box starts at x and its baseline (the
// path's y = 0) lies at y.
QPainterPath atBaseline(const QPainterPath& path, qreal x, qreal y);

// Fills the path into a layer, blurs it by radius (picture units) and lays
// it over what is drawn: shadows and glows.
void softFill(QPainter& painter, const QPainterPath& path, const QColor& color, qreal radius);

// Fine random light and dark specks over an area, like a photograph's grain.
void grain(QPainter& painter, const QRectF& area, int strength, quint64 seed);

// Three passes of a box blur on a premultiplied image (close to a Gaussian).
QImage blurred(const QImage& image, int radius);

} // namespace art
