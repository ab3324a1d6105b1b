// A static text of a window, as the layouts describe one: a caption in one
// font and colour, either on a box of its own background colour or straight
// over whatever lies beneath. An auto-sized label is as wide as its caption
// (its height is the layout's); a label of fixed size wraps its text at
// spaces and cuts it at its edges.
//
// A label the user can click says so with clicked(); one that follows the
// pointer reports every move over it with mouseMoved(). Screen readers read
// the caption and can press a clickable label like a button.
#pragma once

#include <QColor>
#include <QTextLayout>
#include <QWidget>

#include <memory>

class TextLabel : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString text READ text WRITE setText)
    Q_PROPERTY(QColor fontColor READ fontColor WRITE setFontColor)
    Q_PROPERTY(QColor backgroundColor READ backgroundColor WRITE setBackgroundColor)
    Q_PROPERTY(bool transparent READ transparent WRITE setTransparent)
    Q_PROPERTY(int fontPixels READ fontPixels WRITE setFontPixels)
    Q_PROPERTY(bool bold READ bold WRITE setBold)
    Q_PROPERTY(int letterSpacingPercent READ letterSpacingPercent WRITE setLetterSpacingPercent)
    Q_PROPERTY(bool autoSize READ autoSize WRITE setAutoSize)
    Q_PROPERTY(bool wordWrap READ wordWrap WRITE setWordWrap)
    Q_PROPERTY(bool clickable READ clickable WRITE setClickable)

public:
    explicit TextLabel(QWidget* parent = nullptr);
    ~TextLabel() override;

    QString text() const { return m_text; }
    void setText(const QString& text);

    // Setting the colour the label already has costs nothing: no repaint,
    // no event.
    QColor fontColor() const { return QColor(m_fontColor); }
    QRgb fontRgb() const { return m_fontColor; }
    void setFontColor(const QColor& color) { setFontRgb(color.rgb()); }
    void setFontRgb(QRgb rgb)
    {
        if (rgb != m_fontColor) {
            m_fontColor = rgb;
            update();
        }
    }

    QColor backgroundColor() const { return m_background; }
    void setBackgroundColor(const QColor& color);

    bool transparent() const { return m_transparent; }
    void setTransparent(bool value);

    // Character height in pixels (11 for the layouts' 8 pt, 13 for 10 pt).
    int fontPixels() const;
    void setFontPixels(int pixels);
    bool bold() const { return font().bold(); }
    void setBold(bool value);
    // Letter spacing in percent of the font's own (100: unchanged).
    int letterSpacingPercent() const { return m_letterSpacing; }
    void setLetterSpacingPercent(int percent);

    bool autoSize() const { return m_autoSize; }
    void setAutoSize(bool value);

    bool wordWrap() const { return m_wordWrap; }
    void setWordWrap(bool value);

    bool clickable() const { return m_clickable; }
    void setClickable(bool value) { m_clickable = value; }

    // Lines the text takes at the label's width (1 unless it wraps).
    int lineCount() const;
    // Where the first visible character of the text starts, in the label's
    // pixels (past any leading spaces).
    qreal firstCharacterX() const;

    // Clicks the label from code, as a click of the mouse would.
    void click();

signals:
    void clicked();
    void mouseMoved(Qt::KeyboardModifiers modifiers, QPoint position);

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void textChanged();
    void fitWidth();
    const QTextLayout& wrapped() const;

    QString m_text;
    QRgb m_fontColor = qRgb(0, 0, 0);
    QColor m_background = Qt::white;
    int m_letterSpacing = 100;
    bool m_transparent = false;
    bool m_autoSize = true;
    bool m_wordWrap = false;
    bool m_clickable = false;
    bool m_pressed = false;
    // The text laid out in lines at the label's width; rebuilt when needed.
    mutable std::unique_ptr<QTextLayout> m_layout;
};
