// Loading and saving the system settings record.
#include "core/system_settings.h"

#include "core/common.h"
#include "core/database.h"
#include "core/message_service.h"
#include "core/password.h"
#include "core/station_bus.h"
#include "core/user_settings.h"

#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>

namespace vantoro {

SystemSettings sysSettings;

namespace {

const char *const sysTitle = "Vantoro";

// The sysset columns written back, each with how the record holds it.
enum class Kind { Int, Real, Text };
struct Column { const char *name; Kind kind; };
const Column syssetColumns[] = {
    {"comport", Kind::Int}, {"ComSettings", Kind::Text}, {"BeepFreq", Kind::Int},
    {"hisdatakeephours", Kind::Int}, {"HisDataSamplePeriod", Kind::Int}, {"httpport", Kind::Int},
    {"HttpServerEnabled", Kind::Int}, {"PauseSeconds", Kind::Real}, {"retrytimes", Kind::Int},
    {"Soundenabled", Kind::Int}, {"TimeOut", Kind::Real}, {"Userfname", Kind::Text},
    {"MailAddr", Kind::Text}, {"MailEnabled", Kind::Int}, {"MailServeraddr", Kind::Text},
    {"Mmfileurl", Kind::Text}, {"mobilephone", Kind::Text}, {"username", Kind::Text},
    {"userPass", Kind::Text}, {"userpass2", Kind::Text}, {"usertelephone", Kind::Text},
    {"usesoundcard", Kind::Int}, {"viewmode", Kind::Int}, {"AutoShutDown", Kind::Int},
    {"MailSender", Kind::Text}, {"MailUser", Kind::Text}, {"MailPassword", Kind::Text},
    {"MailSecurity", Kind::Int}, {"StandbyPercent", Kind::Real}, {"LineAddress", Kind::Text},
    {"SummaryTime", Kind::Text}, {"SummaryMail", Kind::Int}, {"SummaryNotice", Kind::Int},
};

void fail(const QString &text, MessageIcon icon)
{
    messages().beep();
    messages().show(QString::fromLatin1(sysTitle), text, icon);
}

// Direct conversion of a numeric column; null and non-numbers give 0.
int directInt(const QVariant &v)
{
    bool ok = false;
    const double d = v.toDouble(&ok);
    return truncatedInt(ok ? d : leadingNumber(v.toString()));
}

float directReal(const QVariant &v)
{
    bool ok = false;
    const double d = v.toDouble(&ok);
    return float(ok ? d : leadingNumber(v.toString()));
}

int leadingInt(const QVariant &v) { return truncatedInt(leadingNumber(v.isNull() ? QString() : v.toString())); }
QString textOf(const QVariant &v) { return v.isNull() ? QString() : v.toString(); }

void readSysset(const RecordSet &rs)
{
    SystemSettings &s = sysSettings;
    auto v = [&rs](const char *name) { return rs.value(0, QString::fromLatin1(name)); };
    s.comport = directInt(v("comport"));
    s.ComSettings = textOf(v("ComSettings"));
    s.BeepFreq = leadingInt(v("BeepFreq"));
    s.hisdatakeephours = directInt(v("hisdatakeephours"));
    s.HisDataSamplePeriod = directInt(v("HisDataSamplePeriod"));
    s.httpport = directInt(v("httpport"));
    s.HttpServerEnabled = directInt(v("HttpServerEnabled"));
    s.PauseSeconds = directReal(v("PauseSeconds"));
    s.retrytimes = directInt(v("retrytimes"));
    s.Soundenabled = directInt(v("Soundenabled"));
    s.TimeOut = directReal(v("TimeOut"));
    s.Userfname = textOf(v("Userfname"));
    s.MailAddr = textOf(v("MailAddr"));
    s.MailEnabled = directInt(v("MailEnabled"));
    s.MailServeraddr = textOf(v("MailServeraddr"));
    s.Mmfileurl = textOf(v("Mmfileurl"));
    s.mobilephone = textOf(v("mobilephone"));
    s.username = textOf(v("username"));
    s.userPass = textOf(v("userPass"));
    s.userpass2 = textOf(v("userpass2"));
    s.usertelephone = textOf(v("usertelephone"));
    s.usesoundcard = leadingInt(v("usesoundcard"));
    s.viewmode = leadingInt(v("viewmode"));
    s.AutoShutDown = leadingInt(v("AutoShutDown"));
    s.MailSender = textOf(v("MailSender"));
    s.MailUser = textOf(v("MailUser"));
    s.MailPassword = textOf(v("MailPassword"));
    s.LineAddress = textOf(v("LineAddress"));
    s.MailSecurity = qBound(MAIL_SECURITY_NONE, leadingInt(v("MailSecurity")), MAIL_SECURITY_TLS);
    const QVariant standby = v("StandbyPercent");
    s.StandbyPercent = standby.isNull() || standby.toString().trimmed().isEmpty()
        ? STANDBY_PERCENT_DEFAULT
        : qBound(0.0, double(directReal(standby)), STANDBY_PERCENT_MAX);
    const QVariant summaryTime = v("SummaryTime");
    s.SummaryTime = summaryTime.isNull() ? SystemSettings().SummaryTime : summaryTime.toString().trimmed();
    s.SummaryMail = directInt(v("SummaryMail"));
    s.SummaryNotice = directInt(v("SummaryNotice"));
}

QVariant syssetValue(const char *name)
{
    const SystemSettings &s = sysSettings;
    const QString n = QString::fromLatin1(name);
    if (n == QLatin1String("comport")) return s.comport;
    if (n == QLatin1String("ComSettings")) return s.ComSettings;
    if (n == QLatin1String("LineAddress")) return s.LineAddress;
    if (n == QLatin1String("BeepFreq")) return s.BeepFreq;
    if (n == QLatin1String("hisdatakeephours")) return s.hisdatakeephours;
    if (n == QLatin1String("HisDataSamplePeriod")) return s.HisDataSamplePeriod;
    if (n == QLatin1String("httpport")) return s.httpport;
    if (n == QLatin1String("HttpServerEnabled")) return s.HttpServerEnabled;
    if (n == QLatin1String("PauseSeconds")) return double(s.PauseSeconds);
    if (n == QLatin1String("retrytimes")) return s.retrytimes;
    if (n == QLatin1String("Soundenabled")) return s.Soundenabled;
    if (n == QLatin1String("TimeOut")) return double(s.TimeOut);
    if (n == QLatin1String("Userfname")) return s.Userfname;
    if (n == QLatin1String("MailAddr")) return s.MailAddr;
    if (n == QLatin1String("MailEnabled")) return s.MailEnabled;
    if (n == QLatin1String("MailServeraddr")) return s.MailServeraddr;
    if (n == QLatin1String("Mmfileurl")) return s.Mmfileurl;
    if (n == QLatin1String("mobilephone")) return s.mobilephone;
    if (n == QLatin1String("username")) return s.username;
    if (n == QLatin1String("userPass")) return s.userPass;
    if (n == QLatin1String("userpass2")) return s.userpass2;
    if (n == QLatin1String("usertelephone")) return s.usertelephone;
    if (n == QLatin1String("usesoundcard")) return s.usesoundcard;
    if (n == QLatin1String("viewmode")) return s.viewmode;
    if (n == QLatin1String("AutoShutDown")) return s.AutoShutDown;
    if (n == QLatin1String("MailSender")) return s.MailSender;
    if (n == QLatin1String("MailUser")) return s.MailUser;
    if (n == QLatin1String("MailPassword")) return s.MailPassword;
    if (n == QLatin1String("MailSecurity")) return s.MailSecurity;
    if (n == QLatin1String("StandbyPercent")) return s.StandbyPercent;
    if (n == QLatin1String("SummaryTime")) return s.SummaryTime;
    if (n == QLatin1String("SummaryMail")) return s.SummaryMail;
    if (n == QLatin1String("SummaryNotice")) return s.SummaryNotice;
    return {};
}

// Counts the rows a statement would touch, so a missing or doubled row is
// reported before anything is written.
int countRows(QSqlDatabase &db, const QString &table, const QString &where, QString &error)
{
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("select count(*) from %1 where %2").arg(table, where)) || !q.next()) {
        error = q.lastError().text();
        return -1;
    }
    return q.value(0).toInt();
}

} // namespace

double ratingWatts(const QString &rating)
{
    static const QRegularExpression kiloForm(QStringLiteral("^\\s*(\\d+(?:\\.\\d+)?)\\s*[kK](\\d*)\\s*[wW]?\\s*$"));
    static const QRegularExpression plainForm(QStringLiteral("^\\s*(\\d+(?:\\.\\d+)?)\\s*[wW]?\\s*$"));
    if (const auto m = kiloForm.match(rating); m.hasMatch()) {
        // "1K5" reads as 1.5 kW.
        const QString fraction = m.captured(2);
        const double whole = m.captured(1).toDouble();
        const double part = fraction.isEmpty() ? 0 : (QStringLiteral("0.") + fraction).toDouble();
        return (whole + part) * 1000.0;
    }
    if (const auto m = plainForm.match(rating); m.hasMatch())
        return m.captured(1).toDouble();
    return 0;
}

void initGlobals()
{
    SystemSettings &s = sysSettings;
    s.iniPath = findFileNoCase(appDir(), QStringLiteral("VANTORO.INI"));
    s.logFileName = QStringLiteral("EVENTS.LOG");
    s.startDate = QDate::currentDate();
    s.expectedReplyBytes = EXPECTED_REPLY_BYTES;
    s.debugMode = truncatedInt(leadingNumber(userValue(UserKeys::DebugMode)));
    hashLegacyOperatorPassword();
    s.connectionString = findFileNoCase(appDir(), QString::fromLatin1(DATABASE_FILE));
    quitRequested = false;
}

bool loadSystemSettings()
{
    QString error;
    const auto sysset = rsSqlGet(QStringLiteral("select * from sysset where id=1"), {}, &error);
    if (!sysset || sysset->recordCount() != 1) {
        fail(QStringLiteral("System Info Error！\r\nPlease contact system manager。"), MessageIcon::Error);
        return false;
    }
    readSysset(*sysset);
    sysSettings.expectedReplyBytes = EXPECTED_REPLY_BYTES;
    return true;
}

bool saveSystemSettings()
{
    // Which message a failure gets; empty when the cause is a database error.
    QString failure;
    QString error;
    const bool written = rsSqlGet2([&failure](QSqlDatabase &db, QString &err) {
        if (countRows(db, QStringLiteral("sysset"), QStringLiteral("id=1"), err) != 1) {
            failure = QStringLiteral("System info error！\r\nPlease contact system manager.");
            return false;
        }
        QStringList sets;
        QVariantList values;
        for (const Column &c : syssetColumns) {
            sets << QStringLiteral("%1=?").arg(QLatin1String(c.name));
            values << syssetValue(c.name);
        }
        QSqlQuery q(db);
        q.prepare(QStringLiteral("update sysset set %1 where id=1").arg(sets.join(QLatin1Char(','))));
        for (const QVariant &v : values)
            q.addBindValue(v);
        if (!q.exec()) {
            err = q.lastError().text();
            return false;
        }
        return true;
    }, &error);
    if (!failure.isEmpty()) {
        fail(failure, MessageIcon::Error);
        return false;
    }
    if (!written) {
        fail(QStringLiteral("System info error！\r\nPlease contact system manager.\r\n%1").arg(error), MessageIcon::Error);
        return false;
    }
    // Services compare what they read with what they run on, so a save that
    // changed nothing of theirs costs them nothing.
    stationBus().publishSettingsSaved();
    return true;
}

} // namespace vantoro
