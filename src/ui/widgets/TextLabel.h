// The program's one text label: a caption in one font and colour, on a box
// of its own background colour (or its parent's), or straight over whatever
// lies beneath. Every label of every window is one of these; the link labels
// of the information windows (TsWebLabel) only set it up differently.
//
// Size: an auto-sized label is as wide as its caption; its height is the
// layout's, or, for a label sized to its caption's box, one line (or the
// wrapped lines) of its font. A label aligned to the right keeps its right
// edge. A label of fixed size wraps its text at spaces and cuts it at its
// edges.
//
// Caption: with accelerators shown, "&" marks the next character ("&&" is
// one "&") and the marked key moves the focus to the label's focus control.
//
// Pointer: a clickable label reports a press and release over it with
// clicked() and a double click with doubleClicked() (no second click); one
// that follows the pointer reports every move with mouseMoved(). A label
// with a hover look draws in it while the pointer is over it. A label with
// an address opens it in the desktop's program as soon as it is pressed.
//
// Keyboard: a label that takes the focus (its focus policy) shows a dotted
// frame while it has it, and Enter or Space clicks it.
//
// Screen readers read the caption; a clickable label is a button (unless
// it is to be read as plain text), a label marked as a link a link, and
// both can be pressed.
#pragma once

#include <QColor>
#include <QFont>
#include <QPointer>
#include <QTextLayout>
#include <QWidget>

#include <memory>
#include <optional>

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
    // The caption as it reads on the screen, without accelerator marks.
    QString displayedText() const;

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

    // The box behind the text: its own colour, or (parentBackground) the
    // colour its parent shows; setting a colour gives it its own.
    QColor backgroundColor() const;
    void setBackgroundColor(const QColor& color);
    bool parentBackground() const { return m_parentBackground; }
    void setParentBackground(bool on);

    // A transparent label draws no box: what lies beneath shows round the text.
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
    // An auto-sized label takes the height of its text too (off: the
    // layout's height stays).
    bool fitsHeight() const { return m_fitsHeight; }
    void setFitsHeight(bool value);

    bool wordWrap() const { return m_wordWrap; }
    void setWordWrap(bool value);

    // Horizontal (left, right, centre) and vertical (top, centre, bottom)
    // place of the text in the label; right and left swap for right-to-left
    // text.
    Qt::Alignment alignment() const { return m_alignment; }
    void setAlignment(Qt::Alignment alignment);

    // Whether "&" marks an accelerator in the caption.
    bool showsAccelerator() const { return m_showAccelerator; }
    void setShowsAccelerator(bool on);
    // The control that takes the focus on the caption's accelerator key or
    // on a press of the label; cleared when that control goes away.
    QWidget* focusControl() const { return m_focusControl; }
    void setFocusControl(QWidget* control);

    // The font and text colour while the pointer is over the label. Setting
    // them neither re-measures nor repaints the label.
    QFont hoverFont() const { return m_hoverFont.value_or(font()); }
    void setHoverFont(const QFont& font) { m_hoverFont = font; }
    QColor hoverFontColor() const { return m_hoverFontColor; }
    void setHoverFontColor(const QColor& color) { m_hoverFontColor = color; }
    // A disabled label drawn embossed (a light copy under a dark one)
    // instead of in its colours.
    bool embossedWhenDisabled() const { return m_embossed; }
    void setEmbossedWhenDisabled(bool on) { m_embossed = on; }
    // Whether the pointer is over the label.
    bool mouseInControl() const { return m_mouseInControl; }

    bool clickable() const { return m_clickable; }
    void setClickable(bool value) { m_clickable = value; }
    // Read as plain text by screen readers though it takes clicks.
    bool readAsText() const { return m_readAsText; }
    void setReadAsText(bool on) { m_readAsText = on; }
    // A link to screen readers (role, and its address as the value).
    bool isLink() const { return m_link; }
    void setLink(bool on) { m_link = on; }
    // The address opened when the label is pressed (none: nothing opens).
    QString url() const { return m_url; }
    void setUrl(const QString& url) { m_url = url; }

    // Lines the text takes at the label's width (1 unless it wraps).
    int lineCount() const;
    // Where the first visible character of the text starts, in the label's
    // pixels (past any leading spaces).
    qreal firstCharacterX() const;

    // Clicks the label from code, as a click of the mouse would: its
    // address opens, then clicked().
    void click();

signals:
    void clicked();
    void doubleClicked();
    void mouseMoved(Qt::KeyboardModifiers modifiers, QPoint position);

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool event(QEvent* event) override;

private:
    void textChanged();
    void fitSize();
    QSize measuredSize() const;
    bool rightAligned() const;
    int textFlags() const;
    QFont currentFont() const;
    QColor currentColor() const;
    QPointF textOrigin(const QFont& font) const;
    void drawText(QPainter& painter, QPointF shift) const;
    std::unique_ptr<QTextLayout> layOut(const QFont& font) const;
    const QTextLayout& wrapped() const;
    void updateShortcut();
    bool focusControlTakesFocus() const;

    QString m_text;
    QRgb m_fontColor = qRgb(0, 0, 0);
    QColor m_background = Qt::white;
    bool m_parentBackground = false;
    int m_letterSpacing = 100;
    bool m_transparent = false;
    bool m_autoSize = true;
    bool m_fitsHeight = false;
    bool m_wordWrap = false;
    Qt::Alignment m_alignment = Qt::AlignLeft | Qt::AlignTop;
    bool m_showAccelerator = false;
    QPointer<QWidget> m_focusControl;
    int m_shortcutId = 0;
    std::optional<QFont> m_hoverFont;
    QColor m_hoverFontColor;
    bool m_mouseInControl = false;
    bool m_embossed = false;
    bool m_clickable = false;
    bool m_link = false;
    bool m_readAsText = false;
    QString m_url;
    bool m_pressed = false;
    // The text laid out in lines at the label's width; rebuilt when needed.
    mutable std::unique_ptr<QTextLayout> m_layout;
};
