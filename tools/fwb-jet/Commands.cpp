#include "Commands.h"

#include "PackSource.h"
#include "TabText.h"
#include "jet/DataAccess.h"
#include "jet/EngineProtocol.h"

#include <QFile>
#include <QFileInfo>
#include <cstdio>

namespace fwb::jet::tool {

namespace {

// Sources are small text files; this only stops a wrong argument from filling memory.
constexpr qint64 kMaxSourceBytes = qint64(256) << 20;

const QString kItems = QStringLiteral("Items");

bool writeOut(const QByteArray &bytes)
{
    return std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) ==
               size_t(bytes.size()) &&
           std::fflush(stdout) == 0;
}

int printed(const QByteArray &bytes)
{
    return writeOut(bytes) ? Success : fail(QStringLiteral("cannot write standard output"));
}

// Why `path` cannot be read as an input file; empty when it can.
QString inputProblem(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("%1: no such file").arg(path);
    if (info.isDir())
        return QStringLiteral("%1: is a folder, not a file").arg(path);
    if (!info.isFile())
        return QStringLiteral("%1: not a regular file").arg(path);
    if (!info.isReadable())
        return QStringLiteral("%1: no permission to read it").arg(path);
    return {};
}

// The failure message when `file` gave no answer about `table`.
int readFailure(const QString &file, const QString &table)
{
    if (!DataAccess::instance().lastRequestAnswered())
        return fail(QStringLiteral("%1: reading table \"%2\" made the data-access engine crash, "
                                   "hang or run out of memory")
                        .arg(file, table));
    const auto tables = DataAccess::instance().tables(file);
    if (!tables)
        return fail(QStringLiteral("%1: cannot be read as a Jet database").arg(file));
    if (!tables->contains(table, Qt::CaseInsensitive))
        return fail(QStringLiteral("%1: has no table \"%2\"").arg(file, table));
    return fail(QStringLiteral("%1: table \"%2\" cannot be read").arg(file, table));
}

} // namespace

int fail(const QString &message, int code)
{
    std::fputs(qPrintable(QStringLiteral("fwb-jet: %1\n").arg(message)), stderr);
    return code;
}

int listTables(const QString &file)
{
    if (const QString problem = inputProblem(file); !problem.isEmpty())
        return fail(problem);
    const auto tables = DataAccess::instance().tables(file);
    if (!tables)
        return fail(QStringLiteral("%1: cannot be read as a Jet database").arg(file));
    QByteArray text;
    for (const QString &table : *tables)
        text += formatLine({table});
    return printed(text);
}

int exportTable(const QString &file, const QString &table)
{
    if (const QString problem = inputProblem(file); !problem.isEmpty())
        return fail(problem);
    const auto data = DataAccess::instance().select(file, Query{table, {}, {}, -1});
    if (!data)
        return readFailure(file, table);
    QByteArray text = formatHeader(data->columns);
    for (const QList<Cell> &row : data->rows)
        text += formatLine(row);
    return printed(text);
}

int buildPack(const QString &source, const QString &pack)
{
    if (const QString problem = inputProblem(source); !problem.isEmpty())
        return fail(problem);
    QFile file(source);
    if (file.size() > kMaxSourceBytes)
        return fail(QStringLiteral("%1: larger than %2 MiB, too large for a pack source")
                        .arg(source)
                        .arg(kMaxSourceBytes >> 20));
    if (!file.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("%1: %2").arg(source, file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return fail(QStringLiteral("%1: %2").arg(source, file.errorString()));

    QString error;
    const auto items = parsePackSource(bytes, &error);
    if (!items)
        return fail(QStringLiteral("%1: %2").arg(source, error));
    // pack-dump and the Agent read the table in one answer.
    qint64 answerBytes = 0;
    for (const QList<Cell> &row : items->rows) {
        for (const Cell &cell : row)
            answerBytes += protocol::answerCellBytes(cell);
    }
    if (answerBytes > protocol::kMaxAnswerBytes)
        return fail(QStringLiteral("%1: the texts come to more than the %2 MiB that can be read "
                                   "back at once; make the texts shorter")
                        .arg(source)
                        .arg(protocol::kMaxAnswerBytes >> 20));
    if (!writeDatabase(pack, {*items}, &error))
        return fail(error);
    return Success;
}

int dumpPack(const QString &pack)
{
    if (const QString problem = inputProblem(pack); !problem.isEmpty())
        return fail(problem);
    const auto items =
        DataAccess::instance().select(pack, Query{kItems, packColumnNames(), {}, -1});
    if (!items)
        return readFailure(pack, kItems);
    return printed(formatPackSource(items->rows));
}

} // namespace fwb::jet::tool
