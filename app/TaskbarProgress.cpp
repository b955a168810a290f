// The run's progress on the taskbar or dock, where the desktop shows one.
#include "app/TaskbarProgress.h"

#include <QDBusMessage>

namespace {

constexpr auto desktopEntry = "application://zarvel.desktop";
constexpr auto objectPath = "/com/canonical/unity/launcherentry/zarvel";
constexpr auto interfaceName = "com.canonical.Unity.LauncherEntry";

} // namespace

TaskbarProgress::TaskbarProgress(QObject* parent)
    : QObject(parent)
{
}

void TaskbarProgress::setBus(const QDBusConnection& bus)
{
    m_bus = bus;
}

void TaskbarProgress::setPercent(int percent)
{
    if (percent == m_percent)
        return;
    m_percent = percent;
    send({{QStringLiteral("progress"), percent / 100.0},
          {QStringLiteral("progress-visible"), true}});
}

void TaskbarProgress::clear()
{
    if (m_percent < 0)
        return;
    m_percent = -1;
    send({{QStringLiteral("progress"), 0.0}, {QStringLiteral("progress-visible"), false}});
}

void TaskbarProgress::send(const QVariantMap& properties)
{
    if (!m_bus)
        m_bus = QDBusConnection::sessionBus();
    if (!m_bus->isConnected())
        return;
    QDBusMessage update = QDBusMessage::createSignal(
        QLatin1String(objectPath), QLatin1String(interfaceName), QStringLiteral("Update"));
    update << QLatin1String(desktopEntry) << properties;
    m_bus->send(update);
}
