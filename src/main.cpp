#include "controls/DialogFont.h"
#include "platform/DisplayCheck.h"
#include "platform/Platform.h"
#include "shell/frmMAIN.h"
#include "store/AppPaths.h"
#include "store/MonitorLog.h"
#include "system/CommandLine.h"
#include "system/FileNames.h"

#include <QApplication>
#include <QFile>
#include <cstdio>
#include <cstdlib>

namespace {

QtMessageHandler g_qtMessages = nullptr;

// Qt ends the process when no platform opens after all (a display gone since it was checked, a
// platform named that does not exist); that too is said in one line.
void endWhenNoPlatformOpens(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (type == QtFatalMsg) {
        std::fputs("fwbagent: cannot start without a display: no Qt platform could be opened\n",
                   stderr);
        std::_Exit(1);
    }
    if (g_qtMessages)
        g_qtMessages(type, context, text);
}

int write(FILE *stream, const QString &text, int status)
{
    QFile out;
    return out.open(stream, QIODevice::WriteOnly) && out.write(text.toLocal8Bit()) >= 0 &&
                   out.flush()
               ? status
               : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    fwb::KeepQtMessagesApart();
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    // Answered before any display, lock, setting or window is touched.
    switch (fwb::RequestedAction(arguments)) {
    case fwb::CommandLineAction::ShowHelp:
        return write(stdout, fwb::HelpText(), 0);
    case fwb::CommandLineAction::ShowVersion:
        return write(stdout, fwb::VersionText(), 0);
    case fwb::CommandLineAction::PrintPaths: {
        // The main program and scripts ask where this user's files are instead of repeating
        // the rule; with a name, that one path alone, so that no folder name is cut at a line
        // break.
        QCoreApplication core(argc, argv);
        fwb::ComputeAppPaths(fwb::RunningProgramFolder());
        const auto text = fwb::AppPathsText(fwb::PrintedPathName(arguments));
        QFile out;
        return text && out.open(stdout, QIODevice::WriteOnly) && out.write(*text) >= 0 ? 0 : 1;
    }
    case fwb::CommandLineAction::RunAgent:
        break;
    }
    fwb::PreferXWayland(argc, argv, arguments);
    // Qt aborts with a report of several lines when it finds no display; say it in one.
    if (const QString reason = fwb::NoDisplayReason(arguments); !reason.isEmpty())
        return write(stderr,
                     QStringLiteral("fwbagent: cannot start without a display: ") + reason + u'\n',
                     1);
    g_qtMessages = qInstallMessageHandler(endWhenNoPlatformOpens);
    QApplication app(argc, argv);
    qInstallMessageHandler(g_qtMessages);
    if (const QStringList leftOver = QCoreApplication::arguments().mid(1); !leftOver.isEmpty())
        return write(stderr, fwb::UnknownArgumentsText(leftOver), 2);
    fwb::UseDialogFont();
    // The window may sit hidden in the tray; only Quit or the close box ends the Agent.
    QApplication::setQuitOnLastWindowClosed(false);
    const std::unique_ptr<fwb::InstalledPlatform> platform = fwb::makePlatform();
    fwb::frmMAIN window(fwb::RunningProgramFolder());
    if (!window.Form_Load())
        return 0;
    // Ending the session quits without the window's unload; monitoring still ends first.
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &window,
                     [&window] { window.DeactivateMonitoring(); });
    return QApplication::exec();
}
