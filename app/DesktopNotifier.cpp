// A line for the clerk on the desktop, when the window is not in front.
#include "app/DesktopNotifier.h"

#include <QApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QVariantMap>

namespace {

constexpr auto serviceName = "org.freedesktop.Notifications";
constexpr auto objectPath = "/org/freedesktop/Notifications";
constexpr int replyTimeoutMs = 5000;
constexpr int trayMessageMs = 10000;

} // namespace

DesktopNotifier::DesktopNotifier(QObject* parent)
    : QObject(parent)
{
}

void DesktopNotifier::setBus(const QDBusConnection& bus)
{
    m_bus = bus;
}

DesktopNotifier::Channel DesktopNotifier::notify(const QString& line)
{
    if (!m_bus)
        m_bus = QDBusConnection::sessionBus();
    if (!m_bus->isConnected())
        return showInTray(line) ? Channel::Tray : Channel::None;

    QDBusMessage call =
        QDBusMessage::createMethodCall(QLatin1String(serviceName), QLatin1String(objectPath),
                                       QLatin1String(serviceName), QStringLiteral("Notify"));
    const QVariantMap hints{{QStringLiteral("desktop-entry"), QStringLiteral("zarvel")}};
    call << QStringLiteral("Zarvel") << 0u << QString() << line << QString() << QStringList()
         << hints << -1;
    auto* watcher = new QDBusPendingCallWatcher(m_bus->asyncCall(call, replyTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, line] {
        // No notification service on this bus: the tray is the other way.
        if (watcher->isError())
            showInTray(line);
        watcher->deleteLater();
    });
    return Channel::Desktop;
}

bool DesktopNotifier::showInTray(const QString& line)
{
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return false;
    if (!m_tray)
        m_tray = new QSystemTrayIcon(QApplication::windowIcon(), this);
    m_tray->show();
    m_tray->showMessage(QStringLiteral("Zarvel"), line);
    QTimer::singleShot(trayMessageMs, m_tray, &QSystemTrayIcon::hide);
    return true;
}
