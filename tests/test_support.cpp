// Shared test fixtures.
#include "test_support.h"

#include "acquisition/param_table.h"
#include "core/common.h"
#include "core/database.h"
#include "core/profile_file.h"
#include "core/system_settings.h"
#include "events/event_log.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>
#include <QtGlobal>

namespace vantoro::test {

void isolateUserSettings()
{
    // A private store per test process: an INI file in a temporary folder
    // (inherited by child processes through XDG_CONFIG_HOME on Linux).
    static QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
#ifdef Q_OS_WIN
    // The native store is the registry there: keep tests out of it.
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, config.path());
#endif
}

TestHome::TestHome(bool withDefaults)
    : m_dir(std::make_unique<QTemporaryDir>())
    , m_oldHome(qgetenv("VANTORO_HOME"))
{
    qputenv("VANTORO_HOME", m_dir->path().toLocal8Bit());
    if (withDefaults) {
        for (const char *name : {"vantoro.db", "VANTORO.INI", "langcn.ini", "langen.ini", "PARAMS.INI"})
            copyDefault(QString::fromLatin1(name));
        // Chinese, the station's own first language, whatever the machine's locale.
        writeIni(QStringLiteral("Settings"), QStringLiteral("Language"), QStringLiteral("1"), file(QStringLiteral("VANTORO.INI")));
    }
    sysSettings = SystemSettings();
    initGlobals();
}

TestHome::~TestHome()
{
    // A newer home may already be in place (assigning a new one to a pointer).
    if (qgetenv("VANTORO_HOME") != m_dir->path().toLocal8Bit())
        return;
    if (m_oldHome.isNull())
        qunsetenv("VANTORO_HOME");
    else
        qputenv("VANTORO_HOME", m_oldHome);
}

QString TestHome::path() const
{
    return m_dir->path();
}

QString TestHome::file(const QString &name) const
{
    return QDir(m_dir->path()).filePath(name);
}

void TestHome::copyDefault(const QString &name) const
{
    const QString source = QDir(QStringLiteral(VANTORO_DEFAULTS_DIR)).filePath(name);
    if (!QFile::exists(source))
        return;
    QFile::remove(file(name));
    QFile::copy(source, file(name));
    QFile::setPermissions(file(name), QFile::ReadOwner | QFile::WriteOwner);
}

void TestHome::removeLanguageFiles() const
{
    QFile::remove(file(QStringLiteral("langcn.ini")));
    QFile::remove(file(QStringLiteral("langen.ini")));
}

void makeDatabaseReadOnly(const QString &path)
{
    // What the log holds would be read in place of the header.
    checkpointDatabase();
    QFile file(path);
    constexpr qint64 writeVersionOffset = 18;
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.seek(writeVersionOffset));
    QVERIFY(file.putChar(char(3)));
}

DeviceRecord pollOneDevice(int version, double timeoutSeconds)
{
    SystemSettings &s = sysSettings;
    s.comport = 1;
    s.ComSettings = QStringLiteral("9600,N,8,1");
    s.TimeOut = float(timeoutSeconds);
    s.retrytimes = 0;
    DeviceRecord d;
    d.id = QString::fromLatin1(PARAM_DEVICE_ID);
    d.address = 1;
    d.protocol = version;
    d.name = QStringLiteral("INV");
    d.meterCounter = true;
    return d;
}

void markValuesReceived(ParamTable &table)
{
    for (ParamRecord &p : table)
        p.awaitingReply = false;
}

MessageRecorder::MessageRecorder()
{
    setMessageService(this);
}

MessageRecorder::~MessageRecorder()
{
    setMessageService(nullptr);
}

void MessageRecorder::show(const QString &title, const QString &text, MessageIcon icon)
{
    titles << title;
    texts << text;
    icons << icon;
}

bool MessageRecorder::askYesNo(const QString &title, const QString &text)
{
    titles << title;
    questions << text;
    return answer;
}

SaveChoice MessageRecorder::askSaveDiscard(const QString &title, const QString &text)
{
    titles << title;
    questions << text;
    return saveChoice;
}

ServiceCase::ServiceCase(int language)
{
    upgradeSchema();
    m_ready = loadSystemSettings();
    sysSettings.debugMode = 0;
    sysSettings.languageIndex = language;
    resetEventThrottle();
    clearRunningLog();
}

} // namespace vantoro::test
