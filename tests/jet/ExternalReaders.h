#pragma once

#include "jet/writer/JetWriter.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// What other Jet readers make of a file: the mdbtools programs and the mdb-reader package.
namespace fwb::test {

struct ReadTable
{
    QStringList columns;
    QList<QList<jet::Cell>> rows;
};

struct ReaderResult
{
    std::optional<ReadTable> table; // nothing when the reader failed
    QString failure;                // its message then
};

// `program --version`, first line; empty when it cannot run.
QString programVersion(const QString &program);

// mdb-tables, one name per line.
std::optional<QStringList> mdbTables(const QString &file, QString *failure);
// mdb-export with tab separators and C escapes. mdbtools hands NULL and empty text to its
// programs alike, so both come back as NULL here.
ReaderResult mdbExport(const QString &file, const QString &table);

// The mdb-reader package, installed once into a folder of the build tree with npm.
class MdbReader
{
public:
    // Installs the package into `root` unless it is there; nothing with the reason when node or
    // npm is missing or the install fails.
    static std::optional<MdbReader> install(const QString &root, const QString &script,
                                            QString *failure);

    QString version() const;
    std::optional<QStringList> tables(const QString &file, QString *failure) const;
    ReaderResult read(const QString &file, const QString &table) const;

private:
    MdbReader(QString root, QString script) : m_root(std::move(root)), m_script(std::move(script))
    {}
    std::optional<QByteArray> run(const QStringList &args, QString *failure) const;

    QString m_root;
    QString m_script;
};

} // namespace fwb::test
