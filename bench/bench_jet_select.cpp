// Times one select with conditions through the data-access engine: the first request (engine
// start and file open included), then the median of 1,000 further requests. Runs it on the
// Access-made sample's Table1 and on a language pack of 2,000 rows written for the purpose.
#include "jet/DataAccess.h"
#include "jet/writer/JetWriter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

using namespace fwb::jet;

namespace {

constexpr int kRepeats = 1000;
constexpr int kPackRows = 2000;

// The query a translated text is looked up with.
Query textLookup(const QString &englishText)
{
    Query query;
    query.table = QStringLiteral("Items");
    query.columns = {QStringLiteral("Text"), QStringLiteral("Name")};
    query.where = {Condition{QStringLiteral("Type"), QStringLiteral("0"), false},
                   Condition{QStringLiteral("Form"), QStringLiteral("GLOBAL"), false},
                   Condition{QStringLiteral("Name"), englishText, false}};
    return query;
}

QString writePack(const QString &folder)
{
    TableData items;
    items.name = QStringLiteral("Items");
    items.columns = {{QStringLiteral("Form"), ColumnType::Text},
                     {QStringLiteral("Name"), ColumnType::Text},
                     {QStringLiteral("Text"), ColumnType::Memo},
                     {QStringLiteral("Type"), ColumnType::LongInteger},
                     {QStringLiteral("Index"), ColumnType::Integer}};
    for (int n = 0; n < kPackRows; ++n) {
        items.rows.append(
            {QStringLiteral("GLOBAL"), QStringLiteral("English text number %1").arg(n),
             QStringLiteral("Übersetzter Text Nummer %1").arg(n), QStringLiteral("0"), Cell()});
    }
    const QString path = folder + QStringLiteral("/Bench.lng");
    QString error;
    if (!writeDatabase(path, {items}, &error)) {
        std::fprintf(stderr, "cannot write the pack: %s\n", qPrintable(error));
        return {};
    }
    return path;
}

bool run(const char *label, const QString &file, const Query &query, int expectedRows)
{
    DataAccess access;
    QElapsedTimer clock;
    clock.start();
    const std::optional<Table> first = access.select(file, query);
    const double firstMs = double(clock.nsecsElapsed()) / 1e6;
    if (!first || first->rows.size() != expectedRows) {
        std::fprintf(stderr, "%s: expected %d row(s), got %s\n", label, expectedRows,
                     first ? qPrintable(QString::number(first->rows.size())) : "a failure");
        return false;
    }
    std::vector<qint64> times;
    times.reserve(kRepeats);
    for (int i = 0; i < kRepeats; ++i) {
        clock.restart();
        if (!access.select(file, query)) {
            std::fprintf(stderr, "%s: request %d failed\n", label, i);
            return false;
        }
        times.push_back(clock.nsecsElapsed());
    }
    std::sort(times.begin(), times.end());
    std::printf("%s\n  first request (engine start, file open): %.2f ms\n"
                "  median of %d further requests: %.1f us (fastest %.1f us, 90th percentile "
                "%.1f us)\n\n",
                label, firstMs, kRepeats, double(times[times.size() / 2]) / 1e3,
                double(times.front()) / 1e3, double(times[times.size() * 9 / 10]) / 1e3);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    DataAccess::setEnginePath(QStringLiteral(FWB_JET_ENGINE));

    const QString sample = QStringLiteral(FWB_JET_SAMPLES "/V2000_test.mdb");
    bool ok = true;
    if (QFileInfo::exists(sample)) {
        Query query;
        query.table = QStringLiteral("Table1");
        query.columns = {QStringLiteral("A"), QStringLiteral("B")};
        query.where = {Condition{QStringLiteral("A"), QStringLiteral("ABCDEFG"), false},
                       Condition{QStringLiteral("D"), QStringLiteral("0"), true}};
        ok = run("Access 2000 sample, Table1 (2 rows), text and negated number condition", sample,
                 query, 1);
    } else {
        std::printf("Access samples not found at %s; skipped\n", qPrintable(sample));
    }

    QTemporaryDir folder;
    const QString pack = writePack(folder.path());
    if (pack.isEmpty())
        return 1;
    const Query lookup = textLookup(QStringLiteral("ENGLISH TEXT NUMBER 1999"));
    ok = run("Language pack, Items (2,000 rows), global text lookup", pack, lookup, 1) && ok;
    return ok ? 0 : 1;
}
