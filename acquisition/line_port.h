// The one place a line's text becomes the port that reaches it.
#pragma once

#include "acquisition/serial_port.h"

#include <QString>
#include <memory>

namespace vantoro {

// Empty text: the serial port of the port number, as ever. A text that does
// not parse gives a port whose open() fails with the reason.
std::unique_ptr<SerialPort> makeLinePort(const QString &line);

} // namespace vantoro
