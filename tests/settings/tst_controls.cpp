#include "TestSupport.h"
#include "language/Controls.h"
#include "shell/Settings.h"
#include "shell/Twips.h"

#include <QCheckBox>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTest>
#include <cmath>

using namespace fwb;

namespace {

// Every measurement below is made in this font, so the expected heights do not depend on the
// desktop's fonts.
QFont pinnedFont()
{
    return QFont(QStringLiteral("DejaVu Sans"), 8);
}

QWidget *makeControl(const QString &kind, QWidget *form)
{
    if (kind == QLatin1String("radio"))
        return new QRadioButton(form);
    if (kind == QLatin1String("check"))
        return new QCheckBox(form);
    return new QLabel(form);
}

void setCaption(QWidget *control, const QString &text)
{
    control->setProperty("text", text);
}

double twips(int pixels)
{
    return PixelsToTwips(pixels);
}

} // namespace

class tst_Controls : public QObject
{
    Q_OBJECT

    std::unique_ptr<test::ScopedPlatform> m_platform;
    std::unique_ptr<QWidget> m_form;

private Q_SLOTS:
    void initTestCase()
    {
        if (QFontInfo(pinnedFont()).family() != QLatin1String("DejaVu Sans"))
            QSKIP("DejaVu Sans is not installed (Debian: fonts-dejavu-core)");
        QCOMPARE(PixelsToTwips(1), 15.0);
    }
    void init()
    {
        m_platform = std::make_unique<test::ScopedPlatform>();
        settings() = {};
        m_form = std::make_unique<QWidget>();
        m_form->setObjectName(QStringLiteral("frmTEST"));
        m_form->setFont(pinnedFont());
    }
    void cleanup()
    {
        m_form.reset();
        m_platform.reset();
    }

    void roundUpLines_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<double>("lines");
        QTest::newRow("a quarter over") << 1.25 << 2.0;
        QTest::newRow("within a millionth below 3") << 2.9999999 << 4.0;
        QTest::newRow("within a millionth above 1") << 1.0000001 << 2.0;
    }
    void roundUpLines()
    {
        QFETCH(double, value);
        QFETCH(double, lines);
        QCOMPARE(RoundUpLines(value), lines);
    }

    // Each row sets IncreaseTextWidth so that the total width comes out at `widths` times the
    // control's width plus `offset` twips, computed with the allowances the row assumes (margin
    // plus box). Rows that assume a wrong allowance check that the code does not make that
    // mistake.
    void autoSizeHeight_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("bold");
        QTest::addColumn<double>("assumedAllowances");
        QTest::addColumn<double>("widths");
        QTest::addColumn<double>("offset");
        QTest::addColumn<int>("height");

        QTest::newRow("just below a line") << "radio" << false << 610.0 << 1.0 << -20.0 << 195;
        QTest::newRow("just above a line") << "radio" << false << 610.0 << 1.0 << 20.0 << 390;
        QTest::newRow("one and a half widths") << "radio" << false << 610.0 << 1.5 << 0.0 << 390;
        QTest::newRow("regular margin 310") << "label" << false << 310.0 << 1.0 << -20.0 << 195;
        QTest::newRow("bold margin more than 310")
            << "label" << true << 310.0 << 1.0 << -20.0 << 390;
        QTest::newRow("bold margin 350") << "label" << true << 350.0 << 1.0 << -20.0 << 195;
        QTest::newRow("check box has a box") << "check" << false << 310.0 << 1.0 << -20.0 << 390;
        QTest::newRow("box allowance 300") << "check" << false << 610.0 << 1.0 << -20.0 << 195;
    }
    void autoSizeHeight()
    {
        QFETCH(QString, kind);
        QFETCH(bool, bold);
        QFETCH(double, assumedAllowances);
        QFETCH(double, widths);
        QFETCH(double, offset);
        QFETCH(int, height);

        const QString text = QStringLiteral("Count down before backup start");
        QWidget *control = makeControl(kind, m_form.get());
        setCaption(control, text);
        QFont font = control->font();
        font.setBold(bold);
        control->setFont(font);
        SetGeometryTwips(control, 225, 50, 4245, 600);
        const double width = 4245;
        const double natural =
            TextWidth(m_form.get(), text, bold) + assumedAllowances + text.size() / 1.8;
        settings().IncreaseTextWidth = float(width * widths + offset - natural);

        AutoSizeHeight(control);
        QCOMPARE(twips(control->height()), double(height));
        QCOMPARE(twips(control->width()), width);
    }

    // Every CRLF counts one whole line of the control's width on top of the widest line.
    void forcedLineBreaks()
    {
        auto *label = new QLabel(QStringLiteral("one\r\ntwo\r\nthree"), m_form.get());
        SetGeometryTwips(label, 0, 0, 4245, 195);
        AutoSizeHeight(label);
        QCOMPARE(twips(label->height()), 585.0);

        label->setText(QStringLiteral("one\r\n\r\n\r\nfour"));
        AutoSizeHeight(label);
        QCOMPARE(twips(label->height()), 780.0);
    }

    void tallerThanTheScreenIsReportedAndSized_data()
    {
        QTest::addColumn<bool>("frame");
        QTest::addColumn<QString>("text");
        QTest::newRow("window") << false
                                << "Could not auto-size window height: frmTEST. Please report "
                                   "this error.";
        QTest::newRow("frame") << true
                               << "Could not auto-size frame height: FR_Test. Please report "
                                  "this error.";
    }
    void tallerThanTheScreenIsReportedAndSized()
    {
        QFETCH(bool, frame);
        QFETCH(QString, text);
        const int screenPixels = m_form->screen()->geometry().height();
        auto *container = frame ? new QGroupBox(m_form.get()) : m_form.get();
        if (frame)
            container->setObjectName(QStringLiteral("FR_Test"));
        auto *lowest = new QLabel(container);
        // Its bottom plus the margin lands exactly on the screen's height: not less, so too tall.
        const double margin = frame ? 300 : 700;
        lowest->setGeometry(0, 0, 100, 13);
        lowest->move(0, screenPixels - 13 - int(margin / 15));
        if (frame)
            AutoSizeFrameHeight(container, lowest);
        else
            AutoSizeWindowHeight(container, lowest);

        QCOMPARE(m_platform->boxes.shown.size(), 1);
        QCOMPARE(m_platform->boxes.shown[0].text, text);
        QCOMPARE(m_platform->boxes.shown[0].title,
                 QStringLiteral("FW Backup Agent - Auto-size Error"));
        QCOMPARE(m_platform->boxes.shown[0].icon, BoxIcon::Stop);
        // A window's height, as measured against the screen, includes its title bar.
        const double outside = frame ? 0 : kWindowFrameHeight;
        QCOMPARE(container->height(), TwipsToPixels(BottomOf(lowest) + margin - outside));
        QVERIFY(container->height() + TwipsToPixels(outside) >= screenPixels);

        // One pixel less is not reported.
        m_platform->boxes.shown.clear();
        lowest->move(0, lowest->y() - 1);
        if (frame)
            AutoSizeFrameHeight(container, lowest);
        else
            AutoSizeWindowHeight(container, lowest);
        QVERIFY(m_platform->boxes.shown.isEmpty());
    }
};

QTEST_MAIN(tst_Controls)
#include "tst_controls.moc"
