#pragma once

#include <QStringList>

namespace fwb {

// The Agent's own options. Qt takes its standard ones (-platform, -display, -style, ...) when
// the application object is made; what is left after that is unknown.
enum class CommandLineAction { RunAgent, ShowHelp, ShowVersion, PrintPaths };

// The first of the Agent's options among the arguments (without the program name) decides;
// the others are not looked at.
CommandLineAction RequestedAction(const QStringList &arguments);
// The path asked for after --print-paths ("DataFolder", ...), or the empty text for all of them.
QString PrintedPathName(const QStringList &arguments);

QString HelpText();
QString VersionText();
// The one line that refuses arguments neither Qt nor the Agent took.
QString UnknownArgumentsText(const QStringList &leftOver);

} // namespace fwb
