// Event texts of remote commands and settings.
#include "events/remote_events.h"

#include "acquisition/remote_commands.h"

namespace vantoro {

namespace {

const char *const commandNames[REMOTE_COMMAND_COUNT] = {
    "start device",   "stop device",   "self-test",          "buzzer test",   "alarm lamp test",     "start battery maintenance",
    "abort battery maintenance", "silence alarm", "fan test", "switch to inverter", "switch to bypass", "LCD backlight test",
};

const char *const settingNames[REMOTE_SETTING_COUNT] = {
    "output frequency", "delayed shutdown", "device clock", "forced run",
};

const QString prefix = QStringLiteral("remote: ");

} // namespace

QString remoteCommandEventText(int command, bool replied)
{
    const QString name = command >= 0 && command < REMOTE_COMMAND_COUNT
        ? QString::fromLatin1(commandNames[command])
        : QStringLiteral("command %1").arg(command);
    return prefix + name + (replied ? QStringLiteral(", reply received") : QStringLiteral(", no reply"));
}

QString remoteSettingValueText(const RemoteSettingSent &sent)
{
    switch (sent.setting) {
    case SETTING_OUTPUT_FREQUENCY:
        return QString::number(settingWord(sent.text)) + QStringLiteral(" Hz");
    case SETTING_DELAYED_SHUTDOWN:
        return sent.withdraw ? QStringLiteral("withdrawn") : QString::number(settingWord(sent.text)) + QStringLiteral(" s");
    case SETTING_DEVICE_CLOCK:
        return sent.clock.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    case SETTING_FORCED_RUN:
        return sent.forced ? QStringLiteral("on") : QStringLiteral("off");
    default:
        return sent.text;
    }
}

QString remoteSettingEventText(const RemoteSettingSent &sent)
{
    const QString name = sent.setting >= 0 && sent.setting < REMOTE_SETTING_COUNT
        ? QString::fromLatin1(settingNames[sent.setting])
        : QStringLiteral("setting %1").arg(sent.setting);
    return prefix + name + QLatin1Char(' ') + remoteSettingValueText(sent);
}

} // namespace vantoro
