// Number patterns of the display formats, and parameter values as text.
#include "acquisition/param_format.h"
#include "acquisition/param_table.h"
#include "core/number_format.h"
#include "test_support.h"

#include <QTest>
#include <limits>

using namespace vantoro;

class TestNumberFormat : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { test::isolateUserSettings(); }
    void patterns_data();
    void patterns();
    void notANumber();
    void paraValueText();
    void paraFieldLimits();

private:
    ParamTable m_table;
};

void TestNumberFormat::patterns_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("expected");

    // The patterns of the parameter table.
    QTest::newRow("grouped") << 1234567.891 << "###,###,###0.0" << "1,234,567.9";
    QTest::newRow("grouped small") << 12.0 << "###,###,###0.0" << "12.0";
    QTest::newRow("grouped zero") << 0.0 << "###,###,###0.0" << "0.0";
    QTest::newRow("grouped carry") << 999.95 << "###,###,###0.0" << "1,000.0";
    QTest::newRow("grouped beyond placeholders") << 1234567890123.0 << "###,###,###0.0" << "1,234,567,890,123.0";
    QTest::newRow("two decimals pad") << 2.0 << "0.00" << "2.00";
    QTest::newRow("one decimal") << 229.96 << "0.0" << "230.0";
    QTest::newRow("optional integer digit") << 25.0 << "#0.0" << "25.0";
    QTest::newRow("negative") << -3.2 << "#0.0" << "-3.2";
    QTest::newRow("negative rounding to zero") << -0.04 << "#0.0" << "0.0";
    QTest::newRow("negative grouped") << -1234.5 << "#,##0.00" << "-1,234.50";

    // Rounding half away from zero on the written decimal value.
    QTest::newRow("half up") << 2.5 << "0" << "3";
    QTest::newRow("half away negative") << -2.5 << "0" << "-3";
    QTest::newRow("binary just below half") << 1.005 << "0.00" << "1.01";
    QTest::newRow("eighth") << 0.125 << "0.00" << "0.13";
    QTest::newRow("rounds down") << 0.124 << "0.00" << "0.12";
    QTest::newRow("tiny") << 1e-12 << "0.00" << "0.00";
    QTest::newRow("huge") << 1e20 << "0" << "100000000000000000000";

    // Placeholders.
    QTest::newRow("point kept") << 5.0 << "#.##" << "5.";
    QTest::newRow("no integer zero") << 0.5 << "#.##" << ".5";
    QTest::newRow("optional fraction") << 1.5 << "0.0#" << "1.5";
    QTest::newRow("optional fraction used") << 1.25 << "0.0#" << "1.25";
    QTest::newRow("zero padded") << 42.0 << "00000" << "00042";
    QTest::newRow("hash of zero") << 0.0 << "#" << "";
    QTest::newRow("surplus digits") << 123456.0 << "0" << "123456";
    QTest::newRow("no integer placeholder") << 12.5 << ".00" << "12.50";

    // Commas: grouping, scaling, literal.
    QTest::newRow("group") << 1234567.0 << "#,##0" << "1,234,567";
    QTest::newRow("thousands") << 1234567.0 << "#,##0," << "1,235";
    QTest::newRow("millions") << 12345678.0 << "0,,.0" << "12.3";

    // Literal text.
    QTest::newRow("unit") << 12.34 << "0.0 V" << "12.3 V";
    QTest::newRow("quoted") << 5.0 << "\"T=\"0.0" << "T=5.0";
    QTest::newRow("escaped") << 5.0 << "0\\#" << "5#";
    QTest::newRow("literal between digits") << 123456.0 << "##-####" << "12-3456";
    QTest::newRow("sign before literal") << -5.0 << "$0" << "-$5";
    QTest::newRow("percent") << 0.256 << "0.0%" << "25.6%";
    QTest::newRow("memory panel") << 213.24 << "#####0.0M" << "213.2M";

    // Sections.
    QTest::newRow("negative section") << -5.0 << "0.0;(0.0)" << "(5.0)";
    QTest::newRow("zero section") << 0.0 << "0.0;(0.0);\"zero\"" << "zero";
    QTest::newRow("empty negative section") << -5.0 << "0.0;;\"zero\"" << "-5.0";
    QTest::newRow("positive with sections") << 5.0 << "0.0;(0.0);-" << "5.0";

    // No pattern: the general form.
    QTest::newRow("general") << 1234567.891 << "" << "1234567.891";
    QTest::newRow("general fraction") << 0.1 << "" << "0.1";
    QTest::newRow("general negative") << -42.0 << "" << "-42";
}

void TestNumberFormat::patterns()
{
    QFETCH(double, value);
    QFETCH(QString, pattern);
    QFETCH(QString, expected);
    QCOMPARE(formatNumber(value, pattern), expected);
}

void TestNumberFormat::notANumber()
{
    QCOMPARE(formatNumber(std::numeric_limits<double>::quiet_NaN(), QStringLiteral("0.0")), QStringLiteral("NaN"));
    QCOMPARE(formatNumber(-std::numeric_limits<double>::infinity(), QStringLiteral("0.0")), QStringLiteral("-inf"));
}

void TestNumberFormat::paraValueText()
{
    ParamRecord &number = m_table[8];
    number = ParamRecord();
    number.paraid = QStringLiteral("8");
    number.paravalue = QStringLiteral("12345.67");
    number.unit = QStringLiteral("kWh");
    number.dataformat = QStringLiteral("###,###,###0.0");
    QCOMPARE(formatParaValue(m_table, 8), QStringLiteral("12,345.7"));
    QCOMPARE(formatParaWithUnit(m_table, 8), QStringLiteral("12,345.7 kWh"));

    // A decoded number (not text) is formatted the same way.
    number.paravalue = 229.96;
    QCOMPARE(formatParaWithUnit(m_table, 8), QStringLiteral("230.0 kWh"));

    // A status text is shown as stored, with no unit, whatever its format.
    ParamRecord &status = m_table[14];
    status = ParamRecord();
    status.paraid = QStringLiteral("14");
    status.isstring = 1;
    status.paravalue = QStringLiteral("运行中");
    status.unit = QStringLiteral("x");
    status.dataformat = QStringLiteral("0.0");
    QCOMPARE(formatParaValue(m_table, 14), QStringLiteral("运行中"));
    QCOMPARE(formatParaWithUnit(m_table, 14), QStringLiteral("运行中"));

    // A number without a pattern is shown as stored, with no unit either.
    ParamRecord &plain = m_table[10];
    plain = ParamRecord();
    plain.paraid = QStringLiteral("10");
    plain.paravalue = QStringLiteral("0x12 raw");
    plain.unit = QStringLiteral("V");
    QCOMPARE(formatParaValue(m_table, 10), QStringLiteral("0x12 raw"));
    QCOMPARE(formatParaWithUnit(m_table, 10), QStringLiteral("0x12 raw"));

    QCOMPARE(formatParaValue(m_table, 30), QString());
    QCOMPARE(formatParaWithUnit(m_table, -1), QString());
}

void TestNumberFormat::paraFieldLimits()
{
    ParamRecord &p = m_table[3];
    p = ParamRecord();
    p.paraid = QStringLiteral("3");
    p.dataformat = QStringLiteral("0.00");
    p.rangel = 0.0;
    p.rangeu = 16.0;
    QCOMPARE(formatParaField(m_table, 3, COL_RANGEL), QStringLiteral("0.00"));
    QCOMPARE(formatParaField(m_table, 3, COL_RANGEU), QStringLiteral("16.00"));
    // A missing limit stays empty.
    p.rangeu.reset();
    QCOMPARE(formatParaField(m_table, 3, COL_RANGEU), QString());
}

QTEST_GUILESS_MAIN(TestNumberFormat)
#include "tst_number_format.moc"
