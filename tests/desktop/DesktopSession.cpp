#include "DesktopSession.h"

#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

namespace fwb::test {
namespace {

constexpr int ReadyTimeoutMs = 10'000;
constexpr int ToolTimeoutMs = 5'000;

int number(const QString &text, const QString &key)
{
    const QRegularExpression pattern(QRegularExpression::escape(key) +
                                     QStringLiteral(":\\s*(-?\\d+)"));
    return pattern.match(text).captured(1).toInt();
}

} // namespace

DesktopSession::DesktopSession() = default;

DesktopSession::~DesktopSession()
{
    // Clients first, the X server last: nothing is left waiting for a server that went.
    for (auto it = m_programs.rbegin(); it != m_programs.rend(); ++it) {
        QProcess &process = **it;
        process.terminate();
        if (!process.waitForFinished(ToolTimeoutMs)) {
            process.kill();
            process.waitForFinished(ToolTimeoutMs);
        }
    }
}

bool DesktopSession::start()
{
    for (const char *name : {"Xvfb", "openbox", "trayer", "xdotool", "xwininfo", "xprop"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(name)).isEmpty()) {
            m_error = QString::fromLatin1(name) + QStringLiteral(" is not installed");
            return false;
        }
    }
    // The server picks a free display itself and writes its number to standard output.
    auto server = std::make_unique<QProcess>();
    server->start(QStringLiteral("Xvfb"),
                  {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                   QStringLiteral("0"), QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"),
                   QStringLiteral("tcp")});
    QProcess &x = *server;
    m_programs.push_back(std::move(server));
    if (!QTest::qWaitFor([&] { return x.canReadLine() || x.state() == QProcess::NotRunning; },
                         ReadyTimeoutMs) ||
        !x.canReadLine()) {
        m_error = QStringLiteral("the X server does not start: ") +
                  QString::fromLocal8Bit(x.readAllStandardError());
        return false;
    }
    m_display = u':' + QString::fromLatin1(x.readLine().trimmed());

    const auto ready = [this](const auto &condition, const QString &what) {
        if (QTest::qWaitFor(condition, ReadyTimeoutMs))
            return true;
        m_error = what + QStringLiteral(" does not come up");
        return false;
    };
    const auto windowManagerUp = [this] {
        return tool(QStringLiteral("xprop"),
                    {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")})
            .contains(QStringLiteral("window id"));
    };
    // openbox now and then gives up at once on a server that has just started; a second
    // start finds it ready.
    bool managed = false;
    for (int attempt = 0; attempt < 3 && !managed; ++attempt) {
        if (!startProgram(QStringLiteral("openbox"), {}))
            return false;
        QProcess &windowManager = *m_programs.back();
        managed =
            QTest::qWaitFor(
                [&] { return windowManagerUp() || windowManager.state() == QProcess::NotRunning; },
                ReadyTimeoutMs) &&
            windowManagerUp();
    }
    if (!managed)
        m_error = QStringLiteral("openbox does not come up");
    return managed &&
           startProgram(QStringLiteral("trayer"),
                        {QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--align"),
                         QStringLiteral("right"), QStringLiteral("--widthtype"),
                         QStringLiteral("pixel"), QStringLiteral("--width"), QStringLiteral("200"),
                         QStringLiteral("--height"), QStringLiteral("24")}) &&
           ready([this] { return !windowsNamed(QStringLiteral("^panel$")).isEmpty(); },
                 QStringLiteral("trayer"));
}

QProcessEnvironment DesktopSession::environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), m_display);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.remove(QStringLiteral("XAUTHORITY"));
    return environment;
}

bool DesktopSession::startProgram(const QString &program, const QStringList &arguments)
{
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(environment());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    process->start(program, arguments);
    const bool started = process->waitForStarted(ReadyTimeoutMs);
    if (!started)
        m_error = program + QStringLiteral(" does not start: ") + process->errorString();
    m_programs.push_back(std::move(process));
    return started;
}

bool DesktopSession::startClient(const QString &program, const QStringList &arguments)
{
    return startProgram(program, arguments);
}

QString DesktopSession::tool(const QString &name, const QStringList &arguments) const
{
    QProcess process;
    process.setProcessEnvironment(environment());
    process.start(name, arguments);
    if (!process.waitForFinished(ToolTimeoutMs) || process.exitCode() != 0)
        return {};
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

QStringList DesktopSession::windowsNamed(const QString &pattern) const
{
    return tool(QStringLiteral("xdotool"),
                {QStringLiteral("search"), QStringLiteral("--name"), pattern})
        .split(u'\n', Qt::SkipEmptyParts);
}

bool DesktopSession::isMapped(const QString &window) const
{
    return tool(QStringLiteral("xwininfo"), {QStringLiteral("-id"), window})
        .contains(QStringLiteral("IsViewable"));
}

QString DesktopSession::wmState(const QString &window) const
{
    const QString text =
        tool(QStringLiteral("xprop"), {QStringLiteral("-id"), window, QStringLiteral("WM_STATE")});
    return QRegularExpression(QStringLiteral("window state: (\\w+)")).match(text).captured(1);
}

QRect DesktopSession::geometry(const QString &window) const
{
    const QString text = tool(QStringLiteral("xwininfo"), {QStringLiteral("-id"), window});
    return {number(text, QStringLiteral("Absolute upper-left X")),
            number(text, QStringLiteral("Absolute upper-left Y")),
            number(text, QStringLiteral("Width")), number(text, QStringLiteral("Height"))};
}

QRect DesktopSession::frameGeometry(const QString &window) const
{
    const QString text = tool(QStringLiteral("xprop"), {QStringLiteral("-id"), window,
                                                        QStringLiteral("_NET_FRAME_EXTENTS")});
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("= (\\d+), (\\d+), (\\d+), (\\d+)")).match(text);
    return geometry(window).adjusted(-m.captured(1).toInt(), -m.captured(3).toInt(),
                                     m.captured(2).toInt(), m.captured(4).toInt());
}

QString DesktopSession::focusedWindowName() const
{
    return tool(QStringLiteral("xdotool"),
                {QStringLiteral("getwindowfocus"), QStringLiteral("getwindowname")})
        .trimmed();
}

QList<QRect> DesktopSession::trayIcons() const
{
    QList<QRect> icons;
    const QStringList panels = windowsNamed(QStringLiteral("^panel$"));
    if (panels.isEmpty())
        return icons;
    // Every embedded icon is a named client window inside the panel.
    const QString tree = tool(QStringLiteral("xwininfo"),
                              {QStringLiteral("-tree"), QStringLiteral("-id"), panels.first()});
    static const QRegularExpression line(
        QStringLiteral("^\\s+(0x[0-9a-f]+) \"[^\"]*\": "
                       "\\(.*\\)\\s+(\\d+)x(\\d+)\\+-?\\d+\\+-?\\d+\\s+\\+(-?\\d+)\\+(-?\\d+)$"),
        QRegularExpression::MultilineOption);
    for (auto it = line.globalMatch(tree); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const QRect area(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(2).toInt(),
                         m.captured(3).toInt());
        if (area.width() > 1 && area.height() > 1 && isMapped(m.captured(1)))
            icons.append(area);
    }
    return icons;
}

void DesktopSession::click(const QPoint &at, int button, int repeat) const
{
    tool(QStringLiteral("xdotool"),
         {QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y()),
          QStringLiteral("click"), QStringLiteral("--repeat"), QString::number(repeat),
          QString::number(button)});
}

void DesktopSession::keys(const QStringList &keys) const
{
    tool(QStringLiteral("xdotool"), QStringList{QStringLiteral("key")} + keys);
}

void DesktopSession::minimize(const QString &window) const
{
    tool(QStringLiteral("xdotool"), {QStringLiteral("windowminimize"), window});
}

} // namespace fwb::test
