#pragma once

#include "store/IniFile.h"

#include <QList>
#include <QString>
#include <optional>

namespace fwb {

// One stored trigger of a backup set: which drive starts it.
struct TriggerEntry
{
    QString SetFile; // full path of the backup-set file
    QString Extra;   // the backup program's own field, carried along
    QString Kind;    // "0": Value is a serial text, "1": a label text
    QString Value;
};

// The value that matches every drive.
inline const QString kAnyDriveTrigger = QStringLiteral("\\trigger\\on\\any\\drive");

// Every trigger stored in the backup-set files of the watched folder, read afresh. The folder
// is read on a thread of its own while the window's events run; each database set that cannot
// be read gets a monitor-log entry, in file order, once the whole folder has been read.
QList<TriggerEntry> FindTriggerEntries();
bool TriggerMatches(const TriggerEntry &entry, const QString &labelText, const QString &serialText);

bool IsPreTriggerSet(const QString &path);
bool IsIniBackupSet(const QString &path);
QString ReadIniTriggers(const QString &path);
// The same tests on a set file already read.
bool IsPreTriggerSet(const ini::ProfileFile &set);
bool IsIniBackupSet(const ini::ProfileFile &set);
QString ReadIniTriggers(const ini::ProfileFile &set);
// The trigger list of a database set, empty when the file holds none; nothing when it cannot be
// read. Safe to call from any thread.
std::optional<QString> ReadDatabaseTriggers(const QString &path);

// Splits a stored trigger list into entries of `setFile`.
QList<TriggerEntry> SplitTriggerList(const QString &setFile, const QString &list);

} // namespace fwb
