#include "ui/widgets/Shape.h"

#include <QPainter>

Shape::Shape(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    // A shape is decoration only: the mouse passes through to what lies below.
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void Shape::setPenColor(const QColor& color)
{
    m_penColor = color;
    update();
}

void Shape::setPenWidth(int width)
{
    m_penWidth = qMax(0, width);
    update();
}

void Shape::setBrushColor(const QColor& color)
{
    m_brushColor = color;
    update();
}

void Shape::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), m_brushColor);
    // The pen lies inside the rectangle, as wide as it is.
    const int w = m_penWidth;
    if (w == 0)
        return;
    painter.fillRect(0, 0, width(), qMin(w, height()), m_penColor);
    painter.fillRect(0, qMax(0, height() - w), width(), qMin(w, height()), m_penColor);
    painter.fillRect(0, 0, qMin(w, width()), height(), m_penColor);
    painter.fillRect(qMax(0, width() - w), 0, qMin(w, width()), height(), m_penColor);
}
