#include "TestSupport.h"
#include "registration/ComponentRegistration.h"
#include "store/AppPaths.h"

#include <QTest>

using namespace fwb;
using Style = ComponentHost::WindowStyle;

class tst_Components : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<test::ScopedPlatform> m_platform;
    QString m_common;

    FakeComponentHost &host() { return m_platform->componentHost; }
    QString daoPath() const
    {
        return m_common + QStringLiteral("/Microsoft Shared\\DAO\\dao360.dll");
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_platform = std::make_unique<test::ScopedPlatform>();
        ComputeAppPaths(m_dir->path() + QStringLiteral("/app"));
        m_common = m_dir->path() + QStringLiteral("/Common Files");
        QDir().mkpath(m_common);
        host().commonFilesFolder = m_common;
    }
    void cleanup() { m_platform.reset(); }

    void daoAbsentIsCopiedThenEveryComponentAsked()
    {
        host().failingLibraries.insert(QStringLiteral("COMCAT.DLL"), 0x80004005L);
        host().failingLibraries.insert(QStringLiteral("SAWZipNG.dll"), -1);
        RegisterComponents();

        QCOMPARE(host().copies,
                 QStringList{appPaths().AppFolder + QStringLiteral("dao360.dll -> ") + daoPath()});
        QCOMPARE(host().registered,
                 (QStringList{"ccrpbds6.dll", "COMCAT.DLL", "COMDLG32.OCX", "DCSysTray.ocx",
                              "mscomctl.ocx", "msvbvm60.dll", "OLEAUT32.DLL", "OLEPRO32.DLL",
                              "Schedule.dll", "scrrun.dll", "SAWZipNG.dll"}));
        QCOMPARE(host().commands.size(), 3);
        QCOMPARE(host().commands[0].commandLine,
                 QStringLiteral("regsvr32 /s \"") + daoPath() + u'"');
        QCOMPARE(host().commands[0].style, Style::MinimizedWithFocus);
        QCOMPARE(host().commands[1].commandLine, QStringLiteral("regsvr32 COMCAT.DLL"));
        QCOMPARE(host().commands[1].style, Style::Hidden);
        QCOMPARE(host().commands[2].commandLine, QStringLiteral("regsvr32 SAWZipNG.dll"));
    }

    void daoPresentIsNotCopied()
    {
        test::writeFile(daoPath(), "dao");
        RegisterComponents();
        QVERIFY(host().copies.isEmpty());
        QCOMPARE(host().commands.size(), 1);
        QCOMPARE(host().commands[0].commandLine,
                 QStringLiteral("regsvr32 /s \"") + daoPath() + u'"');
    }

    void failedCopyStillRegisters()
    {
        host().copySucceeds = false;
        RegisterComponents();
        QCOMPARE(host().copies.size(), 1);
        QCOMPARE(host().commands.size(), 1);
    }

    void withoutCommonFilesFolder()
    {
        host().commonFilesFolder.clear();
        RegisterComponents();
        QCOMPARE(host().commands.first().commandLine,
                 QStringLiteral("regsvr32 /s \"\\Microsoft Shared\\DAO\\dao360.dll\""));
        QCOMPARE(host().commands.size(), 1);
    }
};

QTEST_GUILESS_MAIN(tst_Components)
#include "tst_components.moc"
