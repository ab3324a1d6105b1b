// The application object: the look shared by every window (style, the
// substitute for the windows' font) and the last line of defence for errors
// that escape an event handler.
#pragma once

#include <QApplication>

class Application : public QApplication {
    Q_OBJECT

public:
    Application(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
};
