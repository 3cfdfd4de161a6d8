// The event viewer: stored events between two dates, newest first, with
// printing and clearing of the table.
#pragma once

#include "events/event_query.h"

#include "ui/dialogs/rpt_events.h"

#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class QDateEdit;
class QLabel;
class QPrintPreviewDialog;
class QPushButton;
class QSqlQueryModel;
class QTableView;

namespace vantoro {

class DbConnection;

class frmViewEventLogDb : public QWidget
{
    // Its own meta-object, so findChild<frmViewEventLogDb *> finds the viewer
    // and not the first widget child of the main window.
    Q_OBJECT

public:
    // Both dates start at today and today's events are listed at once.
    explicit frmViewEventLogDb(QWidget *owner = nullptr);
    ~frmViewEventLogDb() override;

    // Opens the one viewer owned by `owner`, or brings the open one forward.
    static frmViewEventLogDb *showEventLog(QWidget *owner);

    // Lists the events of the chosen days; a failure leaves the list empty
    // and says so in a message.
    void loadLogData();
    // The printed report of the listed events, with the localised captions;
    // nullopt (and a message) when the events cannot be read.
    std::optional<RptEvents> buildReport();
    // Shows the preview of that report over the viewer; nullptr on failure.
    QPrintPreviewDialog *printEvents();
    // Writes the listed events to a CSV file (written aside, then renamed);
    // false with `error` set when the events or the file failed.
    bool exportEvents(const QString &path, QString *error);
    // Empties the event table (no question asked) and lists again.
    void clearLog();

    // The rows of the last query, fetched as the grid shows them.
    QSqlQueryModel *rsEventLog() const { return m_model; }
    // The number of events the last query found.
    int eventCount() const { return m_eventCount; }
    QDateEdit *dateFrom() const { return m_from; }
    QDateEdit *dateTo() const { return m_to; }
    QTableView *grid() const { return m_grid; }
    // Shown instead of an empty list.
    QLabel *lblNoEvents() const { return m_lblNoEvents; }
    // "events_<from>_<to>.<suffix>" (one date when the range is one day).
    QString reportFileName(const QString &suffix) const;

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    bool ensureConnection(QString *error);
    void showQueryError(const QString &error);
    // Hands every event of the last listing to `take`, time and text, in the
    // listed order; false with `error` when the read failed.
    bool readListedEvents(const std::function<void(const QString &, const QString &)> &take, QString *error);
    void currentRowChanged(int row);
    void showNoEvents(bool none);
    QString dateRangeText() const;

    std::unique_ptr<DbConnection> m_connection;
    QSqlQueryModel *m_model = nullptr;
    QDateEdit *m_from = nullptr;
    QDateEdit *m_to = nullptr;
    QTableView *m_grid = nullptr;
    QPushButton *m_query = nullptr;
    QPushButton *m_print = nullptr;
    QPushButton *m_export = nullptr;
    QPushButton *m_clear = nullptr;
    QPushButton *m_exit = nullptr;
    QLabel *m_lblNoEvents = nullptr;
    EventQuery m_lastList;
    int m_eventCount = 0;
};

} // namespace vantoro
