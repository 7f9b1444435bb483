#pragma once

#include <QIcon>
#include <QObject>
#include <optional>

class QMenu;
class QSystemTrayIcon;

namespace fwb {

// A notification-area icon with the properties the main window drives: whether it is in the
// tray, its image and its tooltip. Clicks arrive as `clicked(button)` (1 = left) and
// `doubleClicked()`.
class TrayIcon : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool intray READ intray WRITE setIntray)
    Q_PROPERTY(QIcon trayicon READ trayicon WRITE setTrayicon)
    Q_PROPERTY(QString traytip READ traytip WRITE setTraytip)

public:
    explicit TrayIcon(const QString &objectName, QObject *parent = nullptr);

    bool intray() const { return m_intray; }
    void setIntray(bool shown);
    QIcon trayicon() const { return m_icon; }
    void setTrayicon(const QIcon &icon);
    QString traytip() const { return m_tip; }
    void setTraytip(const QString &tip);
    // The pop-up menu of the icon. The desktop shows it itself on a right click: a D-Bus tray
    // (KDE, GNOME's AppIndicator) draws it from the menu the icon exports, where a menu the
    // program popped up at the pointer could land anywhere, as under Wayland the program does
    // not know where the pointer is; so a right click reaches no `clicked`.
    void setMenu(QMenu *menu) { m_menu = menu; }

    // Whether the desktop offers a notification area; tests may decide it.
    static bool isAvailable();
    static void overrideAvailability(std::optional<bool> available);

Q_SIGNALS:
    void clicked(int button);
    void doubleClicked();

private:
    QSystemTrayIcon *ensureIcon();

    bool m_intray = false;
    QIcon m_icon;
    QString m_tip;
    QMenu *m_menu = nullptr;
    QSystemTrayIcon *m_tray = nullptr;
};

} // namespace fwb
