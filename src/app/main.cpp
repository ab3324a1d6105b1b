// Sarwino: the city directory of Светлоборск.
#include "app/Application.h"
#include "app/ScreenFit.h"
#include "app/Startup.h"
#include "app/TerminationSignals.h"
#include "app/WindowSet.h"
#include "data/Background.h"
#include "ui/main/TForm1.h"
#include "ui/widgets/MessageBox.h"

int main(int argc, char* argv[])
{
    // --version and --help answer on the console, without a window.
    if (const std::optional<int> answered = startup::answerCommandLine(argc, argv))
        return *answered;
    background::returnFreedMemory();
    Application app(argc, argv);
    WindowSet windows;
    if (!Form1)
        return 1;
    // On a screen too small for the window at the desktop's scale the
    // program starts again, before showing anything, at a scale it fits.
    screenfit::ensureFits(Form1, argv);
    // A desktop ending the session (or the terminal, or Ctrl+C) asks
    // politely, and the program ends in whatever state it is: a side window
    // open, a message box waiting for an answer. The boxes are answered as if
    // cancelled, a menu closes, and every event loop ends at once, however
    // deeply nested; no window is asked whether it agrees.
    bool endRequested = false;
    TerminationSignals endRequests([&endRequested] {
        endRequested = true;
        MessageBox::endSession();
        for (int n = 0; n < 8 && QApplication::activePopupWidget(); ++n)
            QApplication::activePopupWidget()->close();
        QCoreApplication::exit(0);
    });
    Form1->show();
    const int code = app.exec();
    // What is being typed into the grid is saved (or dropped whole when it
    // cannot be), as on any other end of the session.
    if (endRequested && Form1)
        Form1->endSession();
    return code;
}
