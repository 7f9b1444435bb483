#include "system/FileNames.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QStringDecoder>
#include <algorithm>
#include <memory>
#include <unistd.h>
#include <vector>

namespace fwb {
namespace {

constexpr char16_t kEscapeBase = 0xDC00;

bool isEscapedByte(char16_t u)
{
    return u >= 0xDC80 && u <= 0xDCFF;
}

// The length of the valid UTF-8 sequence at `i` (no overlong form, no surrogate, nothing past
// U+10FFFF), or 0 when the byte there starts none.
qsizetype validSequenceAt(QByteArrayView bytes, qsizetype i)
{
    const auto byte = [&](qsizetype at) {
        return at < bytes.size() ? uchar(bytes[at]) : 0u;
    };
    const unsigned lead = byte(i);
    const auto follows = [&](qsizetype at, unsigned low = 0x80, unsigned high = 0xBF) {
        return byte(at) >= low && byte(at) <= high;
    };
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return follows(i + 1) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF) {
        const unsigned low = lead == 0xE0 ? 0xA0 : 0x80;
        const unsigned high = lead == 0xED ? 0x9F : 0xBF;
        return follows(i + 1, low, high) && follows(i + 2) ? 3 : 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        const unsigned low = lead == 0xF0 ? 0x90 : 0x80;
        const unsigned high = lead == 0xF4 ? 0x8F : 0xBF;
        return follows(i + 1, low, high) && follows(i + 2) && follows(i + 3) ? 4 : 0;
    }
    return 0;
}

// A leading U+FEFF is a character of the name, not a byte-order mark.
QString fromValidUtf8(QByteArrayView bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    return decoder(bytes);
}

} // namespace

QString DecodeFileName(QByteArrayView bytes)
{
    QString name;
    qsizetype run = 0; // where the valid UTF-8 not yet decoded starts
    for (qsizetype i = 0; i < bytes.size();) {
        if (const qsizetype length = validSequenceAt(bytes, i)) {
            i += length;
            continue;
        }
        name.append(fromValidUtf8(bytes.sliced(run, i - run)));
        name.append(QChar(char16_t(kEscapeBase + uchar(bytes[i]))));
        run = ++i;
    }
    return run == 0 ? fromValidUtf8(bytes) : name + fromValidUtf8(bytes.sliced(run));
}

QByteArray EncodeFileName(QStringView name)
{
    if (std::none_of(name.cbegin(), name.cend(), [](QChar c) { return c.isSurrogate(); }))
        return name.toUtf8();
    QByteArray bytes;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t u = name[i].unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < name.size() && name[i + 1].isLowSurrogate()) {
            bytes.append(name.sliced(i, 2).toUtf8());
            ++i;
        } else if (isEscapedByte(u)) {
            bytes.append(char(u - kEscapeBase));
        } else {
            // Any other lone surrogate stands for no byte and has no UTF-8 form.
            bytes.append(QChar::isSurrogate(u) ? QByteArray("\xEF\xBF\xBD")
                                               : name.sliced(i, 1).toUtf8());
        }
    }
    return bytes;
}

QString RunningProgramFolder()
{
    QByteArray file(4096, Qt::Uninitialized);
    const ssize_t length = ::readlink("/proc/self/exe", file.data(), size_t(file.size()));
    if (length <= 0 || length >= file.size())
        return QCoreApplication::applicationDirPath();
    file.truncate(length);
    const qsizetype slash = file.lastIndexOf('/');
    return DecodeFileName(slash > 0 ? file.first(slash) : QByteArray("/"));
}

void KeepRawNamesWhenStarting(QProcess &process)
{
    const QString program = process.program();
    const QString path = program.contains(u'/') ? program : QStandardPaths::findExecutable(program);
    if (path.isEmpty())
        return;
    // Everything the child needs is made now: after the fork, only exec may run.
    struct Command
    {
        QByteArray path;
        QByteArrayList arguments;
        std::vector<char *> argv;
    };
    auto command = std::make_shared<Command>();
    command->path = EncodeFileName(path);
    command->arguments.append(EncodeFileName(program));
    for (const QString &argument : process.arguments())
        command->arguments.append(EncodeFileName(argument));
    for (QByteArray &argument : command->arguments)
        command->argv.push_back(argument.data());
    command->argv.push_back(nullptr);
    // The child keeps this process's environment. Should this exec fail, QProcess goes on with
    // its own and reports the failure as usual.
    process.setChildProcessModifier(
        [command] { ::execv(command->path.constData(), command->argv.data()); });
}

} // namespace fwb
