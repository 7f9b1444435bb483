#pragma once

#include <QStringList>

// The subcommands of fwb-jet. Each returns the process exit code.
namespace fwb::jet::tool {

enum ExitCode { Success = 0, Failure = 1, UsageError = 2 };

int listTables(const QString &file);
int exportTable(const QString &file, const QString &table);
int buildPack(const QString &source, const QString &pack);
int dumpPack(const QString &pack);

// Prints "fwb-jet: <message>" on standard error; returns `code`.
int fail(const QString &message, int code = Failure);

} // namespace fwb::jet::tool
