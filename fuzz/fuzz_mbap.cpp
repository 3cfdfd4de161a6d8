// Fuzz target of the Modbus TCP reply taking: whatever a gateway sends, the
// reply handed on is whole, carries the unit and a good CRC, and nothing is
// taken that was not received.
//
// Input: 2 bytes of the awaited transaction id, 1 of the unit, then the bytes received.
#include "fuzz_support.h"

#include "acquisition/frames.h"
#include "acquisition/modbus_tcp.h"

using namespace vantoro;
using vantoro::fuzz::check;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    vantoro::fuzz::setUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    const quint16 transaction = quint16((data[0] << 8) | data[1]);
    const quint8 unit = data[2];
    QByteArray received(reinterpret_cast<const char *>(data + 3), qsizetype(size - 3));
    const qsizetype before = received.size();
    for (int taken = 0; taken < 64 && !received.isEmpty(); ++taken) {
        const qsizetype left = received.size();
        const MbapReply reply = takeMbapReply(received, transaction, unit, REPLY_BYTES - 3);
        check(received.size() <= left, "bytes appeared");
        if (reply.status == MbapReply::Status::Incomplete || reply.status == MbapReply::Status::Bad) {
            check(reply.rtu.isEmpty(), "a reply handed on from a frame that is not one");
            break;
        }
        check(quint8(reply.rtu.at(0)) == unit, "a reply from another unit");
        check(withCrc(reply.rtu.left(reply.rtu.size() - 2)) == reply.rtu, "a reply without its CRC");
        check(reply.status == MbapReply::Status::Exception ? reply.rtu.size() == 5 : reply.rtu.size() == REPLY_BYTES,
              "a reply of the wrong length");
    }
    check(received.size() <= before, "bytes appeared");
    return 0;
}
