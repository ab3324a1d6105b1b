#include "app/Application.h"

#include "app/Fonts.h"
#include "ui/widgets/ErrorReport.h"
#include "ui/widgets/PictureLoader.h"

#include <QStyleFactory>

Application::Application(int& argc, char** argv)
    : QApplication(argc, argv)
{
    setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    fonts::installSubstituteFont();
    setFont(fonts::msSansSerif(11));
    // No window has an icon of its own: this one stands for the program in
    // every title bar and in the task bar.
    setWindowIcon(PictureLoader::applicationIcon());
}

bool Application::notify(QObject* receiver, QEvent* event)
{
    // Handlers report their own errors; this catches whatever slips past
    // them so the loop always goes on.
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        errors::report(std::current_exception());
        return false;
    }
}
