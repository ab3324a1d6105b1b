// The category the user chose last in the catalogue: empty at start, set by a
// category click, cleared by a search and by the clear button.
#pragma once

#include <QString>

QString& currentCategory();
