#include "jet/CellCompare.h"

#include <QTest>

using namespace fwb::jet;

Q_DECLARE_METATYPE(CompareAs)

namespace {

// The expected outcome of one comparison: equal, different, or not comparable.
enum class Outcome { Equal, Different, Incomparable };

Outcome outcomeOf(std::optional<bool> equal)
{
    if (!equal)
        return Outcome::Incomparable;
    return *equal ? Outcome::Equal : Outcome::Different;
}

} // namespace

Q_DECLARE_METATYPE(Outcome)

class TestCellCompare : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cellEquals_data();
    void cellEquals();
    void conditionHolds_data();
    void conditionHolds();
};

void TestCellCompare::cellEquals_data()
{
    QTest::addColumn<QString>("cell");
    QTest::addColumn<QString>("value");
    QTest::addColumn<CompareAs>("as");
    QTest::addColumn<Outcome>("outcome");

    const auto row = [](const char *name, const QString &cell, const QString &value, CompareAs as,
                        Outcome outcome) {
        QTest::newRow(name) << cell << value << as << outcome;
    };
    using enum Outcome;
    const CompareAs text = CompareAs::Text;
    const CompareAs number = CompareAs::Number;
    const CompareAs boolean = CompareAs::Boolean;

    row("text same", "GLOBAL", "GLOBAL", text, Equal);
    row("text case", "Global", "gLOBAL", text, Equal);
    row("text accented case", QStringLiteral("ÉTÉ à Zürich"), QStringLiteral("été À ZÜRICH"), text,
        Equal);
    row("text final sigma folds", QString::fromUtf16(u"\u039F\u0394\u039F\u03A3"),
        QString::fromUtf16(u"\u03BF\u03B4\u03BF\u03C2"), text, Equal);
    row("text trailing blank counts", "Cancel", "Cancel ", text, Different);
    row("text empty", "", "", text, Equal);
    row("text number-like is text", "1.0", "1", text, Different);
    row("text line breaks kept", "a\r\nb", "A\r\nB", text, Equal);

    row("number same", "222", "222", number, Equal);
    row("number trailing zeros", "3.5000", "3.5", number, Equal);
    row("number exponent", "222", "2.22e2", number, Equal);
    row("number negative exponent", "0.035", "35E-3", number, Equal);
    row("number leading zeros and plus", "7", "+007.0", number, Equal);
    row("number blanks around value", "0", " 0 ", number, Equal);
    row("number zero signs", "0", "-0.000", number, Equal);
    row("number sign matters", "-1", "1", number, Different);
    row("number different", "222", "223", number, Different);
    row("number beyond double precision", "922337203685477.5807", "922337203685477.5808", number,
        Different);
    row("number float text", "444.555", "444.555", number, Equal);
    row("number not a number", "0", "zero", number, Incomparable);
    row("number empty value", "0", "", number, Incomparable);
    row("number lone point", "0", ".", number, Incomparable);
    row("number comma decimal", "1.5", "1,5", number, Incomparable);
    row("number bad exponent", "1", "1e", number, Incomparable);
    row("number hex", "16", "0x10", number, Incomparable);
    row("number infinity", "1", "inf", number, Incomparable);

    row("boolean true word", "1", "True", boolean, Equal);
    row("boolean Jet true", "1", "-1", boolean, Equal);
    row("boolean yes", "1", "yes", boolean, Equal);
    row("boolean false", "0", "False", boolean, Equal);
    row("boolean zero", "0", "0", boolean, Equal);
    row("boolean mismatch", "0", "on", boolean, Different);
    row("boolean not a truth", "1", "maybe", boolean, Incomparable);
}

void TestCellCompare::cellEquals()
{
    QFETCH(QString, cell);
    QFETCH(QString, value);
    QFETCH(CompareAs, as);
    QFETCH(Outcome, outcome);

    QCOMPARE(outcomeOf(fwb::jet::cellEquals(cell, value, as)), outcome);
}

void TestCellCompare::conditionHolds_data()
{
    QTest::addColumn<Cell>("cell");
    QTest::addColumn<QString>("value");
    QTest::addColumn<CompareAs>("as");
    QTest::addColumn<bool>("holds");
    QTest::addColumn<bool>("negationHolds");

    QTest::newRow("equal text") << Cell("Form") << "FORM" << CompareAs::Text << true << false;
    QTest::newRow("other text") << Cell("Form") << "Farm" << CompareAs::Text << false << true;
    QTest::newRow("empty text is a value") << Cell("") << "x" << CompareAs::Text << false << true;
    QTest::newRow("NULL text") << Cell() << "x" << CompareAs::Text << false << false;
    QTest::newRow("NULL against empty") << Cell() << "" << CompareAs::Text << false << false;
    QTest::newRow("NULL number") << Cell() << "0" << CompareAs::Number << false << false;
    QTest::newRow("equal number") << Cell("0") << "0" << CompareAs::Number << true << false;
    QTest::newRow("non-number value") << Cell("0") << "zero" << CompareAs::Number << false << false;
}

void TestCellCompare::conditionHolds()
{
    QFETCH(Cell, cell);
    QFETCH(QString, value);
    QFETCH(CompareAs, as);
    QFETCH(bool, holds);
    QFETCH(bool, negationHolds);

    QCOMPARE(fwb::jet::conditionHolds(cell, value, false, as), holds);
    QCOMPARE(fwb::jet::conditionHolds(cell, value, true, as), negationHolds);
}

QTEST_GUILESS_MAIN(TestCellCompare)
#include "tst_cellcompare.moc"
