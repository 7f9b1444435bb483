#include "controls/DialogFont.h"
#include "platform/linux/LinuxPlatform.h"
#include "shell/frmMAIN.h"
#include "store/AppPaths.h"
#include "store/MonitorLog.h"
#include "system/FileNames.h"

#include <QApplication>
#include <QFile>
#include <cstring>

int main(int argc, char *argv[])
{
    fwb::KeepQtMessagesApart();
    // The main program and scripts ask where this user's files are instead of repeating the rule.
    if ((argc == 2 || argc == 3) && std::strcmp(argv[1], "--print-paths") == 0) {
        QCoreApplication core(argc, argv);
        fwb::ComputeAppPaths(fwb::RunningProgramFolder());
        const auto text =
            fwb::AppPathsText(argc == 3 ? QString::fromLocal8Bit(argv[2]) : QString());
        QFile out;
        return text && out.open(stdout, QIODevice::WriteOnly) && out.write(*text) >= 0 ? 0 : 1;
    }
    QApplication app(argc, argv);
    QApplication::setFont(fwb::DialogFont());
    // The window may sit hidden in the tray; only Quit or the close box ends the Agent.
    QApplication::setQuitOnLastWindowClosed(false);
    fwb::LinuxPlatform platform;
    fwb::frmMAIN window(fwb::RunningProgramFolder());
    if (!window.Form_Load())
        return 0;
    // Ending the session quits without the window's unload; monitoring still ends first.
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &window,
                     [&window] { window.DeactivateMonitoring(); });
    return QApplication::exec();
}
