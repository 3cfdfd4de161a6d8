// Parsing the text that names a line.
#include "acquisition/line_address.h"

#include <QHostAddress>
#include <QRegularExpression>

namespace vantoro {

namespace {

constexpr int MAX_PORT_NUMBER = 256;
constexpr int MAX_HOST_NAME = 253;

LineAddress invalid(const QString &why)
{
    LineAddress address;
    address.error = why + QStringLiteral(". ") + lineAddressForms();
    return address;
}

bool validHostName(const QString &host)
{
    // Letters, digits, hyphens and dots: what a resolver takes, no spaces or
    // slashes that would hide a typing error.
    static const QRegularExpression name(QStringLiteral("^[A-Za-z0-9]([A-Za-z0-9-]*[A-Za-z0-9])?"
                                                        "(\\.[A-Za-z0-9]([A-Za-z0-9-]*[A-Za-z0-9])?)*\\.?$"));
    return host.size() <= MAX_HOST_NAME && name.match(host).hasMatch();
}

LineAddress parseNetwork(const QString &rest, LineKind kind)
{
    QString host;
    QString portText;
    if (rest.startsWith(QLatin1Char('['))) {
        const qsizetype close = rest.indexOf(QLatin1Char(']'));
        if (close < 0)
            return invalid(QStringLiteral("An IPv6 address lacks its closing bracket"));
        host = rest.mid(1, close - 1);
        const QHostAddress ip(host);
        if (ip.isNull() || ip.protocol() != QAbstractSocket::IPv6Protocol)
            return invalid(QStringLiteral("\"%1\" is no IPv6 address").arg(host));
        if (rest.mid(close + 1, 1) != QLatin1String(":"))
            return invalid(QStringLiteral("The port number is missing after the address"));
        portText = rest.mid(close + 2);
    } else {
        const qsizetype colon = rest.lastIndexOf(QLatin1Char(':'));
        if (colon < 0)
            return invalid(QStringLiteral("The port number is missing after the host"));
        host = rest.left(colon);
        portText = rest.mid(colon + 1);
        if (host.contains(QLatin1Char(':')))
            return invalid(QStringLiteral("An IPv6 address goes in brackets"));
        if (host.isEmpty() || !validHostName(host))
            return invalid(QStringLiteral("\"%1\" is no host name or address").arg(host));
    }
    bool ok = false;
    const int port = portText.toInt(&ok);
    if (!ok || port < 1 || port > 65535 || portText.startsWith(QLatin1Char('+')))
        return invalid(QStringLiteral("\"%1\" is no port number (1 to 65535)").arg(portText));
    LineAddress address;
    address.kind = kind;
    address.host = host;
    address.port = quint16(port);
    return address;
}

} // namespace

QString lineAddressForms()
{
    return QStringLiteral("Accepted: a serial port (3, COM3 or a device path such as /dev/ttyUSB0), "
                          "tcp://HOST:PORT (a transparent gateway) or modbus-tcp://HOST:PORT "
                          "(Modbus TCP, protocol 2 only); an IPv6 host goes in brackets, "
                          "tcp://[fd00::5]:502.");
}

LineAddress parseLineAddress(const QString &text)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return invalid(QStringLiteral("No port or address given"));
    for (const auto &[scheme, kind] : {std::pair{TCP_SCHEME, LineKind::Tcp}, std::pair{MODBUS_TCP_SCHEME, LineKind::ModbusTcp}}) {
        const QString prefix = QString::fromLatin1(scheme);
        if (t.startsWith(prefix, Qt::CaseInsensitive))
            return parseNetwork(t.mid(prefix.size()), kind);
    }
    if (t.contains(QLatin1String("://")))
        return invalid(QStringLiteral("\"%1\" is no known kind of address").arg(t.left(t.indexOf(QLatin1String("://")) + 3)));
    QString number = t;
    if (number.startsWith(QLatin1String("COM"), Qt::CaseInsensitive))
        number = number.mid(3);
    bool ok = false;
    const int portNumber = number.toInt(&ok);
    if (ok && !number.startsWith(QLatin1Char('+'))) {
        if (portNumber < 1 || portNumber > MAX_PORT_NUMBER)
            return invalid(QStringLiteral("Port %1 is out of range (1 to %2)").arg(portNumber).arg(MAX_PORT_NUMBER));
        LineAddress address;
        address.kind = LineKind::SerialNumber;
        address.portNumber = portNumber;
        return address;
    }
    if (t.startsWith(QLatin1Char('/')) && !t.contains(QLatin1Char(' '))) {
        LineAddress address;
        address.kind = LineKind::SerialPath;
        address.devicePath = t;
        return address;
    }
    return invalid(QStringLiteral("\"%1\" is no port or address").arg(t));
}

bool isNetworkLineText(const QString &text)
{
    return text.contains(QLatin1String("://"));
}

QString networkLineProblem(const QString &text, int protocol)
{
    if (!isNetworkLineText(text))
        return QString();
    const LineAddress address = parseLineAddress(text);
    if (address.kind == LineKind::Invalid)
        return address.error;
    if (address.kind == LineKind::ModbusTcp && protocol != 2)
        return QStringLiteral("Modbus TCP carries protocol 2 only: set the protocol to 2 or use tcp://%1:%2 "
                              "for a transparent gateway.")
            .arg(address.host.contains(QLatin1Char(':')) ? QLatin1Char('[') + address.host + QLatin1Char(']') : address.host)
            .arg(address.port);
    return QString();
}

QString lineAddressText(const LineAddress &address)
{
    switch (address.kind) {
    case LineKind::SerialNumber:
        return QString::number(address.portNumber);
    case LineKind::SerialPath:
        return address.devicePath;
    case LineKind::Tcp:
    case LineKind::ModbusTcp: {
        const QString host = address.host.contains(QLatin1Char(':')) ? QLatin1Char('[') + address.host + QLatin1Char(']')
                                                                     : address.host;
        return QString::fromLatin1(address.kind == LineKind::Tcp ? TCP_SCHEME : MODBUS_TCP_SCHEME) + host
            + QLatin1Char(':') + QString::number(address.port);
    }
    case LineKind::Invalid:
        break;
    }
    return QString();
}

} // namespace vantoro
