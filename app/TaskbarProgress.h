// The run's progress on the taskbar or dock, where the desktop shows one.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QVariantMap>

#include <optional>

// Docks and taskbars read the launcher entry's "Update" signal on the session bus for the
// program's desktop file. Without a session bus nothing is sent.
class TaskbarProgress : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TaskbarProgress)

public:
    explicit TaskbarProgress(QObject* parent = nullptr);

    // The session bus unless set; it is only reached when something is shown.
    void setBus(const QDBusConnection& bus);
    // Shows `percent` (0–100); the same value again sends nothing.
    void setPercent(int percent);
    // Hides the progress after a run.
    void clear();

private:
    void send(const QVariantMap& properties);

    std::optional<QDBusConnection> m_bus;
    int m_percent = -1;
};
