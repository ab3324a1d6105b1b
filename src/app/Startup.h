// What the program does before and while its application object is made:
// answering --version and --help on the console without opening a window,
// ending with one clear line where no window can be opened at all, and Qt's
// own texts (context menus, standard buttons) in Russian like the rest.
#pragma once

#include <QString>

#include <optional>

class QCoreApplication;

namespace startup {

// The program's name and version, as the package and the metainfo carry them.
QString versionLine();

// For --version or --help (-h) alone: prints the answer to standard output
// and returns the exit status; for anything else returns none and the
// program starts as usual.
std::optional<int> answerCommandLine(int argc, char** argv);

// Until watchForNoDisplay() ends, a window system that cannot be reached ends
// the program with exit status 1 and one line on standard error, in place of
// Qt's abort with its plugin message. Returns argc, so it can stand in the
// application object's constructor before the base class is made.
int& watchForNoDisplay(int& argc);
void endWatchForNoDisplay();

// Loads Qt's Russian translations from Qt's translations folder into app.
// Returns whether they were found.
bool installQtTranslations(QCoreApplication& app);

} // namespace startup
