// The folder that holds the running program: where it looks for its
// database. Tests may put another folder in its place.
#pragma once

#include <QString>

// The folder of the running executable, with a trailing separator.
QString programFolder();

// For tests: use this folder instead (an empty text restores the real one).
void setProgramFolderForTesting(const QString& folder);
