#include "jet/writer/Fields.h"

#include <QtEndian>

namespace fwb::jet::writer {

namespace {

template <typename T> QByteArray littleEndian(T value)
{
    QByteArray bytes(sizeof(T), '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

} // namespace

QByteArray integerField(qint16 value)
{
    return littleEndian(value);
}

QByteArray longField(qint32 value)
{
    return littleEndian(value);
}

QByteArray dateField(double oleDate)
{
    return littleEndian(oleDate);
}

} // namespace fwb::jet::writer
