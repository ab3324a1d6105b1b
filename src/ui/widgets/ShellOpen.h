// Hands an address to the desktop: a web page to the user's browser, a
// "mailto:" address to the mail program, a file to the program for its kind.
// Whether a program took it is not reported: the user sees it open or not.
#pragma once

#include <QString>

void shellOpen(const QString& address);
