#include "platform/linux/DesktopEntryExec.h"

#include <QStringList>
#include <algorithm>

namespace fwb {
namespace {

// Characters that force an argument into double quotes.
bool isReserved(QChar c)
{
    static const QString reserved = QStringLiteral(" \t\n\r\"'\\><~|&;$*?#()`");
    return reserved.contains(c);
}

// Inside double quotes these four take a backslash.
bool needsQuoteEscape(QChar c)
{
    return c == u'"' || c == u'`' || c == u'$' || c == u'\\';
}

QString escapeStringValue(const QString &text)
{
    QString out;
    out.reserve(text.size() + 8);
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'\\':
            out += QStringLiteral("\\\\");
            break;
        case u'\n':
            out += QStringLiteral("\\n");
            break;
        case u'\t':
            out += QStringLiteral("\\t");
            break;
        case u'\r':
            out += QStringLiteral("\\r");
            break;
        default:
            out += c;
        }
    }
    if (out.startsWith(u' '))
        out.replace(0, 1, QStringLiteral("\\s"));
    return out;
}

QString unescapeStringValue(const QString &value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] != u'\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        const QChar next = value[++i];
        switch (next.unicode()) {
        case u's':
            out += u' ';
            break;
        case u'n':
            out += u'\n';
            break;
        case u't':
            out += u'\t';
            break;
        case u'r':
            out += u'\r';
            break;
        case u'\\':
            out += u'\\';
            break;
        default:
            // Not a string escape: left for the quoting rules to judge.
            out += u'\\';
            out += next;
        }
    }
    return out;
}

bool isSeparator(QChar c)
{
    return c == u' ' || c == u'\t';
}

// Splits a command line (string escapes already undone) into its arguments, undoing the
// quoting. Nothing when the quoting is broken or an unquoted argument holds a reserved
// character: such a line is not one this program wrote, and guessing could mistake it for
// the Agent's own entry.
std::optional<QStringList> splitArguments(const QString &line)
{
    QStringList arguments;
    qsizetype i = 0;
    while (true) {
        while (i < line.size() && isSeparator(line[i]))
            ++i;
        if (i == line.size())
            return arguments;
        QString argument;
        if (line[i] == u'"') {
            ++i;
            bool closed = false;
            while (i < line.size() && !closed) {
                const QChar c = line[i++];
                if (c == u'"') {
                    closed = true;
                } else if (c == u'\\') {
                    if (i == line.size() || !needsQuoteEscape(line[i]))
                        return std::nullopt;
                    argument += line[i++];
                } else {
                    argument += c;
                }
            }
            if (!closed || (i < line.size() && !isSeparator(line[i])))
                return std::nullopt;
        } else {
            while (i < line.size() && !isSeparator(line[i])) {
                if (isReserved(line[i]))
                    return std::nullopt;
                argument += line[i++];
            }
        }
        arguments.append(argument);
    }
}

// "%%" stands for "%"; any other "%" starts a field code, which a plain program path has not.
std::optional<QString> withoutPercentEscapes(const QString &argument)
{
    QString out;
    for (qsizetype i = 0; i < argument.size(); ++i) {
        if (argument[i] != u'%') {
            out += argument[i];
            continue;
        }
        if (i + 1 == argument.size() || argument[i + 1] != u'%')
            return std::nullopt;
        out += u'%';
        ++i;
    }
    return out;
}

} // namespace

QString ExecValueForProgram(const QString &program)
{
    const bool quoted =
        program.isEmpty() || std::any_of(program.begin(), program.end(), isReserved);
    QString argument;
    if (quoted)
        argument += u'"';
    for (const QChar c : program) {
        if (quoted && needsQuoteEscape(c))
            argument += u'\\';
        if (c == u'%')
            argument += u'%';
        argument += c;
    }
    if (quoted)
        argument += u'"';
    return escapeStringValue(argument);
}

QString StringValue(const QString &text)
{
    return escapeStringValue(text);
}

std::optional<QString> ProgramOfExecValue(const QString &value)
{
    const auto arguments = splitArguments(unescapeStringValue(value));
    if (!arguments || arguments->size() != 1)
        return std::nullopt;
    return withoutPercentEscapes(arguments->first());
}

} // namespace fwb
