#include "ui/widgets/WindowPlacement.h"

#include "ui/widgets/FrameExtents.h"

#include <QMargins>
#include <QPointer>
#include <QScreen>
#include <QStyle>
#include <QTimer>
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

// Watches a newly shown window until the window manager has framed it, then
// moves it so that its own frame is centred if that frame differs from the
// one assumed; gives up after a second (no window manager, no frame).
class FrameCheck : public QObject {
public:
    FrameCheck(QWidget* window, const QScreen* screen, const QMargins& assumed)
        : QObject(window)
        , m_window(window)
        , m_screen(const_cast<QScreen*>(screen))
        , m_assumed(assumed)
    {
        connect(&m_timer, &QTimer::timeout, this, &FrameCheck::check);
        m_timer.start(kCheckIntervalMs);
    }

private:
    void check()
    {
        const QMargins actual = m_window && m_window->windowHandle() && m_window->windowHandle()->isExposed()
            ? frameOf(m_window)
            : QMargins();
        if (actual.isNull() && ++m_checks < kMaxChecks)
            return;
        // Placed by its client area, as before it was framed, so the window
        // system keeps one reading of the window's position.
        if (!actual.isNull() && actual != m_assumed && m_screen) {
            const QPoint frame = centredFrame(m_window, m_screen, actual).topLeft();
            m_window->setGeometry(QRect(frame + QPoint(actual.left(), actual.top()), m_window->size()));
        }
        m_timer.stop();
        deleteLater();
    }

    static constexpr int kCheckIntervalMs = 20;
    static constexpr int kMaxChecks = 50;

    QPointer<QWidget> m_window;
    QPointer<QScreen> m_screen;
    QMargins m_assumed;
    QTimer m_timer;
    int m_checks = 0;
};

} // namespace

void centreOnScreen(QWidget* window, const QWidget* reference)
{
    const QScreen* screen = reference ? reference->screen() : window->screen();
    if (!screen)
        return;
    // Best: the frame the window manager announces for this very window;
    // else the frame round the reference window.
    const QMargins assumed = frames::frameBeforeShow(window).value_or(frameOf(reference));
    const QRect frame = centredFrame(window, screen, assumed);
    // Not yet framed: the position given is the client area's.
    window->move(frame.topLeft() + QPoint(assumed.left(), assumed.top()));
    new FrameCheck(window, screen, assumed);
}

} // namespace placement
