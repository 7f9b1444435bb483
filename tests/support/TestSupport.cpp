#include "TestSupport.h"

#include "jet/DataAccess.h"
#include "platform/linux/LinuxFileSystem.h"
#include "program/ProgramState.h"
#include "store/AppPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace fwb::test {
namespace {

// A test that leaves monitoring registered leaves the arrival source running for the next
// one, which then cannot register: every test program must end with the registration clear.
// Made after the program state, so that it is checked before that goes.
struct RegistrationCheckedOnExit
{
    RegistrationCheckedOnExit() { programState(); }
    ~RegistrationCheckedOnExit()
    {
        if (programState().driveNotify.NotifyId == 0)
            return;
        std::fputs("FAIL: the test program ended with the drive-notify registration left "
                   "behind\n",
                   stderr);
        std::_Exit(1);
    }
} g_registrationCheck;

} // namespace

void pressByKey(QWidget *button, const QString &key)
{
    button->setFocus(Qt::TabFocusReason);
    if (key == u"Enter")
        QTest::keyClick(button, Qt::Key_Enter, Qt::KeypadModifier);
    else
        QTest::keyClick(button, key == u"Space" ? Qt::Key_Space : Qt::Key_Return);
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        QFAIL(qPrintable(QStringLiteral("cannot write ") + path));
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

jet::TableData languagePackItems(const QList<QList<jet::Cell>> &rows)
{
    // Index is a long, not an integer, so that a row can hold any index.
    jet::TableData table{"Items", {}, rows, {}};
    for (const char *column : {"Form", "Name", "Text"})
        table.columns.append({QLatin1String(column), jet::ColumnType::Memo});
    for (const char *column : {"Type", "Index"})
        table.columns.append({QLatin1String(column), jet::ColumnType::LongInteger});
    return table;
}

QByteArray triggerList(QByteArray text)
{
    return text.replace(',', '\x02').replace(';', '\x01');
}

void writeBackupSet(const QString &path, const QByteArray &triggers)
{
    writeFile(path, "[General]\r\nGEN_Version=27\r\n[Settings]\r\nOPT_AutoRunTriggerDrives=" +
                        triggerList(triggers) + "\r\n");
}

QStringList shownBoxes(const FakeMessageBoxes &boxes, BoxIcon usual)
{
    QStringList shown;
    for (const FakeMessageBoxes::Box &box : boxes.shown)
        shown += box.title + u'|' + box.text +
                 (box.icon == usual ? QString() : QStringLiteral(" (icon %1)").arg(int(box.icon)));
    return shown;
}

CapturedStandardError::CapturedStandardError() : m_saved(::dup(STDERR_FILENO))
{
    std::fflush(stderr);
    const int fd = ::open(QFile::encodeName(m_dir.filePath(QStringLiteral("stderr"))).constData(),
                          O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(fd, STDERR_FILENO);
    ::close(fd);
}

CapturedStandardError::~CapturedStandardError()
{
    std::fflush(stderr);
    ::dup2(m_saved, STDERR_FILENO);
    ::close(m_saved);
}

QByteArray CapturedStandardError::text() const
{
    std::fflush(stderr);
    return readFile(m_dir.filePath(QStringLiteral("stderr")));
}

GatedEngine::GatedEngine(const QString &folder, const QString &realEngine,
                         const std::function<void()> &atGate)
    : m_script(folder + QStringLiteral("/gated engine")), m_realEngine(realEngine)
{
    writeFile(m_script,
              "#!/bin/sh\ntouch \"$0.waiting\"\nwhile [ ! -e \"$0.open\" ]; do sleep 0.01; "
              "done\nexec '" +
                  QFile::encodeName(realEngine) + "'\n");
    QFile::setPermissions(m_script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    for (const char *mark : {".waiting", ".open"})
        QFile::remove(m_script + QLatin1String(mark));
    jet::DataAccess::instance().shutdown();
    jet::DataAccess::setEnginePath(m_script);
    QObject::connect(&m_poll, &QTimer::timeout, [this, atGate] {
        if (QFile::exists(m_script + QStringLiteral(".waiting"))) {
            m_poll.stop();
            writeFile(m_script + QStringLiteral(".open"), {});
            if (atGate)
                atGate();
        }
    });
    m_poll.start(10);
}

GatedEngine::~GatedEngine()
{
    writeFile(m_script + QStringLiteral(".open"), {});
    jet::DataAccess::instance().shutdown();
    jet::DataAccess::setEnginePath(m_realEngine);
}

void resetProgramState(const QString &programFolder)
{
    ResetProgramState();
    ComputeAppPaths(programFolder);
}

ScopedPlatform::ScopedPlatform()
    : m_saved(platform()), m_fileSystem(std::make_unique<LinuxFileSystem>())
{
    platform().fileSystem = m_fileSystem.get();
    platform().messageBoxes = &boxes;
    platform().instanceGuard = &instanceGuard;
    platform().programStarter = &programStarter;
    platform().volumeQuery = &volumeQuery;
    platform().driveArrivals = &driveArrivals;
    platform().componentHost = &componentHost;
    platform().autoStart = &autoStart;
    platform().notifier = &notifier;
    Clock::setInstance(&clock);
}

ScopedPlatform::~ScopedPlatform()
{
    Clock::setInstance(nullptr);
    platform() = m_saved;
}

} // namespace fwb::test
