// The Plant view and its device tiles.
#include "ui/main/plant_view.h"

#include "core/localisation.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QEvent>
#include <QMouseEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <functional>

namespace vantoro {

namespace {

const QString section = QStringLiteral("plantView");
constexpr int TILE_WIDTH = 230;
constexpr int TILE_HEIGHT = 112;
constexpr int TILE_SPACING = 8;
constexpr int BULB_SIZE = 22;

QString text(const char *key, const char *builtIn)
{
    return formText(section, QString::fromLatin1(key), QString::fromUtf8(builtIn));
}

QString kilo(double watts)
{
    return text("fmtKw", "%1 kW").arg(watts / 1000.0, 0, 'f', 2);
}

QString energy(double kwh)
{
    return text("fmtKwh", "%1 kWh").arg(kwh, 0, 'f', kwh >= 1000 ? 0 : kwh >= 10 ? 1 : 2);
}

std::optional<double> outputPower(const CycleReport &report)
{
    return report.outputPowerWatts();
}

QPixmap bulbPixmap(const QString &image)
{
    static QHash<QString, QIcon> icons;
    auto it = icons.constFind(image);
    if (it == icons.constEnd())
        it = icons.insert(image, QIcon(QStringLiteral(":/icons/%1.svg").arg(image)));
    return it->pixmap(QSize(BULB_SIZE, BULB_SIZE));
}

} // namespace

QString deviceBulb(const CycleReport *report, bool enabled)
{
    if (!enabled || !report)
        return QStringLiteral("bulble_grey");
    // Asleep is neither a fault nor a lost link; a fault flagged in the
    // device's sleep still shows red.
    if (!report->linkUp)
        return report->asleep ? QStringLiteral("bulble_grey") : QStringLiteral("bulble_blue");
    if (report->alarm || !report->faults.isEmpty())
        return QStringLiteral("bulble_red");
    return report->asleep ? QStringLiteral("bulble_grey") : QStringLiteral("bulble");
}

// One device's tile.
class PlantTile : public QFrame
{
public:
    PlantTile(const QString &id, std::function<void(const QString &)> chosen, QWidget *parent)
        : QFrame(parent)
        , m_id(id)
        , m_chosen(std::move(chosen))
        , m_bulb(new QLabel(this))
        , m_name(new QLabel(this))
        , m_power(new QLabel(this))
        , m_yield(new QLabel(this))
        , m_state(new QLabel(this))
    {
        setObjectName(QStringLiteral("tile") + id);
        setFixedSize(TILE_WIDTH, TILE_HEIGHT);
        setFrameShape(QFrame::StyledPanel);
        setCursor(Qt::PointingHandCursor);
        setAutoFillBackground(true);
        m_bulb->setObjectName(QStringLiteral("bulb"));
        m_bulb->setFixedSize(BULB_SIZE, BULB_SIZE);
        m_name->setObjectName(QStringLiteral("name"));
        m_power->setObjectName(QStringLiteral("power"));
        m_yield->setObjectName(QStringLiteral("yield"));
        m_state->setObjectName(QStringLiteral("state"));
        QFont bold = m_name->font();
        bold.setBold(true);
        m_name->setFont(bold);
        QFont big = m_power->font();
        big.setPointSizeF(big.pointSizeF() * 1.4);
        m_power->setFont(big);
        m_state->setWordWrap(true);
        m_state->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        auto *head = new QHBoxLayout;
        head->addWidget(m_bulb);
        head->addWidget(m_name, 1);
        auto *layout = new QVBoxLayout(this);
        layout->setContentsMargins(8, 6, 8, 6);
        layout->setSpacing(2);
        layout->addLayout(head);
        layout->addWidget(m_power);
        layout->addWidget(m_yield);
        layout->addWidget(m_state, 1);
    }

    const QString &id() const { return m_id; }
    QString bulb() const { return m_image; }

    void show(const DeviceInfo &device, const CycleReport *report, std::optional<double> todayKwh)
    {
        const QString image = deviceBulb(report, device.enabled);
        if (image != m_image) {
            m_image = image;
            m_bulb->setPixmap(bulbPixmap(image));
            m_bulb->setProperty("image", image);
        }
        const QString name = device.name.isEmpty() ? device.id : QStringLiteral("%1 (%2)").arg(device.name, device.id);
        m_name->setText(m_name->fontMetrics().elidedText(name, Qt::ElideRight, TILE_WIDTH - BULB_SIZE - 30));
        m_name->setToolTip(name);
        const std::optional<double> power = report ? outputPower(*report) : std::nullopt;
        m_power->setText(power ? text("fmtW", "%1 W").arg(*power, 0, 'f', 0) : QStringLiteral("–"));
        m_yield->setText(text("lblTodayTile", "Today %1").arg(todayKwh ? energy(*todayKwh) : QStringLiteral("–")));
        QString state;
        bool fault = false;
        if (!device.enabled)
            state = text("msgDisabled", "not polled (disabled)");
        else if (!report)
            state = text("msgWaiting", "no report yet");
        else if (!report->faults.isEmpty()) {
            state = report->faults.join(QStringLiteral(", "));
            fault = true;
        } else if (!report->linkUp)
            state = report->asleep ? text("msgAsleep", "asleep") : text("msgLost", "communication lost");
        else if (report->asleep)
            state = text("msgAsleep", "asleep");
        else
            state = text("msgRunning", "running");
        m_state->setText(state);
        m_state->setToolTip(fault ? state : QString());
        m_state->setStyleSheet(fault ? QStringLiteral("color: #d00000;") : QString());
    }

    void setSelected(bool selected)
    {
        if (selected == m_selected)
            return;
        m_selected = selected;
        setLineWidth(selected ? 2 : 1);
        setFrameShadow(selected ? QFrame::Plain : QFrame::Raised);
        setStyleSheet(selected ? QStringLiteral("QFrame#%1 { border: 2px solid palette(highlight); border-radius: 3px; }")
                                     .arg(objectName())
                               : QString());
    }

protected:
    void mouseReleaseEvent(QMouseEvent *event) override
    {
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
            m_chosen(m_id);
        QFrame::mouseReleaseEvent(event);
    }

private:
    QString m_id;
    std::function<void(const QString &)> m_chosen;
    QLabel *m_bulb;
    QLabel *m_name;
    QLabel *m_power;
    QLabel *m_yield;
    QLabel *m_state;
    QString m_image;
    bool m_selected = false;
};

PlantView::PlantView(StationBus &bus, QWidget *parent)
    : QWidget(parent)
    , m_bus(bus)
    , m_power(new QLabel(this))
    , m_today(new QLabel(this))
    , m_energy(new QLabel(this))
    , m_up(new QLabel(this))
    , m_scroll(new QScrollArea(this))
    , m_tileArea(new QWidget)
    , m_grid(new QGridLayout(m_tileArea))
{
    setObjectName(QStringLiteral("PlantView"));
    m_power->setObjectName(QStringLiteral("lblPlantPower"));
    m_today->setObjectName(QStringLiteral("lblPlantToday"));
    m_energy->setObjectName(QStringLiteral("lblPlantEnergy"));
    m_up->setObjectName(QStringLiteral("lblPlantUp"));
    auto *totals = new QHBoxLayout;
    totals->setSpacing(24);
    for (QLabel *label : {m_power, m_today, m_energy}) {
        QFont f = label->font();
        f.setBold(true);
        f.setPointSizeF(f.pointSizeF() * 1.25);
        label->setFont(f);
        totals->addWidget(label);
    }
    totals->addStretch(1);
    totals->addWidget(m_up);
    m_grid->setSpacing(TILE_SPACING);
    m_grid->setContentsMargins(TILE_SPACING, TILE_SPACING, TILE_SPACING, TILE_SPACING);
    m_grid->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_scroll->setObjectName(QStringLiteral("plantTiles"));
    m_scroll->setWidget(m_tileArea);
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->viewport()->installEventFilter(this);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 0);
    layout->addLayout(totals);
    layout->addWidget(m_scroll, 1);

    for (const CycleReport &report : m_bus.lastCycles())
        m_yields[report.deviceId].add(report);
    connect(&m_bus, &StationBus::cycleFinished, this, &PlantView::cycleFinished);
    connect(&m_bus, &StationBus::roundFinished, this, [this] { showTotals(); });
    connect(&m_bus, &StationBus::devicesChanged, this, &PlantView::devicesChanged);
    devicesChanged();
}

PlantView::~PlantView() = default;

QList<DeviceInfo> PlantView::lineDevices() const
{
    if (!m_bus.devices().isEmpty())
        return m_bus.devices();
    // Before the list is published the reports name the devices.
    QList<DeviceInfo> devices;
    for (const CycleReport &report : m_bus.lastCycles())
        devices << DeviceInfo{report.deviceId, report.deviceName, report.address, report.protocol, report.rating, true};
    return devices;
}

void PlantView::devicesChanged()
{
    const QList<DeviceInfo> devices = lineDevices();
    QHash<QString, PlantTile *> old;
    for (PlantTile *tile : m_tiles)
        old.insert(tile->id(), tile);
    QList<PlantTile *> tiles;
    for (const DeviceInfo &device : devices) {
        PlantTile *tile = old.take(device.id);
        if (!tile)
            tile = new PlantTile(device.id, [this](const QString &id) { emit deviceChosen(id); }, m_tileArea);
        tile->setSelected(device.id == m_selected);
        tiles << tile;
    }
    for (PlantTile *gone : std::as_const(old)) {
        m_yields.remove(gone->id());
        delete gone;
    }
    m_tiles = tiles;
    layTiles(true);
    refreshPlant();
}

void PlantView::cycleFinished(const CycleReport &report)
{
    m_yields[report.deviceId].add(report);
    if (!isVisible())
        return;
    const QList<DeviceInfo> devices = lineDevices();
    for (PlantTile *tile : std::as_const(m_tiles)) {
        if (tile->id() != report.deviceId)
            continue;
        for (const DeviceInfo &device : devices) {
            if (device.id == report.deviceId)
                tile->show(device, &report, todayYieldKwh(device.id));
        }
    }
}

void PlantView::refreshPlant()
{
    for (const DeviceInfo &device : lineDevices()) {
        for (PlantTile *tile : std::as_const(m_tiles)) {
            if (tile->id() == device.id)
                tile->show(device, m_bus.lastCycle(device.id), todayYieldKwh(device.id));
        }
    }
    showTotals();
}

void PlantView::showTotals()
{
    // The round carries the plant's totals; before the first one they are
    // the same sums over the last report of every device.
    const RoundReport round = m_bus.lastRound().time.isValid()
        ? m_bus.lastRound()
        : roundOf(m_bus.lastCycles(), false, QDateTime::currentDateTime());
    const bool any = !round.devices.isEmpty();
    m_power->setText(text("lblPower", "Power now: %1").arg(any ? kilo(round.powerWatts) : QStringLiteral("–")));
    std::optional<double> today;
    const QDate date = round.time.isValid() ? round.time.date() : QDate::currentDate();
    for (auto it = m_yields.cbegin(); it != m_yields.cend(); ++it) {
        if (const auto kwh = it->kwh(date))
            today = today.value_or(0) + *kwh;
    }
    m_today->setText(text("lblToday", "Today: %1").arg(today ? energy(*today) : QStringLiteral("–")));
    m_energy->setText(text("lblLifetime", "Lifetime: %1").arg(round.energyKwh ? energy(*round.energyKwh)
                                                                                : QStringLiteral("–")));
    m_up->setText(text("lblUp", "%1 of %2 devices up").arg(round.devicesUp).arg(m_tiles.size()));
}

void PlantView::setSelectedId(const QString &id)
{
    m_selected = id;
    for (PlantTile *tile : std::as_const(m_tiles))
        tile->setSelected(tile->id() == id);
}

QStringList PlantView::tileIds() const
{
    QStringList ids;
    for (const PlantTile *tile : m_tiles)
        ids << tile->id();
    return ids;
}

QString PlantView::bulbOf(const QString &id) const
{
    for (const PlantTile *tile : m_tiles) {
        if (tile->id() == id)
            return tile->bulb();
    }
    return QString();
}

std::optional<double> PlantView::todayYieldKwh(const QString &id) const
{
    const auto it = m_yields.constFind(id);
    if (it == m_yields.cend())
        return std::nullopt;
    const CycleReport *last = m_bus.lastCycle(id);
    return it->kwh(last && last->time.isValid() ? last->time.date() : QDate::currentDate());
}

void PlantView::languageApplied(int)
{
    refreshPlant();
}

void PlantView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    refreshPlant();
}

bool PlantView::eventFilter(QObject *watched, QEvent *event)
{
    // The viewport's width, not the view's, decides how many tiles fit.
    if (watched == m_scroll->viewport() && event->type() == QEvent::Resize)
        layTiles(false);
    return QWidget::eventFilter(watched, event);
}

void PlantView::layTiles(bool force)
{
    // Room for the scroll bar, so its coming does not change the columns.
    const int width = m_scroll->viewport()->width()
        - (m_scroll->verticalScrollBar()->isVisible() ? 0 : m_scroll->verticalScrollBar()->sizeHint().width());
    const int columns = std::max(1, (width - TILE_SPACING) / (TILE_WIDTH + TILE_SPACING));
    if (!force && columns == m_columns)
        return;
    m_columns = columns;
    while (m_grid->count() > 0)
        delete m_grid->takeAt(0);
    for (int i = 0; i < m_tiles.size(); ++i)
        m_grid->addWidget(m_tiles[i], i / columns, i % columns);
}

} // namespace vantoro
