// Shared pieces of the fault tests.
#include "fault_support.h"

#include "core/database.h"

#include <QDeadlineTimer>
#include <QSqlQuery>
#include <QSqlRecord>

namespace vantoro::test {

StatusCapture::StatusCapture()
{
    setStatusSink(this);
}

StatusCapture::~StatusCapture()
{
    setStatusSink(nullptr);
}

QStringList StatusCapture::containing(const QString &part) const
{
    QStringList out;
    for (const QString &text : texts)
        if (text.contains(part))
            out << text;
    return out;
}

std::unique_ptr<QProcess> startHelper(const QStringList &arguments, const QByteArray &line, int timeoutMs)
{
    auto helper = std::make_unique<QProcess>();
    helper->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    helper->start(QStringLiteral(VANTORO_FAULT_HELPER), arguments);
    const QDeadlineTimer deadline(timeoutMs);
    QByteArray out;
    while (!out.contains(line)) {
        if (deadline.hasExpired() || !helper->waitForReadyRead(int(deadline.remainingTime()))) {
            killHelper(*helper);
            return nullptr;
        }
        out += helper->readAllStandardOutput();
    }
    return helper;
}

void killHelper(QProcess &helper)
{
    if (helper.state() == QProcess::NotRunning)
        return;
    helper.kill();
    helper.waitForFinished(5000);
}

bool helperEndedCleanly(QProcess &helper, int timeoutMs)
{
    // The events a station's waits run may already have seen it end.
    if (helper.state() != QProcess::NotRunning && !helper.waitForFinished(timeoutMs))
        return false;
    return helper.exitStatus() == QProcess::NormalExit && helper.exitCode() == 0;
}

QStringList storedParamValues(QString *error)
{
    QStringList values;
    const auto rs = rsSqlGet(QStringLiteral("select paravalue from paraset where devid='001' "
                                            "order by cast(paraid as integer)"),
                             {}, error);
    if (rs)
        for (const QVariantList &row : rs->rows)
            values << row.value(0).toString();
    return values;
}

QStringList storedEventNames()
{
    QStringList names;
    if (const auto rs = rsSqlGet(QStringLiteral("select eventname from eventlog order by rowid")))
        for (const QVariantList &row : rs->rows)
            names << row.value(0).toString();
    return names;
}

QString integrityCheck()
{
    QString error;
    const auto rs = rsSqlGet(QStringLiteral("PRAGMA integrity_check"), {}, &error);
    if (!rs)
        return error;
    QStringList lines;
    for (const QVariantList &row : rs->rows)
        lines << row.value(0).toString();
    return lines.join(QLatin1Char('\n'));
}

} // namespace vantoro::test
