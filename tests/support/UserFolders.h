// The user's home, configuration and state folders moved into a temporary folder for a test.
#pragma once

#include <QByteArrayList>
#include <QString>
#include <QTemporaryDir>

namespace testsupport {

// While it lives, HOME, XDG_CONFIG_HOME and XDG_STATE_HOME name its home(), config() and state().
class UserFolders {
public:
    UserFolders();
    ~UserFolders();
    Q_DISABLE_COPY_MOVE(UserFolders)

    QString home() const { return m_dir.path() + QStringLiteral("/home"); }
    QString config() const { return m_dir.path() + QStringLiteral("/config"); }
    QString state() const { return m_dir.path() + QStringLiteral("/state"); }

private:
    QTemporaryDir m_dir;
    QByteArrayList m_saved; // empty: the variable was not set
};

} // namespace testsupport
