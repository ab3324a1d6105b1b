// Errors raised by the data layer.
//
// A DataError carries a message meant for the user; the application shows it
// as it stands. A SilentAbort unwinds an operation without any message: it is
// how an event handler vetoes an insert.
#pragma once

#include <QString>

#include <exception>
#include <string>

class DataError : public std::exception {
public:
    explicit DataError(QString message)
        : m_message(std::move(message))
        , m_utf8(m_message.toStdString())
    {
    }

    const QString& message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_utf8.c_str(); }

private:
    QString m_message;
    std::string m_utf8;
};

class SilentAbort : public std::exception {
public:
    const char* what() const noexcept override { return "Operation aborted"; }
};
