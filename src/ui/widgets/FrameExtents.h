// The frame a window manager will put round a window that is not shown yet:
// asked for with the EWMH request _NET_REQUEST_FRAME_EXTENTS, so a window can
// be placed by its whole frame before it first appears.
#pragma once

#include <QMargins>

#include <optional>

class QWidget;

namespace frames {

// The frame the window manager announces for this top-level window (left,
// top, right, bottom), or nothing: another window system, a window manager
// that does not answer such requests, or no answer within a fraction of a
// second. Creates the window's native window if need be.
std::optional<QMargins> frameBeforeShow(QWidget* window);

} // namespace frames
