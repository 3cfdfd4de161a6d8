// Twips on the screen: the forms' unit of geometry at the widget's
// logical DPI (15 twips per pixel at 96 DPI).
#pragma once

class QWidget;

namespace vantoro {

double logicalDpiOf(const QWidget *w);
int twipsToPx(double twips, const QWidget *w);
double pxToTwips(double pixels, const QWidget *w);

} // namespace vantoro
