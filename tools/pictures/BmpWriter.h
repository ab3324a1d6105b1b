// Writes a picture as a Windows BMP file with 16 bits per pixel, 5 bits for
// each of red, green and blue (BI_BITFIELDS with the 5-5-5 masks), rows
// stored bottom-up and padded to four bytes.
#pragma once

#include <QByteArray>
#include <QImage>

class BmpWriter {
public:
    static QByteArray encode555(const QImage& image);

    // The 5-bit level nearest to an 8-bit one.
    static int toFiveBits(int level) { return (level * 31 + 127) / 255; }
};
