// Prints the time of one TranslateText, of translating the main window and of the first lookup
// after a pack is opened (when its rows are read), with language packs of 2,000 and 20,000
// rows. The target for one TranslateText is under 20 us with either.
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

fwb::jet::TableData packOf(int rowCount)
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
    for (int i = items.rows.size(); i < rowCount; ++i)
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
    fwb::frmMAIN window(folder.path());
    for (const int rowCount : {2000, 20000}) {
        const QString pack = folder.path() + QStringLiteral("/Bench %1.lng").arg(rowCount);
        if (!jet::writeDatabase(pack, {packOf(rowCount)})) {
            std::fprintf(stderr, "cannot write the pack\n");
            return 1;
        }
        fwb::LanguagePack() = pack;
        std::printf("pack of %d rows:\n", rowCount);

        QElapsedTimer timer;
        timer.start();
        const QString last = QStringLiteral("English text number %1").arg(rowCount - 1);
        const QString first = fwb::TranslateText(last);
        std::printf("  first TranslateText after opening (rows read%s): %.1f ms -> %s\n",
                    rowCount == 2000 ? ", engine started" : "", timer.nsecsElapsed() / 1e6,
                    qPrintable(first));

        QList<qint64> lookups;
        for (int i = 0; i < 2000; ++i) {
            const QString key = QStringLiteral("English text number %1").arg(11 + i * 7 % rowCount);
            timer.restart();
            fwb::TranslateText(key);
            lookups.append(timer.nsecsElapsed());
        }
        std::printf("  TranslateText, median of 2000: %.2f us\n", medianMicroseconds(lookups));

        QList<qint64> forms;
        for (int i = 0; i < 50; ++i) {
            timer.restart();
            fwb::TranslateForm(&window);
            forms.append(timer.nsecsElapsed());
        }
        std::printf("  TranslateForm(frmMAIN), median of 50: %.1f us\n", medianMicroseconds(forms));
    }
    return 0;
}
