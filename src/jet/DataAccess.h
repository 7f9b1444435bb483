#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// Reading Jet (Access) database files. The parsing runs in a separate engine process, so a
// damaged file can cost at most the one request that touched it.
namespace fwb::jet {

// One cell: nothing for NULL; text as stored, numbers as decimal text.
using Cell = std::optional<QString>;

struct Table
{
    QStringList columns;
    QList<QList<Cell>> rows;

    int columnIndex(const QString &name) const; // -1 when absent; names compare without case
};

// `column` = `value`, compared the way Jet compares: text without regard to letter case,
// numbers by value. A NULL cell satisfies neither the condition nor its negation.
struct Condition
{
    QString column;
    QString value;
    bool negated = false;
};

// SELECT columns FROM table WHERE all conditions, in stored row order.
struct Query
{
    QString table;
    QStringList columns; // empty: every column, in table order
    QList<Condition> where;
    int maxRows = -1; // -1: all
};

class DataAccess
{
public:
    // The engine, started on first use and kept for the program's life.
    static DataAccess &instance();

    // Table names of a database, system tables left out. Nothing on any failure.
    std::optional<QStringList> tables(const QString &file);
    // Nothing on any failure: missing or damaged file, unknown table or column, an engine that
    // crashed, hung or ran out of memory. The next request works again.
    std::optional<Table> select(const QString &file, const Query &query);
};

} // namespace fwb::jet
