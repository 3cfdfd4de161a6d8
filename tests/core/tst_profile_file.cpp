// Profile files: look-up rules, encodings, limits and writing.
#include "core/profile_file.h"
#include "test_support.h"

#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

using namespace vantoro;

class TestProfileFile : public QObject
{
    Q_OBJECT
private slots:
    void valuesAreTrimmedAndCaseIgnored();
    void missingFileSectionOrKeyGiveDefault();
    void firstMatchingKeyWins();
    void valueIsCutToTheBuffer();
    void gbkAndUtf8AreDecoded();
    void writeCreatesFileAndSection();
    void writeReplacesKeepingOtherLines();
    void writeKeepsGbkEncoding();
    void everyReadSeesTheFileAsItIsNow();

private:
    QString writeFile(const QByteArray &bytes);
    QTemporaryDir m_dir;
    int m_count = 0;
};

QString TestProfileFile::writeFile(const QByteArray &bytes)
{
    const QString path = m_dir.filePath(QStringLiteral("f%1.ini").arg(++m_count));
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
    return path;
}

void TestProfileFile::valuesAreTrimmedAndCaseIgnored()
{
    const QString file = writeFile("[Settings]\r\n Language =  2 \r\n\r\n[Other]\r\nLanguage=9\r\n");
    QCOMPARE(readIni("settings", "LANGUAGE", "1", file), QStringLiteral("2"));
    QCOMPARE(readIni("Other", "language", "1", file), QStringLiteral("9"));
}

void TestProfileFile::missingFileSectionOrKeyGiveDefault()
{
    const QString file = writeFile("[Settings]\nLanguage=2\n");
    QCOMPARE(readIni("Settings", "Missing", " 1 ", file), QStringLiteral("1"));
    QCOMPARE(readIni("Nowhere", "Language", "1", file), QStringLiteral("1"));
    QCOMPARE(readIni("Settings", "Language", "1", m_dir.filePath("absent.ini")), QStringLiteral("1"));
}

void TestProfileFile::firstMatchingKeyWins()
{
    const QString file = writeFile("[A]\nk=first\nk=second\n[a]\nk=third\n");
    QCOMPARE(readIni("A", "k", "", file), QStringLiteral("first"));
}

void TestProfileFile::valueIsCutToTheBuffer()
{
    const QString file = writeFile("[A]\nlong=" + QByteArray(3000, 'x') + "\nnul=ab" + QByteArray(1, '\0') + "cd\n");
    QCOMPARE(readIni("A", "long", "", file).size(), INI_VALUE_BUFFER - 1);
    QCOMPARE(readIni("A", "nul", "", file), QStringLiteral("ab"));
}

void TestProfileFile::gbkAndUtf8AreDecoded()
{
    QStringEncoder gbk("GBK");
    const QString chinese = QStringLiteral("中文界面");
    const QString gbkFile = writeFile("[frmMain]\nCaption=" + QByteArray(gbk(chinese)) + "\n");
    QCOMPARE(readIni("frmMain", "Caption", "", gbkFile), chinese);
    const QString utfFile = writeFile("\xEF\xBB\xBF[frmMain]\nCaption=" + chinese.toUtf8() + "\n");
    QCOMPARE(readIni("frmMain", "Caption", "", utfFile), chinese);
}

void TestProfileFile::writeCreatesFileAndSection()
{
    const QString file = m_dir.filePath(QStringLiteral("new.ini"));
    QVERIFY(writeIni("Settings", "Language", "2", file));
    QCOMPARE(readIni("Settings", "Language", "1", file), QStringLiteral("2"));
    QVERIFY(writeIni("Other", "Key", "v", file));
    QCOMPARE(readIni("Settings", "Language", "1", file), QStringLiteral("2"));
    QCOMPARE(readIni("Other", "Key", "", file), QStringLiteral("v"));
}

void TestProfileFile::writeReplacesKeepingOtherLines()
{
    const QString file = writeFile("; note\r\n[Settings]\r\nLanguage=1\r\nOther=x\r\n\r\n[Next]\r\nA=1\r\n");
    QVERIFY(writeIni("SETTINGS", "language", "2", file));
    QVERIFY(writeIni("Settings", "Added", "y", file));
    QCOMPARE(readIni("Settings", "Language", "", file), QStringLiteral("2"));
    QCOMPARE(readIni("Settings", "Other", "", file), QStringLiteral("x"));
    QCOMPARE(readIni("Settings", "Added", "", file), QStringLiteral("y"));
    QCOMPARE(readIni("Next", "A", "", file), QStringLiteral("1"));
    QFile f(file);
    f.open(QIODevice::ReadOnly);
    const QByteArray text = f.readAll();
    QVERIFY(text.startsWith("; note\r\n"));
    QVERIFY(text.indexOf("Added=y") < text.indexOf("[Next]"));
}

void TestProfileFile::writeKeepsGbkEncoding()
{
    QStringEncoder gbk("GBK");
    const QString file = writeFile("[A]\nName=" + QByteArray(gbk(QStringLiteral("设备"))) + "\n");
    QVERIFY(writeIni("A", "Other", QStringLiteral("状态"), file));
    QCOMPARE(readIni("A", "Name", "", file), QStringLiteral("设备"));
    QCOMPARE(readIni("A", "Other", "", file), QStringLiteral("状态"));
}

void TestProfileFile::everyReadSeesTheFileAsItIsNow()
{
    // Rewritten in place with the same length, within the same clock tick:
    // neither size nor modification time tells the two apart.
    const QString file = writeFile("[Settings]\nLanguage=1\n");
    QCOMPARE(readIni("Settings", "Language", "", file), QStringLiteral("1"));
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.seek(QByteArray("[Settings]\nLanguage=").size()));
        f.write("2");
    }
    QCOMPARE(readIni("Settings", "Language", "", file), QStringLiteral("2"));
    QVERIFY(writeIni("Settings", "Language", "3", file));
    QCOMPARE(readIni("Settings", "Language", "", file), QStringLiteral("3"));
    QFile::remove(file);
    QCOMPARE(readIni("Settings", "Language", "gone", file), QStringLiteral("gone"));
}

QTEST_GUILESS_MAIN(TestProfileFile)
#include "tst_profile_file.moc"
