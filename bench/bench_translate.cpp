// Prints the time of one TranslateText and of translating the main window, with a language
// pack of 2,000 rows.
#include "jet/DataAccess.h"
#include "jet/writer/JetWriter.h"
#include "language/LanguagePack.h"
#include "language/Translate.h"
#include "platform/linux/LinuxPlatform.h"
#include "shell/frmMAIN.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

namespace jet = fwb::jet;

namespace {

fwb::jet::TableData packOf2000Rows()
{
    using fwb::jet::ColumnType;
    fwb::jet::TableData items{QStringLiteral("Items"),
                              {{QStringLiteral("Form"), ColumnType::Text},
                               {QStringLiteral("Name"), ColumnType::Memo},
                               {QStringLiteral("Text"), ColumnType::Memo},
                               {QStringLiteral("Type"), ColumnType::LongInteger},
                               {QStringLiteral("Index"), ColumnType::Integer}},
                              {}};
    const QStringList controls{
        "LB_StausHeading",   "LB_Status",         "LB_MonitorHeading", "TX_Log",
        "CB_ToggleOnOff",    "CB_LaunchFWB",      "CB_Settings",       "CB_Quit",
        "CM_SysTray_ShowMe", "CM_SysTray_RunFWB", "CM_SysTray_Quit"};
    for (const QString &control : controls)
        items.rows.append(
            {QStringLiteral("AGENT_frmMAIN"), control, QStringLiteral("Översatt ") + control,
             control.startsWith(QLatin1String("TX_")) ? QStringLiteral("2") : QStringLiteral("1"),
             QStringLiteral("-1")});
    for (int i = items.rows.size(); i < 2000; ++i)
        items.rows.append(
            {QStringLiteral("GLOBAL"), QStringLiteral("English text number %1").arg(i),
             QStringLiteral("Svensk text nummer %1").arg(i), QStringLiteral("0"), std::nullopt});
    return items;
}

double medianMicroseconds(QList<qint64> nanoseconds)
{
    std::sort(nanoseconds.begin(), nanoseconds.end());
    return nanoseconds.at(nanoseconds.size() / 2) / 1000.0;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    fwb::LinuxPlatform platform;
    jet::DataAccess::setEnginePath(QStringLiteral(FWB_JET_ENGINE));
    QTemporaryDir folder;
    const QString pack = folder.path() + QStringLiteral("/Bench.lng");
    if (!jet::writeDatabase(pack, {packOf2000Rows()})) {
        std::fprintf(stderr, "cannot write the pack\n");
        return 1;
    }
    fwb::LanguagePack() = pack;

    QElapsedTimer timer;
    timer.start();
    const QString first = fwb::TranslateText(QStringLiteral("English text number 1999"));
    std::printf("first TranslateText (engine start, pack open): %.1f ms -> %s\n",
                timer.nsecsElapsed() / 1e6, qPrintable(first));

    QList<qint64> lookups;
    for (int i = 0; i < 500; ++i) {
        timer.restart();
        fwb::TranslateText(QStringLiteral("English text number %1").arg(11 + i * 3));
        lookups.append(timer.nsecsElapsed());
    }
    std::printf("TranslateText, median of 500: %.1f us\n", medianMicroseconds(lookups));

    fwb::frmMAIN window(folder.path());
    QList<qint64> forms;
    for (int i = 0; i < 50; ++i) {
        timer.restart();
        fwb::TranslateForm(&window);
        forms.append(timer.nsecsElapsed());
    }
    std::printf("TranslateForm(frmMAIN), median of 50: %.1f us\n", medianMicroseconds(forms));
    return 0;
}
