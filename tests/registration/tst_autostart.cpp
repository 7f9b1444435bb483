#include "TestSupport.h"
#include "registration/AutoStart.h"
#include "store/AppPaths.h"

#include <QTest>

using namespace fwb;

namespace {

using Kind = AutoStartStore::Entry::Kind;

const QString kAgent = QStringLiteral("/opt/Ferrow Backup/fwbagent");

} // namespace

Q_DECLARE_METATYPE(Kind)

class tst_AutoStart : public QObject
{
    Q_OBJECT

    std::unique_ptr<test::ScopedPlatform> m_platform;
    FakeAutoStartStore &store() { return m_platform->autoStart; }

private Q_SLOTS:
    void init()
    {
        m_platform = std::make_unique<test::ScopedPlatform>();
        appPaths() = {};
        appPaths().AgentExePath = kAgent;
    }
    void cleanup() { m_platform.reset(); }

    void registered_data()
    {
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QString>("program");
        QTest::addColumn<bool>("registered");
        QTest::newRow("no entry") << Kind::Missing << QString() << false;
        QTest::newRow("own path") << Kind::Program << kAgent << true;
        QTest::newRow("other letter case") << Kind::Program << kAgent.toUpper() << false;
        QTest::newRow("in quotes") << Kind::Program << '"' + kAgent + '"' << false;
        QTest::newRow("moved program") << Kind::Program << "/old/place/fwbagent" << false;
        QTest::newRow("own path, switched off or with arguments") << Kind::Other << kAgent << false;
        QTest::newRow("cut at a NUL") << Kind::Program << kAgent + QChar(0) + "junk" << true;
    }
    void registered()
    {
        QFETCH(Kind, kind);
        QFETCH(QString, program);
        QFETCH(bool, registered);
        store().entry = {kind, program};
        QCOMPARE(IsAutoStartRegistered(), registered);
        QVERIFY(store().changes.isEmpty());
    }

    void readsTheDefaultWithoutAUsableValue()
    {
        const QString run = RunKeyPath();
        const QString name = AutoStartValueName();
        QCOMPARE(run, QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Run"));
        QCOMPARE(name, QStringLiteral("Ferrow Backup Agent"));
        const auto read = [](const QString &key, const QString &value) {
            return GetRegString(RegistryRoot::CurrentUser, key, value, QStringLiteral("[noentry]"));
        };
        QCOMPARE(read(run, name), QStringLiteral("[noentry]"));
        store().entry = {Kind::Other, kAgent};
        QCOMPARE(read(run, name), QStringLiteral("[noentry]"));
        store().entry = {Kind::Program, kAgent};
        QCOMPARE(read(run, name), kAgent);
        // Registry keys and value names do not depend on letter case.
        QCOMPARE(read(run.toLower(), name.toUpper()), kAgent);
        QCOMPARE(read(run, QStringLiteral("Another Program")), QStringLiteral("[noentry]"));
        QCOMPARE(read(run + QStringLiteral("Once"), name), QStringLiteral("[noentry]"));
    }

    void registerWritesTheOwnPath()
    {
        store().entry = {Kind::Program, QStringLiteral("/old/place/fwbagent")};
        RegisterAutoStart();
        QCOMPARE(store().changes, QStringList{"write " + kAgent});
        QVERIFY(IsAutoStartRegistered());
    }

    void unregisterRemovesAndMissingStaysMissing()
    {
        store().entry = {Kind::Program, kAgent};
        UnregisterAutoStart();
        QVERIFY(!IsAutoStartRegistered());
        UnregisterAutoStart();
        QCOMPARE(store().changes, (QStringList{"remove", "remove"}));
        QCOMPARE(store().entry.kind, Kind::Missing);
    }

    void otherValuesAreNeverWritten()
    {
        SetRegString(RegistryRoot::CurrentUser, RunKeyPath(), QStringLiteral("Another Program"),
                     kAgent);
        DeleteRegValue(RegistryRoot::CurrentUser, QStringLiteral("Software\\Other"),
                       AutoStartValueName());
        QVERIFY(store().changes.isEmpty());
    }

    // The helpers report nothing; a refused change shows only in the read-back.
    void refusedChangesShowInTheReadBack()
    {
        store().refuseWrites = true;
        RegisterAutoStart();
        QVERIFY(!IsAutoStartRegistered());
        store().entry = {Kind::Program, kAgent};
        store().refuseRemoves = true;
        UnregisterAutoStart();
        QVERIFY(IsAutoStartRegistered());
    }

    void withoutAStoreNothingIsRegistered()
    {
        platform().autoStart = nullptr;
        RegisterAutoStart();
        UnregisterAutoStart();
        QVERIFY(!IsAutoStartRegistered());
    }
};

QTEST_GUILESS_MAIN(tst_AutoStart)
#include "tst_autostart.moc"
