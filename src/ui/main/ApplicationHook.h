// The application's one message hook: a function that sees every event the
// application delivers, before the receiver and its own filters do, and may
// take it over. There is one slot; setting a hook replaces the one there.
#pragma once

#include <QObject>
#include <QPointer>

#include <functional>

class ApplicationHook : public QObject {
    Q_OBJECT

public:
    // receiver, event, handled: a hook that sets handled keeps the event
    // from the receiver.
    using Hook = std::function<void(QObject* receiver, QEvent* event, bool& handled)>;

    // Puts hook in the slot; it runs while owner lives.
    static void set(QObject* owner, Hook hook);
    // Empties the slot when owner's hook is in it; an owner calls this before
    // it is destroyed.
    static void release(QObject* owner);
    // Whether a hook is in the slot and its owner lives.
    static bool isSet();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    using QObject::QObject;
    static ApplicationHook* instance();

    QPointer<QObject> m_owner;
    Hook m_hook;
};
