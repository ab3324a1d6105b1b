#include "app/ScreenFit.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace screenfit {

namespace {

// Set on the new start: the scale has been fitted once, never again.
constexpr const char* FittedVariable = "SARWINO_SCALE_FITTED";
// Room for the window manager's frame, in device pixels: title bar and borders.
constexpr int kFrameWidth = 16;
constexpr int kFrameHeight = 40;
// Below this the texts would no longer be readable.
constexpr double kSmallestScale = 0.6;

double scaleFactorVariable()
{
    const QByteArray value = qgetenv("QT_SCALE_FACTOR");
    bool ok = false;
    const double factor = value.toDouble(&ok);
    return ok && factor > 0 ? factor : 1.0;
}

} // namespace

void ensureFits(QWidget* window, char** argv)
{
    if (!window || qEnvironmentVariableIsSet(FittedVariable))
        return;
    QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    window->ensurePolished();
    const QSize size = window->sizeHint().expandedTo(window->minimumSize());
    const double ratio = screen->devicePixelRatio();
    // Logical pixels of the window with its frame, against the free area.
    const double width = size.width() + kFrameWidth / ratio;
    const double height = size.height() + kFrameHeight / ratio;
    const QRect free = screen->availableGeometry();
    const double fit = std::min(free.width() / width, free.height() / height);
    if (fit >= 1.0)
        return;
    // Rounded down to a twentieth, so the window surely fits.
    const double scale = std::max(kSmallestScale, std::floor(scaleFactorVariable() * fit * 20) / 20);
    qputenv("QT_SCALE_FACTOR", QByteArray::number(scale, 'f', 2));
    qputenv(FittedVariable, "1");
    std::fflush(nullptr);
    ::execv("/proc/self/exe", argv);
    // Could not start again: the window shows as large as it is.
    std::fprintf(stderr, "sarwino: the window does not fit the screen at this scale\n");
}

} // namespace screenfit
