// What every fuzz target shares: a core application, a private scratch
// directory as VANTORO_HOME (no database, no settings of the user), and a
// check that stops the run loudly when an invariant breaks.
#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

namespace vantoro::fuzz {

inline void check(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
        std::abort();
    }
}

// Scratch files live in memory when the system offers it: targets that go
// through files write one per input.
inline QString scratchDir()
{
    static QTemporaryDir dir(QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm/vantoro-fuzz-XXXXXX")
                                                                       : QDir::tempPath() + QStringLiteral("/vantoro-fuzz-XXXXXX"));
    return dir.path();
}

inline void setUp()
{
    static int argc = 1;
    static char name[] = "vantoro-fuzz";
    static char *argv[] = {name, nullptr};
    static QCoreApplication *app = nullptr;
    if (app)
        return;
    QStandardPaths::setTestModeEnabled(true);
    qputenv("XDG_CONFIG_HOME", (scratchDir() + QStringLiteral("/config")).toLocal8Bit());
    qputenv("VANTORO_HOME", scratchDir().toLocal8Bit());
    app = new QCoreApplication(argc, argv);
}

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

} // namespace vantoro::fuzz
