#include "app/NetworkWait.h"

#include <QCursor>
#include <QEventLoop>
#include <QGuiApplication>
#include <QSocketNotifier>
#include <QTimer>

namespace networkwait {

namespace {

// A wait longer than this shows the busy cursor; a quick answer does not
// make it flicker.
constexpr int kBusyCursorMs = 200;

} // namespace

void waitInWindow(int fd, socketwait::Direction direction, socketwait::Clock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - socketwait::Clock::now()).count();
    if (left <= 0)
        return;
    if (!QCoreApplication::instance() || QCoreApplication::closingDown()) {
        socketwait::poll(fd, direction, deadline);
        return;
    }
    QEventLoop loop;
    bool over = false;
    const auto end = [&] {
        over = true;
        loop.quit();
    };
    QSocketNotifier notifier(
        qintptr(fd), direction == socketwait::Direction::Read ? QSocketNotifier::Read : QSocketNotifier::Write);
    QObject::connect(&notifier, &QSocketNotifier::activated, &loop, end);
    QTimer timeout;
    timeout.setSingleShot(true);
    timeout.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timeout, &QTimer::timeout, &loop, end);
    timeout.start(int(left));
    bool busyCursor = false;
    QTimer cursor;
    cursor.setSingleShot(true);
    QObject::connect(&cursor, &QTimer::timeout, &loop, [&busyCursor] {
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
        busyCursor = true;
    });
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        cursor.start(kBusyCursorMs);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (busyCursor)
        QGuiApplication::restoreOverrideCursor();
    // Ended without the socket or the deadline: the program was asked to
    // end, and every event loop returns at once until it has.
    if (!over)
        socketwait::poll(fd, direction, deadline);
}

void install()
{
    socketwait::setHook(waitInWindow);
}

} // namespace networkwait
