// The program as the window tests start it: a test database in the folder
// the program takes for its own, and over it the window set with the main
// window shown. The two are made and dropped apart, so that a test case may
// keep one database for all its tests and start the windows afresh for
// each. The steps check as they go: call them through FIXTURE_STEP.
//
//   FIXTURE_STEP(m_program.start());
#pragma once

#include "TestDatabase.h"

#include <memory>

class WindowSet;

class ProgramFixture {
public:
    // How openWindows() leaves the main window.
    enum class Show {
        Active, // shown, and waited for until it has the focus
        Exposed, // shown, and waited for until it is on the screen
        Hidden, // not shown
    };

    ProgramFixture();
    ~ProgramFixture(); // close()
    ProgramFixture(const ProgramFixture&) = delete;
    ProgramFixture& operator=(const ProgramFixture&) = delete;

    // Writes the test database and points the program's folder at it.
    void makeDatabase(const QVector<TestRecord>& records = TestDatabase::defaultRecords());
    // Creates the window set over whatever the program's folder holds (a
    // set still open goes first) and shows the main window.
    void openWindows(Show show = Show::Active);
    // makeDatabase(records), then openWindows().
    void start(const QVector<TestRecord>& records = TestDatabase::defaultRecords());
    void closeWindows();
    // Drops the windows, then the database; the program's folder is its own
    // again.
    void close();

    bool windowsOpen() const { return m_windows != nullptr; }
    TestDatabase& db() const { return *m_db; }

private:
    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<WindowSet> m_windows;
};
