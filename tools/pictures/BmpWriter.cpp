#include "BmpWriter.h"

#include <QtEndian>

namespace {

void put16(QByteArray& out, quint16 v)
{
    char b[2];
    qToLittleEndian(v, b);
    out.append(b, 2);
}

void put32(QByteArray& out, quint32 v)
{
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}

} // namespace

QByteArray BmpWriter::encode555(const QImage& image)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    const int width = rgb.width(), height = rgb.height();
    const quint32 stride = (quint32(width) * 2 + 3) & ~3u;
    const quint32 pixelBytes = stride * quint32(height);
    const quint32 headers = 14 + 40 + 12; // file header, info header, three masks

    QByteArray out;
    out.reserve(int(headers + pixelBytes));
    out.append("BM", 2);
    put32(out, headers + pixelBytes);
    put32(out, 0); // reserved
    put32(out, headers);

    put32(out, 40);
    put32(out, quint32(width));
    put32(out, quint32(height)); // positive: bottom-up rows
    put16(out, 1); // planes
    put16(out, 16); // bits per pixel
    put32(out, 3); // BI_BITFIELDS
    put32(out, pixelBytes);
    put32(out, 3780); // 96 dots per inch, in dots per metre
    put32(out, 3780);
    put32(out, 0); // colours used
    put32(out, 0); // important colours
    put32(out, 0x7C00); // red mask
    put32(out, 0x03E0); // green mask
    put32(out, 0x001F); // blue mask

    for (int y = height - 1; y >= 0; --y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < width; ++x) {
            const QRgb p = line[x];
            put16(out, quint16(toFiveBits(qRed(p)) << 10 | toFiveBits(qGreen(p)) << 5 | toFiveBits(qBlue(p))));
        }
        out.append(QByteArray(int(stride) - width * 2, '\0'));
    }
    return out;
}
