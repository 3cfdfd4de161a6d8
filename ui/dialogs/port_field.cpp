// The port field and its test.
#include "ui/dialogs/port_field.h"

#include "acquisition/line_address.h"
#include "acquisition/line_port.h"
#include "acquisition/qt_serial_port.h"
#include "core/localisation.h"

#include <QComboBox>
#include <QSerialPortInfo>

namespace vantoro {

namespace {

QString text(const char *key, const char *builtIn)
{
    return formText(QStringLiteral("frmSysSet"), QString::fromLatin1(key), QString::fromUtf8(builtIn));
}

} // namespace

SystemPorts systemPorts()
{
    SystemPorts ports;
    const auto infos = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : infos) {
#ifdef Q_OS_WIN
        const QString device = info.portName();
#else
        const QString device = info.systemLocation();
#endif
        ports.devices << device;
        QString description = info.description();
        if (!info.manufacturer().isEmpty() && !description.contains(info.manufacturer()))
            description += (description.isEmpty() ? QString() : QStringLiteral(", ")) + info.manufacturer();
        if (!description.isEmpty())
            ports.descriptions.insert(device, description);
    }
    return ports;
}

void fillPortField(QComboBox *field, const QList<PortEntry> &entries)
{
    field->clear();
    for (const PortEntry &entry : entries)
        field->addItem(portEntryText(entry));
}

void showPort(QComboBox *field, const QList<PortEntry> &entries, int number)
{
    for (int i = 0; i < entries.size(); ++i) {
        if (entries[i].number == number) {
            field->setCurrentIndex(i);
            return;
        }
    }
    field->setEditText(QStringLiteral("Com%1").arg(number));
}

ConnectionTestOutcome testPort(const QString &device, const ConnectionTestValues &values)
{
    if (isNetworkLineText(device))
        return testConnection(*makeLinePort(device), values);
    QtSerialPort port;
    port.setDeviceName(device);
    return testConnection(port, values);
}

QString connectionTestText(const ConnectionTestOutcome &outcome, const QString &device)
{
    switch (outcome.result) {
    case PollResult::Ok:
        return text("msgTestReply", "设备已应答，地址 %1。").arg(outcome.replyAddress);
    case PollResult::WrongAddress:
        return text("msgTestWrongAddress", "地址 %1 的设备应答了，不是设定的地址。").arg(outcome.replyAddress);
    case PollResult::BadChecksum:
        return text("msgTestBadReply", "收到 %1 字节，但不是有效的应答（校验错误）。").arg(outcome.bytes);
    case PollResult::SendError:
        return text("msgTestPortError", "端口 %1 无法打开：%2\r\n（本站正在查询此端口时，请先停止通讯再测试。）").arg(device, outcome.portError);
    default:
        return text("msgTestNoReply", "端口 %1 无应答。").arg(device);
    }
}

} // namespace vantoro
