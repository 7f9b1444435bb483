#include "TestSupport.h"
#include "jet/DataAccess.h"
#include "jet/writer/JetWriter.h"
#include "language/LanguagePack.h"
#include "language/Translate.h"
#include "store/AppPaths.h"
#include "store/Settings.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

using namespace fwb;
using jet::Cell;
using Rows = QList<QList<Cell>>;

namespace {

const Cell null = std::nullopt;

// One Items row: Form, Name, Text, Type, Index.
QList<Cell> item(Cell form, Cell name, Cell translated, Cell type, Cell index = null)
{
    return {form, name, translated, type, index};
}

jet::TableData itemsTable(const QList<QList<Cell>> &rows)
{
    return {QStringLiteral("Items"),
            {{QStringLiteral("Form"), jet::ColumnType::Text},
             {QStringLiteral("Name"), jet::ColumnType::Memo},
             {QStringLiteral("Text"), jet::ColumnType::Memo},
             {QStringLiteral("Type"), jet::ColumnType::LongInteger},
             // Long, not Integer, so a row can hold an index outside 16 bits.
             {QStringLiteral("Index"), jet::ColumnType::LongInteger}},
            rows};
}

template <typename T> T *named(T *object, const char *name)
{
    object->setObjectName(QLatin1String(name));
    return object;
}

// A form with the kinds of controls packs address.
struct TestForm
{
    QWidget form;
    QLabel *label = named(new QLabel(QStringLiteral("Status:"), &form), "LB_Status");
    QPushButton *button = named(new QPushButton(QStringLiteral("&Quit"), &form), "CB_Quit");
    QGroupBox *frame = named(new QGroupBox(QStringLiteral("Window"), &form), "FR_Window");
    QLineEdit *lineEdit = named(new QLineEdit(QStringLiteral("line"), &form), "TX_Line");
    QPlainTextEdit *log = named(new QPlainTextEdit(QStringLiteral("log"), &form), "TX_Log");
    QAction *action = named((new QMenu(&form))->addAction(QStringLiteral("Open")), "CM_Open");
    QList<QRadioButton *> options;

    // Every caption, in the order the controls are made.
    QStringList captions() const
    {
        return {label->text(),      button->text(),     frame->title(),
                lineEdit->text(),   log->toPlainText(), action->text(),
                options[0]->text(), options[1]->text(), options[2]->text()};
    }

    TestForm()
    {
        form.setObjectName(QStringLiteral("frmTEST"));
        for (int i = 0; i < 3; ++i) {
            options.append(
                named(new QRadioButton(QStringLiteral("option %1").arg(i), frame), "RB_Mode"));
            options.last()->setProperty("Index", i);
        }
    }
};

} // namespace

class tst_Language : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<test::ScopedPlatform> m_platform;

    // Writes a pack and opens it as the program does at start-up.
    void openPack(const QList<QList<Cell>> &rows)
    {
        const QString name = QStringLiteral("Test %1.lng").arg(++m_packs);
        QString error;
        QVERIFY2(
            jet::writeDatabase(appPaths().LanguagePacksFolder + name, {itemsTable(rows)}, &error),
            qPrintable(error));
        settings().CurrentLanguage = name;
        QVERIFY(OpenLanguagePack());
    }
    int m_packs = 0;

private Q_SLOTS:
    void initTestCase()
    {
        jet::DataAccess::setEnginePath(QStringLiteral(FWB_JET_ENGINE));
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir().mkpath(m_dir.path() + QStringLiteral("/Language Packs")));
    }
    void init()
    {
        m_platform = std::make_unique<test::ScopedPlatform>();
        test::resetProgramState(m_dir.path());
    }
    void cleanup() { m_platform.reset(); }

    void noPackKeepsEnglish_data()
    {
        QTest::addColumn<QString>("language");
        QTest::newRow("no setting") << QString();
        QTest::newRow("missing file") << "Klingon.lng";
        QTest::newRow("not a database") << "broken.lng";
        QTest::newRow("a folder") << "folder.lng";
    }
    void noPackKeepsEnglish()
    {
        QFETCH(QString, language);
        test::writeFile(appPaths().LanguagePacksFolder + QStringLiteral("broken.lng"),
                        QByteArray(8192, 'x'));
        QDir().mkpath(appPaths().LanguagePacksFolder + QStringLiteral("folder.lng"));
        settings().CurrentLanguage = language;
        QVERIFY(!OpenLanguagePack());
        QCOMPARE(TranslateText(QStringLiteral("Auto-size Error")),
                 QStringLiteral("Auto-size Error"));
        TestForm form;
        TranslateForm(&form.form);
        QCOMPARE(form.captions(), TestForm().captions()); // untranslated
    }

    void translateText_data()
    {
        QTest::addColumn<Rows>("rows");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        const auto global = [](Cell name, Cell translated) {
            return item("GLOBAL", name, translated, "0");
        };
        QTest::newRow("not in pack") << Rows{global("Quit", "Avsluta")} << "Open"
                                     << "Open";
        QTest::newRow("line breaks") << Rows{global("Two lines", "En§§två§§§§tre§§")} << "Two lines"
                                     << "En\r\ntvå\r\n\r\ntre\r\n";
        QTest::newRow("odd section sign kept") << Rows{global("Para", "§1 §§§")} << "Para"
                                               << "§1 \r\n§";
        QTest::newRow("other case used without exact row")
            << Rows{global("NO LABEL", "Ingen etikett")} << "No label"
            << "Ingen etikett";
        QTest::newRow("first of several other-case rows")
            << Rows{global("NO LABEL", "först"), global("no LABEL", "sist")} << "No label"
            << "först";
        QTest::newRow("exact case preferred")
            << Rows{global("NO LABEL", "versaler"), global("No label", "Ingen etikett"),
                    global("no label", "gemener")}
            << "No label"
            << "Ingen etikett";
        QTest::newRow("double quote breaks the query")
            << Rows{global("Say \"hi\"", "Säg hej")} << "Say \"hi\""
            << "Say \"hi\"";
        QTest::newRow("null text gives english") << Rows{global("Drive", null)} << "Drive"
                                                 << "Drive";
        QTest::newRow("empty text is a translation")
            << Rows{global("Drive", "")} << "Drive" << QString();
        QTest::newRow("a row without type is no global text")
            << Rows{item("GLOBAL", "Quit", "Sluta", null)} << "Quit"
            << "Quit";
        QTest::newRow("form rows are not global")
            << Rows{item("AGENT_frmMAIN", "Quit", "Avsluta", "1", "-1"),
                    item("GLOBAL", "Quit", "Sluta", "1")}
            << "Quit"
            << "Quit";
        QTest::newRow("trailing blank is part of the key")
            << Rows{global("Main FW Backup program file not found. ", "saknas. ")}
            << "Main FW Backup program file not found."
            << "Main FW Backup program file not found.";
    }
    void translateText()
    {
        QFETCH(Rows, rows);
        QFETCH(QString, key);
        openPack(rows);
        QTEST(TranslateText(key), "expected");
    }

    // Lookups are answered from the rows read when the pack opened, so they need no engine;
    // a changed file is read again, deleted rows and all.
    void packReadOnceAndAgainWhenChanged()
    {
        const auto global = [](const char *name, const char *translated) {
            return item("GLOBAL", name, translated, "0");
        };
        openPack({global("Quit", "Avsluta"), global("Open", "Öppna")});
        jet::DataAccess::instance().shutdown();
        jet::DataAccess::setEnginePath(m_dir.filePath(QStringLiteral("no engine")));
        QCOMPARE(TranslateText(QStringLiteral("Quit")), QStringLiteral("Avsluta"));
        QCOMPARE(LoadFormItems(QStringLiteral("frmTEST")).size(), 0);
        jet::DataAccess::setEnginePath(QStringLiteral(FWB_JET_ENGINE));

        jet::TableData changed = itemsTable(
            {global("Quit", "gone"), global("Quit", "Sluta"), global("Open", "gone too")});
        changed.deletedRows = {0, 2};
        QVERIFY(jet::writeDatabase(LanguagePack(), {changed}));
        QCOMPARE(TranslateText(QStringLiteral("Quit")), QStringLiteral("Sluta"));
        QCOMPARE(TranslateText(QStringLiteral("Open")), QStringLiteral("Open"));
    }

    void translateForm()
    {
        const auto row = [](const char *name, const char *translated, const char *type,
                            const char *index) {
            return item("AGENT_frmTEST", name, translated, type, index);
        };
        openPack({row("LB_Status", "Läge:", "1", "-1"), row("CB_Quit", "&Sluta", "1", "-1"),
                  row("CB_Quit", "A&vsluta", "1", "-1"), // a later row wins
                  row("FR_Window", "Fönster", "1", "-1"), row("TX_Line", "rad", "2", "-1"),
                  row("TX_Log", "logg§§rad", "2", "-1"), row("CM_Open", "Öppna", "1", "-1"),
                  row("RB_Mode", "andra", "1", "1"),
                  row("RB_Mode", "fel", "1", "-1"),   // an array needs its index
                  row("RB_Mode", "femte", "1", "5"),  // no such element
                  row("CB_Quit", "fel", "1", "2"),    // not an array
                  row("LB_Status", "fel", "3", "-1"), // unknown type
                  row("TX_Line", "fel", "1", "-1"),   // a text box has no caption
                  row("LB_Missing", "fel", "1", "-1"),
                  item("AGENT_frmOTHER", "LB_Status", "fel", "1", "-1")});
        TestForm form;
        TranslateForm(&form.form);
        QCOMPARE(form.captions(), QStringList({"Läge:", "A&vsluta", "Fönster", "rad", "logg§§rad",
                                               "Öppna", "option 0", "andra", "option 2"}));
    }

    void formLeftWholeOnBadRow_data()
    {
        QTest::addColumn<QList<Cell>>("badRow");
        const auto row = [](Cell name, Cell translated, Cell type, Cell index) {
            return item("AGENT_frmTEST", name, translated, type, index);
        };
        QTest::newRow("null index") << row("LB_Status", "x", "1", null);
        QTest::newRow("null text") << row("LB_Status", null, "1", "-1");
        QTest::newRow("null name") << row(null, "x", "1", "-1");
        QTest::newRow("index out of 16 bits") << row("LB_Status", "x", "1", "32768");
    }
    void formLeftWholeOnBadRow()
    {
        QFETCH(QList<Cell>, badRow);
        openPack({item("AGENT_frmTEST", "CB_Quit", "A&vsluta", "1", "-1"), badRow});
        QCOMPARE(LoadFormItems(QStringLiteral("frmTEST")).size(), 0);
        TestForm form;
        TranslateForm(&form.form);
        QCOMPARE(form.captions(), TestForm().captions()); // untranslated
    }

    void formItemsInStoredOrder()
    {
        openPack({item("AGENT_frmTEST", "B", "b", "2", "-1"),
                  item("agent_FRMtest", "A", "a", "1", "-32768"),
                  item("AGENT_frmTEST", "C", "c", "0", "-1"),
                  item("AGENT_frmTEST", "D", "d", null, "-1")});
        const QList<FormItem> items = LoadFormItems(QStringLiteral("frmTEST"));
        // Type 0 rows are global texts; a row without type passes neither Type=0 nor its
        // negation.
        QCOMPARE(items.size(), 2);
        QCOMPARE(items[0].Name, QStringLiteral("B"));
        QCOMPARE(items[1].Name, QStringLiteral("A"));
        QCOMPARE(items[1].Index, std::int16_t(-32768));
    }
};

QTEST_MAIN(tst_Language)
#include "tst_language.moc"
