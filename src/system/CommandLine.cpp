#include "system/CommandLine.h"

namespace fwb {

CommandLineAction RequestedAction(const QStringList &arguments)
{
    for (const QString &argument : arguments) {
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h"))
            return CommandLineAction::ShowHelp;
        if (argument == QLatin1String("--version"))
            return CommandLineAction::ShowVersion;
        if (argument == QLatin1String("--print-paths"))
            return CommandLineAction::PrintPaths;
    }
    return CommandLineAction::RunAgent;
}

QString PrintedPathName(const QStringList &arguments)
{
    const qsizetype option = arguments.indexOf(QStringLiteral("--print-paths"));
    const QString name = option < 0 ? QString() : arguments.value(option + 1);
    return name.startsWith(u'-') ? QString() : name;
}

QString HelpText()
{
    return QStringLiteral(
        "Usage: fwbagent [OPTION]\n"
        "Starts the backup sets of the FWB backup program when a drive they name is attached.\n"
        "Without an option the Agent starts and stays in the tray; one runs per user.\n"
        "\n"
        "  -h, --help         show this help and exit\n"
        "      --version      show the version and exit\n"
        "      --print-paths [NAME]\n"
        "                     show where this user's settings, backup sets and data are\n"
        "                     kept, one Name=value line each, or the path NAME alone\n"
        "                     (for example DataFolder), and exit\n"
        "\n"
        "Qt's standard options (-platform, -display, -style, ...) are accepted too.\n"
        "Full documentation: man fwbagent\n");
}

QString VersionText()
{
    return QStringLiteral("fwbagent (FWB Agent) " FWB_VERSION_TEXT "\n");
}

QString UnknownArgumentsText(const QStringList &leftOver)
{
    return QStringLiteral("fwbagent: unknown argument \"%1\" (fwbagent --help lists the options)\n")
        .arg(leftOver.value(0));
}

} // namespace fwb
