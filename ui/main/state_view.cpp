// The state view.
#include "ui/main/state_view.h"

#include "acquisition/param_format.h"
#include "acquisition/param_table.h"
#include "core/display_rules.h"
#include "core/number_format.h"
#include "core/view_layout.h"
#include "events/status_evaluation.h"
#include "ui/controls/ani_line.h"
#include "ui/controls/colour_value.h"
#include "ui/controls/number_led_meter.h"
#include "ui/controls/odo_meter.h"
#include "ui/controls/slider_temp.h"
#include "ui/controls/state_diagram.h"
#include "ui/main/view_captions.h"
#include "ui/twips.h"

#include <QLabel>
#include <QProgressBar>
#include <QSlider>

namespace vantoro {

namespace {

using stateDesign::unitRect;

const char *const tagProperty = "Tag";
const QString productPattern = QStringLiteral("###,###,###0.0");

// Parameters of the diagram, by paraid.
constexpr int P_VAC = 2, P_IAC = 3, P_VDC = 4, P_IDC = 5, P_TMOD = 6, P_TAMB = 7, P_ENERGY = 8;

constexpr quint32 CABLE_COLOR = 0x5a4a3b;   // RGB(59,74,90)
constexpr quint32 DC_FLOW_COLOR = 0x1a9fff; // RGB(255,159,26)
constexpr quint32 AC_FLOW_COLOR = 0x7ac318; // RGB(24,195,122)
constexpr quint32 METER_FLOW_COLOR = 0xd87f2f; // RGB(47,127,216)

QString indexedName(const QString &name, int index)
{
    return index < 0 ? name : name + QLatin1Char('(') + QString::number(index) + QLatin1Char(')');
}

double limitOf(const std::optional<double> &limit)
{
    return limit.value_or(0.0);
}

} // namespace

void setBarValue(QProgressBar *oBar, float s0, float s1, float s2)
{
    if (!oBar)
        return;
    oBar->setRange(0, 100);
    const float position = barPosition(s0, s1, s2);
    oBar->setProperty("position", double(position));
    oBar->setValue(int(position));
}

void resizeControl(QWidget *objBase, QWidget *ctlX, double leftOff, double topOff)
{
    if (!objBase || !ctlX)
        return;
    const auto base = parseDesignTag(objBase->property(tagProperty).toString());
    const auto design = parseDesignTag(ctlX->property(tagProperty).toString());
    if (!base || !design)
        return;
    const QSizeF current(pxToTwips(objBase->width(), objBase), pxToTwips(objBase->height(), objBase));
    const QRectF r = resizeControlRect(base->size(), *design, current, topOff).translated(leftOff, 0);
    if (auto *odo = qobject_cast<OdoMeter *>(ctlX); odo || ctlX->objectName().contains(QLatin1String("OdoMeter"))) {
        ctlX->move(twipsToPx(r.left(), objBase), twipsToPx(r.top(), objBase));
        if (odo) {
            odo->setDigitSize(twipsToPx(qint64(r.width()), objBase), twipsToPx(qint64(r.height()), objBase));
            const auto labels = objBase->findChildren<QLabel *>(QStringLiteral("lblDc"));
            for (QLabel *l : labels) {
                if (l->property("index").toInt() == 3)
                    odo->setFont(l->font());
            }
        }
        return;
    }
    const int left = twipsToPx(r.left(), objBase);
    const int top = twipsToPx(r.top(), objBase);
    ctlX->setGeometry(left, top, twipsToPx(r.right(), objBase) - left, twipsToPx(r.bottom(), objBase) - top);
    QFont f = ctlX->font();
    f.setPointSize(qMax(1, fontPointsForHeight(r.height())));
    ctlX->setFont(f);
}

void resizeCSTNumLed(NumberLedMeter *ledX)
{
    if (!ledX)
        return;
    const NumLedSizes s = numLedSizes(pxToTwips(ledX->width(), ledX), pxToTwips(ledX->height(), ledX));
    ledX->setDigitSizes(s.digitHeight, s.digitWidth, s.segmentWidth, s.digitSpacing);
}

StateView::StateView(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("picState"));
    m_imgState = new StateDiagram(this);
    m_imgState->setObjectName(QStringLiteral("imgState"));

    const Qt::Alignment centre = Qt::AlignCenter;
    makeLabel("lblTemp", -1, Qt::AlignLeft | Qt::AlignVCenter, unitRect(70, 34, 100, 16));
    makeLabel("lblSolar", -1, centre, unitRect(22, 212, 150, 18));
    makeLabel("lblDc", 3, centre, unitRect(176, 88, 120, 16));
    makeLabel("lblDc", 0, centre, unitRect(176, 107, 120, 16));
    makeLabel("lblDc", 1, centre, unitRect(176, 125, 120, 16));
    makeLabel("lblDc", 2, centre, unitRect(176, 160, 120, 16));
    makeLabel("Label1", 0, centre, unitRect(414, 107, 142, 16));
    makeLabel("Label1", 1, centre, unitRect(414, 125, 142, 16));
    makeLabel("Label1", 2, centre, unitRect(414, 160, 142, 16));
    // Under the inverter a bare temperature reads as the inverter's own.
    makeLabel("lblTmod", -1, centre, unitRect(318, 199, 94, 12));
    makeLabel("Label1", 3, centre, unitRect(322, 211, 88, 16));
    makeLabel("lblkwh", 0, centre, unitRect(553, 318, 118, 18));
    makeLabel("lblkwh", 2, centre, unitRect(262, 373, 64, 16));
    {
        QLabel *l = m_labels.value(QStringLiteral("lblTmod"));
        QFont f = l->font();
        f.setPointSizeF(f.pointSizeF() * 0.8);
        l->setFont(f);
    }
    for (const char *caption : {"lblSolar", "lblDc(3)"}) {
        QLabel *l = m_labels.value(QString::fromLatin1(caption));
        QFont f = l->font();
        f.setBold(true);
        l->setFont(f);
        QPalette pal = l->palette();
        pal.setColor(QPalette::WindowText, QColor(0x23, 0x33, 0x47));
        l->setPalette(pal);
    }

    for (int i = 0; i < 2; ++i) {
        const QRectF cable = i == 0 ? stateDesign::dcCable : stateDesign::acCable;
        m_aniLine1[i] = new AniLine(this);
        m_aniLine1[i]->setObjectName(QStringLiteral("AniLine1"));
        m_aniLine1[i]->setProperty("index", i);
        m_aniLine1[i]->setBorderStyle(0);
        m_aniLine1[i]->setBackColor(CABLE_COLOR);
        m_aniLine1[i]->setBActive(false);
        place(m_aniLine1[i], cable);
        m_aniLine2[i] = new AniLine(this);
        m_aniLine2[i]->setObjectName(QStringLiteral("AniLine2"));
        m_aniLine2[i]->setProperty("index", i);
        m_aniLine2[i]->setBorderStyle(0);
        m_aniLine2[i]->setLColor(i == 0 ? DC_FLOW_COLOR : AC_FLOW_COLOR);
        m_aniLine2[i]->setBActive(true);
        m_aniLine2[i]->hide();
        place(m_aniLine2[i], cable);
    }

    m_sliderTempModule = new SliderTemp(Qt::Vertical, this);
    m_sliderTempModule->setObjectName(QStringLiteral("SliderTempModule"));
    place(m_sliderTempModule, unitRect(300, 201, 20, 48));
    m_sliderTemp = new SliderTemp(Qt::Horizontal, this);
    m_sliderTemp->setObjectName(QStringLiteral("sliderTemp"));
    place(m_sliderTemp, unitRect(324, 230, 84, 15));

    m_barI = new QProgressBar(this);
    m_barI->setObjectName(QStringLiteral("barI"));
    m_barI->setRange(0, 100);
    m_barI->setValue(0);
    m_barI->setFormat(QStringLiteral("%p %"));
    m_barI->setStyleSheet(QStringLiteral(
        "QProgressBar { border: 1px solid #8796a5; border-radius: 4px; background: #eef2f6; text-align: center;"
        " color: #1c2c3c; }"
        "QProgressBar::chunk { border-radius: 3px; background: qlineargradient(x1:0, y1:0, x2:0, y2:1,"
        " stop:0 #7fc0ff, stop:1 #2f7fd8); }"));
    place(m_barI, unitRect(24, 296, 302, 24));

    m_aniLineMeter = new AniLine(this);
    m_aniLineMeter->setObjectName(QStringLiteral("AniLineMeter"));
    m_aniLineMeter->setBorderStyle(0);
    m_aniLineMeter->setLColor(METER_FLOW_COLOR);
    m_aniLineMeter->setBActive(true);
    m_aniLineMeter->setSpeed(0);
    place(m_aniLineMeter, unitRect(24, 326, 302, 7));

    m_slider1 = new QSlider(Qt::Horizontal, this);
    m_slider1->setObjectName(QStringLiteral("Slider1"));
    m_slider1->setRange(0, 100);
    connect(m_slider1, &QSlider::valueChanged, this, &StateView::sliderMoved);
    label(QStringLiteral("lblkwh"), 2)->setText(QString::number(m_slider1->value()));
    place(m_slider1, unitRect(24, 370, 230, 22));

    m_led = new NumberLedMeter(this);
    m_led->setObjectName(QStringLiteral("NumberLedMeter"));
    place(m_led, unitRect(361, 296, 186, 62));

    m_odo = new OdoMeter(this);
    m_odo->setObjectName(QStringLiteral("OdoMeter1"));
    place(m_odo, unitRect(361, 372, 18, 28));

    updateCaptions();
    saveDesignGeometry();
}

QLabel *StateView::makeLabel(const char *name, int index, Qt::Alignment align, const QRectF &design)
{
    auto *l = new QLabel(this);
    l->setObjectName(QString::fromLatin1(name));
    if (index >= 0)
        l->setProperty("index", index);
    l->setAlignment(align);
    l->setAttribute(Qt::WA_TranslucentBackground);
    m_labels.insert(indexedName(l->objectName(), index), l);
    place(l, design);
    return l;
}

void StateView::place(QWidget *w, const QRectF &design)
{
    m_placed << w;
    m_design.insert(w, design);
    w->setProperty(tagProperty, designTag(design));
}

QLabel *StateView::label(const QString &name, int index) const
{
    return m_labels.value(indexedName(name, index));
}

AniLine *StateView::flowLine(int index) const
{
    return index >= 0 && index < 2 ? m_aniLine2[index] : nullptr;
}

AniLine *StateView::cableLine(int index) const
{
    return index >= 0 && index < 2 ? m_aniLine1[index] : nullptr;
}

void StateView::saveDesignGeometry()
{
    setProperty(tagProperty, designTag(QRectF(0, 0, stateDesign::WIDTH, stateDesign::HEIGHT)));
    for (QWidget *w : std::as_const(m_placed))
        w->setProperty(tagProperty, designTag(m_design.value(w)));
}

void StateView::layoutControls()
{
    m_imgState->setGeometry(0, 0, width(), int(height() * STATE_IMAGE_STRETCH + 0.5));
    for (QWidget *w : std::as_const(m_placed)) {
        if (w == m_barI && m_barI->isHidden())
            continue;
        resizeControl(this, w, 0, 0);
    }
    resizeCSTNumLed(m_led);
}

void StateView::updateCaptions()
{
    m_labels.value(QStringLiteral("lblSolar"))->setText(viewCaption(QStringLiteral("lblSolar"), "PV Array", "光伏阵列"));
    m_labels.value(QStringLiteral("lblDc(3)"))->setText(viewCaption(QStringLiteral("lblDc[3]"), "DC Input", "直流输入"));
    m_labels.value(QStringLiteral("lblTmod"))->setText(viewCaption(QStringLiteral("lblTmod"), "Module temp.", "模块温度"));
    QHash<QString, QString> captions;
    captions.insert(QStringLiteral("capInverter"), viewCaption(QStringLiteral("capInverter"), "Inverter", "逆变器"));
    captions.insert(QStringLiteral("capAcOutput"), viewCaption(QStringLiteral("capAcOutput"), "AC Output", "交流输出"));
    captions.insert(QStringLiteral("capGrid"), viewCaption(QStringLiteral("capGrid"), "Grid", "电网"));
    captions.insert(QStringLiteral("capCurrent"),
                    viewCaption(QStringLiteral("capCurrent"), "Output Current", "输出电流"));
    captions.insert(QStringLiteral("capPace"), viewCaption(QStringLiteral("capPace"), "Flow animation", "流动动画"));
    captions.insert(QStringLiteral("capEnergy"), viewCaption(QStringLiteral("capEnergy"), "Total energy", "累计发电量"));
    captions.insert(QStringLiteral("capAsleep"), viewCaption(QStringLiteral("capAsleep"), "Asleep: standing by for the sun", "休眠: 等待日出"));
    captions.insert(QStringLiteral("capKwh"), viewCaption(QStringLiteral("capKwh"), "kWh", "kWh"));
    m_imgState->setCaptions(captions);
}

void StateView::setValueLabel(QLabel *label, int id)
{
    label->setText(formatParaWithUnit(table(), id) + calibrationMarker(table(), id));
    const QString tip = calibratedToolTip(table(), id);
    if (label->toolTip() != tip)
        label->setToolTip(tip);
    const QColor colour = colourFromValue(getCellColor(table(), id));
    if (label->palette().color(QPalette::WindowText) != colour) {
        QPalette pal = label->palette();
        pal.setColor(QPalette::WindowText, colour);
        label->setPalette(pal);
    }
}

void StateView::refreshPicState()
{
    setValueLabel(label(QStringLiteral("lblDc"), 0), P_VDC);
    setValueLabel(label(QStringLiteral("lblDc"), 1), P_IDC);
    label(QStringLiteral("lblDc"), 2)
        ->setText(valueWithUnit(formatNumber(numericValue(table(), P_VDC) * numericValue(table(), P_IDC), productPattern),
                                QStringLiteral("W")));
    setValueLabel(label(QStringLiteral("Label1"), 0), P_VAC);
    setValueLabel(label(QStringLiteral("Label1"), 1), P_IAC);
    label(QStringLiteral("Label1"), 2)
        ->setText(valueWithUnit(formatNumber(numericValue(table(), P_VAC) * numericValue(table(), P_IAC), productPattern),
                                QStringLiteral("W")));
    setValueLabel(label(QStringLiteral("Label1"), 3), P_TMOD);
    setValueLabel(label(QStringLiteral("lblkwh"), 0), P_ENERGY);
    setValueLabel(label(QStringLiteral("lblTemp")), P_TAMB);

    m_sliderTempModule->setValue(numericValue(table(), P_TMOD));
    m_sliderTemp->setValue(numericValue(table(), P_TMOD));

    const ParamRecord &iac = table()[P_IAC];
    setBarValue(m_barI, float(numericValue(table(), P_IAC)), float(limitOf(iac.rangel)),
                float(limitOf(iac.rangeu)));
    const int speed = flowSpeed(m_barI->property("position").toDouble());
    if (m_aniLineMeter->speed() != speed)
        m_aniLineMeter->setSpeed(speed);

    m_led->setValue(numericValue(table(), P_ENERGY));
    m_odo->setValue(numericValue(table(), P_ENERGY));
    checkWorkMode();
}

void StateView::checkWorkMode()
{
    m_aniLine2[0]->setVisible(flowVisible(numericValue(table(), P_IDC)));
    m_aniLine2[1]->setVisible(flowVisible(numericValue(table(), P_IAC)));
}

void StateView::sliderMoved(int position)
{
    label(QStringLiteral("lblkwh"), 2)->setText(QString::number(position));
    m_aniLineMeter->setSpeed(position);
}

} // namespace vantoro
