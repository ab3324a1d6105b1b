#include "ui/widgets/TextLabel.h"

#include "ui/widgets/ShellOpen.h"
#include "ui/widgets/TextLabelAccessible.h"

#include <QAccessible>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcutEvent>

namespace {

// Room enough for any caption when measuring it unwrapped.
constexpr int kUnbounded = 1 << 20;

} // namespace

TextLabel::TextLabel(QWidget* parent)
    : QWidget(parent)
{
    TextLabelAccessible::install();
    setAttribute(Qt::WA_OpaquePaintEvent, true);
}

TextLabel::~TextLabel() = default;

void TextLabel::setText(const QString& text)
{
    if (text == m_text)
        return;
    m_text = text;
    updateShortcut();
    textChanged();
    if (QAccessible::isActive()) {
        QAccessibleEvent event(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&event);
    }
}

QString TextLabel::displayedText() const
{
    if (!m_showAccelerator)
        return m_text;
    // "&&" shows one "&"; a single "&" only marks the next character.
    QString text;
    text.reserve(m_text.size());
    for (qsizetype i = 0; i < m_text.size(); ++i) {
        if (m_text[i] == QLatin1Char('&') && ++i == m_text.size())
            break;
        text += m_text[i];
    }
    return text;
}

QColor TextLabel::backgroundColor() const
{
    if (m_parentBackground) {
        const QWidget* parent = parentWidget();
        return parent ? parent->palette().color(parent->backgroundRole()) : palette().color(QPalette::Window);
    }
    return m_background;
}

void TextLabel::setBackgroundColor(const QColor& color)
{
    if (color == m_background && !m_parentBackground)
        return;
    m_background = color;
    m_parentBackground = false;
    update();
}

void TextLabel::setParentBackground(bool on)
{
    if (on == m_parentBackground)
        return;
    m_parentBackground = on;
    update();
}

void TextLabel::setTransparent(bool value)
{
    if (value == m_transparent)
        return;
    m_transparent = value;
    // An opaque label paints every pixel itself; a transparent one lets what
    // lies beneath be painted first.
    setAttribute(Qt::WA_OpaquePaintEvent, !value);
    update();
}

int TextLabel::fontPixels() const
{
    return font().pixelSize();
}

void TextLabel::setFontPixels(int pixels)
{
    QFont f = font();
    f.setPixelSize(pixels);
    setFont(f);
}

void TextLabel::setBold(bool value)
{
    QFont f = font();
    f.setBold(value);
    setFont(f);
}

void TextLabel::setLetterSpacingPercent(int percent)
{
    m_letterSpacing = percent;
    QFont f = font();
    f.setLetterSpacing(QFont::PercentageSpacing, percent);
    setFont(f);
}

void TextLabel::setAutoSize(bool value)
{
    if (value == m_autoSize)
        return;
    m_autoSize = value;
    fitSize();
}

void TextLabel::setFitsHeight(bool value)
{
    if (value == m_fitsHeight)
        return;
    m_fitsHeight = value;
    fitSize();
}

void TextLabel::setWordWrap(bool value)
{
    if (value == m_wordWrap)
        return;
    m_wordWrap = value;
    textChanged();
}

void TextLabel::setAlignment(Qt::Alignment alignment)
{
    m_alignment = alignment;
    update();
}

void TextLabel::setShowsAccelerator(bool on)
{
    if (on == m_showAccelerator)
        return;
    m_showAccelerator = on;
    updateShortcut();
    textChanged();
}

void TextLabel::setFocusControl(QWidget* control)
{
    m_focusControl = control;
    updateShortcut();
}

void TextLabel::textChanged()
{
    m_layout.reset();
    fitSize();
    update();
}

bool TextLabel::rightAligned() const
{
    const Qt::Alignment horizontal = m_alignment & Qt::AlignHorizontal_Mask;
    if (horizontal & Qt::AlignHCenter)
        return false;
    return bool(horizontal & Qt::AlignRight) != isRightToLeft();
}

int TextLabel::textFlags() const
{
    // Qt mirrors left and right itself for right-to-left text.
    int flags = int(m_alignment & Qt::AlignHorizontal_Mask) | Qt::AlignTop | Qt::TextExpandTabs;
    if (m_showAccelerator)
        flags |= Qt::TextShowMnemonic;
    if (m_wordWrap)
        flags |= Qt::TextWordWrap;
    return flags;
}

// A label of the layout's height is as wide as its text advances; one sized
// to its caption's box takes the box Qt draws the text in (one space for an
// empty caption, so it keeps a line's height).
QSize TextLabel::measuredSize() const
{
    if (!m_fitsHeight)
        return { qCeil(QFontMetricsF(font()).horizontalAdvance(displayedText())), height() };
    QString text = m_text;
    if (text.isEmpty() || (m_showAccelerator && text == QLatin1String("&")))
        text += QLatin1Char(' ');
    const QFontMetrics metrics(font());
    if (m_wordWrap)
        return { width(), metrics.boundingRect(QRect(0, 0, width(), kUnbounded), textFlags(), text).height() };
    return metrics.boundingRect(QRect(0, 0, kUnbounded, kUnbounded), textFlags(), text).size();
}

void TextLabel::fitSize()
{
    if (!m_autoSize || (m_wordWrap && !m_fitsHeight))
        return;
    const QSize size = measuredSize();
    if (size == this->size())
        return;
    // Right-aligned text keeps its right edge where it was.
    const int left = rightAligned() ? x() + width() - size.width() : x();
    setGeometry(left, y(), size.width(), size.height());
}

// The text in a font, wrapped at spaces into lines of the label's width.
std::unique_ptr<QTextLayout> TextLabel::layOut(const QFont& font) const
{
    auto layout = std::make_unique<QTextLayout>(m_text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WordWrap);
    layout->setTextOption(option);
    const qreal lineHeight = QFontMetricsF(font).lineSpacing();
    qreal y = 0;
    layout->beginLayout();
    for (QTextLine line = layout->createLine(); line.isValid(); line = layout->createLine()) {
        line.setLineWidth(width());
        line.setPosition(QPointF(0, y));
        y += lineHeight;
    }
    layout->endLayout();
    return layout;
}

const QTextLayout& TextLabel::wrapped() const
{
    if (!m_layout)
        m_layout = layOut(font());
    return *m_layout;
}

int TextLabel::lineCount() const
{
    return m_wordWrap ? wrapped().lineCount() : 1;
}

qreal TextLabel::firstCharacterX() const
{
    qsizetype leading = 0;
    while (leading < m_text.size() && m_text.at(leading) == QLatin1Char(' '))
        ++leading;
    if (m_wordWrap) {
        const QTextLine first = wrapped().lineAt(0);
        return first.isValid() ? first.cursorToX(int(leading)) : 0.0;
    }
    return QFontMetricsF(font()).horizontalAdvance(m_text.left(leading));
}

void TextLabel::click()
{
    if (!m_url.isEmpty())
        shellOpen(m_url);
    emit clicked();
}

QFont TextLabel::currentFont() const
{
    // A hover font set in a layout names only some attributes; the rest
    // come from the label's own font.
    return m_mouseInControl && m_hoverFont ? m_hoverFont->resolve(font()) : font();
}

QColor TextLabel::currentColor() const
{
    return m_mouseInControl && m_hoverFontColor.isValid() ? m_hoverFontColor : QColor(m_fontColor);
}

// Where the text's first line starts: its alignment in the label, the
// height of the text being what the label's own font gives it.
QPointF TextLabel::textOrigin(const QFont& font) const
{
    const QFontMetricsF metrics(font);
    const qreal textHeight = m_wordWrap ? wrapped().boundingRect().height() : metrics.height();
    qreal x = 0;
    if (!m_wordWrap) {
        const qreal free = width() - metrics.horizontalAdvance(m_text);
        if (m_alignment & Qt::AlignHCenter)
            x = free / 2;
        else if (rightAligned())
            x = free;
    }
    qreal y = 0;
    if (m_alignment & Qt::AlignBottom)
        y = height() - textHeight;
    else if (m_alignment & Qt::AlignVCenter)
        y = (height() - textHeight) / 2;
    return { x, y };
}

void TextLabel::drawText(QPainter& painter, QPointF shift) const
{
    const QFont font = currentFont();
    painter.setFont(font);
    if (m_showAccelerator) {
        // Qt's own text drawing reads the accelerator marks.
        QRect box = rect();
        if (!(m_alignment & Qt::AlignTop) && m_alignment & Qt::AlignVertical_Mask) {
            const int needed = QFontMetrics(font).boundingRect(box, textFlags(), m_text).height();
            const int free = height() - needed;
            box.translate(0, m_alignment & Qt::AlignVCenter ? free / 2 : free);
        }
        painter.drawText(box.translated(shift.toPoint()), textFlags(), m_text);
        return;
    }
    const QPointF origin = textOrigin(this->font()) + shift;
    if (m_wordWrap) {
        painter.setClipRect(rect());
        if (font == this->font())
            wrapped().draw(&painter, origin);
        else
            layOut(font)->draw(&painter, origin); // the hover font, while the pointer is over it
        return;
    }
    painter.drawText(origin + QPointF(0, QFontMetricsF(font).ascent()), m_text);
}

void TextLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (!m_transparent)
        painter.fillRect(rect(), backgroundColor());
    if (m_text.isEmpty())
        return;
    if (isEnabled() || !m_embossed) {
        painter.setPen(currentColor());
        drawText(painter, {});
        if (hasFocus()) {
            // The keyboard's mark: a dotted frame in the text's colour.
            painter.setPen(QPen(currentColor(), 1, Qt::DotLine));
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(rect().adjusted(0, 0, -1, -1));
        }
        return;
    }
    // Disabled: embossed, a highlight copy one pixel down and right under
    // the text in the shadow colour.
    painter.setPen(palette().color(QPalette::Active, QPalette::Light));
    drawText(painter, QPointF(1, 1));
    painter.setPen(palette().color(QPalette::Active, QPalette::Dark));
    drawText(painter, {});
}

void TextLabel::changeEvent(QEvent* event)
{
    switch (event->type()) {
    case QEvent::FontChange:
        textChanged();
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

void TextLabel::resizeEvent(QResizeEvent* event)
{
    if (m_wordWrap)
        m_layout.reset();
    QWidget::resizeEvent(event);
}

void TextLabel::enterEvent(QEnterEvent* event)
{
    QWidget::enterEvent(event);
    m_mouseInControl = true;
    if (m_hoverFont || m_hoverFontColor.isValid())
        repaint();
}

void TextLabel::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    m_mouseInControl = false;
    if (m_hoverFont || m_hoverFontColor.isValid())
        repaint();
}

bool TextLabel::focusControlTakesFocus() const
{
    const QWidget* control = m_focusControl;
    return control && isEnabled() && m_showAccelerator && control->isEnabled() && control->isVisible()
        && control->focusPolicy() != Qt::NoFocus;
}

void TextLabel::mousePressEvent(QMouseEvent* event)
{
    if (!m_clickable) {
        event->ignore();
        return;
    }
    if (event->button() != Qt::LeftButton)
        return;
    if (focusControlTakesFocus())
        m_focusControl->setFocus(Qt::MouseFocusReason);
    // Qt keeps sending this label the mouse until the button is released.
    m_pressed = true;
    if (!m_url.isEmpty())
        shellOpen(m_url);
}

void TextLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_clickable) {
        event->ignore();
        return;
    }
    if (event->button() != Qt::LeftButton)
        return;
    const bool click = m_pressed && rect().contains(event->position().toPoint());
    m_pressed = false;
    if (click)
        emit clicked();
}

void TextLabel::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (!m_clickable) {
        event->ignore();
        return;
    }
    // The second press of a double click starts no click of its own.
    if (event->button() == Qt::LeftButton)
        emit doubleClicked();
}

void TextLabel::keyPressEvent(QKeyEvent* event)
{
    const bool press = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Space;
    if (press && m_clickable && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TextLabel::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    update();
}

void TextLabel::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    update();
}

void TextLabel::mouseMoveEvent(QMouseEvent* event)
{
    emit mouseMoved(event->modifiers(), event->position().toPoint());
}

bool TextLabel::event(QEvent* event)
{
    if (event->type() == QEvent::Shortcut) {
        auto* shortcut = static_cast<QShortcutEvent*>(event);
        if (shortcut->shortcutId() == m_shortcutId && focusControlTakesFocus()) {
            m_focusControl->setFocus(Qt::ShortcutFocusReason);
            return true;
        }
        return false;
    }
    return QWidget::event(event);
}

void TextLabel::updateShortcut()
{
    if (m_shortcutId) {
        releaseShortcut(m_shortcutId);
        m_shortcutId = 0;
    }
    if (m_focusControl && m_showAccelerator) {
        const QKeySequence key = QKeySequence::mnemonic(m_text);
        if (!key.isEmpty())
            m_shortcutId = grabShortcut(key);
    }
}
