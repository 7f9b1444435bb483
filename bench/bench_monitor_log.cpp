// Adds 100,000 entries to the monitor log and prints the cost per entry for each block of
// 10,000, which must stay flat however long the log already is.
#include "platform/linux/LinuxPlatform.h"
#include "shell/frmMAIN.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    fwb::LinuxPlatform platform;
    QTemporaryDir folder;
    fwb::frmMAIN window(folder.path());
    window.show();
    // Entries also go to standard error; keep the figures readable.
    std::freopen("/dev/null", "w", stderr);

    constexpr int blocks = 10;
    constexpr int perBlock = 10000;
    std::printf("entries      us/entry\n");
    for (int block = 0; block < blocks; ++block) {
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < perBlock; ++i)
            window.AddLogEntry(QStringLiteral("New drive found:\r\nDrive: /media/user/DISK %1/\r\n"
                                              "Label: DISK\r\nSerial number: 1A2B-3C4D")
                                   .arg(block * perBlock + i));
        QCoreApplication::processEvents();
        std::printf("%7d  %10.2f\n", (block + 1) * perBlock,
                    double(timer.nsecsElapsed()) / 1000.0 / perBlock);
        std::fflush(stdout);
    }
    return 0;
}
