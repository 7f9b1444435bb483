#include "platform/DisplayCheck.h"

#include <QDir>
#include <QFile>
#include <QLibraryInfo>
#include <QRegularExpression>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>
#include <xcb/xcb.h>

namespace fwb {
namespace {

// The value of a Qt option given as "-name value" or "--name value"; the last one counts.
QString optionValue(const QStringList &arguments, const QString &name)
{
    QString value;
    for (qsizetype i = 0; i + 1 < arguments.size(); ++i) {
        if (arguments[i] == u'-' + name || arguments[i] == QStringLiteral("--") + name)
            value = arguments[i + 1];
    }
    return value;
}

// The platforms Qt tries, in order, as it picks them on Linux: the command line's, else
// QT_QPA_PLATFORM, else Wayland in a Wayland session and X in any case.
QStringList platformCandidates(const QStringList &arguments)
{
    QString names = optionValue(arguments, QStringLiteral("platform"));
    if (names.isEmpty())
        names = qEnvironmentVariable("QT_QPA_PLATFORM");
    if (names.isEmpty()) {
        names = QStringLiteral("xcb");
        if (qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland"))
            names.prepend(QStringLiteral("wayland;"));
    }
    QStringList candidates;
    for (const QString &entry : names.split(u';', Qt::SkipEmptyParts))
        candidates.append(entry.section(u':', 0, 0).trimmed());
    return candidates;
}

// The same connection Qt's X platform opens, authentication included.
bool xDisplayOpens(const QString &display)
{
    const QByteArray name = display.toLocal8Bit();
    xcb_connection_t *connection =
        xcb_connect(name.isEmpty() ? nullptr : name.constData(), nullptr);
    const bool opened = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return opened;
}

// A Wayland compositor takes any client that reaches its socket, found as libwayland finds it.
bool waylandSocketAnswers(const QString &display)
{
    if (qEnvironmentVariableIsSet("WAYLAND_SOCKET"))
        return true;
    QString path = display.isEmpty() ? QStringLiteral("wayland-0") : display;
    if (!QDir::isAbsolutePath(path)) {
        const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
        if (runtime.isEmpty())
            return false;
        path = runtime + u'/' + path;
    }
    const QByteArray bytes = QFile::encodeName(path);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (bytes.size() >= qsizetype(sizeof address.sun_path))
        return false;
    std::memcpy(address.sun_path, bytes.constData(), bytes.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool answered =
        ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return answered;
}

// Qt's Wayland platform is a separate package; without it Qt goes on to the next platform.
bool waylandPluginInstalled()
{
    QStringList folders = qEnvironmentVariable("QT_PLUGIN_PATH").split(u':', Qt::SkipEmptyParts);
    folders.append(QLibraryInfo::path(QLibraryInfo::PluginsPath));
    for (QString &folder : folders)
        folder += QStringLiteral("/platforms");
    folders += qEnvironmentVariable("QT_QPA_PLATFORM_PLUGIN_PATH").split(u':', Qt::SkipEmptyParts);
    for (const QString &folder : std::as_const(folders)) {
        if (!QDir(folder).entryList({QStringLiteral("libqwayland*.so")}, QDir::Files).isEmpty())
            return true;
    }
    return false;
}

} // namespace

void PreferXWayland(int &argc, char **&argv, QStringList &arguments)
{
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") || qEnvironmentVariableIsEmpty("DISPLAY") ||
        !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
        !optionValue(arguments, QStringLiteral("platform")).isEmpty())
        return;
    static char platformOption[] = "-platform";
    static char platforms[] = "xcb;wayland";
    static std::vector<char *> line;
    line.assign(argv, argv + argc);
    line.insert(line.begin() + 1, {platformOption, platforms});
    line.push_back(nullptr);
    argc += 2;
    argv = line.data();
    arguments.prepend(QString::fromLatin1(platforms));
    arguments.prepend(QString::fromLatin1(platformOption));
}

QString NoDisplayReason(const QStringList &arguments)
{
    const QStringList candidates = platformCandidates(arguments);
    // Outside a session that says it is Wayland's, Qt goes to Wayland only when told to.
    const bool waylandUnasked =
        !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        candidates.filter(QRegularExpression(QStringLiteral("^wayland"))).isEmpty();
    QStringList reasons;
    for (const QString &platform : candidates) {
        if (platform == QLatin1String("xcb")) {
            QString display = optionValue(arguments, QStringLiteral("display"));
            if (display.isEmpty())
                display = qEnvironmentVariable("DISPLAY");
            if (display.isEmpty())
                reasons.append(waylandUnasked
                                   ? QStringLiteral("DISPLAY is not set (for the Wayland "
                                                    "display, QT_QPA_PLATFORM=wayland)")
                                   : QStringLiteral("DISPLAY is not set"));
            else if (xDisplayOpens(display))
                return {};
            else
                reasons.append(QStringLiteral("X display \"%1\" cannot be opened").arg(display));
        } else if (platform.startsWith(QLatin1String("wayland"))) {
            const QString display = qEnvironmentVariable("WAYLAND_DISPLAY");
            if (!waylandPluginInstalled())
                reasons.append(
                    QStringLiteral("Qt's Wayland platform (qt6-wayland) is not installed"));
            else if (waylandSocketAnswers(display))
                return {};
            else
                reasons.append(QStringLiteral("Wayland display \"%1\" does not answer")
                                   .arg(display.isEmpty() ? QStringLiteral("wayland-0") : display));
        } else {
            // offscreen, vnc, eglfs and the like need no display server: Qt judges them itself.
            return {};
        }
    }
    return reasons.join(QStringLiteral("; "));
}

} // namespace fwb
