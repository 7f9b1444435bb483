#pragma once

#include "jet/writer/JetWriter.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// What other Jet readers make of a file: the mdbtools programs and the mdb-reader package.
// They run under a UTF-8 locale whatever the caller's, since mdbtools refuses non-ASCII names
// under the POSIX one.
namespace fwb::test {

struct ReadTable
{
    QStringList columns;
    QList<QList<jet::Cell>> rows;
};

struct ReadDatabase
{
    QStringList tables; // in the reader's order
    QHash<QString, ReadTable> contents;
};

// mdb-tables, then mdb-export of each table. mdbtools hands NULL and empty text to its programs
// alike, so both come back as NULL here. Nothing, with the reason, when a program fails.
std::optional<ReadDatabase> readWithMdbtools(const QString &file, QString *failure);

// `table` with its empty texts NULL, as mdbtools shows them.
ReadTable asMdbtoolsSees(ReadTable table);

// The first difference between the two; empty when they agree.
QString difference(const ReadTable &expected, const ReadTable &read);

// Installs the mdb-reader package into `root` unless it is there and places the reading script
// beside it; the placed script, or empty with the reason when node or npm is missing or fails.
QString installMdbReader(const QString &root, const QString &script, QString *failure);

// Every table of every file, read by one node process running the placed script.
std::optional<QList<ReadDatabase>> readWithMdbReader(const QString &placedScript,
                                                     const QStringList &files, QString *failure);

} // namespace fwb::test
