#include "ui/widgets/PictureBox.h"

#include "ui/widgets/PictureLoader.h"

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
    // A picture the resources do not hold leaves the flat fill.
    setPicture(name.isEmpty() ? QImage() : PictureLoader::load(name));
    m_pictureName = name;
}

void PictureBox::setPicture(const QImage& picture)
{
    m_picture = picture;
    m_pictureName.clear();
    m_sharpPicture = QImage();
    m_sharpLoaded = false;
    update();
}

const QImage& PictureBox::pictureFor(qreal ratio) const
{
    if (ratio <= 1 || m_pictureName.isEmpty())
        return m_picture;
    if (!m_sharpLoaded) {
        m_sharpLoaded = true;
        m_sharpPicture = PictureLoader::load(m_pictureName, 2);
        // Drawn at its natural size it covers what the plain picture covers.
        if (m_sharpPicture.size() == m_picture.size() * 2)
            m_sharpPicture.setDevicePixelRatio(2);
        else
            m_sharpPicture = QImage();
    }
    return m_sharpPicture.isNull() ? m_picture : m_sharpPicture;
}

void PictureBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (m_picture.isNull()) {
        painter.fillRect(rect(), m_fillColor);
        return;
    }
    // On a scaled screen (2x) the double-resolution picture keeps it sharp.
    const QImage& picture = pictureFor(painter.device()->devicePixelRatioF());
    if (!m_stretch) {
        painter.drawImage(QPoint(0, 0), picture);
        return;
    }
    // A picture blown up to several times its size (a border strip, a flat
    // background) keeps its pixels as solid blocks: the seven rows of a strip
    // stay seven bands, however long the strip. A picture scaled by less
    // (the banners) is smoothed.
    const QSizeF natural = picture.deviceIndependentSize();
    const bool blownUp = width() >= 2 * natural.width() || height() >= 2 * natural.height();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, !blownUp);
    painter.drawImage(rect(), picture);
}

void PictureBox::mouseMoveEvent(QMouseEvent* event)
{
    emit mouseMoved();
    QWidget::mouseMoveEvent(event);
}
