#include "app/Application.h"

#include "app/Fonts.h"
#include "ui/widgets/ErrorReport.h"

#include <QStyleFactory>

Application::Application(int& argc, char** argv)
    : QApplication(argc, argv)
{
    setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    Q_INIT_RESOURCE(fonts);
    fonts::installSubstituteFont();
    setFont(fonts::msSansSerif(11));
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
