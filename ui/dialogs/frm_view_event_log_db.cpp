// The event viewer over the eventlog table.
#include "ui/dialogs/frm_view_event_log_db.h"

#include "core/station_bus.h"

#include "core/database.h"
#include "core/localisation.h"
#include "core/message_service.h"
#include "core/system_settings.h"
#include "events/event_log.h"
#include "core/iso_time.h"
#include "history/csv_writer.h"
#include "ui/form_utils.h"
#include "ui/history/history_texts.h"
#include "ui/language.h"

#include <QDateEdit>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlQueryModel>
#include <QTableView>
#include <QVBoxLayout>

namespace vantoro {

namespace {

const QString kSection = QStringLiteral("frmViewEventLogDb");
constexpr int TIME_COLUMN_TWIPS = 2000;

// Without a language file the key itself names the column, as it does when
// the file lacks the key.
QString viewerText(const QString &key)
{
    return langText(kSection, key, LANGUAGE_CURRENT, key);
}

int twipsToPixels(int twips, const QWidget *widget)
{
    return qRound(twips * widget->logicalDpiX() / 1440.0);
}

QDateEdit *makeDatePicker(int index, QWidget *parent)
{
    auto *picker = new QDateEdit(QDate::currentDate(), parent);
    picker->setObjectName(QStringLiteral("dt1"));
    picker->setProperty("index", index);
    picker->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    picker->setCalendarPopup(true);
    return picker;
}

QPushButton *makeButton(const char *name, const QString &caption, QWidget *parent)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    return button;
}

} // namespace

frmViewEventLogDb::frmViewEventLogDb(QWidget *owner)
    : QWidget(owner, Qt::Window)
{
    setObjectName(kSection);
    setWindowTitle(QStringLiteral("查看数据"));

    auto *label = new QLabel(QStringLiteral("起止日期"), this);
    label->setObjectName(QStringLiteral("Label1"));
    m_from = makeDatePicker(0, this);
    m_to = makeDatePicker(1, this);
    m_query = makeButton("cmdQuery", QStringLiteral("查看"), this);
    m_print = makeButton("cmdPrint", QStringLiteral("打印"), this);
    m_export = makeButton("cmdExport", QStringLiteral("导出..."), this);
    m_clear = makeButton("cmdClearLog", QStringLiteral("清除"), this);
    m_exit = makeButton("cmdExit", QStringLiteral("结束"), this);

    m_model = new QSqlQueryModel(this);
    m_grid = new QTableView(this);
    m_grid->setObjectName(QStringLiteral("MSHFlexGrid1"));
    m_grid->setModel(m_model);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grid->verticalHeader()->hide();
    m_grid->verticalHeader()->setDefaultSectionSize(m_grid->fontMetrics().height() + 6);
    m_grid->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    // The text column takes what the time column leaves, as the window grows.
    m_grid->horizontalHeader()->setStretchLastSection(true);
    m_grid->setWordWrap(false);
    m_lblNoEvents = new QLabel(this);
    m_lblNoEvents->setObjectName(QStringLiteral("lblNoEvents"));
    m_lblNoEvents->setAlignment(Qt::AlignCenter);
    m_lblNoEvents->hide();

    auto *bar = new QHBoxLayout;
    bar->addWidget(label);
    bar->addWidget(m_from);
    bar->addWidget(m_to);
    bar->addStretch();
    bar->addWidget(m_query);
    bar->addWidget(m_print);
    bar->addWidget(m_export);
    bar->addWidget(m_clear);
    bar->addWidget(m_exit);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(m_grid, 1);
    layout->addWidget(m_lblNoEvents);

    connect(m_query, &QPushButton::clicked, this, &frmViewEventLogDb::loadLogData);
    connect(m_print, &QPushButton::clicked, this, &frmViewEventLogDb::printEvents);
    connect(m_export, &QPushButton::clicked, this, [this] {
        exportWithDialog(this, reportFileName(QStringLiteral("csv")), QStringLiteral("CSV (*.csv)"),
                         [this](const QString &path, QString *error) { return exportEvents(path, error); });
    });
    connect(m_clear, &QPushButton::clicked, this, &frmViewEventLogDb::clearLog);
    connect(m_exit, &QPushButton::clicked, this, &QWidget::close);
    connect(m_grid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) {
                if (current.isValid())
                    currentRowChanged(current.row());
            });

    resize(720, 480);
    loadLogData();
}

frmViewEventLogDb::~frmViewEventLogDb()
{
    // The model's statement must end before its connection is closed.
    m_model->clear();
    m_connection.reset();
}

frmViewEventLogDb *frmViewEventLogDb::showEventLog(QWidget *owner)
{
    static QPointer<frmViewEventLogDb> viewer;
    if (!viewer) {
        viewer = new frmViewEventLogDb(owner);
        viewer->setAttribute(Qt::WA_DeleteOnClose);
    }
    if (viewer->isMinimized())
        viewer->showNormal();
    viewer->show();
    viewer->raise();
    viewer->activateWindow();
    return viewer;
}

bool frmViewEventLogDb::ensureConnection(QString *error)
{
    // One connection for the viewer's life: the grid reads its rows from it
    // as they are scrolled into view.
    if (m_connection && m_connection->isOpen())
        return true;
    m_connection = std::make_unique<DbConnection>();
    if (m_connection->isOpen())
        return true;
    if (error)
        *error = m_connection->errorText();
    return false;
}

void frmViewEventLogDb::loadLogData()
{
    setBusyCursor(true);
    const QDate from = m_from->date();
    const QDate to = m_to->date();
    const EventQuery list = eventListQuery(from, to, viewerText(QStringLiteral("msgTime")),
                                           viewerText(QStringLiteral("msgEvent")));
    QString error;
    bool ok = ensureConnection(&error);
    if (ok)
        ok = runEventListQuery(*m_model, m_connection->database(), list, eventCountQuery(from, to), &m_eventCount,
                               &error);
    if (ok) {
        m_lastList = list;
        // 2000 twips held a time in the original small font; a larger
        // font still shows the whole time.
        const int timeWidth = m_grid->fontMetrics().horizontalAdvance(QStringLiteral("0000-00-00 00:00:00")) + 16;
        m_grid->setColumnWidth(0, qMax(twipsToPixels(TIME_COLUMN_TWIPS, m_grid), timeWidth));
    } else {
        m_model->clear();
        m_eventCount = 0;
        m_lastList = EventQuery();
    }
    showNoEvents(ok && m_eventCount == 0);
    setBusyCursor(false);
    if (!ok)
        showQueryError(error);
}

void frmViewEventLogDb::showNoEvents(bool none)
{
    if (none)
        m_lblNoEvents->setText(formText(kSection, QStringLiteral("msgNoEvents"), QStringLiteral("这段日期内没有事件。")));
    m_lblNoEvents->setVisible(none);
}

QString frmViewEventLogDb::dateRangeText() const
{
    const QString from = m_from->date().toString(Qt::ISODate);
    const QString to = m_to->date().toString(Qt::ISODate);
    return from == to ? from : from + QStringLiteral(" – ") + to;
}

QString frmViewEventLogDb::reportFileName(const QString &suffix) const
{
    const QString from = m_from->date().toString(Qt::ISODate);
    const QString to = m_to->date().toString(Qt::ISODate);
    return QStringLiteral("events_") + (from == to ? from : from + QLatin1Char('_') + to) + QLatin1Char('.') + suffix;
}

void frmViewEventLogDb::showQueryError(const QString &error)
{
    const QString text = sysSettings.languageIndex == LANGUAGE_ENGLISH
        ? QStringLiteral("The events could not be read from the database:")
        : QStringLiteral("无法从数据库读取事件：");
    messages().show(windowTitle(), text + QLatin1Char('\n') + error, MessageIcon::Warning);
}

std::optional<RptEvents> frmViewEventLogDb::buildReport()
{
    RptEvents report;
    report.lbltitle = viewerText(QStringLiteral("msgEventTitle"));
    report.lbltime = viewerText(QStringLiteral("msgTime"));
    report.label2 = viewerText(QStringLiteral("msgEvent"));
    report.language = sysSettings.languageIndex;
    // A sheet on its own says whose events and which days it lists.
    const QList<DeviceInfo> &devices = stationBus().devices();
    const QString owner = devices.size() == 1 ? devices.first().name.trimmed() : QString();
    report.lblsubtitle = owner.isEmpty() ? dateRangeText() : owner + QStringLiteral("  ·  ") + dateRangeText();
    report.pdfFileName = reportFileName(QStringLiteral("pdf"));
    setBusyCursor(true);
    QString error;
    // The listed events read once more, front to back, so a long list is not
    // held twice in memory.
    const bool ok = readListedEvents([&](const QString &time, const QString &text) { report.addRecord(time, text); },
                                     &error);
    setBusyCursor(false);
    if (!ok) {
        showQueryError(error);
        return std::nullopt;
    }
    return report;
}

bool frmViewEventLogDb::readListedEvents(const std::function<void(const QString &, const QString &)> &take,
                                         QString *error)
{
    if (m_lastList.sql.isEmpty() || !m_connection || !m_connection->isOpen())
        return true;
    QSqlQuery query(m_connection->database());
    query.setForwardOnly(true);
    bool ok = query.prepare(m_lastList.sql);
    for (const QVariant &value : m_lastList.binds)
        query.addBindValue(value);
    ok = ok && query.exec();
    while (ok && query.next())
        take(query.value(0).toString(), query.value(1).toString());
    if (ok && !query.lastError().isValid())
        return true;
    if (error)
        *error = query.lastError().text();
    return false;
}

bool frmViewEventLogDb::exportEvents(const QString &path, QString *error)
{
    QList<QStringList> rows;
    const auto exported = [](const QString &stored) {
        // Stored as local wall-clock text; a file read elsewhere needs the offset.
        const QDateTime time = QDateTime::fromString(stored, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        return time.isValid() ? isoWithOffset(time) : stored;
    };
    if (!readListedEvents([&](const QString &time, const QString &text) { rows << QStringList{exported(time), text}; },
                          error))
        return false;
    const QStringList headers{viewerText(QStringLiteral("msgTime")), viewerText(QStringLiteral("msgEvent"))};
    return saveCsvFile(path, [&](QIODevice *device, QString *) { return writeTableCsv(device, headers, rows); }, error);
}

QPrintPreviewDialog *frmViewEventLogDb::printEvents()
{
    const std::optional<RptEvents> report = buildReport();
    return report ? report->showPreview(this) : nullptr;
}

void frmViewEventLogDb::clearLog()
{
    // Every event of every date goes, and nothing brings it back: say how
    // many before doing it.
    QString error;
    const auto counted = rsSqlGet(QStringLiteral("select count(*) from eventlog"), {}, &error);
    if (!counted || counted->recordCount() != 1) {
        showQueryError(error);
        return;
    }
    const qint64 total = counted->rows[0][0].toLongLong();
    if (!messages().askYesNo(windowTitle(), viewerText(QStringLiteral("msgClearConfirm")).arg(total)))
        return;
    // Ends the grid's read first, so the delete never waits for it.
    m_model->clear();
    if (!execSql(QStringLiteral("delete from eventlog"), {}, &error))
        showQueryError(error);
    loadLogData();
}

void frmViewEventLogDb::currentRowChanged(int row)
{
    if (row >= 0)
        logStatus(eventRowStatusText(row, m_eventCount), true);
}

void frmViewEventLogDb::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    applyLanguage(this, sysSettings.languageIndex);
}

void frmViewEventLogDb::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        applyLanguage(this, sysSettings.languageIndex);
}

} // namespace vantoro
