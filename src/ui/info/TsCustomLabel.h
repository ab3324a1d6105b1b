// A one-line (or word-wrapped) label that is a control of its own: it paints
// its whole area in its colour, draws its caption with "&" marking an
// accelerator, sizes itself to its caption, tells when the pointer is over
// it, and reports presses, clicks and double clicks. TsLabel publishes its
// settings; TsWebLabel makes a link of it.
#pragma once

#include <QColor>
#include <QPointer>
#include <QWidget>

class QPainter;

class TsCustomLabel : public QWidget {
    Q_OBJECT

public:
    enum class TextAlignment { Left, Right, Center };
    Q_ENUM(TextAlignment)
    enum class TextLayout { Top, Center, Bottom };
    Q_ENUM(TextLayout)

    explicit TsCustomLabel(QWidget* parent = nullptr);

    QString Caption() const { return m_caption; }
    void setCaption(const QString& caption);

    // The colour of the text in the normal font (the font itself is the
    // widget's font).
    QColor FontColor() const;
    void setFontColor(const QColor& color);

    // The background fill: the parent's colour while ParentColor is on;
    // setting a colour turns ParentColor off.
    QColor Color() const;
    void setColor(const QColor& color);
    bool ParentColor() const { return m_parentColor; }
    void setParentColor(bool on);

    // Kept for the window layouts; the label always paints its background.
    bool Transparent() const { return m_transparent; }
    void setTransparent(bool on);

    bool AutoSize() const { return m_autoSize; }
    virtual void setAutoSize(bool on);
    bool WordWrap() const { return m_wordWrap; }
    void setWordWrap(bool on);
    TextAlignment Alignment() const { return m_alignment; }
    void setAlignment(TextAlignment alignment);
    TextLayout Layout() const { return m_layout; }
    void setLayout(TextLayout layout);
    bool ShowAccelChar() const { return m_showAccelChar; }
    void setShowAccelChar(bool on);

    // The control that takes the focus on the caption's accelerator key or
    // on a press of the label; cleared when that control goes away.
    QWidget* FocusControl() const { return m_focusControl; }
    void setFocusControl(QWidget* control);

    // The caption as it reads on the screen, without accelerator marks.
    QString displayedText() const;

    // Whether the pointer is over the label.
    bool mouseInControl() const { return m_mouseInControl; }

signals:
    void OnClick();
    void OnDblClick();
    void OnMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint at);
    void OnMouseUp(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint at);

protected:
    // The text shown: the caption.
    virtual QString getLabelText() const { return m_caption; }
    // Sizes the label to its text when AutoSize is on (the right edge stays
    // where it is for right-aligned text), then puts it beneath its windowed
    // siblings.
    virtual void adjustBounds();
    // Draws the text into rect, or only measures it when painter is null:
    // rect then becomes the rectangle the text needs.
    virtual void doDrawText(QPainter* painter, QRect& rect, int flags) const;
    // The font and text colour in use now.
    virtual QFont currentFont() const { return font(); }
    virtual QColor currentFontColor() const { return FontColor(); }

    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;

private:
    // The alignment after mirroring for right-to-left text.
    TextAlignment effectiveAlignment() const;
    int alignmentFlags() const;
    void updateShortcut();

    QString m_caption;
    QColor m_fontColor;
    QColor m_color;
    bool m_parentColor = true;
    bool m_transparent = true;
    bool m_autoSize = true;
    bool m_wordWrap = false;
    TextAlignment m_alignment = TextAlignment::Left;
    TextLayout m_layout = TextLayout::Top;
    bool m_showAccelChar = true;
    QPointer<QWidget> m_focusControl;
    int m_shortcutId = 0;
    bool m_mouseInControl = false;
    bool m_clicking = false;
};
