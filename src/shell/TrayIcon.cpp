#include "shell/TrayIcon.h"

#include <QSystemTrayIcon>

namespace fwb {
namespace {
std::optional<bool> g_availability;
}

TrayIcon::TrayIcon(const QString &objectName, QObject *parent) : QObject(parent)
{
    setObjectName(objectName);
}

bool TrayIcon::isAvailable()
{
    return g_availability.value_or(QSystemTrayIcon::isSystemTrayAvailable());
}

void TrayIcon::overrideAvailability(std::optional<bool> available)
{
    g_availability = available;
}

void TrayIcon::setIntray(bool shown)
{
    m_intray = shown;
    if (shown)
        ensureIcon()->show();
    else if (m_tray)
        m_tray->hide();
}

void TrayIcon::setTrayicon(const QIcon &icon)
{
    m_icon = icon;
    if (m_tray)
        m_tray->setIcon(icon);
}

void TrayIcon::setTraytip(const QString &tip)
{
    m_tip = tip;
    if (m_tray)
        m_tray->setToolTip(tip);
}

// The platform icon exists only once it is first shown, so a desktop without a tray never
// sees one.
QSystemTrayIcon *TrayIcon::ensureIcon()
{
    if (m_tray)
        return m_tray;
    m_tray = new QSystemTrayIcon(m_icon, this);
    m_tray->setToolTip(m_tip);
    m_tray->setContextMenu(m_menu);
    connect(m_tray, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                switch (reason) {
                case QSystemTrayIcon::Trigger:
                    Q_EMIT clicked(1);
                    break;
                case QSystemTrayIcon::Context:
                    if (!m_menu)
                        Q_EMIT clicked(2);
                    break;
                case QSystemTrayIcon::MiddleClick:
                    Q_EMIT clicked(4);
                    break;
                case QSystemTrayIcon::DoubleClick:
                    Q_EMIT doubleClicked();
                    break;
                case QSystemTrayIcon::Unknown:
                    break;
                }
            });
    return m_tray;
}

} // namespace fwb
