#pragma once

#include "platform/Platform.h"
#include "platform/fake/FakeAutoStartStore.h"
#include "platform/fake/FakeComponentHost.h"
#include "platform/fake/FakeDriveArrivalSource.h"
#include "platform/fake/FakeInstanceGuard.h"
#include "platform/fake/FakeMessageBoxes.h"
#include "platform/fake/FakeNotifier.h"
#include "platform/fake/FakeProgramStarter.h"
#include "platform/fake/FakeVolumeQuery.h"
#include "system/Clock.h"

#include <QCoreApplication>
#include <QString>
#include <QTemporaryDir>
#include <memory>

namespace fwb {
class FileSystem;
}

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
    QByteArray text() const;

private:
    QTemporaryDir m_dir;
    int m_saved = -1;
};

// A clock that skips its waits: it lets the pending events run once and then reads the end of
// the wait at once. Between waits it moves with the wall, so stamps still look like now.
class TestClock final : public Clock
{
public:
    QDateTime currentDateTime() const override
    {
        return QDateTime::fromMSecsSinceEpoch(currentMSecsSinceEpoch());
    }
    qint64 currentMSecsSinceEpoch() const override
    {
        return QDateTime::currentMSecsSinceEpoch() + m_skipped;
    }
    void runEventsUntil(qint64 endMs) override
    {
        QCoreApplication::processEvents();
        m_skipped += std::max<qint64>(0, endMs - currentMSecsSinceEpoch());
    }

private:
    qint64 m_skipped = 0;
};

// Resets the program-wide state and computes the paths of a program started from
// `programFolder`.
void resetProgramState(const QString &programFolder);

// For the life of a test: fakes of every platform service but the file system (the real one,
// over temporary folders), and a clock that skips its waits.
class ScopedPlatform
{
public:
    ScopedPlatform();
    ~ScopedPlatform();

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
