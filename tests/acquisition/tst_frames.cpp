// Golden byte sequences of the device's frames and replies, and the head search.
#include "acquisition/frames.h"
#include "core/common.h"

#include <QTest>

using namespace vantoro;

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// Modbus RTU CRC straight from its definition, kept apart from the code under test.
quint16 referenceCrc(const QByteArray &bytes)
{
    quint16 reg = 0xFFFF;
    for (char ch : bytes) {
        reg ^= quint8(ch);
        for (int bit = 0; bit < 8; ++bit)
            reg = (reg & 1) ? quint16((reg >> 1) ^ 0xA001) : quint16(reg >> 1);
    }
    return reg;
}

QByteArray withCrc(const QByteArray &bytes)
{
    const quint16 crc = referenceCrc(bytes);
    return bytes + QByteArray{1, char(crc & 0xFF)} + QByteArray{1, char(crc >> 8)};
}

DeviceReading sampleReading(quint16 status)
{
    DeviceReading reading;
    reading.words = {2300, 100, 4000, 50, 0x8005, 25};
    reading.energy = 0x123456;
    reading.status = status;
    return reading;
}

} // namespace

class TestFrames : public QObject
{
    Q_OBJECT

private slots:
    void crcCheckValue();
    void frames_data();
    void frames();
    void repliesAreComplete();
    void findHead_data();
    void findHead();
};

void TestFrames::crcCheckValue()
{
    const QByteArray check("123456789");
    QCOMPARE(referenceCrc(check), quint16(0x4B37));
    QCOMPARE(crc16(check, CRC_START, CRC_POLYNOMIAL), quint16(0x4B37));
    QCOMPARE(frameCrc(check), quint16(0x4B37));
}

void TestFrames::frames_data()
{
    QTest::addColumn<QByteArray>("built");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("poll v1 address 1") << buildPollV1(1, POLL_COMMAND_V1) << hex("EB 90 01 CF A0 00 00 70 01 0D");
    // FF + CF + A0 = 0x26E: the high byte of the sum is carried.
    QTest::newRow("poll v1 address 255") << buildPollV1(0xFF, POLL_COMMAND_V1) << hex("EB 90 FF CF A0 00 00 6E 02 0D");

    QTest::newRow("poll v2 address 1") << buildCrcFrame(1, QByteArray(8, '\0'), FUNCTION_POLL)
                                       << withCrc(hex("01 03 08 00 00 00 00 00 00 00 00 00"));
    QTest::newRow("poll v2 address 0x11") << buildCrcFrame(0x11, QByteArray(8, '\0'), FUNCTION_POLL)
                                          << withCrc(hex("11 03 08 00 00 00 00 00 00 00 00 00"));
    QTest::newRow("control start") << buildCrcFrame(1, hex("CF 00 00 00 00 00 00 00"), FUNCTION_CONTROL)
                                   << withCrc(hex("01 10 08 00 CF 00 00 00 00 00 00 00"));
    QTest::newRow("control self-test") << buildCrcFrame(1, hex("00 00 00 00 00 00 00 00"), FUNCTION_CONTROL)
                                       << withCrc(hex("01 10 08 00 00 00 00 00 00 00 00 00"));
    QTest::newRow("crc frame one data byte") << buildCrcFrame(2, hex("7F"), 0x06) << withCrc(hex("02 06 01 00 7F"));

    QTest::newRow("set output frequency 50")
        << buildSetFrame(1, hex("32 00 00 00 00 00 00"), 0x0B) << hex("EB 01 0B 32 00 00 00 00 00 00 3E 00 0D");
    // 1 + 0F + 59 + 25 + 14 + 07 + 03 + 05 + 20 = 0xD1
    QTest::newRow("set device time") << buildSetFrame(1, hex("59 25 14 07 03 05 20"), 0x0F)
                                     << hex("EB 01 0F 59 25 14 07 03 05 20 D1 00 0D");
    // Nine bytes of FF sum to 0x8F7: the sum is not truncated while adding.
    QTest::newRow("set frame sum above 255")
        << buildSetFrame(0xFF, QByteArray(7, '\xFF'), 0xFF) << hex("EB FF FF FF FF FF FF FF FF FF F7 08 0D");
    QTest::newRow("set frame 6 elements")
        << buildSetFrame(1, hex("01 02 03 04 05 06"), 0x0C) << hex("EB 01 0C 00 00 00 00 00 00 00 0D 00 0D");
    QTest::newRow("set frame 8 elements")
        << buildSetFrame(1, hex("01 02 03 04 05 06 07 08"), 0x0C) << hex("EB 01 0C 00 00 00 00 00 00 00 0D 00 0D");
    QTest::newRow("set frame empty") << buildSetFrame(1, QByteArray(), 0x05)
                                     << hex("EB 01 05 00 00 00 00 00 00 00 06 00 0D");

    // Words 2300, 100, 4000, 50, 0x8005, 25; energy 0x123456; status 0x0001.
    // Sum of bytes 2..29 = 0x385.
    QTest::newRow("reply v1") << buildReplyV1(1, sampleReading(0x0001))
                              << hex("EB 90 01 FC 08 64 00 A0 0F 32 00 05 80 19 00 56 34 12 01 00"
                                     " 00 00 00 00 00 00 00 00 00 00 85 03 0D");
    QTest::newRow("reply v2") << buildReplyV2(1, sampleReading(0x8001))
                              << withCrc(hex("01 03 1B 00 FC 08 64 00 A0 0F 32 00 05 80 19 00 56 34 12 00 01 80"
                                             " 00 00 00 00 00 00 00 00 00"));
    DeviceReading highEnergy;
    highEnergy.energy = 0xA1B2C3D4;
    QTest::newRow("reply v2 32-bit energy")
        << buildReplyV2(7, highEnergy)
        << withCrc(hex("07 03 1B 00 00 00 00 00 00 00 00 00 00 00 00 00 D4 C3 B2 A1 00 00"
                       " 00 00 00 00 00 00 00 00 00"));
    QTest::newRow("control reply") << buildReplyV2(1, DeviceReading{}, FUNCTION_CONTROL)
                                   << withCrc(QByteArray::fromHex("01101B00") + QByteArray(27, '\0'));
    QTest::newRow("reply heads") << replyHeadV1() + replyHeadV2(5) + replyHeadV2(5, FUNCTION_CONTROL)
                                 << hex("EB 90 05 03 1B 00 05 10 1B 00");
}

void TestFrames::frames()
{
    QFETCH(QByteArray, built);
    QFETCH(QByteArray, expected);
    QCOMPARE(built.toHex(' '), expected.toHex(' '));
}

void TestFrames::repliesAreComplete()
{
    // The energy counter of version 1 has 24 bits: the top byte is dropped.
    DeviceReading reading;
    reading.energy = 0xFF010203;
    const QByteArray v1 = buildReplyV1(9, reading);
    QCOMPARE(v1.size(), REPLY_BYTES);
    QCOMPARE(v1.mid(15, 4).toHex(' '), QByteArray("03 02 01 00"));
    QCOMPARE(buildReplyV2(9, reading).size(), REPLY_BYTES);
}

void TestFrames::findHead_data()
{
    QTest::addColumn<QByteArray>("buffer");
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QByteArray>("rest");

    QTest::newRow("head at front") << hex("EB 90 01 02 03") << replyHeadV1() << true << hex("01 02 03");
    QTest::newRow("garbage before head") << hex("00 55 EB 90 01 02") << replyHeadV1() << true << hex("01 02");
    // The second EB is compared with 90 and dropped, not tried as a new start.
    QTest::newRow("EB EB 90 no match") << hex("EB EB 90 01 02") << replyHeadV1() << false << hex("02");
    QTest::newRow("EB EB 90 then a later head") << hex("EB EB 90 EB 90 01 02") << replyHeadV1() << true << hex("01 02");
    QTest::newRow("exactly the head") << hex("EB 90") << replyHeadV1() << false << hex("90");
    QTest::newRow("head then one byte") << hex("EB 90 0D") << replyHeadV1() << true << hex("0D");
    QTest::newRow("one byte") << hex("EB") << replyHeadV1() << false << hex("EB");
    QTest::newRow("empty") << QByteArray() << replyHeadV1() << false << QByteArray();
    QTest::newRow("v2 head after noise") << hex("55 01 03 1B 00 AA BB") << replyHeadV2(1) << true << hex("AA BB");
    QTest::newRow("v2 head after a broken start")
        << hex("01 03 01 03 1B 00 AA BB") << replyHeadV2(1) << false << hex("BB");
    QTest::newRow("v2 head of another address") << hex("02 03 1B 00 AA BB") << replyHeadV2(1) << false << hex("BB");
}

void TestFrames::findHead()
{
    QFETCH(QByteArray, buffer);
    QFETCH(QByteArray, head);
    QFETCH(bool, found);
    QFETCH(QByteArray, rest);
    QCOMPARE(findHeadInBuffer(buffer, head), found);
    QCOMPARE(buffer.toHex(' '), rest.toHex(' '));
}

QTEST_GUILESS_MAIN(TestFrames)
#include "tst_frames.moc"
