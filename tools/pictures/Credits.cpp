// The credits that scroll in the about window, and the plate with the
// product's name at the top of that window.
#include "Artwork.h"
#include "Paint.h"
#include "ui/info/CreditsText.h"

#include <cstdio>
#include <cstdlib>

namespace art {

namespace {

// The about window lays "е-mail:" and the contact address over the bottom
// rows of the credits (rows 82 to 94 of the panel, right-aligned), so every
// line keeps above them and inside the picture's width. Which x the label
// starts at depends on the address's length, so the whole row stays clear.
constexpr qreal mailRowTop = 82;
constexpr qreal lineRoom = 238;

// Stops the generator when a line would run into the mail row or past the
// picture's right edge.
void mustFit(const QPainterPath& line, const char* what)
{
    const QRectF ink = line.boundingRect();
    if (ink.right() > lineRoom || ink.bottom() > mailRowTop - 1.5) {
        std::fprintf(stderr, "pictures: the credits line \"%s\" reaches x %.1f, y %.1f; room to x %.1f, y %.1f\n", what,
            ink.right(), ink.bottom(), lineRoom, mailRowTop - 1.5);
        std::exit(1);
    }
}

} // namespace

void credits(QPainter& p)
{
    QLinearGradient ground(0, 0, 0, 98);
    ground.setColorAt(0, QColor(178, 232, 252));
    ground.setColorAt(1, QColor(160, 222, 250));
    p.fillRect(QRectF(0, 0, 244, 98), ground);

    const int count = int(std::size(about::creditLines));
    // Seven lines above the mail row: baselines 10 to 78.4; the first, the
    // version, in bold.
    for (int i = 0; i < count; ++i) {
        const QPainterPath line
            = textPath(i == 0 ? Face::SansBold : Face::Sans, 10, QString::fromUtf8(about::creditLines[i]))
                  .translated(4, 10 + i * 11.4);
        mustFit(line, about::creditLines[i]);
        p.fillPath(line, Qt::black);
    }
}

void namePlate(QPainter& p)
{
    p.fillRect(QRectF(0, 0, 195, 30), QColor(185, 242, 253));
    const QPainterPath name = centredAt(textPath(Face::Rounded, 25, QStringLiteral("Сарвино"), 1), QPointF(97.5, 15));
    softFill(p, name.translated(1.5, 2), QColor(8, 13, 55, 110), 2);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::white, 3.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(name);
    const QRectF box = name.boundingRect();
    QLinearGradient fill(0, box.top(), 0, box.bottom());
    fill.setColorAt(0, QColor(40, 100, 200));
    fill.setColorAt(0.5, QColor(14, 44, 140));
    fill.setColorAt(1, QColor(8, 22, 92));
    p.fillPath(name, fill);
}

} // namespace art
