#include "ui/widgets/Bevel.h"

#include <QPainter>

namespace {

const QColor shadow(128, 128, 128);
const QColor highlight(255, 255, 255);

} // namespace

Bevel::Bevel(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent, true);
}

void Bevel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const int half = height() / 2;
    painter.fillRect(0, 0, width(), half, shadow);
    painter.fillRect(0, half, width(), height() - half, highlight);
}
