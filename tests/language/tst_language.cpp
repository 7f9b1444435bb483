#include "TestSupport.h"
#include "controls/Controls.h"
#include "controls/FormControls.h"
#include "controls/Twips.h"
#include "jet/DataAccess.h"
#include "jet/writer/JetWriter.h"
#include "language/LanguagePack.h"
#include "language/Translate.h"
#include "shell/frmMAIN.h"
#include "store/AppPaths.h"
#include "store/Settings.h"

#include <QCheckBox>
#include <QDirIterator>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>

using namespace fwb;
using jet::Cell;
using Rows = QList<QList<Cell>>;

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

// A form with the kinds of controls packs address; the captions of its named controls.
std::unique_ptr<QWidget> testForm(const QString &name = QStringLiteral("frmTEST"))
{
    auto form = std::make_unique<QWidget>();
    form->setObjectName(name);
    auto *frame = new QGroupBox(QStringLiteral("Window"), form.get());
    frame->setObjectName(QStringLiteral("FR_Window"));
    (new QLabel(QStringLiteral("Status:"), form.get()))->setObjectName(QStringLiteral("LB_Status"));
    (new QPlainTextEdit(QStringLiteral("log"), form.get()))
        ->setObjectName(QStringLiteral("TX_Log"));
    for (int i = 0; i < 2; ++i) {
        auto *option = new QRadioButton(QStringLiteral("option %1").arg(i), frame);
        option->setObjectName(QStringLiteral("RB_Mode"));
        option->setProperty("Index", i);
    }
    return form;
}

QStringList captions(const QWidget &form)
{
    return {form.findChild<QGroupBox *>()->title(),
            form.findChildren<QRadioButton *>().at(0)->text(),
            form.findChildren<QRadioButton *>().at(1)->text(), form.findChild<QLabel *>()->text(),
            form.findChild<QPlainTextEdit *>()->toPlainText()};
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

// Packs are written with the Jet writer and read through the real engine.
class tst_Language : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<test::ScopedPlatform> m_platform;
    int m_packs = 0;

    // Writes a pack and opens it as the program does at start-up.
    void openPack(const Rows &rows)
    {
        const QString name = QStringLiteral("Test %1.lng").arg(++m_packs);
        QVERIFY(jet::writeDatabase(appPaths().LanguagePacksFolder + name,
                                   {test::languagePackItems(rows)}));
        settings().CurrentLanguage = name;
        QVERIFY(OpenLanguagePack());
    }

private Q_SLOTS:
    void initTestCase()
    {
        jet::DataAccess::setEnginePath(QStringLiteral(FWB_JET_ENGINE));
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
        }
    }

    void translatesTextsAndForms()
    {
        openPack({global("Two lines", "En§§två§§§tre"), global("NO LABEL", "först"),
                  global("no LABEL", "sist"), global("No label", "Ingen etikett"),
                  global("Say \"hi\"", "Säg hej"), global("Drive", null), global("Empty", ""),
                  global("Untyped", "Otypad", null), global("Quit", "Sluta", "1"),
                  control("Quit", "Avsluta", "0", "-1", "AGENT_frmMAIN"),
                  control("LB_Status", "Status"), control("LB_Status", "Läge:"), // the last wins
                  control("FR_Window", "Fönster", "1", "-1", "agent_FRMtest"),
                  control("TX_Log", "logg§§rad", "2"), control("RB_Mode", "andra", "1", "1"),
                  control("RB_Mode", "fel"),         // an array needs its index
                  control("FR_Window", "fel", "3"),  // unknown type
                  control("LB_Status", "fel", null), // neither Type = 0 nor its negation
                  control("TX_Log", "fel"),          // a text box has no caption
                  // A bad row leaves its whole form untranslated.
                  control("LB_Status", "x", "1", null, "AGENT_frmBAD1"),
                  control("FR_Window", "Fönster", "1", "-1", "AGENT_frmBAD1"),
                  control("LB_Status", "x", "1", "32768", "AGENT_frmBAD2"),
                  control("FR_Window", "Fönster", "1", "-1", "AGENT_frmBAD2")});
        // A text in another case serves when none has the key's own; a double quote breaks the
        // pack's query, and a NULL text or type is no translation.
        QCOMPARE(TranslateText("Two lines"), "En\r\ntvå\r\n§tre");
        QCOMPARE(TranslateText("No label"), "Ingen etikett");
        QCOMPARE(TranslateText("no label"), "först");
        QCOMPARE(TranslateText("Empty"), QString());
        for (const char *english : {"Say \"hi\"", "Drive", "Untyped", "Quit", "Open"})
            QCOMPARE(TranslateText(english), english);
        auto form = testForm();
        TranslateForm(form.get());
        QCOMPARE(captions(*form),
                 QStringList({"Fönster", "option 0", "andra", "Läge:", "logg§§rad"}));
        for (const char *bad : {"frmBAD1", "frmBAD2"}) {
            form = testForm(QLatin1String(bad));
            TranslateForm(form.get());
            QCOMPARE(captions(*form), captions(*testForm()));
        }
    }

    // IncreaseTextWidth is set so that a text's width by the sizing rules (its widest line, a
    // line's width per CRLF, 310 or 350 when bold, length / 1.8, 300 for an option's or check
    // box's box) falls two twips short of, then past, `room` widths: the heights it gets then.
    void autoSizeHeight_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("room");
        QTest::addColumn<QList<int>>("heights");
        const QString text = QStringLiteral("Start hidden (not shown in the task bar or in tray)");
        QTest::newRow("option") << "option" << text << 1.0 << QList{195, 390};
        QTest::newRow("option, 1.5 lines") << "option" << text << 1.5 << QList{390, 390};
        QTest::newRow("bold option") << "bold option" << text << 2.0 << QList{390, 585};
        QTest::newRow("check box") << "check" << text << 1.0 << QList{195, 390};
        QTest::newRow("label") << "label" << text << 1.0 << QList{195, 390};
        QTest::newRow("line breaks") << "option"
                                     << "Wait\r\nor\r\nstart" << 3.0 << QList{585, 780};
        QTest::newRow("empty") << "label" << QString() << 5.0 << QList{195, 195};
        QTest::newRow("nothing left") << "option" << text << -0.5 << QList{300, 300};
        QTest::newRow("past 16 bits") << "option" << text << 40000.0 << QList{300, 300};
    }
    void autoSizeHeight()
    {
        QFETCH(QString, kind);
        QFETCH(QString, text);
        QFETCH(double, room);
        QWidget form;
        form.setFont(QFont(QStringLiteral("DejaVu Sans"), 8));
        QWidget *control = kind == "label"   ? new QLabel(text, &form)
                           : kind == "check" ? static_cast<QWidget *>(new QCheckBox(text, &form))
                                             : new QRadioButton(text, &form);
        const bool bold = kind.startsWith("bold");
        control->setFont(bold ? BoldFont() : form.font());
        const QSize measured =
            QFontMetrics(control->font()).size(0, QString(text).replace("\r\n", "\n"));
        const double rules = PixelsToTwips(measured.width()) + text.count("\r\n") * 1500 +
                             (bold ? 350 : 310) + text.size() / 1.8 +
                             (kind.contains("option") || kind == "check" ? 300 : 0);
        QList<int> heights;
        for (const double twips : {-2, 2}) {
            settings().IncreaseTextWidth = float(room * 1500 + twips - rules);
            SetGeometryTwips(control, 0, 0, 1500, 300);
            AutoSizeHeight(control);
            heights += qRound(HeightTwips(control));
        }
        QTEST(heights, "heights");
        // Whole numbers of lines stay; others are taken to six decimals, then rounded up.
        for (const auto &[value, lines] : {std::pair{2.0, 2.0}, {1.25, 2.0}, {2.9999999, 4.0}})
            QCOMPARE(RoundUpLines(value), lines);
        QCOMPARE(CountOccurrences(QStringLiteral("aaaa"), QStringLiteral("aa")), 3);
    }

    // A frame or a window that reaches the screen's height is reported, and sized all the same:
    // 300 twips below its lowest control, a window 700 (less its 450-twip title bar and borders).
    void tooTallForTheScreen()
    {
        auto form = testForm();
        QWidget *lowest = form->findChild<QLabel *>();
        const double screen = PixelsToTwips(form->screen()->geometry().height());
        for (QWidget *container :
             {static_cast<QWidget *>(form->findChild<QGroupBox *>()), form.get()}) {
            const bool window = container->isWindow();
            SetGeometryTwips(lowest, 0, int(screen) - (window ? 690 : 300) - 300, 1500, 300);
            window ? AutoSizeWindowHeight(container, lowest)
                   : AutoSizeFrameHeight(container, lowest);
            QVERIFY(qAbs(HeightTwips(container) + (window ? 450 : 0) - BottomOf(lowest) -
                         (window ? 700 : 300)) < 8);
        }
        const QString box = QStringLiteral("FW Backup Agent - Auto-size Error|Could not auto-size "
                                           "%1 height: %2. Please report this error.");
        QCOMPARE(test::shownBoxes(m_platform->boxes, BoxIcon::Stop),
                 QStringList({box.arg("frame", "FR_Window"), box.arg("window", "frmTEST")}));
    }

    // The pack is read while the events run, and read again on a thread of its own when its file
    // changes: lookups need no engine, and until the new rows are in they answer from the old.
    void packReadOnceAndAgainWhenChanged()
    {
        {
            const test::GatedEngine engine(m_dir.path(), QStringLiteral(FWB_JET_ENGINE));
            openPack({global("Quit", "Avsluta"), global("Open", "Öppna")});
        }
        jet::DataAccess::setEnginePath(m_dir.filePath(QStringLiteral("no engine")));
        QCOMPARE(TranslateText("Quit"), "Avsluta");
        const test::GatedEngine engine(m_dir.path(), QStringLiteral(FWB_JET_ENGINE));
        jet::TableData changed = test::languagePackItems(
            {global("Quit", "gone"), global("Quit", "Sluta"), global("Open", "gone too")});
        changed.deletedRows = {0, 2};
        QVERIFY(jet::writeDatabase(LanguagePack(), {changed}));
        QCOMPARE(TranslateText("Quit"), "Avsluta");
        QTRY_COMPARE(TranslateText("Quit"), "Sluta");
        QCOMPARE(TranslateText("Open"), "Open");
    }

    // The shipped Swedish pack keeps up with the program: every text the code translates and
    // every caption of the main window has a Swedish row.
    void swedishPackCoversTheProgram()
    {
        QSet<QString> rows; // global texts' names and "AGENT_form/name/index"
        for (const QString &line :
             QString(test::readFile(FWB_SOURCE_DIR "/app/packs/Swedish.tsv")).split(u'\n')) {
            const QStringList fields = line.split(u'\t');
            rows.insert(fields[0] == "GLOBAL"
                            ? fields.value(1)
                            : QStringList{fields[0], fields.value(1), fields.value(4)}.join(u'/'));
        }
        // Keys the code joins at run time from a fixed first piece and a reason.
        QStringList keys = translatedKeys();
        QVERIFY(keys.size() > 20);
        for (const char *reason :
             {"Program start-up cancelled.", "Ferrow Backup could not be started."})
            keys.append("Main FW Backup program file not found. " + QLatin1String(reason));
        // The main window has no control arrays.
        frmMAIN window(QDir::tempPath());
        for (const QObject *control :
             window.findChildren<QObject *>(QRegularExpression("^(LB|CB|CM|FR)_"))) {
            if (!(control->property("text").toString() + control->property("title").toString())
                     .isEmpty())
                keys.append("AGENT_frmMAIN/" + control->objectName() + "/-1");
        }
        const QStringList missing = QSet<QString>(keys.begin(), keys.end()).subtract(rows).values();
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QStringLiteral(" | "))));
    }
};

FWB_TEST_MAIN(QApplication, tst_Language, fwb::test::runsEverywhere)
#include "tst_language.moc"
