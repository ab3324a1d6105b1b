// The link of the information windows: a TextLabel whose caption shows blue
// and underlined, red while the pointer is over it, with the hand pointer;
// sized to its caption's box, on its parent's colour, "&" marking an
// accelerator. A click is reported to the window (clicked); an address in
// URL, if one is set, is opened by the label itself as soon as it is pressed.
// The properties carry the names the window layouts give them.
#pragma once

#include "ui/widgets/TextLabel.h"

class TsWebLabel : public TextLabel {
    Q_OBJECT

public:
    enum class TextAlignment { Left, Right, Center };
    Q_ENUM(TextAlignment)
    enum class TextLayout { Top, Center, Bottom };
    Q_ENUM(TextLayout)

private:
    Q_PROPERTY(QString Caption READ Caption WRITE setCaption)
    Q_PROPERTY(QColor FontColor READ FontColor WRITE setFontColor)
    Q_PROPERTY(QColor Color READ Color WRITE setColor)
    Q_PROPERTY(bool ParentColor READ ParentColor WRITE setParentBackground)
    Q_PROPERTY(bool AutoSize READ autoSize WRITE setAutoSize)
    Q_PROPERTY(bool WordWrap READ wordWrap WRITE setWordWrap)
    Q_PROPERTY(TextAlignment Alignment READ Alignment WRITE setAlignment)
    Q_PROPERTY(TextLayout Layout READ Layout WRITE setLayout)
    Q_PROPERTY(bool ShowAccelChar READ showsAccelerator WRITE setShowsAccelerator)
    Q_PROPERTY(QWidget* FocusControl READ focusControl WRITE setFocusControl)
    Q_PROPERTY(QFont HoverFont READ HoverFont WRITE setHoverFont)
    Q_PROPERTY(QColor HoverFontColor READ HoverFontColor WRITE setHoverFontColor)
    Q_PROPERTY(QString URL READ url WRITE setUrl)

public:
    explicit TsWebLabel(QWidget* parent = nullptr);

    QString Caption() const { return text(); }
    void setCaption(const QString& caption) { setText(caption); }
    QColor FontColor() const { return fontColor(); }
    QColor Color() const { return backgroundColor(); }
    void setColor(const QColor& color) { setBackgroundColor(color); }
    bool ParentColor() const { return parentBackground(); }
    TextAlignment Alignment() const;
    using TextLabel::setAlignment;
    void setAlignment(TextAlignment alignment);
    TextLayout Layout() const;
    void setLayout(TextLayout layout);
    void setShowAccelChar(bool on) { setShowsAccelerator(on); }
    QWidget* FocusControl() const { return focusControl(); }
    QFont HoverFont() const { return hoverFont(); }
    QColor HoverFontColor() const { return hoverFontColor(); }
    QString URL() const { return url(); }
    void setURL(const QString& address) { setUrl(address); }

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool m_stacked = false;
};
