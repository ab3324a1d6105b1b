// The filter texts the main window writes: a search for names that begin
// with a text, and a category.
//
// A search admits the names from the text up to an exclusive upper bound:
// the text with its last character advanced by one code of the Windows-1251
// code page ("Ап" → "Ар"). That bound is kept wherever the range it makes
// holds exactly the names beginning with the text; where it does not ("Я" →
// "а" sorts first, "9" → ":" sorts before digits, "'" → "(" would let in
// names with a '"' there, "я" has no next code, a character outside the code
// page), the bound is the text followed by U+FFFF, which sorts after every
// character. A single quote in a text is doubled inside the literal, so any
// text makes a valid filter.
#pragma once

#include <QString>

namespace namesearch {

// The exclusive upper bound of a search for names beginning with text
// (text must not be empty).
QString upperBound(const QString& text);

// "название>='text' and  название<'bound'"
QString prefixFilter(const QString& text, const QString& bound);

// "вид_деят='category'"
QString categoryFilter(const QString& category);

// A text as a filter literal's inside: each ' doubled.
QString literal(const QString& text);

} // namespace namesearch
