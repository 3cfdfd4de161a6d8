// Common routines shared by every part of the station.
#include "core/common.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <QSaveFile>
#include <QTimer>
#include <QtGlobal>
#include <cmath>
#include <limits>

namespace vantoro {

bool quitRequested = false;

QString appDir()
{
    const QString home = qEnvironmentVariable("VANTORO_HOME");
    if (!home.isEmpty() && QFileInfo(home).isDir())
        return addBackslash(QDir::cleanPath(QFileInfo(home).absoluteFilePath()));
    QString dir = QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QDir::currentPath();
    return addBackslash(dir);
}

QString addBackslash(const QString &dir)
{
    if (dir.isEmpty())
        return QStringLiteral("./");
    if (dir.endsWith(QLatin1Char('/')) || dir.endsWith(QLatin1Char('\\')))
        return dir;
    return dir + QLatin1Char('/');
}

QString findFileNoCase(const QString &dir, const QString &name)
{
    const QString exact = addBackslash(dir) + name;
    if (QFileInfo::exists(exact))
        return exact;
    const QStringList entries = QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &entry : entries) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return addBackslash(dir) + entry;
    }
    return exact;
}

bool isWinNT()
{
#ifdef Q_OS_WIN
    return qEnvironmentVariable("OS").contains(QLatin1String("NT"));
#else
    return true;
#endif
}

int bitValue(qint64 value, int bit)
{
    if (bit < 0 || bit > 62)
        return 0;
    return (value & (qint64(1) << bit)) ? 1 : 0;
}

int signMagnitude16(quint8 low, quint8 high)
{
    const int magnitude = ((high & 0x7F) << 8) | low;
    return (high & 0x80) ? -magnitude : magnitude;
}

quint16 crc16(const QByteArray &bytes, int start, quint16 polynomial)
{
    quint16 crc = quint16(start & 0xFFFF);
    for (char ch : bytes) {
        quint16 c = quint16((crc & 0xFF00) | ((quint8(ch) ^ crc) & 0xFF));
        for (int i = 0; i < 8; ++i)
            c = (c & 1) ? quint16((c >> 1) ^ polynomial) : quint16(c >> 1);
        crc = c;
    }
    return crc;
}

double leadingNumber(const QString &text)
{
    int i = 0;
    const int n = text.size();
    while (i < n && (text[i] == QLatin1Char(' ') || text[i] == QLatin1Char('\t')))
        ++i;
    const int begin = i;
    if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
        ++i;
    int digits = 0;
    while (i < n && text[i].isDigit() && text[i].unicode() < 128) { ++i; ++digits; }
    if (i < n && text[i] == QLatin1Char('.')) {
        ++i;
        while (i < n && text[i].isDigit() && text[i].unicode() < 128) { ++i; ++digits; }
    }
    if (digits == 0)
        return 0.0;
    int end = i;
    if (i < n && (text[i] == QLatin1Char('e') || text[i] == QLatin1Char('E'))) {
        int j = i + 1;
        if (j < n && (text[j] == QLatin1Char('+') || text[j] == QLatin1Char('-')))
            ++j;
        int expDigits = 0;
        while (j < n && text[j].isDigit() && text[j].unicode() < 128) { ++j; ++expDigits; }
        if (expDigits > 0)
            end = j;
    }
    bool ok = false;
    const double value = text.mid(begin, end - begin).toDouble(&ok);
    return ok && std::isfinite(value) ? value : 0.0;
}

qint64 roundHalfEven(double value)
{
    if (!std::isfinite(value))
        return 0;
    const double rounded = std::nearbyint(value); // default rounding mode is to-nearest-even
    // 2^63, the first double past the range (its negative is still inside).
    constexpr double limit = 9223372036854775808.0;
    if (rounded >= limit)
        return std::numeric_limits<qint64>::max();
    if (rounded < -limit)
        return std::numeric_limits<qint64>::min();
    return qint64(rounded);
}

int truncatedInt(double value)
{
    if (std::isnan(value))
        return 0;
    if (value >= double(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (value <= double(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return int(value);
}

int clampInterval(double value, int lower)
{
    if (!(value >= lower))
        return lower;
    if (value > 65535)
        return 65535;
    return int(value);
}

QString timeOfDayText()
{
    const QTime now = QTime::currentTime();
    return QStringLiteral("%1:%2:%3.%4")
        .arg(now.hour(), 2, 10, QLatin1Char('0'))
        .arg(now.minute(), 2, 10, QLatin1Char('0'))
        .arg(now.second(), 2, 10, QLatin1Char('0'))
        .arg(now.msec() / 10, 2, 10, QLatin1Char('0'));
}

bool saveBytesToFile(const QByteArray &bytes, const QString &path)
{
    if (path.trimmed().isEmpty())
        return false;
    // Written aside and renamed: a full disk leaves no half-written file
    // that a later check for the file would take as complete.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        file.commit();
        return false;
    }
    return file.commit();
}

static void runEventsFor(int milliseconds)
{
    if (!QCoreApplication::instance()) {
        QThread::msleep(ulong(qMax(0, milliseconds)));
        return;
    }
    QEventLoop loop;
    QTimer::singleShot(qMax(0, milliseconds), Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

void pauseMs(int milliseconds)
{
    QCoreApplication::processEvents();
    if (milliseconds > 0)
        runEventsFor(milliseconds);
    QCoreApplication::processEvents();
}

void waitSeconds(double seconds)
{
    QElapsedTimer clock;
    clock.start();
    const qint64 total = roundHalfEven(seconds * 1000.0);
    while (!quitRequested) {
        const qint64 left = total - clock.elapsed();
        if (left <= 0)
            break;
        pauseMs(int(qMin<qint64>(left, 10)));
    }
}

bool waitUntil(const std::function<bool()> &done, int timeoutMs, const std::function<void(int milliseconds)> &waitStep)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        QCoreApplication::processEvents();
        if (done())
            return true;
        if (quitRequested || clock.elapsed() >= timeoutMs)
            return false;
        if (waitStep)
            waitStep(1);
        else
            runEventsFor(1);
    }
}

} // namespace vantoro
