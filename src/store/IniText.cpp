#include "store/IniText.h"

namespace fwb::ini {

namespace {

// Where a line's text ends and where the next line starts (after CR, LF or CRLF).
struct Line
{
    qsizetype begin = 0;
    qsizetype end = 0;
    qsizetype next = 0;

    bool hasEnding() const { return next > end; }
};

enum class LineKind { Blank, Comment, Section, Key };

struct ParsedLine
{
    LineKind kind = LineKind::Blank;
    QStringView name;
    std::optional<QStringView> value; // untrimmed text after the first '='
};

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\v';
}

QStringView trimBlanks(QStringView s)
{
    qsizetype begin = 0;
    qsizetype end = s.size();
    while (begin < end && isBlank(s[begin]))
        ++begin;
    while (end > begin && isBlank(s[end - 1]))
        --end;
    return s.sliced(begin, end - begin);
}

// The arguments of the profile functions lose only spaces; a tab is part of the name.
QStringView trimSpaces(QStringView s)
{
    qsizetype begin = 0;
    qsizetype end = s.size();
    while (begin < end && s[begin] == u' ')
        ++begin;
    while (end > begin && s[end - 1] == u' ')
        --end;
    return s.sliced(begin, end - begin);
}

// The files are read by C string functions, for which a NUL ends the text.
QStringView cutAtNul(QStringView s)
{
    const qsizetype nul = s.indexOf(QChar(u'\0'));
    return nul < 0 ? s : s.first(nul);
}

QStringView argument(QStringView s)
{
    return trimSpaces(cutAtNul(s));
}

// Names and values in the file are trimmed before a NUL cuts them, and not again after it:
// "n \0y" is the name "n ".
QStringView name(QStringView s)
{
    return cutAtNul(trimBlanks(s));
}

// Letter case is folded one UTF-16 unit at a time, so names of different lengths never match.
bool sameName(QStringView a, QStringView b)
{
    return a.size() == b.size() && a.compare(b, Qt::CaseInsensitive) == 0;
}

// Whether a line may open a section: its first character that is not blank is '['.
bool mayBeSectionLine(QStringView content)
{
    for (const QChar c : content)
        if (!isBlank(c))
            return c == u'[';
    return false;
}

Line lineAt(QStringView text, qsizetype begin)
{
    const QChar *data = text.data();
    const qsizetype size = text.size();
    qsizetype end = begin;
    while (end < size && data[end] != u'\n' && data[end] != u'\r')
        ++end;
    qsizetype next = end;
    if (next < size)
        next += (data[next] == u'\r' && next + 1 < size && data[next + 1] == u'\n') ? 2 : 1;
    return {begin, end, next};
}

// A section runs to the first ']', or to the end of the line when there is none.
ParsedLine parseLine(QStringView content)
{
    const QStringView line = trimBlanks(content);
    if (line.isEmpty())
        return {};
    if (line.front() == u'[') {
        QStringView rest = line.sliced(1);
        const qsizetype close = rest.indexOf(u']');
        if (close >= 0)
            rest = rest.first(close);
        return {LineKind::Section, name(rest), {}};
    }
    if (line.front() == u';')
        return {LineKind::Comment, {}, {}};
    const qsizetype equals = line.indexOf(u'=');
    if (equals < 0)
        return {LineKind::Key, name(line), {}};
    return {LineKind::Key, name(line.first(equals)), line.sliced(equals + 1)};
}

QStringView unquoted(QStringView value)
{
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
        value.back() == value.front())
        return value.sliced(1, value.size() - 2);
    return value;
}

QStringView lineEndingStyle(QStringView text)
{
    const Line first = lineAt(text, 0);
    if (!first.hasEnding())
        return u"\r\n";
    return text.sliced(first.end, first.next - first.end);
}

QString replacedLine(QStringView text, const Line &line, QStringView key, QStringView value)
{
    QString out;
    out.reserve(text.size() + value.size() + key.size() + 1);
    out.append(text.first(line.begin)).append(key).append(u'=').append(value);
    out.append(text.sliced(line.end));
    return out;
}

QString insertedAfter(QStringView text, const Line &anchor, QStringView key, QStringView value)
{
    const QStringView eol = lineEndingStyle(text);
    QString out;
    out.reserve(text.size() + key.size() + value.size() + 2 * eol.size() + 1);
    out.append(text.first(anchor.next));
    if (!anchor.hasEnding())
        out.append(eol);
    out.append(key).append(u'=').append(value).append(eol);
    out.append(text.sliced(anchor.next));
    return out;
}

QString appendedSection(QStringView text, QStringView section, QStringView key, QStringView value)
{
    const QStringView eol = lineEndingStyle(text);
    QString out = text.toString();
    if (!out.isEmpty() && !out.endsWith(u'\n') && !out.endsWith(u'\r'))
        out.append(eol);
    out.append(u'[').append(section).append(u']').append(eol);
    out.append(key).append(u'=').append(value).append(eol);
    return out;
}

} // namespace

std::optional<QString> findValue(QStringView text, QStringView section, QStringView key)
{
    section = argument(section);
    key = argument(key);
    bool inSection = false;
    for (qsizetype pos = 0; pos < text.size();) {
        const Line line = lineAt(text, pos);
        pos = line.next;
        const QStringView content = text.sliced(line.begin, line.end - line.begin);
        // Outside the section only a section line can matter; a set is read four times per
        // scan, so the other lines are passed over unparsed.
        if (!inSection && !mayBeSectionLine(content))
            continue;
        const ParsedLine parsed = parseLine(content);
        if (parsed.kind == LineKind::Section) {
            // Only the first section of that name counts.
            if (inSection)
                return std::nullopt;
            inSection = sameName(parsed.name, section);
        } else if (inSection && parsed.kind == LineKind::Key && sameName(parsed.name, key)) {
            if (!parsed.value)
                return std::nullopt;
            // Blanks go first, then the NUL ends the value, then quotes are looked at.
            return unquoted(cutAtNul(trimBlanks(*parsed.value))).toString();
        }
    }
    return std::nullopt;
}

QString withValue(QStringView text, QStringView section, QStringView key, QStringView value)
{
    section = argument(section);
    key = argument(key);
    value = cutAtNul(value);
    std::optional<Line> header;
    std::optional<Line> lastKey;
    for (qsizetype pos = 0; pos < text.size();) {
        const Line line = lineAt(text, pos);
        pos = line.next;
        const ParsedLine parsed = parseLine(text.sliced(line.begin, line.end - line.begin));
        if (parsed.kind == LineKind::Section) {
            if (header)
                break;
            if (sameName(parsed.name, section))
                header = line;
        } else if (header && parsed.kind == LineKind::Key) {
            if (sameName(parsed.name, key))
                return replacedLine(text, line, parsed.name, value);
            lastKey = line;
        }
    }
    if (header)
        return insertedAfter(text, lastKey.value_or(*header), key, value);
    return appendedSection(text, section, key, value);
}

} // namespace fwb::ini
