// Colours kept as numbers with red in the low byte, as the settings store them.
#pragma once

#include <QColor>

namespace vantoro {

inline QColor colourFromValue(quint32 value)
{
    return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
}

inline quint32 colourValue(const QColor &c)
{
    return quint32(c.red()) | (quint32(c.green()) << 8) | (quint32(c.blue()) << 16);
}

} // namespace vantoro
