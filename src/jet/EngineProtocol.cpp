#include "jet/EngineProtocol.h"

#include "system/FileNames.h"

#include <QtEndian>

namespace fwb::jet::protocol {

namespace {

constexpr char kRequestTag = 'Q';
constexpr char kAnswerTag = 'A';

class WireWriter
{
public:
    void byte(quint8 value) { m_bytes.append(char(value)); }
    void number(quint32 value)
    {
        char raw[4];
        qToBigEndian(value, raw);
        m_bytes.append(raw, 4);
    }
    void text(const QString &value)
    {
        // Paths are file names, which need not be UTF-8; the text travels as their bytes.
        const QByteArray utf8 = EncodeFileName(value);
        number(quint32(utf8.size()));
        m_bytes.append(utf8);
    }
    void texts(const QStringList &values)
    {
        number(quint32(values.size()));
        for (const QString &value : values)
            text(value);
    }
    QByteArray take() { return std::move(m_bytes); }

private:
    QByteArray m_bytes;
};

// Reads what WireWriter wrote. The first short read or impossible length makes the reader
// fail for good; callers check ok() once at the end.
class WireReader
{
public:
    explicit WireReader(const QByteArray &bytes) : m_bytes(bytes) {}

    bool ok() const { return m_ok; }
    bool atEnd() const { return m_ok && m_pos == m_bytes.size(); }
    qsizetype remaining() const { return m_bytes.size() - m_pos; }

    quint8 byte()
    {
        if (!take(1))
            return 0;
        return quint8(m_bytes.at(m_pos - 1));
    }
    quint32 number()
    {
        if (!take(4))
            return 0;
        return qFromBigEndian<quint32>(m_bytes.constData() + m_pos - 4);
    }
    QString text()
    {
        const quint32 length = number();
        if (!m_ok || length > quint64(remaining())) {
            fail();
            return {};
        }
        m_pos += length;
        return DecodeFileName(QByteArrayView(m_bytes.constData() + m_pos - length, length));
    }
    // A count of items that take at least one byte each cannot exceed the bytes left.
    quint32 count()
    {
        const quint32 value = number();
        if (value > quint64(remaining()))
            fail();
        return m_ok ? value : 0;
    }
    QStringList texts()
    {
        QStringList values;
        for (quint32 i = count(); m_ok && i > 0; --i)
            values.append(text());
        return values;
    }
    void fail() { m_ok = false; }

private:
    bool take(qsizetype bytes)
    {
        if (!m_ok || remaining() < bytes) {
            fail();
            return false;
        }
        m_pos += bytes;
        return true;
    }

    const QByteArray &m_bytes;
    qsizetype m_pos = 0;
    bool m_ok = true;
};

void writeQuery(WireWriter &out, const Query &query)
{
    out.text(query.table);
    out.texts(query.columns);
    out.number(quint32(query.where.size()));
    for (const Condition &condition : query.where) {
        out.text(condition.column);
        out.text(condition.value);
        out.byte(condition.negated ? 1 : 0);
    }
    out.number(quint32(qint32(query.maxRows)));
}

Query readQuery(WireReader &in)
{
    Query query;
    query.table = in.text();
    query.columns = in.texts();
    for (quint32 i = in.count(); in.ok() && i > 0; --i) {
        Condition condition;
        condition.column = in.text();
        condition.value = in.text();
        condition.negated = in.byte() != 0;
        query.where.append(condition);
    }
    query.maxRows = qint32(in.number());
    return query;
}

void writeTable(WireWriter &out, const Table &table)
{
    out.texts(table.columns);
    out.number(quint32(table.rows.size()));
    for (const QList<Cell> &row : table.rows) {
        for (const Cell &cell : row) {
            out.byte(cell ? 1 : 0);
            if (cell)
                out.text(*cell);
        }
    }
}

Table readTable(WireReader &in)
{
    Table table;
    table.columns = in.texts();
    // Each cell takes at least a byte and a table without columns has no rows, so an impossible
    // row count is refused before anything is allocated for it.
    const quint32 rows = in.number();
    const quint64 cells = quint64(rows) * quint64(table.columns.size());
    if ((table.columns.isEmpty() && rows != 0) || cells > quint64(in.remaining()))
        in.fail();
    for (quint32 r = 0; in.ok() && r < rows; ++r) {
        QList<Cell> row;
        row.reserve(table.columns.size());
        for (qsizetype c = 0; in.ok() && c < table.columns.size(); ++c)
            row.append(in.byte() != 0 ? Cell(in.text()) : Cell());
        table.rows.append(std::move(row));
    }
    return table;
}

} // namespace

QByteArray frame(const QByteArray &payload)
{
    QByteArray bytes(kFrameHeaderBytes, Qt::Uninitialized);
    qToBigEndian(quint32(payload.size()), bytes.data());
    return bytes + payload;
}

std::optional<quint32> frameLength(const QByteArray &header)
{
    if (header.size() < kFrameHeaderBytes)
        return std::nullopt;
    return qFromBigEndian<quint32>(header.constData());
}

QByteArray encodeRequest(const Request &request)
{
    WireWriter out;
    out.byte(kRequestTag);
    out.number(request.serial);
    out.byte(quint8(request.kind));
    switch (request.kind) {
    case RequestKind::Tables:
        out.text(request.file);
        break;
    case RequestKind::Select:
        out.text(request.file);
        writeQuery(out, request.query);
        break;
    case RequestKind::Stall:
    case RequestKind::Busy:
        out.number(request.stallMilliseconds);
        break;
    }
    return out.take();
}

std::optional<Request> decodeRequest(const QByteArray &payload)
{
    WireReader in(payload);
    if (in.byte() != kRequestTag)
        return std::nullopt;
    Request request;
    request.serial = in.number();
    request.kind = RequestKind(in.byte());
    switch (request.kind) {
    case RequestKind::Tables:
        request.file = in.text();
        break;
    case RequestKind::Select:
        request.file = in.text();
        request.query = readQuery(in);
        break;
    case RequestKind::Stall:
    case RequestKind::Busy:
        request.stallMilliseconds = in.number();
        break;
    default:
        return std::nullopt;
    }
    if (!in.atEnd())
        return std::nullopt;
    return request;
}

QByteArray encodeAnswer(const Answer &answer, RequestKind kind)
{
    WireWriter out;
    out.byte(kAnswerTag);
    out.number(answer.serial);
    out.byte(answer.done ? 1 : 0);
    if (answer.done && kind == RequestKind::Tables)
        out.texts(answer.tables);
    if (answer.done && kind == RequestKind::Select)
        writeTable(out, answer.table);
    return out.take();
}

std::optional<Answer> decodeAnswer(const QByteArray &payload, RequestKind kind)
{
    WireReader in(payload);
    if (in.byte() != kAnswerTag)
        return std::nullopt;
    Answer answer;
    answer.serial = in.number();
    const quint8 done = in.byte();
    if (done > 1)
        return std::nullopt;
    answer.done = done == 1;
    if (answer.done && kind == RequestKind::Tables)
        answer.tables = in.texts();
    if (answer.done && kind == RequestKind::Select)
        answer.table = readTable(in);
    if (!in.atEnd())
        return std::nullopt;
    return answer;
}

} // namespace fwb::jet::protocol
