// Times the work of one poll that is not waiting on the line: checking and
// decoding a 33-byte reply into the parameter table, storing one event
// (logEvent) and saving the 30 parameter values (saveParamValues), each
// beside its floor (one write and flush of the disk for the two stores).
//   store_bench [--count N]   (N events and saves; decodes are 1000 x N)
#include "bench_support.h"

#include "acquisition/frames.h"
#include "acquisition/param_table.h"
#include "acquisition/reply_decoding.h"
#include "core/database.h"
#include "core/system_settings.h"
#include "events/event_log.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

using namespace vantoro;

namespace {

constexpr int BATCHES = 11;
constexpr int DECODES_PER_COUNT = 1000;

// The table the decoding writes, as the poll's device table.
ParamTable benchTable;

// What the poll does with a reply in its buffer: find the head, take the
// rest, compare the CRC, decode into the table.
bool checkAndDecode(const QByteArray &received, const DecodeSettings &settings)
{
    QByteArray buffer = received;
    const QByteArray head = replyHeadV2(1);
    if (!findHeadInBuffer(buffer, head))
        return false;
    const QByteArray reply = head + buffer.left(REPLY_BYTES - int(head.size()));
    if (reply.size() != REPLY_BYTES)
        return false;
    const quint16 received16 = quint16(quint8(reply.at(31)) | (quint8(reply.at(32)) << 8));
    if (frameCrc(reply.left(31)) != received16)
        return false;
    decodeReplyV2(reply, benchTable, settings);
    return true;
}

qint64 threadCpuNs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// Microseconds for one check and decode: the median of batches, in this
// thread's CPU time, so time the shared machine gives to others is left out.
double decodeMicroseconds(int perBatch)
{
    DeviceReading reading;
    reading.words = {2300, 1000, 3600, 700, 452, 251};
    reading.energy = 123456;
    reading.status = 0x0001;
    const QByteArray received = buildReplyV2(1, reading);
    // A fixed time: the energy interval is then 0 and every decode is alike.
    const DecodeSettings settings{false, replyTimeNow()};
    QList<double> perDecode;
    int bad = 0;
    for (int b = 0; b < BATCHES; ++b) {
        const qint64 start = threadCpuNs();
        for (int i = 0; i < perBatch; ++i)
            bad += checkAndDecode(received, settings) ? 0 : 1;
        perDecode << double(threadCpuNs() - start) / 1e3 / perBatch;
    }
    if (bad != 0) {
        std::fprintf(stderr, "decode: %d replies rejected\n", bad);
        return -1;
    }
    return bench::median(perDecode);
}

} // namespace

int main(int argc, char **argv)
{
    bench::BenchHome home;
    QCoreApplication app(argc, argv);
    const auto count = bench::intOption(app.arguments(), QStringLiteral("--count"), 100);
    if (!count) {
        std::fprintf(stderr, "usage: store_bench [--count N]\n");
        return 2;
    }
    bench::QuietMessages quiet;
    if (!bench::loadStation(home) || !loadParamTable(benchTable, QString::fromLatin1(PARAM_DEVICE_ID)))
        return 1;

    const double decodeUs = decodeMicroseconds(*count * DECODES_PER_COUNT / BATCHES + 1);
    if (decodeUs < 0)
        return 1;

    QList<double> events;
    for (int i = 0; i < *count; ++i) {
        QElapsedTimer clock;
        clock.start();
        const bool stored = logEvent(QStringLiteral("Benchmark event %1").arg(i), QStringLiteral("001"), QString(), true);
        events << bench::elapsedMs(clock);
        if (!stored) {
            std::fprintf(stderr, "logEvent failed: %s\n", qPrintable(quiet.texts.join(QLatin1Char('\n'))));
            return 1;
        }
    }

    QList<double> saves;
    for (int i = 0; i < *count; ++i) {
        QElapsedTimer clock;
        clock.start();
        const bool saved = saveParamValues(benchTable, QString::fromLatin1(PARAM_DEVICE_ID));
        saves << bench::elapsedMs(clock);
        if (!saved) {
            std::fprintf(stderr, "saveParamValues failed\n");
            return 1;
        }
    }
    const double floorMs = bench::flushFloorMs(QFileInfo(databasePath()).absolutePath(), *count);

    std::printf("check + decode of one reply: median %.3f us (CPU time) over %d batches\n", decodeUs, BATCHES);
    std::printf("logEvent (WAL, synchronous=FULL): median %.2f ms, p90 %.2f ms, max %.2f ms [%d]\n",
                bench::median(events), bench::percentile(events, 0.9), bench::percentile(events, 1.0), *count);
    std::printf("saveParamValues (30 rows, one transaction): median %.2f ms, p90 %.2f ms, max %.2f ms [%d]\n",
                bench::median(saves), bench::percentile(saves, 0.9), bench::percentile(saves, 1.0), *count);
    std::printf("floor: 4 KB write + fdatasync in the database directory: median %.2f ms\n", floorMs);
    bench::printResult("decode.us", decodeUs, "us");
    bench::printResult("logevent.ms", bench::median(events), "ms");
    bench::printResult("saveparams.ms", bench::median(saves), "ms");
    bench::printResult("flush.ms", floorMs, "ms");
    return 0;
}
