#pragma once

#include "jet/writer/JetWriter.h"
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
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

// main() of a test some of whose functions need what a machine may lack (see runTests()).
#define FWB_TEST_MAIN(Application, TestClass, ...)                                                 \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        return fwb::test::runTests<Application, TestClass>(argc, argv, __VA_ARGS__);               \
    }

namespace fwb {
class FileSystem;
}

namespace fwb::test {

// Why a test function cannot run here, or the empty text; asked about "", what all of them need.
using Precondition = QString (*)(const QByteArray &function);
// For tests that need nothing a machine may lack: they still exit with 1, never with Qt's
// failure count, which could read as the skip code.
inline QString runsEverywhere(const QByteArray &)
{
    return {};
}

// Runs a test (after `first`), or skips it as tests/CMakeLists.txt says when `precondition`
// answers for the last function named on the command line (or ""). Any failure exits with 1.
template <class Application, class TestClass>
int runTests(int argc, char *argv[], Precondition precondition, QString (*first)() = nullptr)
{
    if (first)
        first();
    Application app(argc, argv);
    const QByteArray last = argc > 1 ? QByteArray(argv[argc - 1]).split(':').first() : "";
    if (const QString why = precondition(last.startsWith('-') ? "" : last); !why.isEmpty()) {
        qInfo("%s: skipped, cannot run here: %s", argv[0], qPrintable(why));
        return FWB_SKIP_EXIT_CODE;
    }
    TestClass test;
    return QTest::qExec(&test, argc, argv) == 0 ? 0 : 1;
}

// Presses `button` from the keyboard once it has the focus: "Return", "Enter" (the keypad's) or
// "Space".
void pressByKey(QWidget *button, const QString &key);

// Writes `bytes` to `path`, creating parent folders. Fails the test on error.
void writeFile(const QString &path, const QByteArray &bytes);
QByteArray readFile(const QString &path);

// A language pack's table of texts: rows of Form, Name, Text, Type and Index.
jet::TableData languagePackItems(const QList<QList<jet::Cell>> &rows);

// A trigger list written with ',' between a trigger's fields and ';' between triggers.
QByteArray triggerList(QByteArray text);
// An ini backup set at `path` with the trigger list `triggers` (see triggerList()).
void writeBackupSet(const QString &path, const QByteArray &triggers);

// Each box shown as "title|text", followed by its icon's number where that is not `usual`.
QStringList shownBoxes(const FakeMessageBoxes &boxes, BoxIcon usual);

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

// For its life, data-access engines that wait at a gate before they become `realEngine`; the
// gate opens from the event loop once one waits there, and then `atGate` runs. For showing that
// the program goes on handling its events while it waits for an engine.
class GatedEngine
{
public:
    GatedEngine(const QString &folder, const QString &realEngine,
                const std::function<void()> &atGate = {});
    ~GatedEngine();

private:
    QString m_script;
    QString m_realEngine;
    QTimer m_poll;
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
