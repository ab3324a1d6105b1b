#include "ui/widgets/ClassicGroupBox.h"

#include "ui/widgets/Colours.h"

#include <QPainter>

namespace {

// The caption starts this far from the box's left edge and keeps this much
// clear space on either side of its text.
constexpr int kCaptionLeft = 8;
constexpr int kCaptionPadding = 2;

} // namespace

ClassicGroupBox::ClassicGroupBox(QWidget* parent)
    : QGroupBox(parent)
{
}

QRect ClassicGroupBox::frameRect() const
{
    const int top = fontMetrics().height() / 2;
    return QRect(0, top, width(), height() - top);
}

QRect ClassicGroupBox::captionRect() const
{
    const int textWidth = fontMetrics().horizontalAdvance(title());
    return QRect(kCaptionLeft, 0, textWidth + 2 * kCaptionPadding, fontMetrics().height());
}

void ClassicGroupBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    // Engraved: a dark rectangle with a light one a pixel down and right.
    const QRect frame = frameRect().adjusted(0, 0, -2, -2);
    painter.setPen(QColor(colours::kEdgeHighlight));
    painter.drawRect(frame.translated(1, 1));
    painter.setPen(QColor(colours::kEdgeShadow));
    painter.drawRect(frame);

    if (title().isEmpty())
        return;
    const QRect caption = captionRect();
    painter.fillRect(caption, palette().color(QPalette::Window));
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    painter.drawText(caption.adjusted(kCaptionPadding, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, title());
}
