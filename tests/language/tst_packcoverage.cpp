#include "shell/frmMAIN.h"

#include <QAbstractButton>
#include <QAction>
#include <QDirIterator>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

using namespace fwb;

namespace {

// A pack source field's or a C++ string literal's text with its escapes undone.
QString unescape(const QString &text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const QChar next = text[++i];
        if (next == u'u') {
            out += QChar(text.mid(i + 1, 4).toUShort(nullptr, 16));
            i += 4;
        } else {
            out += next == u'n'   ? QChar(u'\n')
                   : next == u'r' ? QChar(u'\r')
                   : next == u't' ? QChar(u'\t')
                                  : next;
        }
    }
    return out;
}

struct PackSource
{
    QSet<QString> globalKeys;
    QSet<QString> controlRows; // "AGENT_form/name/index"
};

PackSource readPackSource(const QString &path)
{
    PackSource source;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return source;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    for (const QString &line : lines.mid(1)) {
        const QStringList fields = line.split(u'\t');
        if (fields.size() != 5)
            continue;
        if (fields[0] == QLatin1String("GLOBAL"))
            source.globalKeys.insert(unescape(fields[1]));
        else
            source.controlRows.insert(fields[0] + u'/' + unescape(fields[1]) + u'/' + fields[4]);
    }
    return source;
}

// Every key the program passes to TranslateText as one literal (adjacent literals joined).
QSet<QString> literalKeysInSources(const QString &sourceFolder)
{
    static const QRegularExpression call(QStringLiteral(
        R"re(TranslateText\(\s*QStringLiteral\(((?:\s*"(?:[^"\\]|\\.)*")+)\s*\)\s*\))re"));
    static const QRegularExpression literal(QStringLiteral(R"re("((?:[^"\\]|\\.)*)")re"));
    QSet<QString> keys;
    QDirIterator files(sourceFolder, {QStringLiteral("*.cpp")}, QDir::Files,
                       QDirIterator::Subdirectories);
    while (files.hasNext()) {
        QFile file(files.next());
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QString code = QString::fromUtf8(file.readAll());
        for (const auto &match : call.globalMatch(code)) {
            QString key;
            for (const auto &piece : literal.globalMatch(match.captured(1)))
                key += unescape(piece.captured(1));
            keys.insert(key);
        }
    }
    return keys;
}

} // namespace

// The shipped Swedish pack must keep up with the program: a text the code shows, or a control
// caption, without a Swedish row would appear in English.
class tst_PackCoverage : public QObject
{
    Q_OBJECT

    PackSource m_pack;

private Q_SLOTS:
    void initTestCase()
    {
        m_pack = readPackSource(QStringLiteral(FWB_SOURCE_DIR "/app/packs/Swedish.tsv"));
        QVERIFY(m_pack.globalKeys.size() > 20);
    }

    void everyLiteralKeyHasARow()
    {
        const QSet<QString> keys = literalKeysInSources(QStringLiteral(FWB_SOURCE_DIR "/src"));
        QVERIFY(keys.size() > 20);
        QStringList missing;
        for (const QString &key : keys)
            if (!m_pack.globalKeys.contains(key))
                missing.append(key);
        missing.sort();
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QStringLiteral(" | "))));
    }

    // Keys the code joins at run time from a fixed first piece and a reason.
    void joinedKeysHaveRows()
    {
        const QString notFound = QStringLiteral("Main FW Backup program file not found. ");
        for (const char *reason :
             {"Program start-up cancelled.", "Ferrow Backup could not be started."})
            QVERIFY2(m_pack.globalKeys.contains(notFound + QLatin1String(reason)), reason);
    }

    void everyMainWindowCaptionHasARow()
    {
        frmMAIN window(QDir::tempPath());
        QStringList missing;
        const auto check = [&](QObject *control, const QString &caption) {
            if (caption.isEmpty())
                return;
            const QVariant index = control->property("Index");
            const QString row = QStringLiteral("AGENT_frmMAIN/") + control->objectName() + u'/' +
                                (index.isValid() ? index.toString() : QStringLiteral("-1"));
            if (!m_pack.controlRows.contains(row))
                missing.append(row);
        };
        for (auto *label : window.findChildren<QLabel *>())
            check(label, label->text());
        for (auto *button : window.findChildren<QAbstractButton *>())
            check(button, button->text());
        for (auto *frame : window.findChildren<QGroupBox *>())
            check(frame, frame->title());
        for (auto *action : window.findChildren<QAction *>())
            check(action, action->text());
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QStringLiteral(", "))));
    }
};

QTEST_MAIN(tst_PackCoverage)
#include "tst_packcoverage.moc"
