// The mouse wheel as the arrow keys: every vertical turn of the wheel becomes
// one press of the up or down arrow for the control that has the keyboard,
// whatever the size of the turn and whatever modifier keys are held.
// Sideways movement stays a wheel event.
#pragma once

#include <QPoint>

class QObject;
class QWheelEvent;
class QWidget;

namespace wheelkeys {

// Whether the platform reports a turn with Alt held on the other axis (X11
// does), so that the turn's real direction is found by swapping them back.
bool altSwapsAxes();

// The arrow key a wheel event stands for: Qt::Key_Up for a turn away from
// the user, Qt::Key_Down for a turn towards the user or a turn of no size,
// 0 for an event that is no vertical turn (sideways only, or the start or
// end mark of a touchpad gesture).
int arrowKey(const QWheelEvent& wheel, bool altSwapped);

// The control a key press goes to now: the keyboard grabber, an open
// pop-up's focused control, the focused control of the program, or when the
// program is not active the focused control of the window that received
// the event. None when that control is disabled or there is none.
QWidget* keyTarget(QObject* receiver);

// Turns a vertical wheel event into one arrow key press for keyTarget(); a
// sideways part of the same event goes on to receiver as a wheel event of
// its own. Returns whether the event was taken, false for one that is no
// vertical turn and so goes on as it is.
bool translate(QObject* receiver, QWheelEvent* wheel);

} // namespace wheelkeys
