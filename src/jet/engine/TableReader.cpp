#include "jet/engine/TableReader.h"

#include "jet/CellCompare.h"
#include "jet/EngineProtocol.h"
#include "jet/TextLimit.h"
#include "jet/Utf8Text.h"
#include "jet/engine/LongValue.h"
#include "jet/engine/RowScan.h"
#include "jet/engine/StoredText.h"
#include "jet/engine/TableDef.h"

#include <QByteArray>
#include <vector>

namespace fwb::jet::engine {

namespace {

// libmdb converts every value but text into a buffer of this size and cuts what does not fit;
// a value that fills it is refused rather than returned cut.
constexpr size_t kBindSize = size_t(1) << 20;
constexpr int kCutMargin = 8;

// The handle's bind size for the life of one select; libmdb's own catalog reads bind
// fixed-size buffers and must see the default.
class BindSizeScope
{
public:
    explicit BindSizeScope(MdbHandle *mdb) : m_mdb(mdb) { mdb_set_bind_size(mdb, kBindSize); }
    ~BindSizeScope() { mdb_set_bind_size(m_mdb, MDB_BIND_SIZE); }
    BindSizeScope(const BindSizeScope &) = delete;
    BindSizeScope &operator=(const BindSizeScope &) = delete;

private:
    MdbHandle *m_mdb;
};

struct Binding
{
    QByteArray buffer;
    int length = 0;
};

CompareAs compareAs(const MdbColumn *column)
{
    switch (column->col_type) {
    case MDB_BYTE:
    case MDB_INT:
    case MDB_LONGINT:
    case MDB_MONEY:
    case MDB_FLOAT:
    case MDB_DOUBLE:
    case MDB_NUMERIC:
    case MDB_COMPLEX:
        return CompareAs::Number;
    case MDB_BOOL:
        return CompareAs::Boolean;
    default:
        return CompareAs::Text;
    }
}

bool isText(const MdbColumn *column)
{
    return column->col_type == MDB_TEXT || column->col_type == MDB_MEMO;
}

// A text or memo cell decoded from its stored bytes; nothing when the value is damaged or
// longer than a text may be.
std::optional<Cell> textCell(MdbHandle *mdb, const MdbColumn *column, QByteArrayView stored,
                             bool isNull)
{
    if (isNull)
        return Cell();
    const bool jet3 = IS_JET3(mdb);
    std::optional<QByteArray> memo;
    if (column->col_type == MDB_MEMO) {
        // A compressed value may switch modes after each character: three bytes for one.
        memo = longValueBytes(mdb, stored, kMaxTextLength * (jet3 ? 1 : 3) + 2);
        if (!memo)
            return std::nullopt;
        stored = *memo;
    }
    const std::optional<QString> text = jet3 ? jet3Text(stored) : jet4Text(stored);
    if (!text || text->size() > kMaxTextLength)
        return std::nullopt;
    return Cell(*text);
}

std::optional<int> findColumn(const QStringList &names, const QString &name)
{
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (names.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    }
    return std::nullopt;
}

QList<int> allColumns(const QStringList &names)
{
    QList<int> all;
    for (qsizetype i = 0; i < names.size(); ++i)
        all.append(int(i));
    return all;
}

// The index of each wanted column; nothing when one is unknown.
std::optional<QList<int>> findColumns(const QStringList &names, const QStringList &wanted)
{
    QList<int> indexes;
    for (const QString &name : wanted) {
        const std::optional<int> index = findColumn(names, name);
        if (!index)
            return std::nullopt;
        indexes.append(*index);
    }
    return indexes;
}

QStringList columnNames(const TableDef &table)
{
    QStringList names;
    for (int i = 0; i < table.columnCount(); ++i) {
        const char *name = table.column(i)->name;
        names.append(QString::fromUtf8(name, qstrnlen(name, sizeof table.column(i)->name)));
    }
    return names;
}

// The cell of a bound column in the row just fetched. Clears `ok` when the value may have been
// cut short.
Cell readCell(MdbHandle *mdb, MdbColumn *column, const Binding &binding, bool isNull, bool &ok)
{
    // A Yes/No column keeps its value in the null mask, so it is never NULL.
    if (isNull && column->col_type != MDB_BOOL)
        return Cell();
    if (column->col_type == MDB_OLE) {
        size_t size = 0;
        void *data = mdb_ole_read_full(mdb, column, &size);
        if (!data) {
            ok = false;
            return Cell();
        }
        const QString text =
            utf8Text(QByteArrayView(static_cast<const char *>(data), qsizetype(size)));
        free(data);
        return text;
    }
    if (binding.length < 0 || size_t(binding.length) + kCutMargin >= kBindSize)
        ok = false;
    return utf8Text(QByteArrayView(binding.buffer.constData(), binding.length));
}

class RowReader
{
public:
    RowReader(const TableDef &table, const Query &query, const QList<int> &output,
              const QList<int> &conditionColumns)
        : m_table(table), m_query(query), m_output(output), m_conditionColumns(conditionColumns),
          m_bindings(size_t(table.columnCount())), m_wanted(size_t(table.columnCount())),
          m_cells(size_t(table.columnCount()))
    {
        for (int index : output + conditionColumns) {
            m_wanted[size_t(index)] = true;
            if (!isText(table.column(index)))
                bind(index);
        }
    }

    std::optional<QList<QList<Cell>>> readAll()
    {
        QList<QList<Cell>> rows;
        qint64 answerBytes = 0;
        RowScan scan(m_table.get());
        while (m_query.maxRows < 0 || rows.size() < m_query.maxRows) {
            const RowScan::Step step = scan.next();
            if (step == RowScan::Step::End)
                break;
            if (step == RowScan::Step::Damaged || !readCells(scan))
                return std::nullopt;
            if (!matches())
                continue;
            QList<Cell> row;
            for (int index : m_output) {
                row.append(m_cells[size_t(index)]);
                answerBytes += protocol::answerCellBytes(row.last());
            }
            if (answerBytes > protocol::kMaxAnswerBytes)
                return std::nullopt;
            rows.append(std::move(row));
        }
        return rows;
    }

private:
    void bind(int index)
    {
        Binding &binding = m_bindings[size_t(index)];
        if (!binding.buffer.isEmpty())
            return;
        // Left uninitialized: a table of many columns would otherwise touch every byte.
        binding.buffer = QByteArray(qsizetype(kBindSize), Qt::Uninitialized);
        binding.buffer[0] = '\0';
        mdb_bind_column(m_table.get(), index + 1, binding.buffer.data(), &binding.length);
    }

    bool readCells(const RowScan &scan)
    {
        bool ok = true;
        MdbHandle *mdb = m_table.get()->entry->mdb;
        for (size_t i = 0; ok && i < m_bindings.size(); ++i) {
            MdbColumn *column = m_table.column(int(i));
            if (!m_wanted[i])
                continue;
            if (!isText(column)) {
                m_cells[i] = readCell(mdb, column, m_bindings[i], scan.isNull(int(i)), ok);
                continue;
            }
            std::optional<Cell> cell =
                textCell(mdb, column, scan.storedBytes(int(i)), scan.isNull(int(i)));
            ok = cell.has_value();
            if (ok)
                m_cells[i] = std::move(*cell);
        }
        return ok;
    }

    bool matches() const
    {
        for (qsizetype i = 0; i < m_query.where.size(); ++i) {
            const Condition &condition = m_query.where.at(i);
            const int index = m_conditionColumns.at(i);
            if (!conditionHolds(m_cells[size_t(index)], condition.value, condition.negated,
                                compareAs(m_table.column(index))))
                return false;
        }
        return true;
    }

    const TableDef &m_table;
    const Query &m_query;
    const QList<int> m_output;
    const QList<int> m_conditionColumns;
    std::vector<Binding> m_bindings;
    std::vector<bool> m_wanted;
    std::vector<Cell> m_cells;
};

} // namespace

std::optional<Table> selectRows(Database &database, const Query &query)
{
    MdbCatalogEntry *entry = database.findTable(query.table);
    if (!entry)
        return std::nullopt;
    const TableDef table(entry);
    if (!table.usable())
        return std::nullopt;
    const QStringList names = columnNames(table);
    QStringList conditionNames;
    for (const Condition &condition : query.where)
        conditionNames.append(condition.column);
    const std::optional<QList<int>> output =
        query.columns.isEmpty() ? allColumns(names) : findColumns(names, query.columns);
    const std::optional<QList<int>> conditionColumns = findColumns(names, conditionNames);
    if (!output || !conditionColumns)
        return std::nullopt;

    const BindSizeScope bindSize(database.handle());
    RowReader reader(table, query, *output, *conditionColumns);
    std::optional<QList<QList<Cell>>> rows = reader.readAll();
    if (!rows)
        return std::nullopt;
    Table result;
    for (int index : *output)
        result.columns.append(names.at(index));
    result.rows = std::move(*rows);
    return result;
}

} // namespace fwb::jet::engine
