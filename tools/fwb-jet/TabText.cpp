#include "TabText.h"

namespace fwb::jet::tool {

namespace {

const QString kNull = QStringLiteral("\\N");

} // namespace

QString escapeField(const Cell &cell)
{
    if (!cell)
        return kNull;
    QString text;
    text.reserve(cell->size());
    for (QChar c : *cell) {
        switch (c.unicode()) {
        case u'\\':
            text += QLatin1String("\\\\");
            break;
        case u'\t':
            text += QLatin1String("\\t");
            break;
        case u'\n':
            text += QLatin1String("\\n");
            break;
        case u'\r':
            text += QLatin1String("\\r");
            break;
        default:
            text += c;
        }
    }
    return text;
}

QByteArray formatLine(const QList<Cell> &cells)
{
    QStringList fields;
    for (const Cell &cell : cells)
        fields.append(escapeField(cell));
    return (fields.join(u'\t') + u'\n').toUtf8();
}

QByteArray formatHeader(const QStringList &names)
{
    return formatLine(QList<Cell>(names.begin(), names.end()));
}

std::optional<Cell> parseField(const QString &field, QString *problem)
{
    if (field == kNull)
        return Cell();
    QString text;
    text.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field.at(i) != u'\\') {
            text += field.at(i);
            continue;
        }
        if (++i == field.size()) {
            *problem = QStringLiteral("a backslash ends the field");
            return std::nullopt;
        }
        const QChar next = field.at(i);
        switch (next.unicode()) {
        case u'\\':
            text += u'\\';
            break;
        case u't':
            text += u'\t';
            break;
        case u'n':
            text += u'\n';
            break;
        case u'r':
            text += u'\r';
            break;
        case u'N':
            *problem = QStringLiteral("\\N (NULL) must be the whole field");
            return std::nullopt;
        default:
            *problem = QStringLiteral("unknown escape \\%1").arg(next);
            return std::nullopt;
        }
    }
    return Cell(text);
}

} // namespace fwb::jet::tool
