// Feeds arbitrary files and arguments to the ini reader and writer and checks what every
// write must keep: the file's other lines, its encoding, and a value that reads back.
#include "store/IniCodec.h"
#include "store/IniFile.h"
#include "store/IniText.h"

#include <QStringList>
#include <cstdio>
#include <cstdlib>
#include <fuzzer/FuzzedDataProvider.h>
#include <vector>

using namespace fwb::ini;

namespace {

void check(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "ini_fuzz: %s\n", what);
        std::abort();
    }
}

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\v';
}

bool hasOuterBlank(const QString &s)
{
    return !s.isEmpty() && (isBlank(s.front()) || isBlank(s.back()));
}

bool breaksLine(const QString &s)
{
    return s.contains(u'\r') || s.contains(u'\n') || s.contains(QChar(u'\0'));
}

// Names a program would pass: one line, no blanks at the ends, and nothing that would make
// the written line read as something else (a comment, a section, an earlier '=').
bool usableNames(const QString &section, const QString &key)
{
    if (section.isEmpty() || key.isEmpty() || breaksLine(section) || breaksLine(key) ||
        hasOuterBlank(section) || hasOuterBlank(key))
        return false;
    return !section.contains(u']') && !key.contains(u'=') && key.front() != u'[' &&
           key.front() != u';';
}

// A value that reads back exactly as written: the reader trims blanks and one pair of quotes.
bool readsBackAsIs(const QString &value)
{
    if (breaksLine(value) || hasOuterBlank(value))
        return false;
    return !(value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
             value.back() == value.front());
}

// The value as a file of this encoding can hold it.
QString storable(const QString &value, IniEncoding encoding)
{
    return encoding == IniEncoding::Windows1252 ? fromWindows1252(toWindows1252(value)) : value;
}

QStringList linesOf(const QString &text)
{
    QStringList lines;
    qsizetype begin = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool crlf = text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n';
        if (text[i] == u'\n' || text[i] == u'\r') {
            i += crlf ? 1 : 0;
            lines.append(text.sliced(begin, i + 1 - begin));
            begin = i + 1;
        }
    }
    if (begin < text.size())
        lines.append(text.sliced(begin));
    return lines;
}

// Lines differing between `before` and `after`, once the equal lines at both ends are set
// aside: a write touches one line of the old file (the key's, or the last one when it lacked
// a line ending) and adds at most a section header and the key's line.
void checkOnlyOneLineChanged(const QString &before, const QString &after)
{
    const QStringList old = linesOf(before);
    const QStringList now = linesOf(after);
    qsizetype head = 0;
    while (head < old.size() && head < now.size() && old[head] == now[head])
        ++head;
    qsizetype tail = 0;
    while (tail < old.size() - head && tail < now.size() - head &&
           old[old.size() - 1 - tail] == now[now.size() - 1 - tail])
        ++tail;
    check(old.size() - head - tail <= 1, "a write changed more than one line");
    check(now.size() - head - tail <= 3, "a write added more than a section and a key");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const QString section = QString::fromUtf8(input.ConsumeRandomLengthString(16));
    const QString key = QString::fromUtf8(input.ConsumeRandomLengthString(16));
    const QString value = QString::fromUtf8(input.ConsumeRandomLengthString(32));
    const std::vector<char> rest = input.ConsumeRemainingBytes<char>();
    const QByteArray file(rest.data(), qsizetype(rest.size()));

    const DecodedIni before = decodeIni(file);
    check(encodeIni(before) == file, "decoding then encoding changed the bytes");
    (void)findValue(before.text, section, key);

    const std::optional<QByteArray> written = bytesWithValue(file, section, key, value);
    if (!written) {
        check(before.encoding == IniEncoding::Windows1252,
              "a write was refused although the file's encoding could not change");
        return 0;
    }
    const DecodedIni after = decodeIni(*written);
    check(encodeIni(after) == *written, "the written file does not round-trip");
    const bool oneLine = !breaksLine(section) && !breaksLine(key) && !breaksLine(value);
    if (oneLine)
        checkOnlyOneLineChanged(before.text, after.text);
    // A name the file's encoding cannot hold is written as '?' and matches itself no more.
    if (!usableNames(section, key) || storable(section, before.encoding) != section ||
        storable(key, before.encoding) != key)
        return 0;
    if (readsBackAsIs(value))
        check(findValue(after.text, section, key) == storable(value, before.encoding),
              "the value written does not read back");
    // A value the file could not hold came out with '?' in it; writing it again is a new write.
    if (oneLine && storable(value, before.encoding) == value)
        check(bytesWithValue(*written, section, key, value) == written,
              "writing the same value again changed the file");
    return 0;
}
