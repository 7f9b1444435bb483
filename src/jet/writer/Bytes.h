#pragma once

#include <QByteArray>
#include <QtEndian>

// Little-endian stores into page and row buffers, which Jet uses throughout.
namespace fwb::jet::writer {

inline void put8(QByteArray &buffer, int offset, quint8 value)
{
    buffer[offset] = char(value);
}

inline void put16(QByteArray &buffer, int offset, quint16 value)
{
    qToLittleEndian(value, buffer.data() + offset);
}

inline void put32(QByteArray &buffer, int offset, quint32 value)
{
    qToLittleEndian(value, buffer.data() + offset);
}

inline void append16(QByteArray &buffer, quint16 value)
{
    buffer.append(2, '\0');
    put16(buffer, int(buffer.size()) - 2, value);
}

inline void append32(QByteArray &buffer, quint32 value)
{
    buffer.append(4, '\0');
    put32(buffer, int(buffer.size()) - 4, value);
}

inline quint16 get16(const QByteArray &buffer, int offset)
{
    return qFromLittleEndian<quint16>(buffer.constData() + offset);
}

} // namespace fwb::jet::writer
