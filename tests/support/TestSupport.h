#pragma once

#include <QString>
#include <QTemporaryDir>

namespace fwb::test {

// Writes `bytes` to `path`, creating parent folders. Fails the test on error.
void writeFile(const QString &path, const QByteArray &bytes);
QByteArray readFile(const QString &path);

// Everything this process writes to standard error while it lives goes to a file instead.
class CapturedStandardError
{
public:
    CapturedStandardError();
    ~CapturedStandardError();
    CapturedStandardError(const CapturedStandardError &) = delete;
    CapturedStandardError &operator=(const CapturedStandardError &) = delete;
    QByteArray text() const;

private:
    QTemporaryDir m_dir;
    int m_saved = -1;
};

} // namespace fwb::test

#include "TestClock.h"
#include "platform/Platform.h"
#include "platform/fake/FakeAutoStartStore.h"
#include "platform/fake/FakeComponentHost.h"
#include "platform/fake/FakeDriveArrivalSource.h"
#include "platform/fake/FakeInstanceGuard.h"
#include "platform/fake/FakeMessageBoxes.h"
#include "platform/fake/FakeNotifier.h"
#include "platform/fake/FakeProgramStarter.h"
#include "platform/fake/FakeVolumeQuery.h"

#include <memory>

namespace fwb {
class FileSystem;
}

namespace fwb::test {

// Clears the program-wide state (settings, paths, the dialog's decision, the open language
// pack) and computes the paths of a program started from `programFolder`.
void resetProgramState(const QString &programFolder);

// Installs fakes of every platform service but the file system (the real one, over temporary
// folders), and a clock that skips its waits, for the life of a test, then puts back what was
// there.
class ScopedPlatform
{
public:
    ScopedPlatform();
    ~ScopedPlatform();
    ScopedPlatform(const ScopedPlatform &) = delete;
    ScopedPlatform &operator=(const ScopedPlatform &) = delete;

    FakeMessageBoxes boxes;
    FakeInstanceGuard instanceGuard;
    FakeProgramStarter programStarter;
    FakeVolumeQuery volumeQuery;
    FakeDriveArrivalSource driveArrivals;
    FakeComponentHost componentHost;
    FakeAutoStartStore autoStart;
    FakeNotifier notifier;
    TestClock clock;

private:
    Platform m_saved;
    std::unique_ptr<FileSystem> m_fileSystem;
};

} // namespace fwb::test
