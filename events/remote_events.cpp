// Event texts of remote commands and settings.
#include "events/remote_events.h"

#include "acquisition/remote_commands.h"
#include "core/localisation.h"

namespace vantoro {

namespace {

const char *const commandNames[REMOTE_COMMAND_COUNT] = {
    "Start device",   "Stop device",   "Self-test",          "Buzzer test",   "Alarm lamp test",     "Start battery maintenance",
    "Abort battery maintenance", "Silence alarm", "Fan test", "Switch to inverter", "Switch to bypass", "LCD backlight test",
};

const char *const settingNames[REMOTE_SETTING_COUNT] = {
    "output frequency", "delayed shutdown", "device clock", "forced run",
};

const QString section = QStringLiteral("remoteEvents");

// The event list reads in the interface language; without a language file
// the texts are English.
QString eventText(const char *key, const char *builtIn)
{
    return formText(section, QString::fromLatin1(key), QString::fromLatin1(builtIn));
}

} // namespace

QString remoteCommandEventText(int command, bool replied)
{
    // The name the operator chose it by in the dialog.
    const QString name = command >= 0 && command < REMOTE_COMMAND_COUNT
        ? formText(QStringLiteral("frmRemoteControl"), QStringLiteral("optnCmd[%1]").arg(command),
                   QString::fromLatin1(commandNames[command]))
        : QString::number(command);
    return replied ? eventText("msgCommandReplied", "Remote command \"%1\" sent; the device confirmed it.").arg(name)
                   : eventText("msgCommandNoReply", "Remote command \"%1\" sent; the device did not confirm it.").arg(name);
}

QString remoteSettingValueText(const RemoteSettingSent &sent)
{
    switch (sent.setting) {
    case SETTING_OUTPUT_FREQUENCY:
        return QString::number(settingWord(sent.text)) + QStringLiteral(" Hz");
    case SETTING_DELAYED_SHUTDOWN:
        return sent.withdraw ? eventText("msgWithdrawn", "withdrawn") : QString::number(settingWord(sent.text)) + QStringLiteral(" s");
    case SETTING_DEVICE_CLOCK:
        return sent.clock.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    case SETTING_FORCED_RUN:
        return sent.forced ? eventText("msgOn", "on") : eventText("msgOff", "off");
    default:
        return sent.text;
    }
}

QString remoteSettingEventText(const RemoteSettingSent &sent)
{
    const QString name = sent.setting >= 0 && sent.setting < REMOTE_SETTING_COUNT
        ? formText(section, QStringLiteral("setting%1").arg(sent.setting), QString::fromLatin1(settingNames[sent.setting]))
        : QString::number(sent.setting);
    return eventText("msgSettingSent", "Remote setting sent: %1 %2").arg(name, remoteSettingValueText(sent));
}

} // namespace vantoro
