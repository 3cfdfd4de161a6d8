// The user manual the build places beside the program: a PDF whose Chinese
// half is set in an embedded CJK font, not in empty boxes.
#include "test_support.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

class TestManual : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { vantoro::test::isolateUserSettings(); }
    void builtBesideTheProgram();
};

void TestManual::builtBesideTheProgram()
{
    QFile pdf(QDir(QStringLiteral(VANTORO_RUNTIME_DIR)).filePath(QStringLiteral("manual.pdf")));
    QVERIFY2(pdf.open(QIODevice::ReadOnly), qPrintable(pdf.fileName()));
    const QByteArray bytes = pdf.readAll();
    QVERIFY(bytes.startsWith("%PDF-"));

    const QString text = QString::fromLatin1(bytes);
    // Two languages, each starting on its own page.
    QVERIFY(text.count(QRegularExpression(QStringLiteral("/Type /Page[^s]"))) >= 4);
    const QRegularExpression cjkFont(
        QStringLiteral("/FontName /[A-Z]{6}\\+(WenQuanYi|NotoSansCJK|SourceHanSans|MicrosoftYaHei|SimSun)"));
    QVERIFY2(cjkFont.match(text).hasMatch(), "no CJK font embedded");
    // The pictures of the main windows are in it.
    QVERIFY(text.count(QStringLiteral("/Subtype /Image")) >= 4);
}

QTEST_GUILESS_MAIN(TestManual)
#include "tst_manual.moc"
