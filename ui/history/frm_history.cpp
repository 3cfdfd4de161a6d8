#include "ui/history/frm_history.h"

#include "core/station_bus.h"

#include "acquisition/param_names.h"
#include "acquisition/param_table.h"
#include "core/message_service.h"
#include "core/system_settings.h"
#include "history/csv_writer.h"
#include "history/history_settings.h"
#include "ui/history/chart_print.h"
#include "ui/history/history_chart_view.h"
#include "ui/history/history_texts.h"
#include "ui/history/yield_view.h"

#include <QComboBox>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QVBoxLayout>

namespace vantoro {

namespace {

// What a new window plots: output, input and the module temperature.
const QStringList defaultCodes = {QStringLiteral("PAC"), QStringLiteral("IAC"), QStringLiteral("VDC"),
                                  QStringLiteral("TMOD")};

QPushButton *button(const char *name, const QString &caption, QWidget *parent)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    return b;
}

} // namespace

std::pair<QDateTime, QDateTime> historySpanRange(const QDate &day, HistorySpan span)
{
    QDate first = day;
    QDate end = day.addDays(1);
    if (span == HistorySpan::Week) {
        first = day.addDays(1 - day.dayOfWeek());
        end = first.addDays(7);
    } else if (span == HistorySpan::Month) {
        first = QDate(day.year(), day.month(), 1);
        end = first.addMonths(1);
    }
    return {first.startOfDay(), end.startOfDay()};
}

frmHistory::frmHistory(QWidget *owner)
    : QWidget(owner, Qt::Window)
    , m_tabs(new QTabWidget(this))
    , m_day(new QDateEdit(QDate::currentDate(), this))
    , m_span(new QComboBox(this))
    , m_device(new QComboBox(this))
    , m_params(new QListWidget(this))
    , m_chart(new HistoryChartView(this))
    , m_readout(new QLabel(this))
    , m_info(new QLabel(this))
    , m_yield(new YieldView(this))
{
    setObjectName(QStringLiteral("frmHistory"));
    setWindowTitle(historyText("Caption"));
    m_day->setObjectName(QStringLiteral("dtDay"));
    m_day->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    m_day->setCalendarPopup(true);
    m_span->setObjectName(QStringLiteral("cmbSpan"));
    m_span->addItems({historyText("optDay"), historyText("optWeek"), historyText("optMonth")});
    m_device->setObjectName(QStringLiteral("cmbDevice"));
    m_device->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_prev = button("cmdPrev", historyText("cmdPrev"), this);
    m_next = button("cmdNext", historyText("cmdNext"), this);
    auto *whole = button("cmdResetZoom", historyText("cmdResetZoom"), this);
    auto *exportButton = button("cmdExport", historyText("cmdExport"), this);
    auto *print = button("cmdPrint", historyText("cmdPrint"), this);
    auto *pdf = button("cmdPdf", historyText("cmdPdf"), this);
    auto *close = button("cmdExit", historyText("cmdExit"), this);
    m_params->setObjectName(QStringLiteral("lstParams"));
    m_params->setMaximumWidth(220);
    m_readout->setObjectName(QStringLiteral("lblReadout"));
    m_readout->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_info->setObjectName(QStringLiteral("lblInfo"));

    auto *bar = new QHBoxLayout;
    bar->addWidget(new QLabel(historyText("lblDevice"), this));
    for (QWidget *w : std::initializer_list<QWidget *>{m_device, m_prev, m_day, m_next, m_span})
        bar->addWidget(w);
    bar->addStretch();
    for (QWidget *w : std::initializer_list<QWidget *>{whole, exportButton, print, pdf})
        bar->addWidget(w);
    auto *side = new QVBoxLayout;
    side->addWidget(new QLabel(historyText("lblParams"), this));
    side->addWidget(m_params, 1);
    auto *plot = new QVBoxLayout;
    plot->addWidget(m_chart, 1);
    plot->addWidget(m_readout);
    plot->addWidget(m_info);
    auto *body = new QHBoxLayout;
    body->addLayout(side);
    body->addLayout(plot, 1);
    auto *curves = new QWidget(this);
    curves->setObjectName(QStringLiteral("tabCurve"));
    auto *curveLayout = new QVBoxLayout(curves);
    curveLayout->addLayout(bar);
    curveLayout->addLayout(body, 1);

    m_tabs->setObjectName(QStringLiteral("tabsHistory"));
    m_tabs->addTab(curves, historyText("tabCurve"));
    m_tabs->addTab(m_yield, historyText("tabYield"));
    auto *bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(close);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs, 1);
    layout->addLayout(bottom);

    fillParameterList();
    fillDeviceList();
    // A device added or removed on the line shows up here at once.
    connect(&stationBus(), &StationBus::devicesChanged, this, [this] {
        const QString shown = deviceId();
        fillDeviceList();
        if (deviceId() != shown)
            reload();
    });
    connect(m_device, &QComboBox::currentIndexChanged, this, [this] {
        m_yield->setDevice(deviceId());
        reload();
    });
    connect(m_day, &QDateEdit::dateChanged, this, &frmHistory::reload);
    connect(m_span, &QComboBox::currentIndexChanged, this, &frmHistory::reload);
    connect(m_prev, &QPushButton::clicked, this, [this] { step(-1); });
    connect(m_next, &QPushButton::clicked, this, [this] { step(1); });
    connect(m_params, &QListWidget::itemChanged, this, &frmHistory::reload);
    connect(whole, &QPushButton::clicked, m_chart, &HistoryChartView::resetZoom);
    connect(m_chart, &HistoryChartView::readoutChanged, m_readout, &QLabel::setText);
    connect(exportButton, &QPushButton::clicked, this, [this] {
        exportWithDialog(this, curveTitle() + QStringLiteral(".csv"), QStringLiteral("CSV (*.csv)"),
                         [this](const QString &path, QString *error) {
                             const auto [from, to] = historySpanRange(m_day->date(), span());
                             const HistoryRequest request{from, to, checkedCodes(), 0, 0, deviceId(), 0};
                             return saveCsvFile(path, [&](QIODevice *d, QString *e) {
                                 return writeHistoryCsv(d, request, e);
                             }, error);
                         });
    });
    connect(print, &QPushButton::clicked, this, [this] { showChartPreview(m_chart, curveTitle(), this); });
    connect(pdf, &QPushButton::clicked, this, [this] {
        const QString path = askPdfPath(this, curveTitle());
        if (!path.isEmpty() && !saveChartPdf(m_chart, curveTitle(), path))
            messages().show(curveTitle(), historyText("msgExportFailed") + path, MessageIcon::Warning);
    });
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    resize(980, 620);
}

frmHistory *frmHistory::showHistory(QWidget *owner)
{
    static QPointer<frmHistory> window;
    if (!window) {
        window = new frmHistory(owner);
        window->setAttribute(Qt::WA_DeleteOnClose);
    }
    if (window->isMinimized())
        window->showNormal();
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

void frmHistory::fillParameterList()
{
    const QSignalBlocker block(m_params);
    m_params->clear();
    // The enabled numeric parameters; without a loaded table (the unattended
    // mode, a test) whatever was recorded.
    QList<HistoryColumn> choices;
    const QList<CycleReport> reports = stationBus().lastCycles();
    if (!reports.isEmpty()) {
        for (const ParameterReading &p : reports.first().parameters) {
            if (p.numeric)
                choices << HistoryColumn{p.id, p.code, p.name, p.unit};
        }
    }
    if (choices.isEmpty())
        choices = historyColumns();
    for (const HistoryColumn &c : choices) {
        if (!isHistoryCurve(c.slot))
            continue;
        auto *item = new QListWidgetItem(c.unit.isEmpty() ? c.name : QStringLiteral("%1 (%2)").arg(c.name, c.unit),
                                         m_params);
        item->setData(Qt::UserRole, c.code);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(defaultCodes.contains(c.code, Qt::CaseInsensitive) ? Qt::Checked : Qt::Unchecked);
    }
}

void frmHistory::fillDeviceList()
{
    const QString current = m_device->count() > 0 ? deviceId() : QString::fromLatin1(HISTORY_FIRST_DEVICE);
    {
        const QSignalBlocker block(m_device);
        m_device->clear();
        for (const DeviceInfo &d : historyDevices()) {
            const QString name = d.name.trimmed();
            m_device->addItem(name.isEmpty() || name == d.id ? d.id : QStringLiteral("%1 %2").arg(d.id, name), d.id);
        }
        if (m_device->findData(QString::fromLatin1(HISTORY_FIRST_DEVICE)) < 0)
            m_device->insertItem(0, QString::fromLatin1(HISTORY_FIRST_DEVICE), QString::fromLatin1(HISTORY_FIRST_DEVICE));
        m_device->addItem(historyText("optPlant"), QString::fromLatin1(HISTORY_PLANT));
        const int index = m_device->findData(current);
        m_device->setCurrentIndex(index >= 0 ? index : 0);
    }
    m_yield->setDevice(deviceId());
}

void frmHistory::setDevice(const QString &deviceId)
{
    const int index = m_device->findData(deviceId);
    if (index >= 0)
        m_device->setCurrentIndex(index);
}

QString frmHistory::deviceId() const
{
    const QString id = m_device->currentData().toString();
    return id.isEmpty() ? QString::fromLatin1(HISTORY_FIRST_DEVICE) : id;
}

void frmHistory::setCodes(const QStringList &codes)
{
    {
        const QSignalBlocker block(m_params);
        for (int i = 0; i < m_params->count(); ++i) {
            QListWidgetItem *item = m_params->item(i);
            item->setCheckState(codes.contains(item->data(Qt::UserRole).toString(), Qt::CaseInsensitive)
                                    ? Qt::Checked
                                    : Qt::Unchecked);
        }
    }
    reload();
}

QStringList frmHistory::checkedCodes() const
{
    QStringList codes;
    for (int i = 0; i < m_params->count(); ++i) {
        if (m_params->item(i)->checkState() == Qt::Checked)
            codes << m_params->item(i)->data(Qt::UserRole).toString();
    }
    return codes;
}

HistorySpan frmHistory::span() const
{
    return HistorySpan(std::clamp(m_span->currentIndex(), 0, 2));
}

void frmHistory::setDay(const QDate &day, HistorySpan span)
{
    {
        const QSignalBlocker a(m_day), b(m_span);
        m_day->setDate(day);
        m_span->setCurrentIndex(int(span));
    }
    m_yield->setMonth(day.year(), day.month());
    reload();
}

void frmHistory::step(int direction)
{
    const QDate day = m_day->date();
    switch (span()) {
    case HistorySpan::Day: m_day->setDate(day.addDays(direction)); break;
    case HistorySpan::Week: m_day->setDate(day.addDays(7 * direction)); break;
    case HistorySpan::Month: m_day->setDate(day.addMonths(direction)); break;
    }
}

QString frmHistory::curveTitle() const
{
    const auto [from, to] = historySpanRange(m_day->date(), span());
    QString text = historyText("Caption") + QLatin1Char(' ') + historyDeviceText(deviceId(), historyText("optPlant"))
        + QLatin1Char(' ') + from.date().toString(Qt::ISODate);
    if (from.daysTo(to) > 1)
        text += QStringLiteral(" - ") + to.date().addDays(-1).toString(Qt::ISODate);
    return text;
}

void frmHistory::reload()
{
    m_loadedOnce = true;
    const auto [from, to] = historySpanRange(m_day->date(), span());
    const QStringList codes = checkedCodes();
    QString error;
    std::optional<HistoryData> data;
    if (codes.isEmpty())
        data = HistoryData();
    else
        // A day is shown sample by sample; longer ranges are reduced by the
        // query to about two points per pixel.
        data = queryHistory({from, to, codes, span() == HistorySpan::Day ? 0 : m_chart->wantedPoints(), 0, deviceId(),
                             effectiveSamplePeriod(sysSettings.HisDataSamplePeriod)},
                            &error);
    if (!data) {
        messages().show(historyText("Caption"), error, MessageIcon::Warning);
        data = HistoryData();
    }
    m_chart->showData(*data, from, to, historyText("lblNoData"));
    m_readout->clear();
    if (data->bucketSeconds > 0)
        m_info->setText(historyText("lblReduced").arg(data->sampleCount).arg(data->bucketSeconds));
    else
        m_info->setText(historyText("lblSamples").arg(data->sampleCount));
    m_yield->reload();
}

void frmHistory::exportCsv(const QString &path)
{
    const auto [from, to] = historySpanRange(m_day->date(), span());
    const HistoryRequest request{from, to, checkedCodes(), 0, 0, deviceId(),
                                 effectiveSamplePeriod(sysSettings.HisDataSamplePeriod)};
    QString error;
    if (!saveCsvFile(path, [&](QIODevice *d, QString *e) { return writeHistoryCsv(d, request, e); }, &error))
        messages().show(historyText("Caption"), historyText("msgExportFailed") + error, MessageIcon::Warning);
}

void frmHistory::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_loadedOnce)
        reload();
}

} // namespace vantoro
