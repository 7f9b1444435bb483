// Renders the Agent's three windows to PNG files, as the program draws them, for the README:
//   fwb-screenshots OUTPUT_FOLDER [LANGUAGE_PACK]
#include "backup/DecisionState.h"
#include "controls/DialogFont.h"
#include "countdown/frmBALLOON.h"
#include "jet/DataAccess.h"
#include "language/LanguagePack.h"
#include "language/Translate.h"
#include "platform/Platform.h"
#include "settings/frmSETTINGS.h"
#include "shell/frmMAIN.h"
#include "store/AppPaths.h"
#include "store/Settings.h"

#include <QApplication>
#include <QDir>
#include <QTabBar>
#include <QTemporaryDir>
#include <cstdio>
#include <unistd.h>

namespace {

bool save(QWidget &window, const QString &file)
{
    window.show();
    QCoreApplication::processEvents();
    const bool saved = window.grab().save(file);
    std::fprintf(saved ? stdout : stderr, "%s %s\n", saved ? "wrote" : "cannot write",
                 qPrintable(file));
    return saved;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: fwb-screenshots OUTPUT_FOLDER [LANGUAGE_PACK]\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    fwb::UseDialogFont();
    const std::unique_ptr<fwb::InstalledPlatform> platform = fwb::makePlatform();
    const QString output = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(output);

    // A program folder of its own, so the pictures show a first start and nothing else.
    QTemporaryDir folder;
    // A claim of its own, so that an Agent the user runs does not stop the pictures.
    qputenv("FWBAGENT_TEST_INSTANCE", "screenshots-" + QByteArray::number(::getpid()));
    fwb::frmMAIN main(folder.path());
    if (!main.Form_Load())
        return 1;
    if (argc > 2) {
        fwb::jet::DataAccess::setEnginePath(QStringLiteral(FWB_JET_ENGINE_PATH));
        fwb::LanguagePack() = QString::fromLocal8Bit(argv[2]);
        fwb::TranslateForm(&main);
        main.setWindowTitle(fwb::TranslateText(QStringLiteral("FW Backup Agent")));
    }
    const auto line = [](const char *name, const char *value) {
        return fwb::TranslateText(QLatin1String(name)) + QLatin1String(value);
    };
    main.AddLogEntry(line("New drive found", ":\r\n") +
                     line("Drive", ": /media/anna/BACKUPDISK/\r\n") +
                     line("Label", ": BACKUPDISK\r\n") + line("Serial number", ": 1A2B-3C4D"));
    bool ok = save(main, output + QStringLiteral("/main.png"));

    const QString sets = fwb::appPaths().DefaultBackupSetsFolder + u'/';
    fwb::frmBALLOON countdown;
    countdown.Form_Load();
    countdown.AddSet(sets + QStringLiteral("Documents.fwb"));
    countdown.AddSet(sets + QStringLiteral("Photos.fwb"));
    countdown.setWindowTitle(fwb::TranslateText(QStringLiteral("FW Backup Agent")) +
                             QStringLiteral(" - ") +
                             fwb::TranslateText(QStringLiteral("Count Down")));
    countdown.StartCountDown();
    countdown.SetListHeight(1050);
    ok = save(countdown, output + QStringLiteral("/countdown.png")) && ok;
    countdown.done(0);

    fwb::frmSETTINGS settings(&main);
    settings.Form_Load();
    auto *tabs = settings.findChild<QTabBar *>(QStringLiteral("TS_Settings"));
    for (int tab = 0; tab < 3; ++tab) {
        tabs->setCurrentIndex(tab);
        ok = save(settings, output + QStringLiteral("/settings-%1.png").arg(tab)) && ok;
    }
    main.DeactivateMonitoring();
    return ok ? 0 : 1;
}
