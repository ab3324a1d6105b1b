#include "app/Application.h"

#include "app/Fonts.h"
#include "app/NetworkWait.h"
#include "app/Startup.h"
#include "data/Background.h"
#include "ui/widgets/ErrorReport.h"
#include "ui/widgets/PictureLoader.h"

#include <QEvent>
#include <QStyleFactory>

Application::Application(int& argc, char** argv)
    // Without a reachable display the program ends here with one line.
    : QApplication(startup::watchForNoDisplay(argc), argv)
{
    startup::endWatchForNoDisplay();
    // Qt's own texts (a text box's context menu, the standard buttons) in
    // Russian like the program's.
    startup::installQtTranslations(*this);
    setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    fonts::installSubstituteFont();
    setFont(fonts::msSansSerif(11));
    // No window has an icon of its own: this one stands for the program in
    // every title bar and in the task bar.
    setWindowIcon(PictureLoader::applicationIcon());
    // A change written to a server keeps the window painted while it waits.
    networkwait::install();
}

bool Application::notify(QObject* receiver, QEvent* event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::Wheel:
        background::userActed();
        break;
    default:
        break;
    }
    // Handlers report their own errors; this catches whatever slips past
    // them so the loop always goes on.
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        errors::report(std::current_exception());
        return false;
    }
}
