#include "PackSource.h"

#include "TabText.h"
#include "jet/TextLimit.h"

#include <QStringDecoder>
#include <cstdint>

namespace fwb::jet::tool {

namespace {

enum PackColumn { Form, Name, Text, Type, Index, ColumnCount };

constexpr int kMaxFormChars = 255;

QList<ColumnDef> packColumns()
{
    // Names are English texts, some of them long sentences, so they are memos like the texts.
    return {{QStringLiteral("Form"), ColumnType::Text},
            {QStringLiteral("Name"), ColumnType::Memo},
            {QStringLiteral("Text"), ColumnType::Memo},
            {QStringLiteral("Type"), ColumnType::LongInteger},
            {QStringLiteral("Index"), ColumnType::Integer}};
}

std::optional<QString> decodeLine(QByteArray line)
{
    if (line.endsWith('\r'))
        line.chop(1);
    // Keeps a U+FEFF that begins a value; the file's own byte order mark is gone by now.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                     QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder.decode(line);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

QString numberProblem(const QString &text, qint64 low, qint64 high)
{
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    const bool plain = !text.isEmpty() && !text.startsWith(u'+') && text.trimmed() == text;
    if (!ok || !plain || value < low || value > high)
        return QStringLiteral("\"%1\" is not a whole number from %2 to %3")
            .arg(text)
            .arg(low)
            .arg(high);
    return {};
}

// Why a row's cells cannot go into Items; empty when they can.
QString cellProblem(const QList<Cell> &cells)
{
    if (cells[Form] && cells[Form]->size() > kMaxFormChars)
        return QStringLiteral("Form has %1 characters, at most %2")
            .arg(cells[Form]->size())
            .arg(kMaxFormChars);
    for (const PackColumn column : {Name, Text}) {
        if (cells[column] && cells[column]->size() > kMaxTextLength)
            return QStringLiteral("%1 has %2 characters, a text holds at most %3 (counted in "
                                  "UTF-16 code units)")
                .arg(packColumns().at(column).name)
                .arg(cells[column]->size())
                .arg(kMaxTextLength);
    }
    if (cells[Type]) {
        if (const QString problem = numberProblem(*cells[Type], INT32_MIN, INT32_MAX);
            !problem.isEmpty())
            return QStringLiteral("Type: ") + problem;
    }
    if (cells[Index]) {
        if (const QString problem = numberProblem(*cells[Index], INT16_MIN, INT16_MAX);
            !problem.isEmpty())
            return QStringLiteral("Index: ") + problem;
    }
    return {};
}

std::optional<QList<Cell>> parseLine(const QString &line, QString *problem)
{
    const QStringList fields = line.split(u'\t');
    if (fields.size() != ColumnCount) {
        *problem = QStringLiteral("%1 fields separated by tabs, expected %2")
                       .arg(fields.size())
                       .arg(int(ColumnCount));
        return std::nullopt;
    }
    QList<Cell> cells;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        QString fieldProblem;
        auto cell = parseField(fields.at(i), &fieldProblem);
        if (!cell) {
            *problem = packColumnNames().at(i) + QStringLiteral(": ") + fieldProblem;
            return std::nullopt;
        }
        cells.append(*cell);
    }
    *problem = cellProblem(cells);
    if (!problem->isEmpty())
        return std::nullopt;
    return cells;
}

} // namespace

QStringList packColumnNames()
{
    QStringList names;
    for (const ColumnDef &column : packColumns())
        names.append(column.name);
    return names;
}

std::optional<TableData> parsePackSource(const QByteArray &source, QString *error)
{
    QByteArray text = source;
    if (text.startsWith("\xef\xbb\xbf"))
        text.remove(0, 3);
    QList<QByteArray> lines = text.split('\n');
    if (lines.size() > 1 && lines.last().isEmpty())
        lines.removeLast();

    TableData table{QStringLiteral("Items"), packColumns(), {}};
    const QString header = QString::fromUtf8(formatHeader(packColumnNames())).chopped(1);
    for (qsizetype n = 0; n < lines.size(); ++n) {
        const auto fail = [&](const QString &problem) {
            *error = QStringLiteral("line %1: %2").arg(n + 1).arg(problem);
            return std::nullopt;
        };
        const auto line = decodeLine(lines.at(n));
        if (!line)
            return fail(QStringLiteral("not valid UTF-8"));
        if (n == 0) {
            if (*line != header)
                return fail(QStringLiteral("the header must be the column names Form, Name, "
                                           "Text, Type and Index, separated by tabs"));
            continue;
        }
        QString problem;
        auto cells = parseLine(*line, &problem);
        if (!cells)
            return fail(problem);
        table.rows.append(*cells);
    }
    return table;
}

QByteArray formatPackSource(const QList<QList<Cell>> &rows)
{
    QByteArray text = formatHeader(packColumnNames());
    for (const QList<Cell> &row : rows)
        text += formatLine(row);
    return text;
}

} // namespace fwb::jet::tool
