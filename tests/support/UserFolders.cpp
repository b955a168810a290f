// Temporary user folders through the variables the program reads.
#include "tests/support/UserFolders.h"

#include <QDir>
#include <QFileInfo>

namespace testsupport {

namespace {

constexpr std::array<const char*, 3> variables{"HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME"};

} // namespace

UserFolders::UserFolders()
    : m_root(QFileInfo(m_dir.path()).canonicalFilePath())
{
    QDir().mkpath(home());
    const std::array<QString, 3> values{home(), config(), state()};
    for (size_t i = 0; i < variables.size(); ++i) {
        if (qEnvironmentVariableIsSet(variables[i]))
            m_saved[i] = qgetenv(variables[i]);
        qputenv(variables[i], values[i].toLocal8Bit());
    }
}

UserFolders::~UserFolders()
{
    for (size_t i = 0; i < variables.size(); ++i) {
        if (m_saved[i])
            qputenv(variables[i], *m_saved[i]);
        else
            qunsetenv(variables[i]);
    }
}

} // namespace testsupport
