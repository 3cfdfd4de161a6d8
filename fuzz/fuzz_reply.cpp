// Fuzz target of the reply path: bytes from the line go through the head
// search, the version-1 or version-2 checks and the decoding into the
// parameter table, both as pure functions and through the station's own
// receive routine on an in-memory port.
//
// Input: byte 0 chooses the protocol version (bit 0), the energy kind
// (bit 1) and whether the requested address is the one of byte 1 or 1
// (bit 2); the rest is what the port receives.
#include "fuzz_support.h"

#include "acquisition/fake_serial_port.h"
#include "acquisition/frames.h"
#include "acquisition/param_table.h"
#include "plant/polling.h"
#include "plant/line.h"
#include "acquisition/reply_decoding.h"
#include "acquisition/serial_link.h"
#include "core/system_settings.h"
#include "events/event_log.h"

#include <QTimer>
#include <cmath>

using namespace vantoro;
using vantoro::fuzz::check;

namespace {

// The default table's rows as far as decoding reads them.
ParamTable defaultTable()
{
    ParamTable table;
    const double multiples[PARAM_SLOTS] = {1, 1, 0.1, 0.01, 0.1, 0.01, 0.1, 0.1, 0.1, 0.01, 1, 1, 0.1, 1};
    const double lower[] = {0, 0, 198, 0, 150, 0, -25, -25};
    const double upper[] = {255, 0, 253, 16, 500, 13, 85, 60};
    for (int slot = 0; slot < PARAM_SLOTS; ++slot) {
        ParamRecord &p = table[size_t(slot)];
        p.devid = QStringLiteral("001");
        p.paraid = QString::number(slot);
        p.multiple = multiples[slot] != 0 ? multiples[slot] : 1;
        p.warningenabled = slot >= 2 && slot != 8 ? 1 : 0;
        p.paravalue = QStringLiteral("0");
        if (slot >= 2 && slot <= 7) {
            p.rangel = lower[slot];
            p.rangeu = upper[slot];
        }
        if (slot >= ROW_FIRST_STATUS_BIT) {
            p.srcstring = QStringLiteral("fault %1").arg(slot);
            p.okstring = QStringLiteral("ok");
        }
    }
    table[ROW_REPLY_TIME].paravalue = QStringLiteral("2024-05-01 12:00:00");
    table[ROW_ENERGY].paravalue = QStringLiteral("100.5");
    return table;
}

// The decoded rows that a good reply always leaves in a known shape.
void checkDecoded(const ParamTable &table, const char *path)
{
    for (int row = ROW_AC_VOLTAGE; row <= ROW_ENERGY; ++row)
        check(std::isfinite(table[size_t(row)].number()), path);
    const double status = table[ROW_STATUS].number();
    check(status >= 0 && status <= 65535 && status == std::floor(status), path);
    for (int bit = 0; bit < STATUS_BITS; ++bit) {
        const ParamRecord &p = table[size_t(ROW_FIRST_STATUS_BIT + bit)];
        const bool set = (qint64(status) >> bit) & 1;
        check(p.text() == (set ? p.srcstring : p.okstring), path);
        check(p.founderror == (set ? p.warningenabled : 0), path);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    vantoro::fuzz::setUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const int version = (data[0] & 1) ? 2 : 1;
    const bool meterCounter = data[0] & 2;
    const quint8 address = (data[0] & 4) ? data[1] : 1;
    const QByteArray stream(reinterpret_cast<const char *>(data + 2), qsizetype(size - 2));
    const QByteArray head = version == 1 ? replyHeadV1() : replyHeadV2(address, FUNCTION_POLL);

    // The pure head search and the port's byte-by-byte one agree.
    QByteArray buffer = stream;
    bool foundPure = findHeadInBuffer(buffer, head);
    FakeSerialPort searchPort;
    searchPort.open();
    searchPort.queueReply(stream);
    const bool foundOnPort = findhead(searchPort, head);
    check(foundPure == foundOnPort, "findhead and findHeadInBuffer disagree on the head");
    check(searchPort.bytesWaiting() == buffer.size(), "findhead and findHeadInBuffer consume differently");

    // Where the station takes a reply from: a CRC reply is found by its
    // function and length, the byte before them read as its address, and
    // one of another address is refused.
    if (version == 2) {
        const QByteArray tail = head.mid(1);
        buffer = stream;
        int next = 0;
        quint8 before = 0;
        quint8 previous = 0;
        bool found = false;
        while (!found && buffer.size() > 1) {
            const quint8 byte = quint8(buffer.at(0));
            buffer.remove(0, 1);
            if (byte == quint8(tail.at(next))) {
                if (next == 0)
                    before = previous;
                found = ++next == tail.size();
            } else {
                next = 0;
            }
            previous = byte;
        }
        foundPure = found && before == address;
    }

    // The pure decoding of what follows the head.
    ParamTable pureTable = defaultTable();
    const int bodyBytes = REPLY_BYTES - int(head.size());
    const bool wholeReply = foundPure && buffer.size() >= bodyBytes;
    const DecodeSettings settings{meterCounter, QDateTime(QDate(2024, 5, 1), QTime(12, 0, 7))};
    if (wholeReply) {
        const QByteArray reply = head + buffer.left(bodyBytes);
        const DeviceReading reading = version == 1 ? readingOfReplyV1(reply) : readingOfReplyV2(reply);
        const DecodeOutcome outcome = version == 1 ? decodeReplyV1(reply, pureTable, settings)
                                                   : decodeReplyV2(reply, pureTable, settings);
        checkDecoded(pureTable, "pure decoding");
        check(pureTable[ROW_STATUS].number() == reading.status, "status word");
        check(!(outcome.dcError && outcome.dcCalibrated), "both DC outcomes at once");
        if (meterCounter)
            check(!outcome.energyNotSynchronized, "a meter counter is never out of step");
    }

    // The station's receive routine on the same bytes.
    SystemSettings &s = sysSettings;
    s.debugMode = 0;
    auto ownedPort = std::make_unique<FakeSerialPort>();
    FakeSerialPort &port = *ownedPort;
    Line line(std::move(ownedPort));
    DeviceRecord record;
    record.name = QStringLiteral("INV");
    record.address = address;
    record.protocol = version;
    record.meterCounter = meterCounter;
    Device &device = line.addDevice(record);
    ParamTable &paramTable = device.table();
    paramTable = defaultTable();
    port.open();
    port.queueReply(stream);
    QTimer timer;
    timer.start(3600 * 1000);
    Poller poller(line, timer);
    const bool accepted = version == 1 ? poller.receiveReplyV1(device, 0.0, address, POLL_COMMAND_V1)
                                       : poller.receiveReplyV2(device, 0.0, address, FUNCTION_POLL);
    if (stream.size() < REPLY_BYTES)
        check(!accepted, "a reply accepted from fewer than 33 bytes");
    if (accepted) {
        check(wholeReply, "a reply accepted where the pure search found none");
        check(version == 2 || quint8(stream.at(stream.size() - buffer.size() - 1 + bodyBytes)) == FRAME_END,
              "a version-1 reply accepted without its terminator");
        check(device.link().lastReplyAddr == address, "a reply accepted from another address");
        checkDecoded(paramTable, "station decoding");
        for (int row = ROW_AC_VOLTAGE; row <= ROW_FIRST_SIGNED + 1; ++row)
            check(paramTable[size_t(row)].number() == pureTable[size_t(row)].number(),
                  "station and pure decoding differ");
        if (meterCounter)
            check(paramTable[ROW_ENERGY].number() == pureTable[ROW_ENERGY].number(), "energy differs");
    }
    clearRunningLog();
    resetEventThrottle();
    return 0;
}
