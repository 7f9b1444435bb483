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

struct Finished
{
    bool ok = false;
    QByteArray out;
    QString failure;
};

Finished runProgram(const QString &program, const QStringList &args, int timeoutMs)
{
    QProcess process;
    process.start(program, args);
    Finished result;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        result.failure =
            QStringLiteral("%1 did not finish: %2").arg(program, process.errorString());
        return result;
    }
    result.out = process.readAllStandardOutput();
    result.ok = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (!result.ok)
        result.failure =
            QStringLiteral("%1 %2 failed: %3")
                .arg(program, args.join(u' '), QString::fromUtf8(process.readAllStandardError()));
    return result;
}

QString unescapeMdbExport(const QString &field)
{
    QString text;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field.at(i) != u'\\' || i + 1 == field.size()) {
            text += field.at(i);
            continue;
        }
        const QChar next = field.at(++i);
        text += next == u't'   ? QChar(u'\t')
                : next == u'n' ? QChar(u'\n')
                : next == u'r' ? QChar(u'\r')
                               : next;
    }
    return text;
}

jet::Cell fromJson(const QJsonValue &value)
{
    if (value.isNull())
        return std::nullopt;
    if (value.isDouble())
        return QString::number(qint64(value.toDouble()));
    return value.toString();
}

} // namespace

QString programVersion(const QString &program)
{
    const Finished finished = runProgram(program, {QStringLiteral("--version")}, 30000);
    return finished.ok ? QString::fromUtf8(finished.out).section(u'\n', 0, 0).trimmed() : QString();
}

std::optional<QStringList> mdbTables(const QString &file, QString *failure)
{
    const Finished finished =
        runProgram(QStringLiteral("mdb-tables"), {QStringLiteral("-1"), file}, kReaderTimeoutMs);
    if (!finished.ok) {
        *failure = finished.failure;
        return std::nullopt;
    }
    return QString::fromUtf8(finished.out).split(u'\n', Qt::SkipEmptyParts);
}

ReaderResult mdbExport(const QString &file, const QString &table)
{
    const Finished finished =
        runProgram(QStringLiteral("mdb-export"),
                   {QStringLiteral("-Q"), QStringLiteral("-e"), QStringLiteral("-d"),
                    QStringLiteral("\t"), QStringLiteral("-0"), QStringLiteral("\\N"), file, table},
                   kReaderTimeoutMs);
    if (!finished.ok)
        return {std::nullopt, finished.failure};
    QStringList lines = QString::fromUtf8(finished.out).split(u'\n');
    if (lines.last().isEmpty())
        lines.removeLast();
    ReadTable read;
    read.columns = lines.takeFirst().split(u'\t');
    for (const QString &line : std::as_const(lines)) {
        QList<jet::Cell> row;
        for (const QString &field : line.split(u'\t'))
            row.append(field == QLatin1String("\\N") ? jet::Cell() : unescapeMdbExport(field));
        read.rows.append(row);
    }
    return {read, {}};
}

std::optional<MdbReader> MdbReader::install(const QString &root, const QString &script,
                                            QString *failure)
{
    const QString node = QStandardPaths::findExecutable(QStringLiteral("node"));
    const QString npm = QStandardPaths::findExecutable(QStringLiteral("npm"));
    if (node.isEmpty() || npm.isEmpty()) {
        *failure = QStringLiteral("node or npm is not installed (scripts/ensure-packages test)");
        return std::nullopt;
    }
    if (!QFile::exists(root + QStringLiteral("/node_modules/mdb-reader/package.json"))) {
        const Finished installed =
            runProgram(npm,
                       {QStringLiteral("install"), QStringLiteral("--no-save"),
                        QStringLiteral("--prefix"), root, QStringLiteral("mdb-reader")},
                       kInstallTimeoutMs);
        if (!installed.ok) {
            *failure = QStringLiteral("npm could not install mdb-reader: ") + installed.failure;
            return std::nullopt;
        }
    }
    // Beside node_modules, so the script's import of mdb-reader resolves there.
    const QString placed = root + QStringLiteral("/read_with_mdb_reader.mjs");
    QFile::remove(placed);
    if (!QFile::copy(script, placed)) {
        *failure = QStringLiteral("cannot copy %1 to %2").arg(script, placed);
        return std::nullopt;
    }
    return MdbReader(root, placed);
}

QString MdbReader::version() const
{
    QFile file(m_root + QStringLiteral("/node_modules/mdb-reader/package.json"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object().value(u"version").toString();
}

std::optional<QByteArray> MdbReader::run(const QStringList &args, QString *failure) const
{
    const Finished finished =
        runProgram(QStringLiteral("node"), QStringList{m_script} + args, kReaderTimeoutMs);
    if (!finished.ok) {
        *failure = finished.failure;
        return std::nullopt;
    }
    return finished.out;
}

std::optional<QStringList> MdbReader::tables(const QString &file, QString *failure) const
{
    const auto out = run({file}, failure);
    if (!out)
        return std::nullopt;
    QStringList names;
    for (const QJsonValue &name : QJsonDocument::fromJson(*out).object().value(u"tables").toArray())
        names.append(name.toString());
    return names;
}

ReaderResult MdbReader::read(const QString &file, const QString &table) const
{
    QString failure;
    const auto out = run({file, table}, &failure);
    if (!out)
        return {std::nullopt, failure};
    const QJsonObject json = QJsonDocument::fromJson(*out).object();
    ReadTable read;
    for (const QJsonValue &name : json.value(u"columns").toArray())
        read.columns.append(name.toString());
    for (const QJsonValue &row : json.value(u"rows").toArray()) {
        QList<jet::Cell> cells;
        for (const QJsonValue &cell : row.toArray())
            cells.append(fromJson(cell));
        read.rows.append(cells);
    }
    return {read, {}};
}

} // namespace fwb::test
