#include "ui/main/ApplicationHook.h"

#include "ui/widgets/ErrorReport.h"

#include <QCoreApplication>

ApplicationHook* ApplicationHook::instance()
{
    static QPointer<ApplicationHook> hook;
    if (!hook && QCoreApplication::instance()) {
        hook = new ApplicationHook(QCoreApplication::instance());
        QCoreApplication::instance()->installEventFilter(hook);
    }
    return hook;
}

void ApplicationHook::set(QObject* owner, Hook hook)
{
    if (ApplicationHook* slot = instance()) {
        slot->m_owner = owner;
        slot->m_hook = std::move(hook);
    }
}

void ApplicationHook::release(QObject* owner)
{
    ApplicationHook* slot = instance();
    if (slot && slot->m_owner == owner) {
        slot->m_owner = nullptr;
        slot->m_hook = nullptr;
    }
}

bool ApplicationHook::isSet()
{
    const ApplicationHook* slot = instance();
    return slot && slot->m_owner && slot->m_hook;
}

bool ApplicationHook::eventFilter(QObject* watched, QEvent* event)
{
    if (!m_owner || !m_hook)
        return false;
    bool handled = false;
    guarded([&] { m_hook(watched, event, handled); });
    return handled;
}
