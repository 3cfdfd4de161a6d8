// Twips on the screen.
#include "ui/twips.h"

#include "core/view_layout.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace vantoro {

double logicalDpiOf(const QWidget *w)
{
    const QScreen *screen = w && w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInchX() : 96.0;
}

int twipsToPx(double twips, const QWidget *w)
{
    return twipsToPixels(twips, logicalDpiOf(w));
}

double pxToTwips(double pixels, const QWidget *w)
{
    return pixelsToTwips(pixels, logicalDpiOf(w));
}

} // namespace vantoro
