#include "jet/writer/UserTables.h"

#include "jet/TextLimit.h"
#include "jet/writer/Catalog.h"
#include "jet/writer/Fields.h"
#include "jet/writer/JetText.h"

#include <QSet>
#include <limits>
#include <variant>

namespace fwb::jet::writer {

namespace {

JetType jetType(ColumnType type)
{
    switch (type) {
    case ColumnType::Text:
        return JetType::Text;
    case ColumnType::Memo:
        return JetType::Memo;
    case ColumnType::LongInteger:
        return JetType::LongInteger;
    case ColumnType::Integer:
        return JetType::Integer;
    }
    return JetType::Text;
}

std::optional<qint64> wholeNumber(const QString &text)
{
    const qsizetype digitsFrom = text.startsWith(u'-') ? 1 : 0;
    if (text.size() == digitsFrom || text.size() > 20)
        return std::nullopt;
    for (qsizetype i = digitsFrom; i < text.size(); ++i) {
        if (text.at(i) < u'0' || text.at(i) > u'9')
            return std::nullopt;
    }
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    return ok ? std::optional(value) : std::nullopt;
}

// The stored form of one cell, or the reason it has none.
std::variant<Field, QString> storedField(const Cell &cell, ColumnType type)
{
    if (!cell)
        return Field();
    switch (type) {
    case ColumnType::Text:
    case ColumnType::Memo: {
        if (type == ColumnType::Text && cell->size() > kMaxTextChars)
            return QStringLiteral("%1 characters, a text column holds %2")
                .arg(cell->size())
                .arg(kMaxTextChars);
        if (cell->size() > kMaxTextLength)
            return QStringLiteral("%1 characters, a text holds at most %2 (counted in UTF-16 "
                                  "code units)")
                .arg(cell->size())
                .arg(kMaxTextLength);
        auto bytes = encodeText(*cell);
        if (!bytes)
            return QStringLiteral("a text that begins with U+FEFF cannot also hold characters "
                                  "such as U+0100 whose low byte is zero");
        return Field(*bytes);
    }
    case ColumnType::LongInteger:
    case ColumnType::Integer: {
        const bool isLong = type == ColumnType::LongInteger;
        const qint64 low = isLong ? std::numeric_limits<qint32>::min() : -32768;
        const qint64 high = isLong ? std::numeric_limits<qint32>::max() : 32767;
        const auto value = wholeNumber(*cell);
        if (!value || *value < low || *value > high)
            return QStringLiteral("\"%1\" is not a whole number from %2 to %3")
                .arg(*cell)
                .arg(low)
                .arg(high);
        return Field(isLong ? longField(qint32(*value)) : integerField(qint16(*value)));
    }
    }
    return Field();
}

QString tableProblem(const TableData &table)
{
    if (const QString problem = nameProblem(table.name); !problem.isEmpty())
        return QStringLiteral("Table name \"%1\": %2.").arg(table.name, problem);
    if (table.columns.isEmpty() || table.columns.size() > kMaxColumns)
        return QStringLiteral("Table \"%1\": %2 columns; a table has 1 to %3.")
            .arg(table.name)
            .arg(table.columns.size())
            .arg(kMaxColumns);
    QSet<QString> seen;
    for (const ColumnDef &column : table.columns) {
        if (const QString problem = nameProblem(column.name); !problem.isEmpty())
            return QStringLiteral("Table \"%1\", column name \"%2\": %3.")
                .arg(table.name, column.name, problem);
        const QString key = column.name.toCaseFolded();
        if (seen.contains(key))
            return QStringLiteral("Table \"%1\": column name \"%2\" is used twice (names "
                                  "ignore letter case).")
                .arg(table.name, column.name);
        seen.insert(key);
    }
    return {};
}

std::optional<TableSpec> userTable(const TableData &table, QString *error)
{
    if (QString problem = tableProblem(table); !problem.isEmpty()) {
        *error = problem;
        return std::nullopt;
    }
    for (qsizetype row : table.deletedRows) {
        if (row < 0 || row >= table.rows.size()) {
            *error = QStringLiteral("Table \"%1\": there is no row %2 to store as deleted.")
                         .arg(table.name)
                         .arg(row + 1);
            return std::nullopt;
        }
    }
    TableSpec spec{table.name, false, {}, {}, table.deletedRows};
    for (const ColumnDef &column : table.columns)
        spec.columns.append({column.name, jetType(column.type), 0});
    spec.rows.reserve(table.rows.size());
    for (qsizetype r = 0; r < table.rows.size(); ++r) {
        const QList<Cell> &cells = table.rows.at(r);
        if (cells.size() != table.columns.size()) {
            *error = QStringLiteral("Table \"%1\", row %2: %3 cells for %4 columns.")
                         .arg(table.name)
                         .arg(r + 1)
                         .arg(cells.size())
                         .arg(table.columns.size());
            return std::nullopt;
        }
        QList<Field> fields;
        fields.reserve(cells.size());
        for (qsizetype c = 0; c < cells.size(); ++c) {
            auto field = storedField(cells.at(c), table.columns.at(c).type);
            if (const QString *problem = std::get_if<QString>(&field)) {
                *error = QStringLiteral("Table \"%1\", row %2, column \"%3\": %4.")
                             .arg(table.name)
                             .arg(r + 1)
                             .arg(table.columns.at(c).name, *problem);
                return std::nullopt;
            }
            fields.append(std::get<Field>(std::move(field)));
        }
        spec.rows.append(std::move(fields));
    }
    return spec;
}

} // namespace

QString nameProblem(const QString &name)
{
    if (name.isEmpty())
        return QStringLiteral("a name cannot be empty");
    if (name.size() > kMaxNameChars)
        return QStringLiteral("longer than %1 characters").arg(kMaxNameChars);
    if (name.startsWith(u' '))
        return QStringLiteral("a name cannot begin with a space");
    if (name.startsWith(QChar(0xfeff)))
        return QStringLiteral("a name cannot begin with U+FEFF");
    for (QChar c : name) {
        if (c.unicode() < 0x20)
            return QStringLiteral("a name cannot hold control characters");
        if (QStringLiteral(".!`[]").contains(c))
            return QStringLiteral("a name cannot hold . ! ` [ or ]");
    }
    return {};
}

std::optional<QList<TableSpec>> userTables(const QList<TableData> &tables, QString *error)
{
    QString ignored;
    QString &problem = error ? *error : ignored;
    QSet<QString> names{kCatalogName.toCaseFolded()};
    QList<TableSpec> specs;
    for (const TableData &table : tables) {
        auto spec = userTable(table, &problem);
        if (!spec)
            return std::nullopt;
        if (names.contains(table.name.toCaseFolded())) {
            problem = QStringLiteral("Table name \"%1\" is used twice (names ignore letter "
                                     "case) or is reserved.")
                          .arg(table.name);
            return std::nullopt;
        }
        names.insert(table.name.toCaseFolded());
        specs.append(std::move(*spec));
    }
    return specs;
}

} // namespace fwb::jet::writer
