// What was sent to the device by hand, as stored events: "remote: ..." with
// the command or the value, in one fixed wording whatever the interface
// language, so the log, the web page and mail read alike.
#pragma once

#include <QDateTime>
#include <QString>

namespace vantoro {

// A control command by its index in the remote control dialog.
QString remoteCommandEventText(int command, bool replied);

// A setting by its index in the remote setting dialog, with what was sent.
struct RemoteSettingSent
{
    int setting = 0;
    QString text;            // the operator's value (frequency, delay)
    bool withdraw = false;   // a delayed shutdown taken back
    QDateTime clock;         // the device clock sent
    bool forced = false;     // forced run on or off
};
QString remoteSettingEventText(const RemoteSettingSent &sent);
// The value part alone ("50 Hz", "60 s", "withdrawn", ...), for the status line.
QString remoteSettingValueText(const RemoteSettingSent &sent);

} // namespace vantoro
