// The one place where an error raised in an event handler reaches the user.
//
// Qt's event loop is not exception-safe, so every handler Qt calls into runs
// through guarded(): an error becomes a critical message box captioned with
// the application title, a SilentAbort vanishes, and the loop goes on.
#pragma once

#include <QString>

#include <exception>
#include <utility>

namespace errors {

// The caption of the application's message boxes.
QString applicationTitle();
void setApplicationTitle(const QString& title);

// The message as the user sees it: a full stop is appended when the last
// character sorts after ".".
QString withFullStop(QString message);

// The user-facing text of an error, or an empty text for a silent abort.
QString messageOf(std::exception_ptr error);

// Shows the error to the user (nothing for a silent abort).
void report(std::exception_ptr error) noexcept;

} // namespace errors

// Runs f; an exception it raises is reported and swallowed. Returns whether
// f finished without one.
template <typename F> bool guarded(F&& f) noexcept
{
    try {
        std::forward<F>(f)();
        return true;
    } catch (...) {
        errors::report(std::current_exception());
        return false;
    }
}
