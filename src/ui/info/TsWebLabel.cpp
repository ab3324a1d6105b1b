#include "ui/info/TsWebLabel.h"

#include "ui/info/ShellOpen.h"

#include <QMouseEvent>

TsWebLabel::TsWebLabel(QWidget* parent)
    : TsLabel(parent)
{
    setFontColor(Qt::blue);
    QFont underlined;
    underlined.setUnderline(true);
    setFont(underlined);
    // The hover font starts as a copy of the font as it stands now, in red.
    m_hoverFont = font();
    m_hoverFont.setResolveMask(QFont::AllPropertiesResolved);
    m_hoverFontColor = Qt::red;
    setCursor(Qt::PointingHandCursor);
}

void TsWebLabel::setHoverFont(const QFont& font)
{
    m_hoverFont = font;
}

void TsWebLabel::setHoverFontColor(const QColor& color)
{
    m_hoverFontColor = color;
}

QFont TsWebLabel::currentFont() const
{
    // Fonts set in a layout name only some attributes; the rest come from
    // the label's surroundings, as for the normal font.
    return mouseInControl() ? m_hoverFont.resolve(font()) : font();
}

QColor TsWebLabel::currentFontColor() const
{
    return mouseInControl() ? m_hoverFontColor : FontColor();
}

void TsWebLabel::mousePressEvent(QMouseEvent* event)
{
    TsLabel::mousePressEvent(event);
    if (event->button() == Qt::LeftButton && !m_url.isEmpty())
        shellOpen(m_url);
}
