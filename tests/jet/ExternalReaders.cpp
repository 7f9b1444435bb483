#include "ExternalReaders.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>

namespace fwb::test {

namespace {

constexpr int kReaderTimeoutMs = 120000;
constexpr int kInstallTimeoutMs = 300000;

std::optional<QByteArray> run(const QString &program, const QStringList &args, QString *failure,
                              int timeoutMs = kReaderTimeoutMs)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    // The Access 97 sample's texts are Windows-1252.
    environment.insert(QStringLiteral("MDB_JET3_CHARSET"), QStringLiteral("CP1252"));
    process.setProcessEnvironment(environment);
    process.start(program, args);
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        *failure = QStringLiteral("%1 did not finish: %2").arg(program, process.errorString());
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        *failure =
            QStringLiteral("%1 %2 failed: %3")
                .arg(program, args.join(u' '), QString::fromUtf8(process.readAllStandardError()));
        return std::nullopt;
    }
    return process.readAllStandardOutput();
}

// mdb-export's C escapes undone; exactly \N is NULL.
jet::Cell unescapeMdbExport(const QString &field)
{
    if (field == QLatin1String("\\N"))
        return std::nullopt;
    QString text;
    for (qsizetype i = 0; i < field.size(); ++i) {
        const QChar next = field.at(i) == u'\\' && i + 1 < field.size() ? field.at(++i) : u'\0';
        text += next == u'\0'  ? field.at(i)
                : next == u't' ? QChar(u'\t')
                : next == u'n' ? QChar(u'\n')
                : next == u'r' ? QChar(u'\r')
                               : next;
    }
    return text;
}

std::optional<ReadTable> mdbExport(const QString &file, const QString &table, QString *failure)
{
    const auto out =
        run(QStringLiteral("mdb-export"),
            {QStringLiteral("-Q"), QStringLiteral("-e"), QStringLiteral("-d"), QStringLiteral("\t"),
             QStringLiteral("-0"), QStringLiteral("\\N"), file, table},
            failure);
    if (!out)
        return std::nullopt;
    QStringList lines = QString::fromUtf8(*out).split(u'\n');
    if (lines.last().isEmpty())
        lines.removeLast();
    ReadTable read;
    read.columns = lines.takeFirst().split(u'\t');
    for (const QString &line : std::as_const(lines)) {
        QList<jet::Cell> row;
        for (const QString &field : line.split(u'\t'))
            row.append(unescapeMdbExport(field));
        read.rows.append(row);
    }
    return read;
}

jet::Cell fromJson(const QJsonValue &value)
{
    if (value.isNull())
        return std::nullopt;
    if (value.isDouble())
        return QString::number(qint64(value.toDouble()));
    return value.toString();
}

QString shown(const jet::Cell &cell)
{
    if (!cell)
        return QStringLiteral("NULL");
    if (cell->size() <= 60)
        return QLatin1Char('"') + *cell + QLatin1Char('"');
    return QStringLiteral("%1 characters beginning \"%2\"").arg(cell->size()).arg(cell->left(40));
}

} // namespace

std::optional<ReadDatabase> readWithMdbtools(const QString &file, QString *failure)
{
    const auto names = run(QStringLiteral("mdb-tables"), {QStringLiteral("-1"), file}, failure);
    if (!names)
        return std::nullopt;
    ReadDatabase database;
    database.tables = QString::fromUtf8(*names).split(u'\n', Qt::SkipEmptyParts);
    for (const QString &table : std::as_const(database.tables)) {
        const std::optional<ReadTable> read = mdbExport(file, table, failure);
        if (!read)
            return std::nullopt;
        database.contents.insert(table, *read);
    }
    return database;
}

ReadTable asMdbtoolsSees(ReadTable table)
{
    for (QList<jet::Cell> &row : table.rows) {
        for (jet::Cell &cell : row) {
            if (cell && cell->isEmpty())
                cell.reset();
        }
    }
    return table;
}

QString difference(const ReadTable &expected, const ReadTable &read)
{
    if (read.columns != expected.columns)
        return QStringLiteral("columns %1, expected %2")
            .arg(read.columns.join(u','), expected.columns.join(u','));
    if (read.rows.size() != expected.rows.size())
        return QStringLiteral("%1 rows, expected %2")
            .arg(read.rows.size())
            .arg(expected.rows.size());
    for (qsizetype r = 0; r < expected.rows.size(); ++r) {
        if (read.rows.at(r).size() != expected.columns.size())
            return QStringLiteral("row %1 has %2 cells").arg(r + 1).arg(read.rows.at(r).size());
        for (qsizetype c = 0; c < expected.columns.size(); ++c) {
            if (read.rows.at(r).at(c) != expected.rows.at(r).at(c))
                return QStringLiteral("row %1, column %2: read %3, expected %4")
                    .arg(r + 1)
                    .arg(expected.columns.at(c), shown(read.rows.at(r).at(c)),
                         shown(expected.rows.at(r).at(c)));
        }
    }
    return {};
}

QString installMdbReader(const QString &root, const QString &script, QString *failure)
{
    const QString npm = QStandardPaths::findExecutable(QStringLiteral("npm"));
    if (QStandardPaths::findExecutable(QStringLiteral("node")).isEmpty() || npm.isEmpty()) {
        *failure = QStringLiteral("node or npm is not installed (scripts/ensure-packages test)");
        return {};
    }
    if (!QFile::exists(root + QStringLiteral("/node_modules/mdb-reader/package.json")) &&
        !run(npm,
             {QStringLiteral("install"), QStringLiteral("--no-save"), QStringLiteral("--prefix"),
              root, QStringLiteral("mdb-reader")},
             failure, kInstallTimeoutMs))
        return {};
    // Beside node_modules, so the script's import of mdb-reader resolves there.
    const QString placed = root + QStringLiteral("/read_with_mdb_reader.mjs");
    QFile::remove(placed);
    if (!QFile::copy(script, placed)) {
        *failure = QStringLiteral("cannot copy %1 to %2").arg(script, placed);
        return {};
    }
    return placed;
}

std::optional<QList<ReadDatabase>> readWithMdbReader(const QString &placedScript,
                                                     const QStringList &files, QString *failure)
{
    const auto out = run(QStringLiteral("node"), QStringList{placedScript} + files, failure);
    if (!out)
        return std::nullopt;
    QList<ReadDatabase> databases;
    for (const QJsonValue &file : QJsonDocument::fromJson(*out).array()) {
        ReadDatabase database;
        for (const QJsonValue &name : file[u"tables"].toArray())
            database.tables.append(name.toString());
        for (const QString &name : std::as_const(database.tables)) {
            const QJsonObject json = file[u"contents"][name].toObject();
            ReadTable table;
            for (const QJsonValue &column : json[u"columns"].toArray())
                table.columns.append(column.toString());
            for (const QJsonValue &row : json[u"rows"].toArray()) {
                QList<jet::Cell> cells;
                for (const QJsonValue &cell : row.toArray())
                    cells.append(fromJson(cell));
                table.rows.append(cells);
            }
            database.contents.insert(name, table);
        }
        databases.append(database);
    }
    return databases;
}

} // namespace fwb::test
