// Message look-up in the language files and remembering the language.
#include "core/localisation.h"
#include "core/profile_file.h"
#include "core/system_settings.h"
#include "test_support.h"

#include <QFile>
#include <QTest>

using namespace vantoro;
using namespace vantoro::test;

class TestLocalisation : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { isolateUserSettings(); }
    void missingKeyGivesTheKey();
    void lineBreaksAreExpanded();
    void missingFileGivesTheDefault();
    void languageChoosesTheFile();
    void storingWritesTheIniFile();
    void shippedFilesHaveEveryMessageKey();
};

static void writeLanguageFile(const QString &path, const QByteArray &text)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
}

void TestLocalisation::missingKeyGivesTheKey()
{
    TestHome home(false);
    writeLanguageFile(home.file("langen.ini"), "[frmMain]\nmsgWillQuit=Quit?\n");
    QCOMPARE(langText("frmMain", "msgWillQuit", LANGUAGE_ENGLISH), QStringLiteral("Quit?"));
    QCOMPARE(langText("frmMain", "msgConnTimeOut", LANGUAGE_ENGLISH, "dflt"), QStringLiteral("msgConnTimeOut"));
    QCOMPARE(langText("NoSection", "msgX", LANGUAGE_ENGLISH), QStringLiteral("msgX"));
}

void TestLocalisation::lineBreaksAreExpanded()
{
    TestHome home(false);
    writeLanguageFile(home.file("langen.ini"), "[Application]\nmsg=two\\nlines\n");
    QCOMPARE(langText("Application", "msg", LANGUAGE_ENGLISH), QStringLiteral("two\r\nlines"));
}

void TestLocalisation::missingFileGivesTheDefault()
{
    TestHome home(false);
    QCOMPARE(langText("frmMain", "msgWillQuit", LANGUAGE_ENGLISH, "Built in"), QStringLiteral("Built in"));
}

void TestLocalisation::languageChoosesTheFile()
{
    TestHome home(false);
    writeLanguageFile(home.file("langen.ini"), "[A]\nk=english\n");
    writeLanguageFile(home.file("LANGCN.INI"), "[A]\nk=chinese\n");
    QCOMPARE(langText("A", "k", 2), QStringLiteral("english"));
    for (int other : {0, 1, 3, -7})
        QCOMPARE(langText("A", "k", other), QStringLiteral("chinese"));
    sysSettings.languageIndex = 2;
    QCOMPARE(langText("A", "k"), QStringLiteral("english"));
}

void TestLocalisation::storingWritesTheIniFile()
{
    TestHome home(false);
    QVERIFY(storeLanguage(LANGUAGE_ENGLISH));
    QCOMPARE(readIni("Settings", "Language", "1", home.file("VANTORO.INI")), QStringLiteral("2"));
}

void TestLocalisation::shippedFilesHaveEveryMessageKey()
{
    TestHome home;
    const QList<QPair<const char *, const char *>> keys = {
        {"Application", "Connecting"}, {"Application", "SysEvent"}, {"Application", "msgSavedOK"},
        {"frmMain", "msgBeginToQuery"}, {"frmMain", "msgConnectionClosed"}, {"frmMain", "msgConnTimeOut"},
        {"frmMain", "msgOutLimit"}, {"frmMain", "msgStatusError"}, {"frmMain", "msgWillQuit"},
        {"frmMain", "msgContinue"}, {"frmSetUser", "msgSavedOk"}, {"frmChgPass", "msgNewPassNotConsist"},
        {"frmViewEventLogDb", "msgTime"}, {"frmViewEventLogDb", "msgEvent"}, {"frmSysSet", "UserDefined"},
    };
    for (int language : {LANGUAGE_CHINESE, LANGUAGE_ENGLISH}) {
        for (const auto &[section, key] : keys) {
            const QString text = langText(QString::fromLatin1(section), QString::fromLatin1(key), language);
            QVERIFY2(!text.isEmpty() && text != QLatin1String(key), qPrintable(QStringLiteral("%1/%2 in %3").arg(section, key).arg(language)));
        }
    }
    QCOMPARE(langText("frmMain", "Caption", LANGUAGE_CHINESE).contains(QStringLiteral("监控")), true);
}

QTEST_GUILESS_MAIN(TestLocalisation)
#include "tst_localisation.moc"
