// Window layouts give font sizes in points, as drawn for a screen of 96 dots
// per inch, while the windows themselves are laid out in pixels. This turns
// each font that a layout set on a window and its controls, including other
// font settings such as a link's hover font, into the pixel size it stands
// for (8 points: 11 pixels), so that texts keep their places on any screen.
#pragma once

class QWidget;

void usePixelFonts(QWidget* root);
