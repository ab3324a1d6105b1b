#include "ui/widgets/TextLabel.h"

#include "ui/widgets/TextLabelAccessible.h"

#include <QAccessible>
#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>

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
    textChanged();
    if (QAccessible::isActive()) {
        QAccessibleEvent event(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&event);
    }
}

void TextLabel::setBackgroundColor(const QColor& color)
{
    if (color == m_background)
        return;
    m_background = color;
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
    m_autoSize = value;
    fitWidth();
}

void TextLabel::setWordWrap(bool value)
{
    if (value == m_wordWrap)
        return;
    m_wordWrap = value;
    textChanged();
}

void TextLabel::textChanged()
{
    m_layout.reset();
    fitWidth();
    update();
}

void TextLabel::fitWidth()
{
    if (!m_autoSize || m_wordWrap)
        return;
    const int width = qCeil(QFontMetricsF(font()).horizontalAdvance(m_text));
    if (width != this->width())
        resize(width, height());
}

const QTextLayout& TextLabel::wrapped() const
{
    if (!m_layout) {
        m_layout = std::make_unique<QTextLayout>(m_text, font());
        QTextOption option;
        option.setWrapMode(QTextOption::WordWrap);
        m_layout->setTextOption(option);
        const qreal lineHeight = QFontMetricsF(font()).lineSpacing();
        qreal y = 0;
        m_layout->beginLayout();
        for (QTextLine line = m_layout->createLine(); line.isValid(); line = m_layout->createLine()) {
            line.setLineWidth(width());
            line.setPosition(QPointF(0, y));
            y += lineHeight;
        }
        m_layout->endLayout();
    }
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
    emit clicked();
}

void TextLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (!m_transparent)
        painter.fillRect(rect(), m_background);
    if (m_text.isEmpty())
        return;
    painter.setPen(QColor(m_fontColor));
    painter.setFont(font());
    if (m_wordWrap) {
        painter.setClipRect(rect());
        wrapped().draw(&painter, QPointF(0, 0));
    } else {
        painter.drawText(QPointF(0, QFontMetricsF(font()).ascent()), m_text);
    }
}

void TextLabel::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange)
        textChanged();
    QWidget::changeEvent(event);
}

void TextLabel::resizeEvent(QResizeEvent* event)
{
    if (m_wordWrap)
        m_layout.reset();
    QWidget::resizeEvent(event);
}

void TextLabel::mousePressEvent(QMouseEvent* event)
{
    if (!m_clickable) {
        event->ignore();
        return;
    }
    m_pressed = event->button() == Qt::LeftButton;
}

void TextLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_clickable) {
        event->ignore();
        return;
    }
    const bool click = m_pressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    m_pressed = false;
    if (click)
        emit clicked();
}

void TextLabel::mouseMoveEvent(QMouseEvent* event)
{
    emit mouseMoved(event->modifiers(), event->position().toPoint());
}
