#include "monitor/MountTable.h"

#include "system/FileNames.h"

#include <cctype>
#include <optional>

namespace fwb {

namespace {

bool isOctalDigit(char c)
{
    return c >= '0' && c <= '7';
}

std::optional<int> parseNumber(QByteArrayView text)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok || value < 0 || !std::isdigit(static_cast<unsigned char>(text.front())))
        return std::nullopt;
    return value;
}

std::optional<DeviceNumber> parseDevice(QByteArrayView text)
{
    const qsizetype colon = text.indexOf(':');
    if (colon <= 0)
        return std::nullopt;
    const auto major = parseNumber(text.first(colon));
    const auto minor = parseNumber(text.sliced(colon + 1));
    if (!major || !minor)
        return std::nullopt;
    return DeviceNumber{quint32(*major), quint32(*minor)};
}

QList<QByteArrayView> splitFields(QByteArrayView line)
{
    QList<QByteArrayView> fields;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= line.size(); ++i) {
        if (i == line.size() || line[i] == ' ') {
            fields.append(line.sliced(start, i - start));
            start = i + 1;
        }
    }
    return fields;
}

// mountinfo: id parent major:minor root mount-point options [optional...] - type source super
std::optional<MountEntry> parseLine(QByteArrayView line)
{
    const QList<QByteArrayView> fields = splitFields(line);
    const qsizetype separator = fields.indexOf(QByteArrayView("-"), 6);
    if (separator < 0 || fields.size() - separator < 4)
        return std::nullopt;
    const auto mountId = parseNumber(fields[0]);
    const auto parentId = parseNumber(fields[1]);
    const auto device = parseDevice(fields[2]);
    if (!mountId || !parentId || !device || fields[4].isEmpty())
        return std::nullopt;

    MountEntry entry;
    entry.mountId = *mountId;
    entry.parentId = *parentId;
    entry.device = *device;
    entry.root = decodeMountInfoField(fields[3]);
    entry.mountPoint = decodeMountInfoField(fields[4]);
    entry.options = decodeMountInfoField(fields[5]);
    entry.fsType = decodeMountInfoField(fields[separator + 1]);
    entry.source = decodeMountInfoField(fields[separator + 2]);
    entry.superOptions = decodeMountInfoField(fields[separator + 3]);
    return entry;
}

} // namespace

QString decodeMountInfoField(QByteArrayView field)
{
    QByteArray bytes;
    bytes.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && isOctalDigit(field[i + 1]) &&
            isOctalDigit(field[i + 2]) && isOctalDigit(field[i + 3])) {
            const int value =
                (field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0');
            if (value <= 0xFF) {
                bytes.append(char(value));
                i += 3;
                continue;
            }
        }
        bytes.append(field[i]);
    }
    return DecodeFileName(bytes);
}

MountTable MountTable::parse(QByteArrayView text)
{
    MountTable table;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0)
            end = text.size();
        if (auto entry = parseLine(text.sliced(start, end - start)))
            table.m_entries.append(std::move(*entry));
        start = end + 1;
    }
    return table;
}

const MountEntry *MountTable::visibleAt(const QString &mountPoint) const
{
    for (auto it = m_entries.crbegin(); it != m_entries.crend(); ++it) {
        if (it->mountPoint == mountPoint)
            return &*it;
    }
    return nullptr;
}

} // namespace fwb
