// Layout arithmetic of the main window's views.
#include "core/view_layout.h"

#include "core/common.h"

#include <QStringList>
#include <cmath>

namespace vantoro {

namespace {

// Where the meters and charts start on their areas, in twips.
constexpr double METER_LEFT = 355;
constexpr double METER_TOP = 200;
constexpr double METER_MARGIN = 400;
constexpr double TREND_TOP = 100;
constexpr double TREND_BOTTOM_MARGIN = 550;
constexpr double TREND_TOP_MARGIN = 200;
constexpr double TREND_STRIP_RISE = 400;
constexpr double GRID_SCROLLBAR_TWIPS = 333;
constexpr double LED_DESIGN_WIDTH = 790;
constexpr double LED_DESIGN_HEIGHT = 260;

} // namespace

int twipsToPixels(double twips, double dpi)
{
    return int(std::lround(twips * dpi / TWIPS_PER_INCH));
}

double pixelsToTwips(double pixels, double dpi)
{
    return dpi > 0 ? pixels * TWIPS_PER_INCH / dpi : 0.0;
}

std::optional<QRectF> parseDesignTag(const QString &tag)
{
    const QStringList parts = tag.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (parts.size() < 4)
        return std::nullopt;
    double v[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        v[i] = parts.at(i).toDouble(&ok);
        if (!ok)
            return std::nullopt;
    }
    return QRectF(v[0], v[1], v[2], v[3]);
}

QString designTag(const QRectF &rect)
{
    auto n = [](double v) { return QString::number(v, 'g', 10); };
    return n(rect.left()) + QLatin1Char(' ') + n(rect.top()) + QLatin1Char(' ') + n(rect.width()) + QLatin1Char(' ')
        + n(rect.height());
}

QRectF resizeControlRect(const QSizeF &designBase, const QRectF &design, const QSizeF &currentBase, double topOffset)
{
    if (designBase.width() == 0 || designBase.height() == 0)
        return design;
    const double sx = currentBase.width() / designBase.width();
    const double sy = currentBase.height() / designBase.height();
    return QRectF(design.left() * sx, design.top() * sy * STATE_IMAGE_STRETCH + topOffset, design.width() * sx,
                  design.height() * sy);
}

int fontPointsForHeight(double heightTwips)
{
    return int(roundHalfEven(heightTwips) / TWIPS_PER_FONT_POINT);
}

std::array<QRectF, 6> meterRects(double width, double height)
{
    const double c = double(qMax<qint64>(0, qMin(roundHalfEven((width - METER_MARGIN) / 3),
                                                 roundHalfEven((height - METER_MARGIN) / 2))));
    std::array<QRectF, 6> rects;
    for (int i = 0; i < 6; ++i)
        rects[size_t(i)] = QRectF(METER_LEFT + (i % 3) * c, METER_TOP + (i / 3) * c, c, c);
    return rects;
}

std::array<QRectF, 4> trendRects(double width, double height, double chart3Height)
{
    const double b = double(roundHalfEven(height - TREND_BOTTOM_MARGIN - TREND_TOP_MARGIN) / 3);
    std::array<QRectF, 4> rects;
    for (int i = 0; i < 3; ++i)
        rects[size_t(i)] = QRectF(0, TREND_TOP + i * b, width, b);
    rects[3] = QRectF(0, 3 * b - TREND_STRIP_RISE, width, chart3Height);
    return rects;
}

std::array<int, 6> gridColumnWidths(double gridWidth)
{
    const double w = gridWidth - GRID_SCROLLBAR_TWIPS;
    return {int(roundHalfEven(w * 0.3)), int(roundHalfEven(w * 0.3)), int(roundHalfEven(w * 0.1)),
            int(roundHalfEven(w * 0.15)), int(roundHalfEven(w * 0.15)), GRID_ID_COLUMN_TWIPS};
}

std::array<int, 6> gridColumnWidthsInView(double visibleWidth)
{
    return gridColumnWidths(visibleWidth - GRID_ID_COLUMN_TWIPS + GRID_SCROLLBAR_TWIPS);
}

NumLedSizes numLedSizes(double width, double height)
{
    NumLedSizes s;
    s.digitHeight = int(std::lround(height * 10 / LED_DESIGN_HEIGHT));
    s.digitWidth = int(std::lround(width * 7 / LED_DESIGN_WIDTH));
    s.segmentWidth = width * 0.05 / LED_DESIGN_WIDTH;
    s.digitSpacing = height * 0.09 / LED_DESIGN_HEIGHT;
    return s;
}

} // namespace vantoro
