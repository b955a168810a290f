// The user's home, configuration and state folders moved into a temporary folder, so that a
// test never touches the real ones.
#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <array>
#include <optional>

namespace testsupport {

class UserFolders {
public:
    // HOME, XDG_CONFIG_HOME and XDG_STATE_HOME point below a fresh temporary folder.
    UserFolders();
    // The variables get their former values back.
    ~UserFolders();
    Q_DISABLE_COPY_MOVE(UserFolders)

    QString home() const { return m_root + QStringLiteral("/home"); }
    QString config() const { return m_root + QStringLiteral("/config"); }
    QString state() const { return m_root + QStringLiteral("/state"); }

private:
    QTemporaryDir m_dir;
    QString m_root;
    std::array<std::optional<QByteArray>, 3> m_saved;
};

} // namespace testsupport
