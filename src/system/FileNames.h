#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

class QProcess;

namespace fwb {

// File names on Linux are bytes. Qt reads them as UTF-8 and turns each byte that is no part of
// valid UTF-8 into U+FFFD, so a folder named in Latin-1 ("\xD6") could never be found again.
// These keep such a byte as the lone surrogate U+DC80 + byte instead, as Python's
// "surrogateescape" does: every name survives the round trip, and valid UTF-8 reads as ever.
// Qt's own file classes cannot take such a name; the system is reached with these bytes.
QString DecodeFileName(QByteArrayView bytes);
QByteArray EncodeFileName(QStringView name);

// The folder of the running program file, named as the file system names it: Qt's own
// applicationDirPath() is empty for a folder whose name is not valid UTF-8.
QString RunningProgramFolder();

// QProcess passes its program and arguments through Qt's lossy UTF-8 as well: called after
// they are set, this has the started child execute them byte for byte instead.
void KeepRawNamesWhenStarting(QProcess &process);

} // namespace fwb
