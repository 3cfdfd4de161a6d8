// The system settings record: row 1 of sysset (the station and its line) and
// the run-time values filled at start-up. Each device's own record lives with
// the device on the line.
#pragma once

#include <QDate>
#include <QString>

namespace vantoro {

inline constexpr int EXPECTED_REPLY_BYTES = 33;

struct SystemSettings
{
    QString iniPath;
    QString logFileName;
    int viewmode = 0;
    QDate startDate;
    int comport = 0;
    QString ComSettings;
    int usesoundcard = 0;
    QString MailAddr;
    QString MailServeraddr;
    int MailEnabled = 0;
    QString mobilephone;
    QString usertelephone;
    QString username;
    QString Userfname;
    QString userPass;
    QString userpass2;
    QString Mmfileurl;
    int Soundenabled = 0;
    QString connectionString;
    int hisdatakeephours = 0;
    int HisDataSamplePeriod = 0;
    float PauseSeconds = 0;
    float TimeOut = 0;
    int retrytimes = 0;
    int expectedReplyBytes = 0;
    int debugMode = 0;
    int HttpServerEnabled = 0;
    int httpport = 0;
    int BeepFreq = 0;
    int AutoShutDown = 0;
    int languageIndex = 0;
    // The line as an address (tcp://HOST:PORT, modbus-tcp://HOST:PORT);
    // empty: the serial port of `comport` (column added by upgradeSchema).
    QString LineAddress;

    // Mail alerts: sender, login and transport security (columns added by
    // upgradeSchema). The password is stored as typed, as the server needs it.
    QString MailSender;
    QString MailUser;
    QString MailPassword;
    int MailSecurity = 0; // MAIL_SECURITY_NONE, _STARTTLS or _TLS

    // Below this share of its rating (percent) the device's DC input stands
    // by: the device is asleep, not faulty (column added by upgradeSchema).
    double StandbyPercent = 1.0;

    // The daily summary: its time of day as typed ("HH:MM") and whether it
    // goes by mail and as a notice (columns added by upgradeSchema).
    QString SummaryTime = QStringLiteral("21:00");
    int SummaryMail = 0;
    int SummaryNotice = 0;
};

// The standby share a database without the column, or with an empty one, has.
inline constexpr double STANDBY_PERCENT_DEFAULT = 1.0;
inline constexpr double STANDBY_PERCENT_MAX = 50.0;

inline constexpr int MAIL_SECURITY_NONE = 0;
inline constexpr int MAIL_SECURITY_STARTTLS = 1;
inline constexpr int MAIL_SECURITY_TLS = 2;

extern SystemSettings sysSettings;

// A power rating text in watts: "3K" 3000, "1K5" 1500, "4.6K" 4600, "800"
// 800; 0 when it cannot be read.
double ratingWatts(const QString &rating);

// Fills the run-time values: INI path, log file name, start date, reply
// length, debug mode and the database path.
void initGlobals();
// Reads row 1 of sysset; reports a missing row and keeps the values then in
// memory. True when the row was read.
bool loadSystemSettings();
// Writes the record back to its row; reports a missing row. True when it was
// written.
bool saveSystemSettings();

} // namespace vantoro
