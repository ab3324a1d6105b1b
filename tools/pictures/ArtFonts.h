// The typefaces of the artwork, loaded from their files so that the pictures
// never depend on which fonts a machine happens to have configured.
#pragma once

#include <QFont>
#include <QString>

namespace art {

enum class Face {
    Rounded, // Comfortaa Bold: the product's name
    Brush, // Kaushan Script: the maker's name on the bottom banner
    Sans, // DejaVu Sans Condensed: small texts
    SansBold,
    SansBoldItalic,
};

// Loads every face; on failure returns a message naming the missing file and
// the Debian package that has it.
QString loadFonts(const QString& bundledFontFolder);

// A face at a size in pixels. The artwork draws text as outlines (see
// Paint.h), scaled from a large size, so any fractional size works there.
QFont font(Face face, int pixelSize);

} // namespace art
