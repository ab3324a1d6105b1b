// Turns the signals that ask a program to end (SIGTERM from a desktop ending
// the session, SIGHUP when the terminal goes, SIGINT from Ctrl+C) into a
// call on the GUI thread, so the program can save what is pending and quit
// cleanly instead of dying in the middle of its work.
#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

class TerminationSignals : public QObject {
    Q_OBJECT

public:
    // Installs the handlers; onRequest runs on the GUI thread, once for each
    // request that arrives.
    explicit TerminationSignals(std::function<void()> onRequest, QObject* parent = nullptr);
    ~TerminationSignals() override;

private:
    void readRequest();

    std::function<void()> m_onRequest;
    QSocketNotifier* m_notifier = nullptr;
};
