// A line for the clerk on the desktop, when the window is not in front.
#pragma once

#include <QDBusConnection>
#include <QObject>

#include <optional>

class QSystemTrayIcon;

// Through the desktop's notification service on the session bus; where that fails, through a
// tray icon if there is a tray; otherwise not at all. Nothing waits for the bus.
class DesktopNotifier : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DesktopNotifier)

public:
    enum class Channel { None, Desktop, Tray };

    explicit DesktopNotifier(QObject* parent = nullptr);

    // The session bus unless set; it is only reached when a line is shown.
    void setBus(const QDBusConnection& bus);
    // Shows `line`; says which way it went (Desktop may still fall back to Tray later).
    Channel notify(const QString& line);

private:
    bool showInTray(const QString& line);

    std::optional<QDBusConnection> m_bus;
    QSystemTrayIcon* m_tray = nullptr;
};
