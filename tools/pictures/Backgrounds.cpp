// The flat background colours and the border strip: exact colours, no
// smoothing, so that stretched to any size they stay the same colours.
#include "Artwork.h"

namespace art {

void darkBackground(QPainter& p)
{
    p.fillRect(QRectF(0, 0, 10, 10), QColor(8, 13, 55));
}

void lightBackground(QPainter& p)
{
    p.fillRect(QRectF(0, 0, 10, 10), QColor(186, 242, 253));
}

void borderStrip(QPainter& p)
{
    // Top row to bottom row.
    static const QColor bands[7] = {
        { 101, 217, 250 },
        { 104, 216, 245 },
        { 102, 213, 242 },
        { 89, 208, 243 },
        { 80, 209, 253 },
        { 71, 204, 250 },
        { 73, 199, 239 },
    };
    p.setRenderHint(QPainter::Antialiasing, false);
    for (int row = 0; row < 7; ++row)
        p.fillRect(QRectF(0, row, 10, 1), bands[row]);
}

} // namespace art
