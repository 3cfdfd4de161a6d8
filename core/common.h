// Common routines of the station: paths, lenient numbers, bit and byte
// decoding, the frame CRC, and the waits that keep the window system running.
#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

namespace vantoro {

// Set once the program or the computer is shutting down; ends every wait.
extern bool quitRequested;

// The directory of the program (or $VANTORO_HOME), always ending in a separator.
QString appDir();
// Adds a trailing separator; an empty text gives the current directory.
QString addBackslash(const QString &dir);
// The path of `name` inside `dir`, matching an existing file without regard to
// case; when none exists the name is used as given.
QString findFileNoCase(const QString &dir, const QString &name);

bool isWinNT();

int bitValue(qint64 value, int bit);
int signMagnitude16(quint8 low, quint8 high);
quint16 crc16(const QByteArray &bytes, int start, quint16 polynomial);

// The leading number of a text (blanks skipped, sign, digits, fraction,
// exponent); 0 when the text does not start with a number.
double leadingNumber(const QString &text);
// Rounds to the nearest whole number, halves to the even neighbour; held to
// the qint64 range, infinities and NaN give 0.
qint64 roundHalfEven(double value);
// The whole part of a number as an int, held to the int range (NaN gives 0):
// numbers read from files, the database or the operator can be anything,
// and a plain conversion of one outside the range is undefined.
int truncatedInt(double value);
int clampInterval(double value, int lower);

QString timeOfDayText();
bool saveBytesToFile(const QByteArray &bytes, const QString &path);

// Waits that let pending events run; all of them end early on quitRequested.
void pauseMs(int milliseconds);
void waitSeconds(double seconds);
// Runs events until `done` returns true or `timeoutMs` has passed on a
// monotonic clock; true when `done` was reached. Between checks it runs
// events for 1 ms, or calls `waitStep` with 1 when given (a step that also
// ends when input arrives lets the wait end on the byte that completes it).
bool waitUntil(const std::function<bool()> &done, int timeoutMs,
               const std::function<void(int milliseconds)> &waitStep = {});

} // namespace vantoro
