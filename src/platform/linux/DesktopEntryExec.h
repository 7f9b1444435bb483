#pragma once

#include <QString>
#include <optional>

namespace fwb {

// The Exec value of a desktop entry that starts `program` with no arguments, as it stands in
// the file: quoted when the path holds a character the format reserves, with the escapes of
// the quoting, of field codes and of string values applied, in that order.
QString ExecValueForProgram(const QString &program);

// A string value (TryExec, Path) as it stands in the file: backslashes and control characters
// escaped, and a leading space kept.
QString StringValue(const QString &text);

// The program an Exec value, as it stands in the file, starts when it is exactly one program
// with no arguments and no field codes; nothing for anything else, a damaged value included.
std::optional<QString> ProgramOfExecValue(const QString &value);

} // namespace fwb
