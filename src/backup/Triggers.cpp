#include "backup/Triggers.h"

#include "jet/DataAccess.h"
#include "language/Translate.h"
#include "platform/FileSystem.h"
#include "platform/Platform.h"
#include "store/MonitorLog.h"
#include "store/Settings.h"
#include "system/Background.h"
#include "system/Numbers.h"

#include <QStringList>
#include <QThread>
#include <atomic>
#include <cmath>
#include <optional>
#include <thread>
#include <vector>

namespace fwb {
namespace {

const QString kSettings = QStringLiteral("Settings");
const QString kGeneral = QStringLiteral("General");
const QString kVersionKey = QStringLiteral("GEN_Version");
const QString kNewVersion = QStringLiteral("[NEWVERSION]");

// A 16-bit whole number as the backup program writes it; fractions round half to even.
std::optional<qint16> toInt16(const QString &text)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    const std::optional<qint64> whole = ok ? RoundedWhole(value, -32768, 32767) : std::nullopt;
    return whole ? std::optional<qint16>(qint16(*whole)) : std::nullopt;
}

std::optional<int> kindNumber(const QString &kind)
{
    const auto number = toInt16(kind);
    return number ? std::optional<int>(*number) : std::nullopt;
}

// One file of the folder that may hold triggers: its stored list, or nothing when it cannot be
// read.
struct SetFile
{
    QString path;
    std::optional<QString> triggers;
    bool database = false;
};

// Database sets are read side by side, each by an engine of its own: a damaged one costs the
// engine reading it its processor limit, and the others need not wait behind it.
void ReadDatabaseSets(QList<SetFile> &sets)
{
    QList<SetFile *> asked;
    for (SetFile &set : sets) {
        if (set.database)
            asked.append(&set);
    }
    std::atomic<qsizetype> next = 0;
    const auto readNext = [&] {
        for (qsizetype i = next++; i < asked.size(); i = next++)
            asked.at(i)->triggers = ReadDatabaseTriggers(asked.at(i)->path);
    };
    const qsizetype others =
        qMin(asked.size(), qsizetype(qBound(2, QThread::idealThreadCount(), 4))) - 1;
    std::vector<std::thread> threads;
    for (qsizetype i = 0; i < others; ++i)
        threads.emplace_back(readNext);
    readNext();
    for (std::thread &thread : threads)
        thread.join();
}

// The files of the folder that are no pre-trigger sets, in name order, with their lists. Reads
// files only, never the window's state, so that it can run on a thread of its own.
QList<SetFile> ReadSetFolder(const FileSystem &files, const QString &folder)
{
    QList<SetFile> sets;
    // Each file is read once per scan and every test asks that one reading; a file that
    // changes during the scan is still judged as one whole.
    const auto judge = [&](const QString &name, const std::optional<QByteArray> &bytes) {
        const ini::ProfileFile set = ini::ProfileFile::fromBytes(bytes);
        if (IsPreTriggerSet(set))
            return;
        if (IsIniBackupSet(set))
            sets.append({folder + name, ReadIniTriggers(set)});
        else
            sets.append({folder + name, std::nullopt, true});
    };
    files.readPlainFiles(folder, QStringLiteral("*.fwb"), ini::kMaxIniFileSize, judge);
    ReadDatabaseSets(sets);
    return sets;
}

} // namespace

bool IsPreTriggerSet(const ini::ProfileFile &set)
{
    if (ReadIniText(set, kSettings, QStringLiteral("BackupFromDiR"), kNewVersion) == kNewVersion)
        return false;
    const auto version = toInt16(ReadIniText(set, kGeneral, kVersionKey, QStringLiteral("0")));
    return version && *version < 25;
}

bool IsIniBackupSet(const ini::ProfileFile &set)
{
    const auto version = toInt16(ReadIniText(set, kGeneral, kVersionKey, QStringLiteral("30")));
    return version && *version < 30;
}

QString ReadIniTriggers(const ini::ProfileFile &set)
{
    return ReadIniText(set, kSettings, QStringLiteral("OPT_AutoRunTriggerDrives"), {});
}

bool IsPreTriggerSet(const QString &path)
{
    return IsPreTriggerSet(ini::ProfileFile::load(path));
}

bool IsIniBackupSet(const QString &path)
{
    return IsIniBackupSet(ini::ProfileFile::load(path));
}

QString ReadIniTriggers(const QString &path)
{
    return ReadIniTriggers(ini::ProfileFile::load(path));
}

std::optional<QString> ReadDatabaseTriggers(const QString &path)
{
    const jet::Query firstRow{QStringLiteral("1"), {QStringLiteral("16")}, {}, 1};
    const auto table = jet::DataAccess::instance().select(path, firstRow);
    if (!table)
        return std::nullopt;
    if (table->rows.isEmpty())
        return QString();
    return table->rows.first().value(0).value_or(QString());
}

QList<TriggerEntry> SplitTriggerList(const QString &setFile, const QString &list)
{
    QList<TriggerEntry> entries;
    // Views, not copies: a scan splits every trigger of every set, and only the three
    // fields kept become texts of their own.
    for (const QStringView piece : QStringView(list).tokenize(QChar(1))) {
        const auto fields = piece.split(QChar(2));
        // A trigger needs its three fields; a shorter one cannot name a drive.
        if (fields.size() < 3)
            continue;
        entries.append(
            {setFile, fields.at(0).toString(), fields.at(1).toString(), fields.at(2).toString()});
    }
    return entries;
}

QList<TriggerEntry> FindTriggerEntries()
{
    const QString folder = settings().BackupSetFolder;
    const FileSystem *files = platform().fileSystem;
    QList<SetFile> sets;
    RunWhileEventsRun([&] { sets = ReadSetFolder(*files, folder); });
    QList<TriggerEntry> entries;
    for (const SetFile &set : std::as_const(sets)) {
        if (set.triggers)
            entries.append(SplitTriggerList(set.path, *set.triggers));
        else
            AddLogEntry(TranslateText(QStringLiteral("The backup set could not be read")) +
                        QStringLiteral(": ") + LogValue(set.path));
    }
    return entries;
}

bool TriggerMatches(const TriggerEntry &entry, const QString &labelText, const QString &serialText)
{
    if (entry.Value == kAnyDriveTrigger)
        return true;
    // A kind that is not a number names neither a serial nor a label.
    const auto kind = kindNumber(entry.Kind);
    return (kind == 0 && entry.Value == serialText) || (kind == 1 && entry.Value == labelText);
}

} // namespace fwb
