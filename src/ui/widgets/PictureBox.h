// A fixed picture of a window: drawn stretched to the control (smoothed, or
// in solid blocks of its pixels when blown up to twice its size or more) or
// at its natural size from the top-left corner, or a flat fill of one colour while
// the control has no picture. The picture is named in the window's layout
// (pictureName) and comes from the program's resources; on a scaled screen
// its double-resolution version is drawn instead.
#pragma once

#include <QColor>
#include <QImage>
#include <QWidget>

class PictureBox : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QColor fillColor READ fillColor WRITE setFillColor)
    Q_PROPERTY(bool stretch READ stretch WRITE setStretch)
    Q_PROPERTY(QString pictureName READ pictureName WRITE setPictureName)

public:
    explicit PictureBox(QWidget* parent = nullptr);

    QColor fillColor() const { return m_fillColor; }
    void setFillColor(const QColor& color);

    bool stretch() const { return m_stretch; }
    void setStretch(bool value);

    // The file name of the picture under the resources' ":/pictures/"
    // folder, for example "top_banner.jpg"; empty for none.
    QString pictureName() const { return m_pictureName; }
    void setPictureName(const QString& name);

    // The picture at its own pixel size. Setting one directly forgets the name.
    const QImage& picture() const { return m_picture; }
    void setPicture(const QImage& picture);

    // What is drawn at this device pixel ratio: the named picture's
    // double-resolution version above 1 where there is one, else picture().
    const QImage& pictureFor(qreal ratio) const;

signals:
    void mouseMoved();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    QColor m_fillColor = Qt::white;
    bool m_stretch = true;
    QString m_pictureName;
    QImage m_picture;
    mutable QImage m_sharpPicture;
    mutable bool m_sharpLoaded = false;
};
