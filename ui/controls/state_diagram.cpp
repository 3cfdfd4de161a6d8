// The power-flow diagram behind the state view.
#include "ui/controls/state_diagram.h"

#include "ui/controls/kvo_block.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace vantoro {

namespace {

constexpr double PI = 3.14159265358979323846;
const QColor cableColour(0x3b, 0x4a, 0x5a);
const QColor captionColour(0x23, 0x33, 0x47);
const QColor cardEdge(0xc0, 0xcc, 0xd8);

// The largest rect of aspect `aspect` (width / height) centred in `r`.
QRectF fitAspect(const QRectF &r, double aspect)
{
    double w = r.width(), h = r.height();
    if (w / h > aspect)
        w = h * aspect;
    else
        h = w / aspect;
    return QRectF(r.center().x() - w / 2, r.center().y() - h / 2, w, h);
}

void drawCard(QPainter &p, const QRectF &r, double unit)
{
    p.setPen(QPen(cardEdge, qMax(1.0, unit)));
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, QColor(0xff, 0xff, 0xff, 235));
    g.setColorAt(1, QColor(0xf2, 0xf6, 0xfa, 235));
    p.setBrush(g);
    p.drawRoundedRect(r, 8 * unit, 8 * unit);
}

void drawSun(QPainter &p, const QRectF &box, bool dimmed)
{
    const QRectF r = fitAspect(box, 1.0);
    p.save();
    if (dimmed)
        p.setOpacity(0.3);
    const QPointF c = r.center();
    const double R = r.width() / 2;
    p.setPen(QPen(QColor(0xf5, 0xa6, 0x23), qMax(1.0, R * 0.1), Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 12; ++i) {
        const double a = i * PI / 6;
        p.drawLine(c + QPointF(std::cos(a), std::sin(a)) * R * 0.66, c + QPointF(std::cos(a), std::sin(a)) * R * 0.98);
    }
    QRadialGradient g(c - QPointF(R * 0.15, R * 0.15), R * 0.55);
    g.setColorAt(0, QColor(0xff, 0xf2, 0x9a));
    g.setColorAt(1, QColor(0xff, 0xb3, 0x1a));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawEllipse(c, R * 0.5, R * 0.5);
    p.restore();
}

// A PV array of 4 x 3 cells on a stand; returns the right edge of its
// junction box.
double drawPvArray(QPainter &p, const QRectF &box, double cableY)
{
    const QRectF r = fitAspect(box, 150.0 / 130.0);
    const double u = r.width() / 150.0;
    const QRectF panel(r.left() + 4 * u, r.top() + 4 * u, 136 * u, 92 * u);
    // Stand and ground.
    p.setPen(QPen(QColor(0x6b, 0x77, 0x84), 3 * u, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(panel.left() + 30 * u, panel.bottom()), QPointF(panel.left() + 22 * u, r.bottom() - 4 * u));
    p.drawLine(QPointF(panel.right() - 30 * u, panel.bottom()), QPointF(panel.right() - 22 * u, r.bottom() - 4 * u));
    p.setPen(QPen(QColor(0x9a, 0xa6, 0xb2), 2 * u, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(r.left() + 6 * u, r.bottom() - 3 * u), QPointF(r.right() - 16 * u, r.bottom() - 3 * u));
    // Frame and cells.
    p.setPen(QPen(QColor(0x2c, 0x3e, 0x50), 2.5 * u));
    p.setBrush(QColor(0xd6, 0xdd, 0xe4));
    p.drawRoundedRect(panel, 3 * u, 3 * u);
    const int cols = 4, rows = 3;
    const double gap = 3 * u;
    const double cw = (panel.width() - gap * (cols + 1)) / cols;
    const double ch = (panel.height() - gap * (rows + 1)) / rows;
    for (int row = 0; row < rows; ++row) {
        for (int col = 0; col < cols; ++col) {
            const QRectF cell(panel.left() + gap + col * (cw + gap), panel.top() + gap + row * (ch + gap), cw, ch);
            QLinearGradient g(cell.topLeft(), cell.bottomRight());
            g.setColorAt(0, QColor(0x3d, 0x7b, 0xc9));
            g.setColorAt(0.55, QColor(0x1d, 0x4a, 0x8c));
            g.setColorAt(1, QColor(0x14, 0x33, 0x66));
            p.setPen(Qt::NoPen);
            p.setBrush(g);
            p.drawRect(cell);
            p.setPen(QPen(QColor(0xff, 0xff, 0xff, 70), qMax(0.6, 0.8 * u)));
            p.drawLine(QPointF(cell.center().x(), cell.top()), QPointF(cell.center().x(), cell.bottom()));
            p.drawLine(QPointF(cell.left(), cell.center().y()), QPointF(cell.right(), cell.center().y()));
        }
    }
    // Junction box on the right, level with the cable.
    const QRectF junction(panel.right() - 2 * u, cableY - 7 * u, 10 * u, 14 * u);
    p.setPen(QPen(QColor(0x2c, 0x3e, 0x50), 1.5 * u));
    p.setBrush(QColor(0x4a, 0x58, 0x66));
    p.drawRoundedRect(junction, 2 * u, 2 * u);
    return junction.right();
}

// A lattice pylon with three conductors leaving to the right; returns the
// point where the cable from the left ends.
void drawGrid(QPainter &p, const QRectF &box, double cableY, double cableLeft, double cableThickness)
{
    const QRectF r = fitAspect(box, 110.0 / 146.0);
    const double u = r.width() / 110.0;
    const double cx = r.center().x();
    const double top = r.top() + 4 * u, bottom = r.bottom() - 4 * u;
    const double baseHalf = 30 * u, waistHalf = 9 * u;
    const double waistY = top + 40 * u;
    QPen steel(QColor(0x4c, 0x5a, 0x6a), 2.2 * u, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(steel);
    p.setBrush(Qt::NoBrush);
    // Legs.
    p.drawLine(QPointF(cx - baseHalf, bottom), QPointF(cx - waistHalf, waistY));
    p.drawLine(QPointF(cx + baseHalf, bottom), QPointF(cx + waistHalf, waistY));
    p.drawLine(QPointF(cx - waistHalf, waistY), QPointF(cx - 4 * u, top));
    p.drawLine(QPointF(cx + waistHalf, waistY), QPointF(cx + 4 * u, top));
    // Bracing.
    steel.setWidthF(1.2 * u);
    p.setPen(steel);
    const int braces = 4;
    for (int i = 0; i < braces; ++i) {
        const double y0 = waistY + (bottom - waistY) * i / braces;
        const double y1 = waistY + (bottom - waistY) * (i + 1) / braces;
        const double h0 = waistHalf + (baseHalf - waistHalf) * i / braces;
        const double h1 = waistHalf + (baseHalf - waistHalf) * (i + 1) / braces;
        p.drawLine(QPointF(cx - h0, y0), QPointF(cx + h1, y1));
        p.drawLine(QPointF(cx + h0, y0), QPointF(cx - h1, y1));
        p.drawLine(QPointF(cx - h1, y1), QPointF(cx + h1, y1));
    }
    // Cross arms with insulators and the lines leaving.
    steel.setWidthF(2.2 * u);
    p.setPen(steel);
    const double arm1 = top + 12 * u, arm2 = top + 28 * u;
    p.drawLine(QPointF(cx - 36 * u, arm1), QPointF(cx + 36 * u, arm1));
    p.drawLine(QPointF(cx - 26 * u, arm2), QPointF(cx + 26 * u, arm2));
    const QPointF ends[] = {{cx - 34 * u, arm1}, {cx + 34 * u, arm1}, {cx + 24 * u, arm2}};
    for (const QPointF &e : ends) {
        p.setPen(QPen(QColor(0x8a, 0x96, 0xa4), 1 * u));
        p.drawLine(e, QPointF(box.right(), e.y() + 6 * u));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x2f, 0x8f, 0x9d));
        p.drawEllipse(e + QPointF(0, 3 * u), 2.4 * u, 3.6 * u);
    }
    // The feed from the inverter: into a terminal at the pylon's foot line.
    const double feedX = cx - waistHalf - (baseHalf - waistHalf) * (cableY - waistY) / (bottom - waistY);
    p.setPen(Qt::NoPen);
    p.setBrush(cableColour);
    if (feedX > cableLeft)
        p.drawRect(QRectF(cableLeft, cableY - cableThickness / 2, feedX - cableLeft, cableThickness));
    p.setBrush(QColor(0x2f, 0x8f, 0x9d));
    p.drawEllipse(QPointF(feedX, cableY), cableThickness * 0.9, cableThickness * 0.9);
}

} // namespace

StateDiagram::StateDiagram(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void StateDiagram::setCaptions(const QHash<QString, QString> &captions)
{
    if (captions == m_captions)
        return;
    m_captions = captions;
    update();
}

void StateDiagram::setAsleep(bool asleep)
{
    if (asleep == m_asleep)
        return;
    m_asleep = asleep;
    update();
}

void StateDiagram::paintEvent(QPaintEvent *)
{
    if (width() < 4 || height() < 4)
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const double sx = width() / stateDesign::WIDTH;
    const double sy = height() / stateDesign::HEIGHT;
    auto map = [&](const QRectF &r) { return QRectF(r.left() * sx, r.top() * sy, r.width() * sx, r.height() * sy); };
    // One design pixel in widget pixels, for pens and radii.
    const double unit = qMin(sx, sy) * stateDesign::TWIPS_PER_UNIT;

    drawCard(p, map(stateDesign::flowCard), unit);
    drawCard(p, map(stateDesign::currentPanel), unit);
    drawCard(p, map(stateDesign::energyPanel), unit);

    const QRectF dc = map(stateDesign::dcCable);
    const QRectF ac = map(stateDesign::acCable);
    const double cableY = dc.center().y();

    drawSun(p, map(stateDesign::sun), m_asleep);
    const double junctionRight = drawPvArray(p, map(stateDesign::pvArray), cableY);
    p.setPen(Qt::NoPen);
    p.setBrush(cableColour);
    if (junctionRight < dc.left())
        p.drawRect(QRectF(junctionRight, dc.top(), dc.left() - junctionRight, dc.height()));

    // Inverter, joined to both cables whatever its drawn width.
    const QRectF inv = map(stateDesign::inverter);
    const QRectF picture = fitAspect(inv, 66.0 / 48.0);
    p.setPen(Qt::NoPen);
    p.setBrush(cableColour);
    p.drawRect(QRectF(inv.left(), dc.top(), picture.left() - inv.left() + 2, dc.height()));
    p.drawRect(QRectF(picture.right() - 2, ac.top(), inv.right() - picture.right() + 2, ac.height()));
    paintBlockPicture(p, inv, BlockKind::Inverter, false);

    drawGrid(p, map(stateDesign::grid), ac.center().y(), ac.right(), ac.height());

    // Module temperature well under the inverter.
    p.setPen(QPen(cardEdge, qMax(1.0, unit)));
    p.setBrush(QColor(0xe9, 0xef, 0xf5, 200));
    p.drawRoundedRect(map(stateDesign::moduleTempPanel), 5 * unit, 5 * unit);

    QFont captionFont = font();
    captionFont.setPixelSize(qMax(6, int(13 * sy * stateDesign::TWIPS_PER_UNIT)));
    captionFont.setBold(true);
    p.setFont(captionFont);
    p.setPen(captionColour);
    p.drawText(map(stateDesign::inverterCaption), Qt::AlignCenter, caption(QStringLiteral("capInverter")));
    p.drawText(map(stateDesign::acCaption), Qt::AlignCenter, caption(QStringLiteral("capAcOutput")));
    p.drawText(map(stateDesign::gridCaption), Qt::AlignCenter, caption(QStringLiteral("capGrid")));
    p.drawText(map(stateDesign::currentCaption), Qt::AlignLeft | Qt::AlignVCenter, caption(QStringLiteral("capCurrent")));
    p.drawText(map(stateDesign::energyCaption), Qt::AlignLeft | Qt::AlignVCenter, caption(QStringLiteral("capEnergy")));
    QFont small = captionFont;
    small.setBold(false);
    small.setPixelSize(qMax(6, int(11 * sy * stateDesign::TWIPS_PER_UNIT)));
    p.setFont(small);
    p.setPen(QColor(0x4a, 0x58, 0x68));
    p.drawText(map(stateDesign::paceCaption), Qt::AlignLeft | Qt::AlignVCenter, caption(QStringLiteral("capPace")));
    p.drawText(map(stateDesign::odoUnitCaption), Qt::AlignLeft | Qt::AlignVCenter, caption(QStringLiteral("capKwh")));
    if (m_asleep) {
        small.setItalic(true);
        p.setFont(small);
        p.drawText(map(stateDesign::asleepCaption), Qt::AlignLeft | Qt::AlignVCenter, caption(QStringLiteral("capAsleep")));
    }
}

} // namespace vantoro
