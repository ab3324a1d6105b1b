// Finds a window's controls by their object names, as a user's tool would:
// tests reach a window's insides through its object tree, not its class.
#pragma once

#include <QObject>
#include <QString>

#include <cstdio>
#include <cstdlib>

template <typename T = QObject> T* control(const QObject* window, const char* name)
{
    T* found = window ? window->findChild<T*>(QString::fromUtf8(name)) : nullptr;
    if (!found) {
        std::fprintf(stderr, "no control %s in %s\n", name, window ? qPrintable(window->objectName()) : "(no window)");
        std::abort();
    }
    return found;
}
