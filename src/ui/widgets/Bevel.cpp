#include "ui/widgets/Bevel.h"

#include "ui/widgets/Colours.h"

#include <QPainter>

Bevel::Bevel(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent, true);
}

void Bevel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const int half = height() / 2;
    painter.fillRect(0, 0, width(), half, QColor(colours::kEdgeShadow));
    painter.fillRect(0, half, width(), height() - half, QColor(colours::kEdgeHighlight));
}
