// The bus banner over the timetables: a city bus on the left, an electric
// train on the right, and between them a blue strip with the timetable
// heading, the help desk's number, a two-line slogan and the number's digits
// as a large faint watermark.
#include "Artwork.h"
#include "Paint.h"

namespace art {

namespace {

constexpr qreal busWidth = 468, busHeight = 60;
constexpr qreal stripLeft = 124, stripRight = 346;
const QString phone = QStringLiteral("2-19-35");

void scenery(QPainter& p)
{
    QLinearGradient sky(0, 0, 0, 48);
    sky.setColorAt(0, QColor(150, 212, 246));
    sky.setColorAt(1, QColor(224, 244, 253));
    p.fillRect(QRectF(0, 0, busWidth, busHeight), sky);
    // A cloud or two.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 200));
    for (const QPointF& c : { QPointF(30, 10), QPointF(40, 8), QPointF(50, 11), QPointF(420, 40) }) {
        p.drawEllipse(c, 9, 4.5);
    }
    // The road under the bus, with its centre line.
    p.fillRect(QRectF(0, 50, stripLeft, 10), QColor(88, 92, 102));
    p.fillRect(QRectF(0, 50, stripLeft, 1), QColor(60, 62, 70));
    for (qreal x = 2; x < stripLeft; x += 14)
        p.fillRect(QRectF(x, 56.5, 7, 1.2), QColor(240, 240, 240));
    // The embankment, sleepers and rails under the train.
    p.fillRect(QRectF(stripRight, 51, busWidth - stripRight, 9), QColor(150, 138, 122));
    for (qreal x = stripRight + 2; x < busWidth; x += 6)
        p.fillRect(QRectF(x, 55, 3.5, 3), QColor(92, 70, 52));
    p.fillRect(QRectF(stripRight, 54.2, busWidth - stripRight, 1.4), QColor(70, 72, 80));
    // The contact wire and one of its poles.
    p.setPen(QPen(QColor(50, 60, 70), 0.8));
    p.drawLine(QPointF(stripRight, 3.5), QPointF(busWidth, 4.5));
    p.fillRect(QRectF(452, 0, 2.4, 51), QColor(110, 120, 130));
    p.fillRect(QRectF(440, 2, 16, 1.4), QColor(110, 120, 130));
}

void wheel(QPainter& p, QPointF c, qreal r)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(24, 24, 28));
    p.drawEllipse(c, r, r);
    p.setBrush(QColor(180, 184, 192));
    p.drawEllipse(c, r * 0.5, r * 0.5);
    p.setBrush(QColor(90, 94, 100));
    p.drawEllipse(c, r * 0.18, r * 0.18);
}

void bus(QPainter& p)
{
    // Shadow on the road.
    softFill(
        p,
        [] {
            QPainterPath s;
            s.addEllipse(QRectF(6, 49, 114, 5));
            return s;
        }(),
        QColor(0, 0, 0, 120), 2);

    QPainterPath body;
    body.moveTo(8, 49);
    body.lineTo(8, 18);
    body.quadTo(8, 13, 14, 13);
    body.lineTo(108, 13);
    body.quadTo(116, 13, 117, 21); // the front, leaning back a little
    body.lineTo(119, 46);
    body.quadTo(119, 49, 116, 49);
    body.closeSubpath();

    p.save();
    p.setClipPath(body);
    p.fillRect(QRectF(0, 0, 130, 60), QColor(250, 246, 232));
    p.fillRect(QRectF(0, 34, 130, 20), QColor(250, 176, 34));
    p.fillRect(QRectF(0, 36.5, 130, 2.2), QColor(214, 54, 40));
    p.fillRect(QRectF(0, 13, 130, 2.2), QColor(214, 54, 40));
    // Side windows, the windscreen, doors.
    const QColor glass(44, 78, 120);
    for (qreal x : { 14.0, 30.0, 58.0, 74.0 })
        p.fillRect(QRectF(x, 18, 13, 13), glass);
    QPainterPath screen;
    screen.moveTo(106, 18);
    screen.lineTo(113.5, 18);
    screen.lineTo(115.5, 33);
    screen.lineTo(106, 33);
    screen.closeSubpath();
    p.fillPath(screen, glass);
    for (qreal x : { 45.0, 90.0 }) {
        p.fillRect(QRectF(x, 17, 11, 32), QColor(70, 74, 84));
        p.fillRect(QRectF(x + 1, 18, 4, 20), glass);
        p.fillRect(QRectF(x + 6, 18, 4, 20), glass);
    }
    // Sky reflected in the glass.
    p.setPen(QPen(QColor(255, 255, 255, 90), 1.6));
    for (qreal x : { 16.0, 32.0, 60.0, 76.0, 107.0 })
        p.drawLine(QPointF(x + 2, 30), QPointF(x + 8, 19));
    p.restore();
    p.strokePath(body, QPen(QColor(60, 50, 40), 0.8));

    // Route board over the windscreen, headlight, roof unit.
    p.fillRect(QRectF(104, 14.2, 11, 3.4), QColor(20, 20, 20));
    p.fillPath(centredAt(textPath(Face::SansBold, 4, QStringLiteral("7")), QPointF(109.5, 16)), QColor(255, 180, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 250, 200));
    p.drawEllipse(QPointF(116.4, 43), 1.6, 1.6);
    p.setBrush(QColor(200, 200, 206));
    p.drawRoundedRect(QRectF(26, 10.5, 30, 3), 1.2, 1.2);
    wheel(p, QPointF(27, 49), 6);
    wheel(p, QPointF(98, 49), 6);
}

void train(QPainter& p)
{
    // Pantograph up to the wire.
    p.setPen(QPen(QColor(40, 44, 52), 0.9));
    p.setBrush(Qt::NoBrush);
    QPainterPath pan;
    pan.moveTo(416, 14);
    pan.lineTo(424, 8.5);
    pan.lineTo(418, 4.2);
    pan.moveTo(432, 14);
    pan.lineTo(424, 8.5);
    pan.lineTo(430, 4.2);
    pan.moveTo(414, 4.2);
    pan.lineTo(434, 4.2);
    p.drawPath(pan);

    QPainterPath car;
    car.moveTo(470, 50);
    car.lineTo(357, 50);
    car.lineTo(356, 38);
    car.cubicTo(356, 24, 362, 15, 376, 14);
    car.lineTo(470, 14);
    car.closeSubpath();
    p.save();
    p.setClipPath(car);
    p.fillRect(QRectF(340, 10, 140, 45), QColor(44, 136, 84));
    p.fillRect(QRectF(340, 10, 140, 8), QColor(200, 206, 210)); // grey roof
    p.fillRect(QRectF(340, 33, 140, 3), QColor(250, 210, 40)); // yellow stripe
    // The red nose of the cab.
    QPainterPath nose;
    nose.moveTo(354, 52);
    nose.lineTo(354, 24);
    nose.cubicTo(360, 22, 370, 24, 376, 30);
    nose.lineTo(380, 52);
    nose.closeSubpath();
    p.fillPath(nose, QColor(212, 40, 36));
    const QColor glass(40, 64, 96);
    QPainterPath windscreen;
    windscreen.moveTo(358, 30);
    windscreen.cubicTo(359, 22, 364, 18, 374, 18);
    windscreen.lineTo(376, 30);
    windscreen.closeSubpath();
    p.fillPath(windscreen, glass);
    for (qreal x = 386; x < 470; x += 14)
        p.fillRect(QRectF(x, 20, 10, 10), glass);
    p.fillRect(QRectF(441, 19, 9, 29), QColor(36, 110, 66)); // door
    p.fillRect(QRectF(443, 21, 5, 11), glass);
    p.setPen(QPen(QColor(255, 255, 255, 90), 1.4));
    for (qreal x = 386; x < 470; x += 14)
        p.drawLine(QPointF(x + 2, 29), QPointF(x + 7, 21));
    p.restore();
    p.strokePath(car, QPen(QColor(30, 40, 36), 0.8));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 250, 210));
    p.drawEllipse(QPointF(360, 42), 1.7, 1.7);
    // Bogies.
    p.setBrush(QColor(36, 36, 40));
    p.drawRect(QRectF(370, 49, 28, 4));
    p.drawRect(QRectF(438, 49, 28, 4));
    for (qreal x : { 376.0, 392.0, 444.0, 460.0 })
        wheel(p, QPointF(x, 52.5), 2.6);
}

void strip(QPainter& p)
{
    const QRectF area(stripLeft, 0, stripRight - stripLeft, busHeight);
    QLinearGradient blue(0, 0, 0, busHeight);
    blue.setColorAt(0, QColor(36, 104, 204));
    blue.setColorAt(1, QColor(12, 44, 132));
    p.fillRect(area, blue);
    p.fillRect(QRectF(stripLeft, 0, 1.5, busHeight), QColor(255, 255, 255, 160));
    p.fillRect(QRectF(stripRight - 1.5, 0, 1.5, busHeight), QColor(255, 255, 255, 160));

    p.save();
    p.setClipRect(area);
    const QPainterPath digits = textPath(Face::Rounded, 54, phone, 2);
    p.fillPath(centredAt(digits, QPointF(area.center().x(), 33)), QColor(255, 255, 255, 34));
    p.restore();

    const qreal mid = area.center().x();
    const QPainterPath heading = textPath(Face::SansBold, 12, QStringLiteral("РАСПИСАНИЕ ДВИЖЕНИЯ"), 1.2);
    p.fillPath(heading.translated(mid - heading.boundingRect().center().x(), 12.5), Qt::white);
    const QPainterPath help = textPath(Face::Sans, 9.5, QStringLiteral("справочная автовокзала: ") + phone);
    p.fillPath(help.translated(mid - help.boundingRect().center().x(), 24), QColor(196, 226, 255));

    const QColor yellow(255, 224, 44);
    const QPainterPath line1 = textPath(Face::SansBoldItalic, 12.5, QStringLiteral("Счастливого пути —"));
    const QPainterPath line2 = textPath(Face::SansBoldItalic, 12.5, QStringLiteral("точно по расписанию!"));
    const QPainterPath slogan = line1.translated(mid - line1.boundingRect().center().x(), 39.5)
                                    .united(line2.translated(mid - line2.boundingRect().center().x(), 54));
    softFill(p, slogan.translated(1, 1.2), QColor(0, 0, 30, 200), 1.2);
    p.fillPath(slogan, yellow);
}

} // namespace

void busBanner(QPainter& p)
{
    scenery(p);
    bus(p);
    train(p);
    strip(p);
}

} // namespace art
