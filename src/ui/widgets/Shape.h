// A rectangle drawn on a window: filled with its brush colour and outlined
// with a pen of its pen colour and width. A rectangle two pixels high with a
// one-pixel pen shows as a rule of the pen's colour.
#pragma once

#include <QColor>
#include <QWidget>

class Shape : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QColor penColor READ penColor WRITE setPenColor)
    Q_PROPERTY(int penWidth READ penWidth WRITE setPenWidth)
    Q_PROPERTY(QColor brushColor READ brushColor WRITE setBrushColor)

public:
    explicit Shape(QWidget* parent = nullptr);

    QColor penColor() const { return m_penColor; }
    void setPenColor(const QColor& color);
    int penWidth() const { return m_penWidth; }
    void setPenWidth(int width);
    QColor brushColor() const { return m_brushColor; }
    void setBrushColor(const QColor& color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_penColor = Qt::black;
    int m_penWidth = 1;
    QColor m_brushColor = Qt::white;
};
