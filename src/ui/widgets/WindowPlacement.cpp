#include "ui/widgets/WindowPlacement.h"

#include <QEvent>
#include <QMargins>
#include <QPointer>
#include <QScreen>
#include <QStyle>
#include <QWidget>
#include <QWindow>

namespace placement {

namespace {

// The frame round a shown window; none for a hidden one.
QMargins frameOf(const QWidget* window)
{
    if (!window || !window->isVisible())
        return {};
    const QRect frame = window->frameGeometry();
    const QRect client = window->geometry();
    return QMargins(client.left() - frame.left(), client.top() - frame.top(), frame.right() - client.right(),
        frame.bottom() - client.bottom());
}

// The frame rectangle centred in the free area of the screen, its top-left
// kept on the screen when the window is larger than the area.
QRect centredFrame(const QWidget* window, const QScreen* screen, const QMargins& frame)
{
    const QRect area = screen->availableGeometry();
    QRect placed = QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, window->size().grownBy(frame), area);
    placed.moveTopLeft(QPoint(qMax(placed.left(), area.left()), qMax(placed.top(), area.top())));
    return placed;
}

// Waits for the window's first exposure, then moves its frame to the centre
// if the frame differs from the one assumed; removes itself afterwards.
class FrameCheck : public QObject {
public:
    FrameCheck(QWidget* window, const QScreen* screen, const QMargins& assumed)
        : QObject(window->windowHandle())
        , m_window(window)
        , m_screen(const_cast<QScreen*>(screen))
        , m_assumed(assumed)
    {
        window->windowHandle()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Expose && m_window && m_window->windowHandle()->isExposed()) {
            const QMargins actual = frameOf(m_window);
            if (actual != m_assumed && m_screen)
                m_window->windowHandle()->setFramePosition(centredFrame(m_window, m_screen, actual).topLeft());
            watched->removeEventFilter(this);
            deleteLater();
        }
        return false;
    }

private:
    QPointer<QWidget> m_window;
    QPointer<QScreen> m_screen;
    QMargins m_assumed;
};

} // namespace

void centreOnScreen(QWidget* window, const QWidget* reference)
{
    const QScreen* screen = reference ? reference->screen() : window->screen();
    if (!screen)
        return;
    const QMargins assumed = frameOf(reference);
    const QRect frame = centredFrame(window, screen, assumed);
    // Not yet framed: the position given is the client area's.
    window->move(frame.topLeft() + QPoint(assumed.left(), assumed.top()));
    if (window->windowHandle())
        new FrameCheck(window, screen, assumed);
}

} // namespace placement
