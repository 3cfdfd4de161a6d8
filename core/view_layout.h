// Layout arithmetic of the main window's views, in twips: design geometry
// tags, proportional placement, the meter and trend patterns, grid columns
// and the numeric display's sizes.
#pragma once

#include <QRectF>
#include <QSizeF>
#include <QString>
#include <array>
#include <optional>

namespace vantoro {

inline constexpr double TWIPS_PER_INCH = 1440.0;
// Controls are scaled as if their design height were this many twips per
// point of font size.
inline constexpr int TWIPS_PER_FONT_POINT = 23;
// The state diagram's picture is drawn this much taller than its area, and
// the controls on it follow.
inline constexpr double STATE_IMAGE_STRETCH = 1.02;
inline constexpr int GRID_ID_COLUMN_TWIPS = 722;

int twipsToPixels(double twips, double dpi);
double pixelsToTwips(double pixels, double dpi);

// A design-geometry tag: "left top width height", blank-separated. Nothing
// unless it holds at least four numbers.
std::optional<QRectF> parseDesignTag(const QString &tag);
QString designTag(const QRectF &rect);

// Proportional placement of a control designed at `design` on a base of
// design scale size `designBase`, on that base now `currentBase` in size.
QRectF resizeControlRect(const QSizeF &designBase, const QRectF &design, const QSizeF &currentBase, double topOffset);
// The font size in points of a control `heightTwips` high.
int fontPointsForHeight(double heightTwips);

// Six square meters in two rows of three on an area of W x H twips.
std::array<QRectF, 6> meterRects(double width, double height);
// Charts 0..2 stacked over the area; chart 3 (the time strip) keeps its own
// height and overlaps the lower part of chart 2.
std::array<QRectF, 4> trendRects(double width, double height, double chart3Height);
// Column widths of the parameter grid on a grid `gridWidth` twips wide.
std::array<int, 6> gridColumnWidths(double gridWidth);
// The same split of what the id column leaves of the grid's visible width,
// so every column shows whole.
std::array<int, 6> gridColumnWidthsInView(double visibleWidth);

// The numeric display's sizes from its own width and height (twips), in
// proportion to its design size of 790 x 260 twips.
struct NumLedSizes
{
    int digitHeight = 0;      // logical pixels
    int digitWidth = 0;       // logical pixels
    double segmentWidth = 0;  // centimetres
    double digitSpacing = 0;  // centimetres
};
NumLedSizes numLedSizes(double width, double height);

} // namespace vantoro
