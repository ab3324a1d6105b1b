// Sarwino: the city directory of Светлоборск.
#include "app/Application.h"
#include "app/Startup.h"
#include "app/TerminationSignals.h"
#include "app/WindowSet.h"
#include "ui/main/TForm1.h"

int main(int argc, char* argv[])
{
    // --version and --help answer on the console, without a window.
    if (const std::optional<int> answered = startup::answerCommandLine(argc, argv))
        return *answered;
    Application app(argc, argv);
    WindowSet windows;
    if (!Form1)
        return 1;
    // A desktop ending the session asks politely: what is being typed into
    // the grid is saved (or dropped whole when it cannot be) before the end.
    TerminationSignals endRequests([] {
        if (Form1)
            Form1->endSession();
        QCoreApplication::quit();
    });
    Form1->show();
    return app.exec();
}
