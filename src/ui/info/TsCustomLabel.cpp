#include "ui/info/TsCustomLabel.h"

#include "ui/info/TsLabelAccessible.h"
#include "ui/widgets/PictureBox.h"
#include "ui/widgets/Shape.h"

#include <QFontMetrics>
#include <QKeySequence>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcutEvent>

namespace {

// Pictures, plain labels and shapes are painted on their parent's surface in
// the window layouts; every other child is a control of its own.
bool paintsOnParent(const QWidget* widget)
{
    return qobject_cast<const QLabel*>(widget) || qobject_cast<const PictureBox*>(widget)
        || qobject_cast<const Shape*>(widget);
}

} // namespace

TsCustomLabel::TsCustomLabel(QWidget* parent)
    : QWidget(parent)
{
    TsLabelAccessible::install();
    resize(65, 17);
    // The label paints all of its area itself.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QString TsCustomLabel::displayedText() const
{
    if (!m_showAccelChar)
        return m_caption;
    // "&&" shows one "&"; a single "&" only marks the next character.
    QString text;
    text.reserve(m_caption.size());
    for (qsizetype i = 0; i < m_caption.size(); ++i) {
        if (m_caption[i] == QLatin1Char('&') && ++i == m_caption.size())
            break;
        text += m_caption[i];
    }
    return text;
}

void TsCustomLabel::setCaption(const QString& caption)
{
    if (caption == m_caption)
        return;
    m_caption = caption;
    setAccessibleName(displayedText());
    updateShortcut();
    adjustBounds();
    update();
}

QColor TsCustomLabel::FontColor() const
{
    return m_fontColor.isValid() ? m_fontColor : palette().color(QPalette::WindowText);
}

void TsCustomLabel::setFontColor(const QColor& color)
{
    if (color == m_fontColor)
        return;
    m_fontColor = color;
    update();
}

QColor TsCustomLabel::Color() const
{
    if (m_parentColor) {
        const QWidget* parent = parentWidget();
        return parent ? parent->palette().color(parent->backgroundRole()) : palette().color(QPalette::Window);
    }
    return m_color.isValid() ? m_color : palette().color(QPalette::Button);
}

void TsCustomLabel::setColor(const QColor& color)
{
    m_color = color;
    m_parentColor = false;
    update();
}

void TsCustomLabel::setParentColor(bool on)
{
    if (on == m_parentColor)
        return;
    m_parentColor = on;
    update();
}

void TsCustomLabel::setTransparent(bool on)
{
    m_transparent = on;
    update();
}

void TsCustomLabel::setAutoSize(bool on)
{
    if (on == m_autoSize)
        return;
    m_autoSize = on;
    adjustBounds();
}

void TsCustomLabel::setWordWrap(bool on)
{
    if (on == m_wordWrap)
        return;
    m_wordWrap = on;
    adjustBounds();
    update();
}

void TsCustomLabel::setAlignment(TextAlignment alignment)
{
    m_alignment = alignment;
    update();
}

void TsCustomLabel::setLayout(TextLayout layout)
{
    m_layout = layout;
    update();
}

void TsCustomLabel::setShowAccelChar(bool on)
{
    m_showAccelChar = on;
    setAccessibleName(displayedText());
    updateShortcut();
    update();
}

void TsCustomLabel::setFocusControl(QWidget* control)
{
    m_focusControl = control;
    updateShortcut();
}

TsCustomLabel::TextAlignment TsCustomLabel::effectiveAlignment() const
{
    if (!isRightToLeft() || m_alignment == TextAlignment::Center)
        return m_alignment;
    return m_alignment == TextAlignment::Left ? TextAlignment::Right : TextAlignment::Left;
}

int TsCustomLabel::alignmentFlags() const
{
    // Qt mirrors left and right itself for right-to-left text.
    switch (m_alignment) {
    case TextAlignment::Right:
        return Qt::AlignRight;
    case TextAlignment::Center:
        return Qt::AlignHCenter;
    case TextAlignment::Left:
        break;
    }
    return Qt::AlignLeft;
}

void TsCustomLabel::doDrawText(QPainter* painter, QRect& rect, int flags) const
{
    QString text = getLabelText();
    flags |= Qt::AlignTop;
    if (m_showAccelChar)
        flags |= Qt::TextShowMnemonic;
    const QFont font = currentFont();
    if (!painter) {
        // An empty label still measures one line high.
        if (text.isEmpty() || (m_showAccelChar && text == QLatin1String("&")))
            text += QLatin1Char(' ');
        const QFontMetrics metrics(font);
        if (flags & Qt::TextWordWrap) {
            const QRect needed
                = metrics.boundingRect(QRect(rect.left(), rect.top(), rect.width(), 1 << 20), flags, text);
            rect.setHeight(needed.height());
        } else {
            const QRect needed = metrics.boundingRect(QRect(rect.topLeft(), QSize(1 << 20, 1 << 20)), flags, text);
            rect.setSize(needed.size());
        }
        return;
    }
    painter->setFont(font);
    if (isEnabled()) {
        painter->setPen(currentFontColor());
        painter->drawText(rect, flags, text);
        return;
    }
    // Disabled: embossed, a highlight copy one pixel down and right under
    // the text in the shadow colour.
    painter->setPen(palette().color(QPalette::Active, QPalette::Light));
    painter->drawText(rect.translated(1, 1), flags, text);
    painter->setPen(palette().color(QPalette::Active, QPalette::Dark));
    painter->drawText(rect, flags, text);
}

void TsCustomLabel::adjustBounds()
{
    if (m_autoSize) {
        QRect measured = rect();
        doDrawText(nullptr, measured, (m_wordWrap ? Qt::TextWordWrap : 0) | Qt::TextExpandTabs);
        int left = x();
        if (effectiveAlignment() == TextAlignment::Right)
            left += width() - measured.width();
        setGeometry(left, y(), measured.width(), measured.height());
    }
    QWidget* parent = parentWidget();
    if (!parent)
        return;
    for (QObject* child : parent->children()) {
        auto* sibling = qobject_cast<QWidget*>(child);
        if (sibling && sibling != this && !sibling->isWindow() && !paintsOnParent(sibling)) {
            stackUnder(sibling);
            break;
        }
    }
}

void TsCustomLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Color());
    const int flags = alignmentFlags() | (m_wordWrap ? Qt::TextWordWrap : 0) | Qt::TextExpandTabs;
    QRect textRect = rect();
    if (m_layout != TextLayout::Top) {
        QRect measured = textRect;
        doDrawText(nullptr, measured, flags);
        int shift = height() - (measured.top() + measured.height());
        if (m_layout == TextLayout::Center)
            shift /= 2;
        textRect.translate(0, shift);
    }
    doDrawText(&painter, textRect, flags);
}

void TsCustomLabel::enterEvent(QEnterEvent* event)
{
    QWidget::enterEvent(event);
    m_mouseInControl = true;
    repaint();
}

void TsCustomLabel::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    m_mouseInControl = false;
    repaint();
}

void TsCustomLabel::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        QWidget* control = m_focusControl;
        if (control && isEnabled() && m_showAccelChar && control->isEnabled() && control->isVisible()
            && control->focusPolicy() != Qt::NoFocus)
            control->setFocus(Qt::MouseFocusReason);
        // Qt keeps sending this label the mouse until the button is released.
        m_clicking = true;
    }
    emit OnMouseDown(event->button(), event->modifiers(), event->position().toPoint());
}

void TsCustomLabel::mouseReleaseEvent(QMouseEvent* event)
{
    const bool click = event->button() == Qt::LeftButton && m_clicking && rect().contains(event->position().toPoint());
    if (event->button() == Qt::LeftButton)
        m_clicking = false;
    if (click)
        emit OnClick();
    emit OnMouseUp(event->button(), event->modifiers(), event->position().toPoint());
}

void TsCustomLabel::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The second press of a double click starts no click of its own.
    if (event->button() == Qt::LeftButton)
        emit OnDblClick();
    emit OnMouseDown(event->button(), event->modifiers(), event->position().toPoint());
}

void TsCustomLabel::changeEvent(QEvent* event)
{
    switch (event->type()) {
    case QEvent::FontChange:
        adjustBounds();
        update();
        break;
    case QEvent::EnabledChange:
    case QEvent::PaletteChange:
    case QEvent::ParentChange:
        update();
        break;
    default:
        break;
    }
    QWidget::changeEvent(event);
}

bool TsCustomLabel::event(QEvent* event)
{
    if (event->type() == QEvent::Shortcut) {
        auto* shortcut = static_cast<QShortcutEvent*>(event);
        QWidget* control = m_focusControl;
        if (shortcut->shortcutId() == m_shortcutId && control && isEnabled() && m_showAccelChar && control->isEnabled()
            && control->isVisible() && control->focusPolicy() != Qt::NoFocus) {
            control->setFocus(Qt::ShortcutFocusReason);
            return true;
        }
        return false;
    }
    return QWidget::event(event);
}

void TsCustomLabel::updateShortcut()
{
    if (m_shortcutId) {
        releaseShortcut(m_shortcutId);
        m_shortcutId = 0;
    }
    if (m_focusControl && m_showAccelChar) {
        const QKeySequence key = QKeySequence::mnemonic(m_caption);
        if (!key.isEmpty())
            m_shortcutId = grabShortcut(key);
    }
}
