// The daily summary service: at the chosen time one mail and/or one notice
// to every notice channel with the plant's day. Each receiver ("mail",
// "notice:<channel>") keeps in summarysent the last day it accepted,
// written off the station's thread once the server or Apprise took it, so a
// summary goes once: late after a start that missed it (the most recent
// day only), never for a day the station was off, never twice.
#pragma once

#include "history/daily_yield.h"
#include "notices/apprise_job.h"
#include "summary/summary_settings.h"

#include <QDate>
#include <QHash>
#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>

namespace vantoro {

class BackgroundWrite;
struct DailySummary;

// The receiver name of mail in summarysent; a notice channel's is
// "notice:" followed by its id.
inline constexpr const char *SUMMARY_MAIL_RECEIVER = "mail";

struct SummaryTiming
{
    // The first look after start, so a summary missed last evening goes
    // once the station is up.
    int startMs = 10 * 1000;
    // The longest wait between looks at the wall clock.
    int checkMaxMs = 10 * 60 * 1000;
    int retryFirstMs = 60 * 1000;
    int retryMaxMs = 30 * 60 * 1000;
    int markRetryFirstMs = 1000;
    int markRetryMaxMs = 60 * 1000;
    int noticeTimeoutMs = APPRISE_TIMEOUT_MS;
    QString program = QString::fromLatin1(APPRISE_PROGRAM);
};

// The last day each receiver accepted; a receiver without a row never had one.
QHash<QString, QDate> storedSummaryDays(QString &error);
// Records that `receiver` accepted the summary of `day` (a later day only).
bool storeSummaryDay(const QString &receiver, const QDate &day, const QDateTime &sentAt, QString &error);

class SummaryService : public QObject
{
public:
    using Clock = std::function<QDateTime()>;
    // The recorder's days not written yet.
    using CurrentDays = std::function<QList<DayYield>()>;

    explicit SummaryService(SummaryTiming timing = {}, QObject *parent = nullptr);
    ~SummaryService() override;

    void setClock(Clock clock);
    void setCurrentDays(CurrentDays days);

    void start();
    // Ends sends in progress (they count as not sent) and stores what was
    // accepted but not yet recorded.
    void stop();

    // Looks at the clock now instead of at the next timer.
    void check();

    // Sends started, for tests.
    int sends() const { return m_sends; }

private:
    struct Receiver;
    struct Look;

    Receiver &receiver(const QString &name);
    bool busy() const;
    void lookFinished(const Look &look);
    void send(Receiver &r, const DailySummary &summary);
    void sendFinished(const QString &name, bool accepted, const QString &answer);
    void storeMarks();
    void scheduleCheck(int delayMs);

    SummaryTiming m_timing;
    Clock m_clock;
    CurrentDays m_currentDays;
    bool m_started = false;
    QTimer m_timer;
    std::unique_ptr<BackgroundWrite> m_look;
    bool m_checkAgain = false;
    std::unique_ptr<BackgroundWrite> m_marker;
    QTimer m_markRetry;
    int m_markRetryMs = 0;
    QHash<QString, std::shared_ptr<Receiver>> m_receivers;
    // The day every receiver is done with (sent, or the station was off).
    QDate m_settledDay;
    int m_sends = 0;
    QList<QMetaObject::Connection> m_connections;
};

} // namespace vantoro
