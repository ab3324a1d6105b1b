#include "ui/main/WheelKeys.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QWheelEvent>
#include <QWidget>
#include <QWindow>

namespace {

// A wheel event's movement on the wheel's real axes: x sideways, y up and down.
struct Movement {
    QPoint angle;
    QPoint pixel;
};

Movement movementOf(const QWheelEvent& wheel, bool altSwapped)
{
    Movement m { wheel.angleDelta(), wheel.pixelDelta() };
    if (altSwapped && (wheel.modifiers() & Qt::AltModifier)) {
        m.angle = m.angle.transposed();
        m.pixel = m.pixel.transposed();
    }
    return m;
}

QWidget* windowOf(QObject* receiver)
{
    if (receiver && receiver->isWidgetType())
        return static_cast<QWidget*>(receiver)->window();
    if (receiver && receiver->isWindowType()) {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window->windowHandle() == receiver)
                return window;
        }
    }
    return nullptr;
}

// Sends receiver the sideways movement of wheel, as the platform would
// have reported it on its own.
void passSideways(QObject* receiver, const QWheelEvent& wheel, bool altSwapped)
{
    const Movement m = movementOf(wheel, altSwapped);
    Movement sideways { QPoint(m.angle.x(), 0), QPoint(m.pixel.x(), 0) };
    if (sideways.angle.isNull() && sideways.pixel.isNull())
        return;
    if (altSwapped && (wheel.modifiers() & Qt::AltModifier))
        sideways = { sideways.angle.transposed(), sideways.pixel.transposed() };
    QWheelEvent part(wheel.position(), wheel.globalPosition(), sideways.pixel, sideways.angle, wheel.buttons(),
        wheel.modifiers(), wheel.phase(), wheel.inverted(), wheel.source(), wheel.pointingDevice());
    QCoreApplication::sendEvent(receiver, &part);
}

} // namespace

namespace wheelkeys {

bool altSwapsAxes()
{
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

int arrowKey(const QWheelEvent& wheel, bool altSwapped)
{
    const Movement m = movementOf(wheel, altSwapped);
    const int vertical = m.angle.y() != 0 ? m.angle.y() : m.pixel.y();
    if (vertical > 0)
        return Qt::Key_Up;
    if (vertical < 0)
        return Qt::Key_Down;
    const bool sideways = m.angle.x() != 0 || m.pixel.x() != 0;
    if (sideways || wheel.phase() != Qt::NoScrollPhase)
        return 0;
    return Qt::Key_Down;
}

QWidget* keyTarget(QObject* receiver)
{
    QWidget* target = QWidget::keyboardGrabber();
    if (!target) {
        if (QWidget* popup = QApplication::activePopupWidget())
            target = popup->focusWidget() ? popup->focusWidget() : popup;
    }
    if (!target)
        target = QApplication::focusWidget();
    if (!target) {
        if (QWidget* window = windowOf(receiver))
            target = window->focusWidget();
    }
    return target && target->isEnabled() ? target : nullptr;
}

bool translate(QObject* receiver, QWheelEvent* wheel)
{
    const bool altSwapped = altSwapsAxes();
    const int key = arrowKey(*wheel, altSwapped);
    if (key == 0)
        return false;
    wheel->accept();
    const QPointer<QObject> alive(receiver);
    if (QWidget* target = keyTarget(receiver)) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &press);
    }
    if (alive)
        passSideways(receiver, *wheel, altSwapped);
    return true;
}

} // namespace wheelkeys
