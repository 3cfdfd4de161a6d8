// The event viewer, its printed report and the running log window, offscreen.
#include "core/database.h"
#include "core/localisation.h"
#include "core/system_settings.h"
#include "events/event_log.h"
#include "test_support.h"
#include "ui/dialogs/frm_logs.h"
#include "ui/dialogs/frm_view_event_log_db.h"
#include "ui/dialogs/rpt_events.h"

#include <QDateEdit>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPushButton>
#include <QCheckBox>
#include <QScrollBar>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlQueryModel>
#include <QTableView>
#include <QtTest>

using namespace vantoro;

namespace {

// Status bar and running log window, as the main window wires them.
class TestSink : public StatusSink
{
public:
    void showStatus(const QString &text) override { statuses << text; }
    void runningLogChanged(const QString &line, bool replaced) override
    {
        if (logs)
            logs->runningLogChanged(line, replaced);
    }
    QStringList statuses;
    frmLogs *logs = nullptr;
};

void storeEvent(const QString &logtime, const QString &text)
{
    QVERIFY(execSql(QStringLiteral("insert into eventlog (devid, eventname, logtime, mailsent) values ('001', ?, ?, 0)"),
                    {text, logtime}));
}

// Many rows in one transaction: one commit instead of one per row.
void storeEvents(const QList<std::pair<QString, QString>> &events)
{
    QString failure;
    const bool stored = rsSqlGet2(
        [&events](QSqlDatabase &db, QString &error) {
            QSqlQuery insert(db);
            insert.prepare(QStringLiteral("insert into eventlog (devid, eventname, logtime, mailsent) values ('001', ?, ?, 0)"));
            for (const auto &[logtime, text] : events) {
                insert.addBindValue(text);
                insert.addBindValue(logtime);
                if (!insert.exec()) {
                    error = insert.lastError().text();
                    return false;
                }
            }
            return true;
        },
        &failure);
    QVERIFY2(stored, qPrintable(failure));
}

QString stamp(const QDate &day, const QString &time)
{
    return day.toString(QStringLiteral("yyyy-MM-dd")) + QLatin1Char(' ') + time;
}

QStringList column(const QSqlQueryModel *model, int col)
{
    QStringList values;
    for (int row = 0; row < model->rowCount(); ++row)
        values << model->index(row, col).data().toString();
    return values;
}

QString viewerText(const QString &key)
{
    return langText(QStringLiteral("frmViewEventLogDb"), key, LANGUAGE_CURRENT, key);
}

int storedCount()
{
    return rsSqlGet(QStringLiteral("select count(*) as n from eventlog"))->value(0, QStringLiteral("n")).toInt();
}

QList<RptEvents::Item> itemsNamed(const QList<RptEvents::Page> &pages, int page, const QString &name)
{
    QList<RptEvents::Item> items;
    for (const RptEvents::Item &item : pages[page].items) {
        if (item.name == name)
            items << item;
    }
    return items;
}

} // namespace

class TestEventViewer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void opensOnTodayNewestFirst();
    void wholeDaysAndReversedRange();
    void localisedTitlesNameTheColumns();
    void gridFetchesLazilyAndShowsRowStatus();
    void clearingEmptiesTheTable();
    void failedQueryKeepsTheViewerOpen();
    void reportCutsAndPages();
    void previewAndPdf();
    void logWindowHidesAndFollowsTheLog();

private:
    std::unique_ptr<test::TestHome> m_home;
    std::unique_ptr<test::MessageRecorder> m_messages;
    TestSink m_sink;
    QDate m_today;
};

void TestEventViewer::initTestCase()
{
    test::isolateUserSettings();
}

void TestEventViewer::init()
{
    m_home = std::make_unique<test::TestHome>();
    m_messages = std::make_unique<test::MessageRecorder>();
    m_sink = TestSink();
    setStatusSink(&m_sink);
    clearRunningLog();
    m_today = QDate::currentDate();
}

void TestEventViewer::cleanup()
{
    setStatusSink(nullptr);
    m_messages.reset();
    m_home.reset();
}

void TestEventViewer::opensOnTodayNewestFirst()
{
    storeEvent(stamp(m_today.addDays(-1), QStringLiteral("23:59:59")), QStringLiteral("yesterday"));
    storeEvent(stamp(m_today, QStringLiteral("00:00:00")), QStringLiteral("midnight"));
    storeEvent(stamp(m_today, QStringLiteral("12:00:00")), QStringLiteral("noon"));
    storeEvent(stamp(m_today, QStringLiteral("08:00:00")), QStringLiteral("morning"));
    storeEvent(stamp(m_today.addDays(1), QStringLiteral("00:00:00")), QStringLiteral("tomorrow"));

    frmViewEventLogDb viewer;
    QCOMPARE(viewer.dateFrom()->property("index").toInt(), 0);
    QCOMPARE(viewer.dateTo()->property("index").toInt(), 1);
    QCOMPARE(viewer.dateFrom()->date(), m_today);
    QCOMPARE(viewer.dateTo()->date(), m_today);
    QCOMPARE(column(viewer.rsEventLog(), 1),
             QStringList({QStringLiteral("noon"), QStringLiteral("morning"), QStringLiteral("midnight")}));
    QCOMPARE(column(viewer.rsEventLog(), 0).first(), stamp(m_today, QStringLiteral("12:00:00")));
    QCOMPARE(viewer.rsEventLog()->headerData(0, Qt::Horizontal).toString(), viewerText(QStringLiteral("msgTime")));
    QCOMPARE(viewer.rsEventLog()->headerData(1, Qt::Horizontal).toString(), viewerText(QStringLiteral("msgEvent")));
    QVERIFY(m_messages->texts.isEmpty());
}

void TestEventViewer::wholeDaysAndReversedRange()
{
    const QDate from(2024, 3, 10);
    const QDate to(2024, 3, 12);
    storeEvent(QStringLiteral("2024-03-09 23:59:59"), QStringLiteral("before"));
    storeEvent(QStringLiteral("2024-03-10 00:00:00"), QStringLiteral("first second"));
    storeEvent(QStringLiteral("2024-03-12 23:59:59"), QStringLiteral("last second"));
    storeEvent(QStringLiteral("2024-03-13 00:00:00"), QStringLiteral("after"));

    frmViewEventLogDb viewer;
    viewer.dateFrom()->setDate(from);
    viewer.dateTo()->setDate(to);
    QTest::mouseClick(viewer.findChild<QPushButton *>(QStringLiteral("cmdQuery")), Qt::LeftButton);
    QCOMPARE(column(viewer.rsEventLog(), 1), QStringList({QStringLiteral("last second"), QStringLiteral("first second")}));

    QVERIFY(viewer.lblNoEvents()->isHidden());
    viewer.dateFrom()->setDate(to);
    viewer.dateTo()->setDate(from);
    viewer.loadLogData();
    QCOMPARE(viewer.rsEventLog()->rowCount(), 0);
    QCOMPARE(viewer.eventCount(), 0);
    // An empty list says so, rather than look like a list not yet read.
    QVERIFY(!viewer.lblNoEvents()->isHidden());
    QVERIFY(!viewer.lblNoEvents()->text().isEmpty());
    QVERIFY(m_messages->texts.isEmpty());
}

void TestEventViewer::localisedTitlesNameTheColumns()
{
    QFile file(m_home->file(QStringLiteral("langcn.ini")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("\xEF\xBB\xBF[frmViewEventLogDb]\r\nmsgTime=时间 \"本地\"\r\nmsgEvent=事件, 说明\r\n");
    file.close();
    sysSettings.languageIndex = 1;
    storeEvent(stamp(m_today, QStringLiteral("09:00:00")), QStringLiteral("e"));

    frmViewEventLogDb viewer;
    QCOMPARE(viewer.rsEventLog()->rowCount(), 1);
    QCOMPARE(viewer.rsEventLog()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("时间 \"本地\""));
    QCOMPARE(viewer.rsEventLog()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("事件, 说明"));
    const std::optional<RptEvents> report = viewer.buildReport();
    QVERIFY(report);
    QCOMPARE(report->lbltime, QStringLiteral("时间 \"本地\""));
    // A key the file lacks shows as the key itself.
    QCOMPARE(report->lbltitle, QStringLiteral("msgEventTitle"));
}

void TestEventViewer::gridFetchesLazilyAndShowsRowStatus()
{
    QList<std::pair<QString, QString>> events;
    for (int i = 0; i < 2000; ++i)
        events.append({stamp(m_today, QTime(0, 0).addSecs(i * 30).toString(QStringLiteral("HH:mm:ss"))),
                       QStringLiteral("event %1").arg(i)});
    storeEvents(events);

    frmViewEventLogDb viewer;
    QCOMPARE(viewer.eventCount(), 2000);
    QVERIFY2(viewer.rsEventLog()->rowCount() < 2000, "the grid copied every row");
    QCOMPARE(viewer.rsEventLog()->index(0, 1).data().toString(), QStringLiteral("event 1999"));

    viewer.grid()->setCurrentIndex(viewer.rsEventLog()->index(4, 1));
    QCOMPARE(m_sink.statuses.last(), QStringLiteral("5 of 2001"));
    QVERIFY(runningLogText().isEmpty());
}

void TestEventViewer::clearingEmptiesTheTable()
{
    QList<std::pair<QString, QString>> events;
    for (int i = 0; i < 10; ++i)
        events.append({stamp(m_today, QStringLiteral("10:%1:00").arg(i, 2, 10, QLatin1Char('0'))), QStringLiteral("e%1").arg(i)});
    storeEvents(events);
    frmViewEventLogDb viewer;
    QCOMPARE(viewer.rsEventLog()->rowCount(), 10);
    viewer.grid()->setCurrentIndex(viewer.rsEventLog()->index(0, 0));
    QCOMPARE(m_sink.statuses.last(), QStringLiteral("1 of 11"));

    // Another connection writes while the grid holds its rows. Clearing
    // asks first, counting every date; No keeps everything.
    storeEvent(QStringLiteral("2020-01-01 00:00:00"), QStringLiteral("old"));
    auto *clear = viewer.findChild<QPushButton *>(QStringLiteral("cmdClearLog"));
    m_messages->answer = false;
    QTest::mouseClick(clear, Qt::LeftButton);
    QCOMPARE(storedCount(), 11);
    QCOMPARE(m_messages->questions.size(), 1);
    QVERIFY2(m_messages->questions[0].contains(QStringLiteral("11")), qPrintable(m_messages->questions[0]));
    m_messages->answer = true;
    QTest::mouseClick(clear, Qt::LeftButton);
    QCOMPARE(storedCount(), 0);
    QCOMPARE(viewer.rsEventLog()->rowCount(), 0);
    QVERIFY(m_messages->texts.isEmpty());

    // The next query sees rows stored after the clearing.
    storeEvent(stamp(m_today, QStringLiteral("11:00:00")), QStringLiteral("new"));
    viewer.loadLogData();
    QCOMPARE(column(viewer.rsEventLog(), 1), QStringList{QStringLiteral("new")});
}

void TestEventViewer::failedQueryKeepsTheViewerOpen()
{
    frmViewEventLogDb viewer;
    viewer.show();
    QVERIFY(execSql(QStringLiteral("drop table eventlog")));
    QTest::mouseClick(viewer.findChild<QPushButton *>(QStringLiteral("cmdQuery")), Qt::LeftButton);
    QCOMPARE(m_messages->texts.size(), 1);
    QVERIFY(m_messages->texts[0].contains(QStringLiteral("eventlog")));
    QVERIFY(viewer.isVisible());
    QCOMPARE(viewer.rsEventLog()->rowCount(), 0);
    // Printing then gives an empty report rather than a second failure.
    const std::optional<RptEvents> report = viewer.buildReport();
    QVERIFY(report);
    QVERIFY(report->records().isEmpty());
}

void TestEventViewer::reportCutsAndPages()
{
    const QString longText = QString(150, QLatin1Char('a')) + QLatin1Char(' ') + QString(149, QLatin1Char('b'));
    const QString longTime = stamp(m_today, QStringLiteral("23:00:00.123456789+08:00"));
    QList<std::pair<QString, QString>> events{{longTime, longText}};
    for (int i = 0; i < 119; ++i)
        events.append({stamp(m_today, QTime(1, 0).addSecs(i * 60).toString(QStringLiteral("HH:mm:ss"))),
                       QStringLiteral("事件 %1").arg(i)});
    storeEvents(events);

    frmViewEventLogDb viewer;
    // The grid shows texts whole.
    QCOMPARE(viewer.rsEventLog()->index(0, 1).data().toString(), longText);
    QCOMPARE(viewer.rsEventLog()->index(0, 0).data().toString(), longTime);

    std::optional<RptEvents> report = viewer.buildReport();
    QVERIFY(report);
    QCOMPARE(report->records().size(), 120);
    QCOMPARE(report->records()[0].eventtime, longTime.left(25));
    QCOMPARE(report->records()[0].eventdetail, longText.left(200));
    QCOMPARE(report->records()[1].eventdetail, QStringLiteral("事件 118"));

    report->printedAt = QDateTime(QDate(2024, 5, 6), QTime(7, 8));
    report->language = 2;
    QPrinter printer(QPrinter::HighResolution);
    RptEvents::setupPrinter(&printer);
    printer.setOutputFormat(QPrinter::PdfFormat);
    QCOMPARE(printer.pageLayout().pageSize().id(), QPageSize::A4);
    QCOMPARE(printer.pageLayout().orientation(), QPageLayout::Portrait);
    const QList<RptEvents::Page> pages = report->layoutPages(&printer, QSizeF(printer.width(), printer.height()));
    QVERIFY(pages.size() >= 2);

    // Wrapped lines join back to the cut texts, inside the page.
    QCOMPARE(itemsNamed(pages, 0, QStringLiteral("eventtime")).first().text(), longTime.left(25));
    const RptEvents::Item detail = itemsNamed(pages, 0, QStringLiteral("eventdetail")).first();
    QCOMPARE(detail.text(), longText.left(200));
    QVERIFY(detail.lines.size() > 1);
    QVERIFY(detail.rect.right() <= printer.width() + 0.5);

    int detailLines = 0;
    for (int p = 0; p < pages.size(); ++p) {
        QCOMPARE(itemsNamed(pages, p, QStringLiteral("lbltitle")).size(), p == 0 ? 1 : 0);
        QCOMPARE(itemsNamed(pages, p, QStringLiteral("lbltime")).first().text(), viewerText(QStringLiteral("msgTime")));
        QCOMPARE(itemsNamed(pages, p, QStringLiteral("label2")).first().text(), viewerText(QStringLiteral("msgEvent")));
        QCOMPARE(itemsNamed(pages, p, QStringLiteral("pagefooter")).first().text(),
                 QStringLiteral("Page %1 of %2").arg(p + 1).arg(pages.size()));
        QCOMPARE(itemsNamed(pages, p, QStringLiteral("printdate")).first().text(), QStringLiteral("Printed 2024-05-06 07:08"));
        const QList<RptEvents::Item> details = itemsNamed(pages, p, QStringLiteral("eventdetail"));
        detailLines += int(details.size());
        const qreal footerTop = itemsNamed(pages, p, QStringLiteral("pagefooter")).first().rect.top();
        for (const RptEvents::Item &item : details)
            QVERIFY(item.rect.bottom() < footerTop);
    }
    QCOMPARE(detailLines, 120);
    QCOMPARE(itemsNamed(pages, 0, QStringLiteral("lbltitle")).first().text(), viewerText(QStringLiteral("msgEventTitle")));
}

void TestEventViewer::previewAndPdf()
{
    for (int i = 0; i < 3; ++i)
        storeEvent(stamp(m_today, QStringLiteral("0%1:00:00").arg(i)), QStringLiteral("e%1").arg(i));
    frmViewEventLogDb viewer;
    viewer.show();
    QTest::mouseClick(viewer.findChild<QPushButton *>(QStringLiteral("cmdPrint")), Qt::LeftButton);
    auto *preview = viewer.findChild<QPrintPreviewDialog *>(QStringLiteral("RptEvents"));
    QVERIFY(preview);
    QVERIFY(preview->isVisible());
    QCOMPARE(preview->printer()->pageLayout().pageSize().id(), QPageSize::A4);
    auto *pagesWidget = preview->findChild<QPrintPreviewWidget *>();
    QVERIFY(pagesWidget);
    QTRY_COMPARE(pagesWidget->pageCount(), 1);
    QVERIFY(preview->findChild<QAction *>(QStringLiteral("actionSavePdf")));
    QPointer<QPrintPreviewDialog> guard(preview);
    preview->close();
    QTRY_VERIFY(guard.isNull());

    // The sheet names the station and the days; Save as PDF offers a name.
    DeviceRecord roof;
    roof.name = QStringLiteral("Roof west");
    stationBus().publishDevices({DeviceInfo(roof)});
    const std::optional<RptEvents> report = viewer.buildReport();
    QVERIFY(report);
    QVERIFY(report->lblsubtitle.contains(QStringLiteral("Roof west")));
    QVERIFY(report->lblsubtitle.contains(m_today.toString(Qt::ISODate)));
    QCOMPARE(report->pdfFileName, QStringLiteral("events_%1.pdf").arg(m_today.toString(Qt::ISODate)));
    QPrinter sheet;
    sheet.setOutputFormat(QPrinter::PdfFormat);
    const QList<RptEvents::Page> sheets = report->layoutPages(&sheet, QSizeF(sheet.width(), sheet.height()));
    QCOMPARE(itemsNamed(sheets, 0, QStringLiteral("lblsubtitle")).first().text(), report->lblsubtitle);

    const QString pdf = m_home->file(QStringLiteral("events.pdf"));
    QVERIFY(viewer.buildReport()->saveAsPdf(pdf));
    QFile written(pdf);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QVERIFY(written.read(5) == "%PDF-");
    QVERIFY(written.size() > 1000);
    QTest::ignoreMessage(QtWarningMsg, "QPainter::begin(): Returned false");
    QVERIFY(!viewer.buildReport()->saveAsPdf(m_home->file(QStringLiteral("missing/dir/events.pdf"))));
}

void TestEventViewer::logWindowHidesAndFollowsTheLog()
{
    logStatus(QStringLiteral("before the window"));
    frmLogs logs;
    m_sink.logs = &logs;
    QVERIFY(!logs.isVisible());
    QVERIFY(logs.logs()->toPlainText().endsWith(QStringLiteral("] before the window")));

    logs.showLogs();
    QVERIFY(logs.isVisible());
    logs.close();
    QVERIFY(!logs.isVisible());
    logStatus(QStringLiteral("while hidden"));
    logs.showMinimized();
    logs.showLogs();
    QVERIFY(!logs.isMinimized());
    QCOMPARE(logs.logs()->toPlainText().count(QLatin1Char('\n')), 1);
    QVERIFY(logs.logs()->toPlainText().endsWith(QStringLiteral("] while hidden")));

    // The window follows a trim of the running log.
    logStatus(QString(RUNNING_LOG_LIMIT, QLatin1Char('z')));
    logStatus(QStringLiteral("after the trim"));
    QString expected = runningLogText();
    expected.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    expected.chop(1);
    QCOMPARE(logs.logs()->toPlainText(), expected);
    QVERIFY(expected.size() < RUNNING_LOG_KEEP + 40);

    QTest::mouseClick(logs.findChild<QPushButton *>(QStringLiteral("Command1")), Qt::LeftButton);
    QVERIFY(logs.logs()->toPlainText().isEmpty());
    QVERIFY(runningLogText().isEmpty());
    QTest::mouseClick(logs.findChild<QPushButton *>(QStringLiteral("cmdExit")), Qt::LeftButton);
    QVERIFY(!logs.isVisible());

    // It opens on the newest line.
    for (int i = 0; i < 200; ++i)
        logStatus(QStringLiteral("line %1").arg(i));
    logs.close();
    logs.logs()->verticalScrollBar()->setValue(0);
    logs.showLogs();
    QCOMPARE(logs.logs()->verticalScrollBar()->value(), logs.logs()->verticalScrollBar()->maximum());
    QVERIFY(logs.logs()->verticalScrollBar()->maximum() > 0);
    // The details switch lets the cycle's steps into the log.
    QVERIFY(!logs.details()->isChecked());
    logs.details()->setChecked(true);
    QVERIFY(runningLogDetails());
    logs.details()->setChecked(false);
    QVERIFY(!runningLogDetails());

    logs.showLogs();
    logs.unload();
    QVERIFY(!logs.isVisible());
    m_sink.logs = nullptr;
}

QTEST_MAIN(TestEventViewer)
#include "tst_event_viewer.moc"
