// The program's colours, named once. The window layouts give colours as
// 0x00BBGGRR values (blue in the high byte); bgr() turns one into an RGB value.
#pragma once

#include <QColor>

#include <cstdint>

namespace colours {

constexpr QRgb bgr(std::uint32_t value)
{
    return qRgb(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
}

// A hoverable label at rest: aqua.
inline constexpr QRgb kIdle = bgr(0xFFFF00);
// The label under the pointer, and the catalogue headings: white.
inline constexpr QRgb kHover = bgr(0xFFFFFF);
// The chosen route "Маршрут №2" and the departure times: yellow.
inline constexpr QRgb kSelectedRoute = bgr(0x00FFFF);
// The box behind a label's text: dark blue.
inline constexpr QRgb kLabelBackground = bgr(0x420912);
// The main window's own colour: pale cyan.
inline constexpr QRgb kMainWindow = bgr(0xFBFEDE);
// The two edges of a sunken line (bevels, group boxes): grey shadow above,
// white highlight below.
inline constexpr QRgb kEdgeShadow = qRgb(128, 128, 128);
inline constexpr QRgb kEdgeHighlight = qRgb(255, 255, 255);

} // namespace colours
