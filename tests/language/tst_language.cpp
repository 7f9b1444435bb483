#include "TestSupport.h"
#include "jet/DataAccess.h"
#include "jet/writer/JetWriter.h"
#include "language/LanguagePack.h"
#include "language/Translate.h"
#include "shell/frmMAIN.h"
#include "store/AppPaths.h"
#include "store/Settings.h"

#include <QDirIterator>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>

using namespace fwb;
using jet::Cell;

namespace {

const Cell null = std::nullopt;

QList<Cell> global(Cell name, Cell text, Cell type = "0")
{
    return {"GLOBAL", name, text, type, null};
}

QList<Cell> control(Cell name, Cell text, Cell type = "1", Cell index = "-1",
                    Cell form = "AGENT_frmTEST")
{
    return {form, name, text, type, index};
}

jet::TableData items(const QList<QList<Cell>> &rows)
{
    return {"Items",
            {{"Form", jet::ColumnType::Text},
             {"Name", jet::ColumnType::Memo},
             {"Text", jet::ColumnType::Memo},
             {"Type", jet::ColumnType::LongInteger},
             // Long, not Integer, so a row can hold any index.
             {"Index", jet::ColumnType::LongInteger}},
            rows};
}

// A form with the kinds of controls packs address.
std::unique_ptr<QWidget> testForm(const QString &name = QStringLiteral("frmTEST"))
{
    auto form = std::make_unique<QWidget>();
    form->setObjectName(name);
    auto *frame = new QGroupBox(QStringLiteral("Window"), form.get());
    const std::pair<QObject *, const char *> controls[] = {
        {new QLabel(QStringLiteral("Status:"), form.get()), "LB_Status"},
        {new QPushButton(QStringLiteral("&Quit"), form.get()), "CB_Quit"},
        {frame, "FR_Window"},
        {new QLineEdit(QStringLiteral("line"), form.get()), "TX_Line"},
        {new QPlainTextEdit(QStringLiteral("log"), form.get()), "TX_Log"},
        {(new QMenu(form.get()))->addAction(QStringLiteral("Open")), "CM_Open"}};
    for (const auto &[object, objectName] : controls)
        object->setObjectName(QLatin1String(objectName));
    for (int i = 0; i < 3; ++i) {
        auto *option = new QRadioButton(QStringLiteral("option %1").arg(i), frame);
        option->setObjectName(QStringLiteral("RB_Mode"));
        option->setProperty("Index", i);
    }
    return form;
}

// Every named control's caption or text.
QStringList captions(const QWidget &form)
{
    QStringList captions;
    for (const QObject *object : form.findChildren<QObject *>(QRegularExpression("^[A-Z]{2}_"))) {
        for (const char *property : {"title", "plainText", "text"}) {
            if (const QVariant value = object->property(property); value.isValid()) {
                captions.append(value.toString());
                break;
            }
        }
    }
    return captions;
}

// Every key the program passes to TranslateText as one literal (adjacent literals joined).
QStringList translatedKeys()
{
    QStringList keys;
    static const QRegularExpression call(
        R"re(TranslateText\(\s*QStringLiteral\(((?:\s*"(?:[^"\\]|\\.)*")+)\s*\)\s*\))re");
    static const QRegularExpression literal(R"re("((?:[^"\\]|\\.)*)")re");
    for (QDirIterator files(FWB_SOURCE_DIR "/src", {"*.cpp"}, QDir::Files,
                            QDirIterator::Subdirectories);
         files.hasNext();) {
        for (const auto &match : call.globalMatch(test::readFile(files.next()))) {
            keys.append(QString());
            for (const auto &piece : literal.globalMatch(match.captured(1)))
                keys.last() += piece.captured(1).replace(QRegularExpression("\\\\(.)"), "\\1");
        }
    }
    return keys;
}

} // namespace

class tst_Language : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<test::ScopedPlatform> m_platform;
    int m_packs = 0;

    // Writes a pack and opens it as the program does at start-up.
    void openPack(const QList<QList<Cell>> &rows)
    {
        const QString name = QStringLiteral("Test %1.lng").arg(++m_packs);
        QVERIFY(jet::writeDatabase(appPaths().LanguagePacksFolder + name, {items(rows)}));
        settings().CurrentLanguage = name;
        QVERIFY(OpenLanguagePack());
    }

    // Lookups and forms share one pack, so every row of it must stay out of the others' way.
    void openSharedPack()
    {
        openPack(
            {global("Two lines", "En§§två§§§§tre§§"), global("Para", "§1 §§§"),
             global("NO LABEL", "först"), global("no LABEL", "sist"), global("EXACT", "versaler"),
             global("Exact", "Exakt"), global("exact", "gemener"), global("Say \"hi\"", "Säg hej"),
             global("Drive", null), global("Empty", ""), global("Untyped", "Otypad", null),
             global("Quit", "Sluta", "1"), control("Quit", "Avsluta", "1", "-1", "AGENT_frmMAIN"),
             global("Main FW Backup program file not found. ", "saknas. "),
             control("LB_Status", "Läge:"), control("CB_Quit", "&Sluta"),
             control("CB_Quit", "A&vsluta"), // a later row wins
             control("FR_Window", "Fönster"), control("TX_Line", "rad", "2"),
             control("TX_Log", "logg§§rad", "2"), control("CM_Open", "Öppna"),
             control("RB_Mode", "andra", "1", "1"),
             control("RB_Mode", "fel"),             // an array needs its index
             control("RB_Mode", "femte", "1", "5"), // no such element
             control("CB_Quit", "fel", "1", "2"),   // not an array
             control("LB_Status", "fel", "3"),      // unknown type
             control("TX_Line", "fel"),             // a text box has no caption
             control("LB_Missing", "fel"), control("LB_Status", "fel", "1", "-1", "AGENT_frmX"),
             // A bad row leaves its whole form untranslated.
             control("LB_Status", "x", "1", null, "AGENT_frmBAD1"),
             control("CB_Quit", "A&vsluta", "1", "-1", "AGENT_frmBAD1"),
             control("LB_Status", null, "1", "-1", "AGENT_frmBAD2"),
             control("CB_Quit", "A&vsluta", "1", "-1", "AGENT_frmBAD2"),
             control(null, "x", "1", "-1", "AGENT_frmBAD3"),
             control("CB_Quit", "A&vsluta", "1", "-1", "AGENT_frmBAD3"),
             control("LB_Status", "x", "1", "32768", "AGENT_frmBAD4"),
             control("CB_Quit", "A&vsluta", "1", "-1", "AGENT_frmBAD4"),
             // Type 0 rows are global texts; a row without type passes neither Type = 0
             // nor its negation.
             control("B", "b", "2", "-1", "AGENT_frmORDER"),
             control("A", "a", "1", "-32768", "agent_FRMorder"),
             control("C", "c", "0", "-1", "AGENT_frmORDER"),
             control("D", "d", null, "-1", "AGENT_frmORDER")});
    }

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

    void noPackKeepsEnglish()
    {
        test::writeFile(appPaths().LanguagePacksFolder + "broken.lng", QByteArray(8192, 'x'));
        QVERIFY(QDir().mkpath(appPaths().LanguagePacksFolder + "folder.lng"));
        for (const char *language : {"", "Klingon.lng", "broken.lng", "folder.lng"}) {
            settings().CurrentLanguage = QLatin1String(language);
            QVERIFY2(!OpenLanguagePack(), language);
            QCOMPARE(TranslateText("Auto-size Error"), "Auto-size Error");
            const auto form = testForm();
            TranslateForm(form.get());
            QCOMPARE(captions(*form), captions(*testForm()));
        }
    }

    void translateText_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *key, const char *expected) {
            QTest::newRow(key) << QString::fromUtf8(key) << QString::fromUtf8(expected);
        };
        row("Open", "Open"); // not in the pack
        row("Two lines", "En\r\ntvå\r\n\r\ntre\r\n");
        row("Para", "§1 \r\n§");
        row("No label", "först");        // the first of the rows in another case
        row("Exact", "Exakt");           // before rows in another case
        row("Say \"hi\"", "Say \"hi\""); // a double quote breaks the pack's query
        row("Drive", "Drive");           // a NULL text is no translation
        row("Empty", "");                // an empty one is
        row("Untyped", "Untyped");
        row("Quit", "Quit"); // neither a form's row nor a global row of another type
        // The trailing blank is part of the key.
        row("Main FW Backup program file not found.", "Main FW Backup program file not found.");
    }
    void translateText()
    {
        QFETCH(QString, key);
        openSharedPack();
        QTEST(TranslateText(key), "expected");
    }

    void translateForm()
    {
        openSharedPack();
        auto form = testForm();
        TranslateForm(form.get());
        QCOMPARE(captions(*form), QStringList({"Fönster", "option 0", "andra", "option 2",
                                               "Läge:", "A&vsluta", "rad", "logg§§rad", "Öppna"}));
        for (const char *bad : {"frmBAD1", "frmBAD2", "frmBAD3", "frmBAD4"}) {
            QVERIFY2(LoadFormItems(QLatin1String(bad)).isEmpty(), bad);
            form = testForm(QLatin1String(bad));
            TranslateForm(form.get());
            QCOMPARE(captions(*form), captions(*testForm()));
        }
        const QList<FormItem> items = LoadFormItems(QStringLiteral("frmORDER"));
        QCOMPARE(items.size(), 2);
        QCOMPARE(items[0].Name, "B");
        QCOMPARE(items[1].Name, "A");
        QCOMPARE(items[1].Index, std::int16_t(-32768));
    }

    // Lookups are answered from the rows read when the pack opened, so they need no engine;
    // a changed file is read again, deleted rows and all.
    void packReadOnceAndAgainWhenChanged()
    {
        openPack({global("Quit", "Avsluta"), global("Open", "Öppna")});
        jet::DataAccess::instance().shutdown();
        jet::DataAccess::setEnginePath(m_dir.filePath(QStringLiteral("no engine")));
        QCOMPARE(TranslateText("Quit"), "Avsluta");
        jet::DataAccess::setEnginePath(QStringLiteral(FWB_JET_ENGINE));
        jet::TableData changed =
            items({global("Quit", "gone"), global("Quit", "Sluta"), global("Open", "gone too")});
        changed.deletedRows = {0, 2};
        QVERIFY(jet::writeDatabase(LanguagePack(), {changed}));
        QCOMPARE(TranslateText("Quit"), "Sluta");
        QCOMPARE(TranslateText("Open"), "Open");
    }

    // The shipped Swedish pack keeps up with the program: every text the code translates and
    // every caption of the main window has a Swedish row.
    void swedishPackCoversTheProgram()
    {
        QFile pack(QStringLiteral(FWB_SOURCE_DIR "/app/packs/Swedish.tsv"));
        QVERIFY(pack.open(QIODevice::ReadOnly));
        QSet<QString> rows; // "GLOBAL/name" and "AGENT_form/name/index"
        for (const QString &line : QString::fromUtf8(pack.readAll()).split(u'\n')) {
            const QStringList fields = line.split(u'\t');
            rows.insert(fields[0] == "GLOBAL"
                            ? fields.mid(0, 2).join(u'/')
                            : QStringList{fields[0], fields.value(1), fields.value(4)}.join(u'/'));
        }
        // Keys the code joins at run time from a fixed first piece and a reason.
        QStringList keys{"Main FW Backup program file not found. Program start-up cancelled.",
                         "Main FW Backup program file not found. Ferrow Backup could not be "
                         "started."};
        keys += translatedKeys();
        QVERIFY(keys.size() > 20);
        frmMAIN window(QDir::tempPath());
        for (QObject *object : window.findChildren<QObject *>()) {
            const char *caption = object->inherits("QGroupBox") ? "title"
                                  : object->inherits("QLabel") || object->inherits("QAction") ||
                                          object->inherits("QAbstractButton")
                                      ? "text"
                                      : nullptr;
            if (caption && !object->property(caption).toString().isEmpty())
                keys.append(
                    QStringLiteral("AGENT_frmMAIN/%1/%2")
                        .arg(object->objectName(), object->property("Index").toString().replace(
                                                       QRegularExpression("^$"), "-1")));
        }
        QStringList missing;
        for (const QString &key : keys) {
            if (!rows.contains(key.startsWith("AGENT_") ? key : "GLOBAL/" + key))
                missing.append(key);
        }
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QStringLiteral(" | "))));
    }
};

QTEST_MAIN(tst_Language)
#include "tst_language.moc"
