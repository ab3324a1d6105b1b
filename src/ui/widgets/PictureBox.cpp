#include "ui/widgets/PictureBox.h"

#include <QPainter>

PictureBox::PictureBox(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void PictureBox::setFillColor(const QColor& color)
{
    if (color == m_fillColor)
        return;
    m_fillColor = color;
    update();
}

void PictureBox::setStretch(bool value)
{
    if (value == m_stretch)
        return;
    m_stretch = value;
    update();
}

void PictureBox::setPictureName(const QString& name)
{
    if (name == m_pictureName)
        return;
    m_pictureName = name;
    // A picture the resources do not hold leaves the flat fill.
    setPicture(name.isEmpty() ? QImage() : QImage(QStringLiteral(":/pictures/") + name));
}

void PictureBox::setPicture(const QImage& picture)
{
    m_picture = picture;
    update();
}

void PictureBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (m_picture.isNull()) {
        painter.fillRect(rect(), m_fillColor);
        return;
    }
    if (m_stretch)
        painter.drawImage(rect(), m_picture);
    else
        painter.drawImage(QPoint(0, 0), m_picture);
}

void PictureBox::mouseMoveEvent(QMouseEvent* event)
{
    emit mouseMoved();
    QWidget::mouseMoveEvent(event);
}
