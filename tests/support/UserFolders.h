// The user's home, configuration and state folders moved into a temporary folder for a test.
#pragma once

#include "tests/support/ScopedVariable.h"

#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <vector>

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
    std::vector<std::unique_ptr<ScopedVariable>> m_variables;
};

} // namespace testsupport
