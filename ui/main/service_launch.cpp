// Hand-over to the service program.
#include "ui/main/service_launch.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>
#include <cstdio>
#include <cstring>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <unistd.h>
#endif

namespace vantoro {

namespace {

constexpr int START_FAILURE_EXIT_CODE = 1;

QString serviceProgramBeside(const QString &program)
{
#ifdef Q_OS_WIN
    return QFileInfo(program).absolutePath() + QStringLiteral("/vantoro-service.exe");
#else
    return QFileInfo(program).absolutePath() + QStringLiteral("/vantoro-service");
#endif
}

QString thisProgram(const char *argv0)
{
#ifdef Q_OS_LINUX
    const QString self = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    if (!self.isEmpty())
        return self;
#endif
    return QFileInfo(QString::fromLocal8Bit(argv0)).absoluteFilePath();
}

} // namespace

int runServiceProgram(char *argv[])
{
    const QString service = serviceProgramBeside(thisProgram(argv[0]));
#ifdef Q_OS_UNIX
    const QByteArray path = QFile::encodeName(service);
    // exec keeps the process id, so a supervisor's signals reach the service.
    ::execv(path.constData(), argv);
    std::fprintf(stderr, "ERROR  Cannot start %s: %s\n", path.constData(), std::strerror(errno));
    return START_FAILURE_EXIT_CODE;
#else
    QStringList arguments;
    for (int i = 1; argv[i]; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const int code = QProcess::execute(service, arguments);
    return code < 0 ? START_FAILURE_EXIT_CODE : code;
#endif
}

} // namespace vantoro
