#include "ui/info/TsWebLabel.h"

#include "ui/widgets/PictureBox.h"
#include "ui/widgets/Shape.h"

#include <QLabel>

namespace {

// Pictures, plain labels and shapes are painted on their parent's surface in
// the window layouts; every other child is a control of its own.
bool paintsOnParent(const QWidget* widget)
{
    return qobject_cast<const QLabel*>(widget) || qobject_cast<const PictureBox*>(widget)
        || qobject_cast<const Shape*>(widget);
}

} // namespace

TsWebLabel::TsWebLabel(QWidget* parent)
    : TextLabel(parent)
{
    resize(65, 17);
    setParentBackground(true);
    setFitsHeight(true);
    setShowsAccelerator(true);
    setClickable(true);
    setLink(true);
    setEmbossedWhenDisabled(true);
    setFontColor(Qt::blue);
    QFont underlined;
    underlined.setUnderline(true);
    setFont(underlined);
    // The hover font starts as a copy of the font as it stands now, in red.
    QFont hover = font();
    hover.setResolveMask(QFont::AllPropertiesResolved);
    setHoverFont(hover);
    setHoverFontColor(Qt::red);
    setCursor(Qt::PointingHandCursor);
    // Tab reaches a link; Enter or Space follows it.
    setFocusPolicy(Qt::TabFocus);
}

TsWebLabel::TextAlignment TsWebLabel::Alignment() const
{
    const Qt::Alignment horizontal = alignment() & Qt::AlignHorizontal_Mask;
    if (horizontal & Qt::AlignRight)
        return TextAlignment::Right;
    return horizontal & Qt::AlignHCenter ? TextAlignment::Center : TextAlignment::Left;
}

void TsWebLabel::setAlignment(TextAlignment value)
{
    const Qt::Alignment horizontal = value == TextAlignment::Right ? Qt::AlignRight
        : value == TextAlignment::Center                           ? Qt::AlignHCenter
                                                                   : Qt::AlignLeft;
    setAlignment(horizontal | (alignment() & Qt::AlignVertical_Mask));
}

TsWebLabel::TextLayout TsWebLabel::Layout() const
{
    const Qt::Alignment vertical = alignment() & Qt::AlignVertical_Mask;
    if (vertical & Qt::AlignBottom)
        return TextLayout::Bottom;
    return vertical & Qt::AlignVCenter ? TextLayout::Center : TextLayout::Top;
}

void TsWebLabel::setLayout(TextLayout value)
{
    const Qt::Alignment vertical = value == TextLayout::Bottom ? Qt::AlignBottom
        : value == TextLayout::Center                          ? Qt::AlignVCenter
                                                               : Qt::AlignTop;
    setAlignment(vertical | (alignment() & Qt::AlignHorizontal_Mask));
}

// A link is drawn on its parent's surface, beneath the parent's windowed
// controls, as the layouts were drawn.
void TsWebLabel::showEvent(QShowEvent* event)
{
    if (!m_stacked && parentWidget()) {
        m_stacked = true;
        for (QObject* child : parentWidget()->children()) {
            auto* sibling = qobject_cast<QWidget*>(child);
            if (sibling && sibling != this && !sibling->isWindow() && !paintsOnParent(sibling)) {
                stackUnder(sibling);
                break;
            }
        }
    }
    TextLabel::showEvent(event);
}
