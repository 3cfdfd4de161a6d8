// The picture behind the state view: a power-flow diagram (sun and PV array,
// DC cable, inverter, AC cable, grid; current and energy panels), drawn as
// vectors into whatever size the view has.
#pragma once

#include <QHash>
#include <QRectF>
#include <QWidget>

namespace vantoro {

// The diagram's design space, in twips; one design pixel is 15 twips.
namespace stateDesign {

constexpr double TWIPS_PER_UNIT = 15;
constexpr QRectF unitRect(double x, double y, double w, double h)
{
    return QRectF(x * TWIPS_PER_UNIT, y * TWIPS_PER_UNIT, w * TWIPS_PER_UNIT, h * TWIPS_PER_UNIT);
}

constexpr double WIDTH = 689 * TWIPS_PER_UNIT;
constexpr double HEIGHT = 440 * TWIPS_PER_UNIT;

constexpr QRectF flowCard = unitRect(10, 8, 669, 250);
constexpr QRectF sun = unitRect(26, 22, 40, 40);
constexpr QRectF asleepCaption = unitRect(70, 52, 230, 18);
constexpr QRectF pvArray = unitRect(22, 76, 150, 130);
constexpr QRectF dcCable = unitRect(172, 146, 128, 8);
constexpr QRectF inverter = unitRect(300, 110, 110, 80);
constexpr QRectF inverterCaption = unitRect(300, 88, 110, 18);
constexpr QRectF acCable = unitRect(410, 146, 150, 8);
constexpr QRectF acCaption = unitRect(414, 86, 142, 18);
constexpr QRectF grid = unitRect(560, 64, 110, 146);
constexpr QRectF gridCaption = unitRect(560, 214, 110, 20);
constexpr QRectF moduleTempPanel = unitRect(296, 198, 118, 54);
constexpr QRectF currentPanel = unitRect(10, 268, 330, 156);
constexpr QRectF currentCaption = unitRect(22, 272, 250, 18);
constexpr QRectF paceCaption = unitRect(30, 352, 220, 16);
constexpr QRectF energyPanel = unitRect(349, 268, 330, 156);
constexpr QRectF energyCaption = unitRect(361, 272, 250, 18);
constexpr QRectF odoUnitCaption = unitRect(500, 374, 60, 22);

} // namespace stateDesign

class StateDiagram : public QWidget
{
    Q_OBJECT
public:
    explicit StateDiagram(QWidget *parent = nullptr);

    // Texts drawn on the picture, by key: "capInverter", "capAcOutput",
    // "capGrid", "capCurrent", "capPace", "capEnergy", "capKwh", "capAsleep".
    void setCaptions(const QHash<QString, QString> &captions);
    QString caption(const QString &key) const { return m_captions.value(key); }
    // The device asleep at night: the sun dims and the text of "capAsleep"
    // stands beside it.
    void setAsleep(bool asleep);
    bool asleep() const { return m_asleep; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QHash<QString, QString> m_captions;
    bool m_asleep = false;
};

} // namespace vantoro
