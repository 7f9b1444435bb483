#include "controls/DialogFont.h"
#include "platform/linux/LinuxPlatform.h"
#include "shell/frmMAIN.h"
#include "store/MonitorLog.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    fwb::KeepQtMessagesApart();
    QApplication app(argc, argv);
    QApplication::setFont(fwb::DialogFont());
    // The window may sit hidden in the tray; only Quit or the close box ends the Agent.
    QApplication::setQuitOnLastWindowClosed(false);
    fwb::LinuxPlatform platform;
    fwb::frmMAIN window(QCoreApplication::applicationDirPath());
    if (!window.Form_Load())
        return 0;
    // Ending the session quits without the window's unload; monitoring still ends first.
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &window,
                     [&window] { window.DeactivateMonitoring(); });
    return QApplication::exec();
}
